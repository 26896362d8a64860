// SPDX-License-Identifier: GPL-3.0-or-later
#include "diagnosis/report.h"

#include "diagnosis/osinfo.h"
#include "platform/machine.h"
#include "sysaccess/files.h"
#include "sysaccess/reg.h"

namespace vt::diagnosis {

namespace {

constexpr QChar kLineBreak(0x14);

struct DriveKind {
  DriveType type;
  int icon;
  const char* german;
  const char* english;
};
constexpr DriveKind kDriveKinds[] = {
    {DriveType::Removable, 0, "Diskettenlaufwerk oder Wechselplatte", "Disk-drive"},
    {DriveType::Fixed, 1, "Festplatte", "Harddisk"},
    {DriveType::CdRom, 2, "CD-Rom", "Cd-Rom"},
    {DriveType::Remote, 3, "Netzwerk-Laufwerk", "Network-drive"},
};

QString text(const SharedState& state, const char* german, const char* english) {
  return QString::fromUtf8(state.pick(german, english));
}

// The drive's size in bytes. Windows 95's first free-space call stops at 2 GB; the
// extended one gives the real size, which is what the user wants to see.
qint64 driveBytes(FileSystem& fs, const QString& root) {
  qint64 freeBytes = 0, totalBytes = 0;
  if (fs.diskFreeSpaceEx(root, &freeBytes, &totalBytes)) return totalBytes;
  quint32 spc = 0, bps = 0, freeClusters = 0, clusters = 0;
  if (fs.diskFreeSpace(root, &spc, &bps, &freeClusters, &clusters)) return qint64(spc) * bps * clusters;
  return 0;
}

}  // namespace

QString DriveItem::itemText() const {
  return QChar(ushort(10 + icon)) + lines[0] + kLineBreak + lines[1] + kLineBreak + lines[2];
}

DriveItem DriveItem::fromItemText(const QString& text) {
  DriveItem item;
  if (text.isEmpty()) return item;
  item.icon = std::clamp(int(text[0].unicode()) - 10, 0, 3);
  const qsizetype first = text.indexOf(kLineBreak, 1);
  const qsizetype second = first < 0 ? -1 : text.indexOf(kLineBreak, first + 1);
  item.lines[0] = text.mid(1, first < 0 ? -1 : first - 1);
  if (first >= 0) item.lines[1] = text.mid(first + 1, second < 0 ? -1 : second - first - 1);
  if (second >= 0) item.lines[2] = text.mid(second + 1);
  return item;
}

qint64 reportedMegabytes(quint64 reportedBytes) { return qint64((reportedBytes + 671744) / 1048576); }

SystemReport Create_Report(Machine& machine, RegAccess& reg, FileAccess& files, const TOSInfo& os, const SharedState& state) {
  SystemReport r;
  const auto lookup = [&reg](const char* name, const char* match, const char* result, int mode) {
    return reg.FindEnumDeviceValue(QString::fromLatin1(name), QString::fromLatin1(match), QString::fromLatin1(result), mode);
  };
  const QString notFound = text(state, "Nicht vorhanden / Nicht erkannt", "Not exist / Not noticed");

  r.cpu = os.Processor();
  r.ram = QString::number(reportedMegabytes(machine.facts().reportedPhysicalMemory())) + QStringLiteral("MB");
  r.bios = lookup("CLASS", "System", "BIOSVersion", 0);
  r.sound = lookup("FunctionDesc", "Audio", "DeviceDesc", 0);
  if (r.sound == notFound) r.sound = lookup("InfName", "WAVE.INF", "DeviceDesc", 0);
  if (r.sound == notFound) r.sound = lookup("CLASS", "MEDIA", "DeviceDesc", 0);
  r.graphics = lookup("CLASS", "Display", "DeviceDesc", 1);
  r.mouse = lookup("CLASS", "Mouse", "DeviceDesc", 0);
  r.keyboard = lookup("CLASS", "Keyboard", "DeviceDesc", 1);
  r.modem = lookup("CLASS", "Modem", "DeviceDesc", 0);
  // Only read: a report that creates the printers key when it is missing would change the
  // registry for nothing.
  r.printer = reg.ReadRegString(HKEY_CURRENT_CONFIG, u"System\\CurrentControlSet\\Control\\Print\\Printers", u"Default");

  FileSystem& fs = machine.files();
  const QString unknown = text(state, "Unbekannt", "Unknown");
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    const QString root = QChar::fromLatin1(letter) + QStringLiteral(":\\");
    const DriveType type = fs.driveType(root);
    const DriveKind* kind = nullptr;
    for (const DriveKind& k : kDriveKinds)
      if (k.type == type) kind = &k;
    if (!kind) continue;
    DriveItem item;
    item.icon = kind->icon;
    item.lines[0] = text(state, kind->german, kind->english) + QLatin1Char(' ') + root;
    if (!files.PathAccessible(root)) {
      item.lines[1] = text(state, "Kein Datenträger eingelegt.", "No disk inserted.");
    } else {
      QString label, fileSystem;
      fs.volumeInformation(root, &label, &fileSystem);
      item.lines[1] = QStringLiteral("Name: ") + (label.isEmpty() ? unknown : label) + QLatin1Char(' ') +
                      text(state, "Dateisystem: ", "Filesystem: ") + (fileSystem.isEmpty() ? unknown : fileSystem);
      item.lines[2] = text(state, "Größe: ", "Size: ") + QString::number(driveBytes(fs, root) / 1024) + QStringLiteral(" KB");
    }
    r.drives << item;
  }
  r.updates = reg.ListInstalledUpdates();
  return r;
}

}  // namespace vt::diagnosis
