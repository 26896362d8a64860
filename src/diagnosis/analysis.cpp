// SPDX-License-Identifier: GPL-3.0-or-later
#include "diagnosis/analysis.h"

#include "platform/machine.h"
#include "platform/text.h"
#include "sysaccess/ini.h"
#include "sysaccess/reg.h"

namespace vt::diagnosis {

namespace {

struct Check {
  char letter;
  const char* german;
  const char* english;
};

constexpr Check kChecks[kLetterCount] = {
    {'A', "Untersuche RAM-Kapazität", "Examinig RAM-capacity"},
    {'B', "Untersuche freie Festplattenkapazität", "Examinig free Disk-Space"},
    {'C', "Untersuche alte Treiber in System.ini", "Examinig old drivers in System.ini"},
    {'D', "Untersuche LOAD in Win.ini", "Examinig LOAD in System.ini"},
    {'E', "Untersuche RUN in Win.ini", "Examinig RUN in System.ini"},
    {'F', "Untersuche Programme in Autoexec.bat", "Examinig programs in Autoexec.bat"},
    {'G', "Untersuche Treiber in Config.sys", "Examinig drivers in config.sys"},
    {'H', "Untersuche Dateisystem : SoftCompatMode", "Examinig filesystem : SoftCompatMode"},
    {'I', "Untersuche Dateisystem : PreserveLongNames", "Examinig filesystem : PreserveLongNames"},
    {'J', "Untersuche Dateisystem : VirtualHDIRQ", "Examinig filesystem : VirtualHDIRQ"},
    {'K', "Untersuche Dateisystem : AsyncFileCommit", "Examinig filesystem : AsyncFileCommit"},
    {'L', "Untersuche Dateisystem : ForceRMIO", "Examinig filesystem : ForceRMIO"},
    {'M', "Untersuche Dateisystem : DriveWriteBehind", "Examinig filesystem : DriveWriteBehind"},
    {'N', "Untersuche Abschnitt RUN in Registry", "Examinig RUN-section in Registry"},
    {'O', "Untersuche Existenz von systemwichtigen Dateien", "Examinig existance of important systemfiles"},
    {'P', "Untersuche installierte Schriftarten", "Examinig installed fonts"},
    {'Q', "Untersuche Geräte-Konflikte", "Examinig installed hardware"},
};

constexpr qint64 kMegabyte = 1048576;
constexpr qint64 kMinimumMemoryMb = 8;
constexpr qint64 kMinimumFreeMb = 20;

int indexOf(QChar letter) { return letter.unicode() - kFirstLetter; }

// The "." that begins the extension of a path's file name: the first one that is not in
// a folder's name, as in "C:\PROGRA~1\NETSCA~1.5\NETSCAPE.EXE", whose folder's 8.3 alias
// has an extension of its own. -1 when there is none.
template <typename Text>
qsizetype extensionDot(const Text& path) {
  for (qsizetype dot = path.indexOf('.'); dot >= 0; dot = path.indexOf('.', dot + 1)) {
    const qsizetype folderEnd = path.indexOf('\\', dot), blank = path.indexOf(' ', dot);
    if (folderEnd < 0 || (blank >= 0 && blank < folderEnd)) return dot;
  }
  return -1;
}

// A path cut just after the third character behind its extension's "." (the end of an
// 8.3 extension); without a "." the first word is the path.
template <typename Text>
Text cutAfterExtension(const Text& path) {
  const qsizetype dot = extensionDot(path);
  if (dot >= 0) return path.left(dot + 4);
  const qsizetype blank = path.indexOf(' ');
  return blank < 0 ? path : path.left(blank);
}

}  // namespace

bool hasDetails(QChar letter) {
  switch (letter.unicode()) {
    case 'C':
    case 'D':
    case 'E':
    case 'F':
    case 'G':
    case 'N':
    case 'O':
    case 'P':
    case 'Q': return true;
    default: return false;
  }
}

QStringList& Findings::detailsOf(QChar letter) { return details[size_t(std::clamp(indexOf(letter), 0, kLetterCount - 1))]; }

const QStringList& Findings::detailsOf(QChar letter) const {
  return details[size_t(std::clamp(indexOf(letter), 0, kLetterCount - 1))];
}

void Findings::clearDetails() {
  for (QStringList& list : details) list.clear();
}

Analysis::Analysis(Machine& machine, RegAccess& reg, IniAccess& ini, const SharedState& state, Folders folders,
                   AnalysisView* view)
    : machine_(machine), reg_(reg), ini_(ini), state_(state), folders_(std::move(folders)), view_(view) {}

QString Analysis::statusText(QChar letter) const {
  const int i = indexOf(letter);
  if (i < 0 || i >= kLetterCount) return {};
  return QString::fromUtf8(state_.pick(kChecks[i].german, kChecks[i].english));
}

Findings Analysis::run() {
  Findings f;
  if (view_) view_->showProgress(0);
  int step = 0;
  for (const Check& check : kChecks) {
    const QChar letter = QLatin1Char(check.letter);
    if (view_) view_->showStatus(statusText(letter));
    QStringList& found = f.detailsOf(letter);
    bool problem = false;
    switch (check.letter) {
      case 'A': problem = lowMemory(); break;
      case 'B': problem = lowDiskSpace(); break;
      case 'C': oldSystemIniDrivers(found); break;
      case 'D': missingWinIniPrograms(u"load", found); break;
      case 'E': missingWinIniPrograms(u"run", found); break;
      case 'F': missingAutoexecPrograms(found); break;
      case 'G': missingConfigSysDrivers(found); break;
      case 'N': missingRunPrograms(found); break;
      case 'O': missingSystemLibraries(found); break;
      case 'P': missingFonts(found); break;
      case 'Q': troubledDevices(found); break;
      default:
        for (const FileSystemSwitch& s : kFileSystemSwitches)
          if (s.letter == check.letter) problem = fileSystemSwitch(s);
        break;
    }
    if (problem || !found.isEmpty()) f.problems += letter;
    if (check.letter != kLastLetter && view_) view_->showProgress(++step);
  }
  return f;
}

bool Analysis::isFile(const QString& path) { return !path.isEmpty() && machine_.files().isFile(path); }

bool Analysis::upperLines(const QString& path, QList<QByteArray>* lines) {
  if (!isFile(path)) return false;
  const std::optional<QByteArray> bytes = machine_.files().readFile(path);
  if (!bytes) return false;
  *lines = splitLines(*bytes);
  for (QByteArray& line : *lines) line = ansiUpper(line);
  return true;
}

bool Analysis::lowMemory() { return qint64(machine_.facts().physicalMemory / quint64(kMegabyte)) < kMinimumMemoryMb; }

bool Analysis::lowDiskSpace() {
  // The drive of the Windows directory; a query that fails counts as no space at all.
  const QString root = folders_.windows.left(1).toUpper() + QStringLiteral(":\\");
  qint64 freeBytes = -1, totalBytes = 0;
  if (!machine_.files().diskFreeSpaceEx(root, &freeBytes, &totalBytes)) freeBytes = -1;
  return freeBytes / kMegabyte < kMinimumFreeMb;
}

// A .386 driver loaded from a drive path in SYSTEM.INI. Built-in drivers (device=*vshare)
// and other kinds of driver are not looked at.
void Analysis::oldSystemIniDrivers(QStringList& found) {
  QList<QByteArray> lines;
  if (!upperLines(folders_.windows + QStringLiteral("\\system.ini"), &lines)) return;
  for (const QByteArray& line : lines) {
    if (!line.startsWith("DEVICE=") || line.mid(8, 2) != ":\\") continue;
    const QByteArray path = line.mid(7);
    const qsizetype ext = path.indexOf(".386");
    if (ext < 0) continue;
    if (!isFile(fromAnsi(path.left(ext + 4)))) found << fromAnsi(line);
  }
}

// Each program of WIN.INI's load= or run= runs from the drive letter before a ":\" to the
// end of its extension. load= programs end at the first extension of a file name, run=
// programs at the first ".exe"; run= may name documents too, whose own extensions must not
// end a path.
// An extension written in capitals is as good as one in small letters.
void Analysis::missingWinIniPrograms(QStringView key, QStringList& found) {
  const bool run = key == u"run";
  QString rest = ini_.ReadIniString(folders_.windows + QStringLiteral("\\win.ini"), u"windows", key);
  while (!rest.isEmpty() && rest.contains(QLatin1String(":\\"))) {
    const qsizetype drive = std::max<qsizetype>(rest.indexOf(QLatin1String(":\\")) - 1, 0);
    const qsizetype mark = run ? rest.indexOf(QLatin1String(".exe"), 0, Qt::CaseInsensitive) : extensionDot(rest);
    if (mark < 0) break;  // nothing left that ends in an extension
    const qsizetype end = std::min(mark + 4, rest.size());
    const QString candidate = end > drive ? rest.mid(drive, end - drive) : QString();
    if (!candidate.isEmpty() && !isFile(candidate)) found << candidate;
    rest.remove(0, end);
  }
}

// A line that starts a program by its drive path. DOS tries the name with .EXE, .COM and
// .BAT; a name that carries its own extension (C:\DOS\MOUSE.COM) is also tried as written.
void Analysis::missingAutoexecPrograms(QStringList& found) {
  QList<QByteArray> lines;
  if (!upperLines(QStringLiteral("C:\\Autoexec.bat"), &lines)) return;
  for (const QByteArray& line : lines) {
    if (line.mid(1, 2) != ":\\") continue;
    const qsizetype blank = line.indexOf(' ');
    const QString name = fromAnsi(blank < 0 ? line : line.left(blank));
    const bool ownExtension = name.mid(name.lastIndexOf(QLatin1Char('\\')) + 1).contains(QLatin1Char('.'));
    if (ownExtension && isFile(name)) continue;
    if (isFile(name + QStringLiteral(".exe")) || isFile(name + QStringLiteral(".com")) || isFile(name + QStringLiteral(".bat")))
      continue;
    found << fromAnsi(line);
  }
}

// DEVICE= and DEVICEHIGH= lines. Blanks after the "=" are not part of the path.
void Analysis::missingConfigSysDrivers(QStringList& found) {
  QList<QByteArray> lines;
  if (!upperLines(QStringLiteral("C:\\Config.sys"), &lines)) return;
  for (const QByteArray& line : lines) {
    if (!line.startsWith("DEVICE")) continue;
    const qsizetype eq = line.indexOf('=');
    if (eq < 0) continue;
    const QByteArray path = cutAfterExtension(line.mid(eq + 1).trimmed());
    if (!isFile(fromAnsi(path))) found << fromAnsi(line);
  }
}

bool Analysis::fileSystemSwitch(const FileSystemSwitch& s) {
  if (!reg_.RegKeyExists(HKEY_LOCAL_MACHINE, QStringView(kFileSystemKey))) return false;
  return reg_.RegDwordEquals(HKEY_LOCAL_MACHINE, QStringView(kFileSystemKey), QStringView(s.name), s.problemValue);
}

void Analysis::missingRunPrograms(QStringList& found) {
  const QStringView key(kRunKey);
  if (!reg_.RegKeyExists(HKEY_LOCAL_MACHINE, key)) return;
  for (const QString& name : reg_.ValueNames(HKEY_LOCAL_MACHINE, key)) {
    const QString text = reg_.ReadRegString(HKEY_LOCAL_MACHINE, key, name);
    if (text.mid(1, 2) != QLatin1String(":\\") || !text.contains(QLatin1String(".exe"))) continue;
    if (!isFile(cutAfterExtension(text))) found << name;
  }
}

void Analysis::missingSystemLibraries(QStringList& found) {
  for (const char* library : kSystemLibraries) {
    const QString name = QString::fromLatin1(library);
    if (!isFile(folders_.windows + QLatin1Char('\\') + name) && !isFile(folders_.system + QLatin1Char('\\') + name))
      found << name;
  }
}

// A font registered by its full path must be there; one registered by its file name may
// lie in the Fonts folder, the Windows directory or the system directory.
void Analysis::missingFonts(QStringList& found) {
  const QStringView key(kFontsKey);
  if (!reg_.RegKeyExists(HKEY_LOCAL_MACHINE, key)) return;
  for (const QString& name : reg_.ValueNames(HKEY_LOCAL_MACHINE, key)) {
    const QString text = reg_.ReadRegString(HKEY_LOCAL_MACHINE, key, name);
    if (text.isEmpty()) continue;
    bool present = false;
    if (text.size() > 1 && text[1] == QLatin1Char(':')) {
      present = isFile(text);
    } else {
      for (const QString& folder : {folders_.fonts, folders_.windows, folders_.system})
        if (!folder.isEmpty() && isFile(folder + QLatin1Char('\\') + text)) {
          present = true;
          break;
        }
    }
    if (!present) found << name;
  }
}

void Analysis::troubledDevices(QStringList& found) {
  const QString key = QString::fromUtf16(kConfigManagerKey);
  if (!reg_.RegKeyExists(HKEY_DYN_DATA, key)) return;
  for (const QString& device : reg_.SubKeyNames(HKEY_DYN_DATA, key)) {
    const QString path = key + QLatin1Char('\\') + device;
    if (reg_.ReadRegDword(HKEY_DYN_DATA, path, u"Problem") == 0) continue;
    const QString hardware = reg_.ReadRegString(HKEY_DYN_DATA, path, u"HardWareKey");
    QString description = reg_.ReadRegString(HKEY_LOCAL_MACHINE, QStringLiteral("Enum\\") + hardware, u"DeviceDesc");
    if (description.isEmpty()) description = QString::fromUtf8(state_.pick("Unbekanntes Gerät", "Unknown device"));
    found << description;
  }
}

}  // namespace vt::diagnosis
