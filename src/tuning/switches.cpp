// SPDX-License-Identifier: GPL-3.0-or-later
#include "tuning/switches.h"

#include "platform/filesystem.h"
#include "platform/machine.h"
#include "platform/registry.h"

#include <QtEndian>

#include <algorithm>
#include <array>

namespace vt::tuning {

namespace {

constexpr const char16_t* kMetrics = u"Control Panel\\Desktop\\WindowMetrics";
constexpr const char16_t* kPolicies = u"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer";
constexpr const char16_t* kExplorer = u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer";
constexpr const char16_t* kQuickView = u"*\\Quickview";
constexpr quint32 kCdromAutoRunBit = 0x20;  // the CD-ROM drive type in NoDriveTypeAutoRun

QStringView sv(const char16_t* s) { return QStringView(s); }

// Writes go only into keys the machine already has; a missing key means the setting does
// not exist on this machine, which is left as it is.
bool hasKey(System& s, HKey root, QStringView key) { return s.reg.RegKeyExists(root, key); }

// --- registry strings ---

template <const char16_t* Key, const char16_t* Name, const char16_t* On, const char16_t* Off>
struct RegText {
  static bool read(System& s) { return s.reg.RegStringEquals(HKEY_CURRENT_USER, sv(Key), sv(Name), sv(On)); }
  static bool write(System& s, bool on) {
    return !hasKey(s, HKEY_CURRENT_USER, sv(Key)) ||
           s.reg.WriteRegString(HKEY_CURRENT_USER, sv(Key), sv(Name), sv(on ? On : Off));
  }
};

constexpr char16_t kMinAnimate[] = u"MinAnimate";
constexpr char16_t kFontSmoothing[] = u"FontSmoothing";
constexpr char16_t kDragFullWindows[] = u"DragFullWindows";
constexpr char16_t kShellIconBpp[] = u"Shell Icon BPP";
constexpr char16_t kOne[] = u"1";
constexpr char16_t kZero[] = u"0";
constexpr char16_t k16[] = u"16";
constexpr char16_t k4[] = u"4";
constexpr char16_t kMetricsKey[] = u"Control Panel\\Desktop\\WindowMetrics";
constexpr char16_t kDesktopKey[] = u"Control Panel\\Desktop";

using SmoothFonts = RegText<kDesktopKey, kFontSmoothing, kOne, kZero>;
using DragFullWindows = RegText<kDesktopKey, kDragFullWindows, kOne, kZero>;
using Icons = RegText<kMetricsKey, kShellIconBpp, k16, k4>;

// Windows animates unless MinAnimate says "0", so a user without the value sees it on.
bool readNoAnim(System& s) { return !s.reg.RegStringEquals(HKEY_CURRENT_USER, sv(kMetrics), u"MinAnimate", u"0"); }
bool writeNoAnim(System& s, bool on) { return RegText<kMetricsKey, kMinAnimate, kOne, kZero>::write(s, on); }

// --- shortcut arrows ---

template <const char16_t* FileClass>
struct Arrow {
  static bool read(System& s) { return s.reg.RegValueExistsAt(HKEY_CLASSES_ROOT, sv(FileClass), u"IsShortCut"); }
  static bool write(System& s, bool on) {
    RegKey* key = s.machine.registry().openKey(HKey::ClassesRoot, sv(FileClass));
    if (!key) return true;
    if (on) return s.reg.WriteRegString(HKEY_CLASSES_ROOT, sv(FileClass), u"IsShortCut", u"");
    return !key->findValue("IsShortCut") || s.reg.DeleteRegValue(HKEY_CLASSES_ROOT, sv(FileClass), u"IsShortCut");
  }
};
constexpr char16_t kPiffile[] = u"Piffile";
constexpr char16_t kLnkfile[] = u"Lnkfile";

// --- the picture shown in BMP icons ---

// The DefaultIcon key of the class ".bmp" names, or empty when either key is missing.
QString bmpIconKey(System& s) {
  if (!s.reg.RegKeyExists(HKEY_CLASSES_ROOT, u".bmp")) return {};
  const QString fileClass = s.reg.ReadRegString(HKEY_CLASSES_ROOT, u".bmp", u"");
  if (fileClass.isEmpty()) return {};
  const QString key = fileClass + QStringLiteral("\\DefaultIcon");
  return s.reg.RegKeyExists(HKEY_CLASSES_ROOT, key) ? key : QString();
}
bool readBmp(System& s) {
  const QString key = bmpIconKey(s);
  return !key.isEmpty() && s.reg.ReadRegString(HKEY_CLASSES_ROOT, key, u"") == QLatin1String("%1");
}
// What a bitmap's icon shows once it no longer shows the picture: Paint's bitmap icon where
// Paint is installed, otherwise the shell's icon for documents, which every Windows has.
QString plainBitmapIcon(System& s) {
  QString programs = s.reg.ReadRegString(HKEY_LOCAL_MACHINE, u"Software\\Microsoft\\Windows\\CurrentVersion", u"ProgramFilesDir");
  if (programs.isEmpty()) programs = QStringLiteral("C:\\Program Files");
  const QString paint = programs + QStringLiteral("\\Accessories\\MSPAINT.EXE");
  if (s.machine.files().exists(paint)) return paint + QStringLiteral(",1");
  return s.windowsDirectory + QStringLiteral("\\SYSTEM\\SHELL32.DLL,0");
}
bool writeBmp(System& s, bool on) {
  const QString key = bmpIconKey(s);
  if (key.isEmpty()) return true;
  const bool showsPicture = s.reg.ReadRegString(HKEY_CLASSES_ROOT, key, u"") == QLatin1String("%1");
  if (on == showsPicture) return true;  // an icon the class brought along stays
  return s.reg.WriteRegString(HKEY_CLASSES_ROOT, key, u"", on ? QStringLiteral("%1") : plainBitmapIcon(s));
}

// --- Explorer policies ---

// The box says whether the banner is shown; the value says whether it is suppressed, so
// the two are each other's inverse. Windows shows the banner when the value is absent.
bool readStartBanner(System& s) { return !s.reg.RegDwordEquals(HKEY_CURRENT_USER, sv(kPolicies), u"NoStartBanner", 1); }
bool writeStartBanner(System& s, bool on) {
  return !hasKey(s, HKEY_CURRENT_USER, sv(kPolicies)) ||
         s.reg.WriteRegDword(HKEY_CURRENT_USER, sv(kPolicies), u"NoStartBanner", on ? 0 : 1);
}

// Only the CD-ROM bit is ours; the other drive types keep what the user set.
bool readAutostart(System& s) {
  return (s.reg.ReadRegDword(HKEY_CURRENT_USER, sv(kPolicies), u"NoDriveTypeAutoRun") & kCdromAutoRunBit) == 0;
}
bool writeAutostart(System& s, bool on) {
  if (!hasKey(s, HKEY_CURRENT_USER, sv(kPolicies))) return true;
  const quint32 v = s.reg.ReadRegDword(HKEY_CURRENT_USER, sv(kPolicies), u"NoDriveTypeAutoRun");
  return s.reg.WriteRegDword(HKEY_CURRENT_USER, sv(kPolicies), u"NoDriveTypeAutoRun",
                             on ? (v & ~kCdromAutoRunBit) : (v | kCdromAutoRunBit));
}

// "link" counts the shortcuts made so far; Explorer adds "Shortcut to" while it is not 0.
// Windows keeps it as four binary bytes, so only those are looked at.
bool readLink(System& s) {
  RegKey* key = s.machine.registry().openKey(HKey::CurrentUser, sv(kExplorer));
  const RegValue* v = key ? key->findValue("link") : nullptr;
  if (!v) return true;
  const QByteArray first = v->data.left(4);
  return std::any_of(first.cbegin(), first.cend(), [](char c) { return c != 0; });
}
bool writeLink(System& s, bool on) {
  return !hasKey(s, HKEY_CURRENT_USER, sv(kExplorer)) ||
         s.reg.WriteRegDword(HKEY_CURRENT_USER, sv(kExplorer), u"link", on ? 27 : 0);
}

// --- Start-menu folders ---

// The folder through which the shell shows a class inside the Start menu, named by the
// class's display name; empty when the class has no name (then the switch does nothing).
template <const char16_t* Clsid>
struct StartMenuFolder {
  static QString folder(System& s) {
    if (s.startMenu.isEmpty()) return {};
    const QString name = s.reg.ReadRegString(HKEY_CLASSES_ROOT, QStringLiteral("Clsid\\") + QString::fromUtf16(Clsid), u"");
    if (name.isEmpty()) return {};
    return s.startMenu + QLatin1Char('\\') + name + QLatin1Char('.') + QString::fromUtf16(Clsid);
  }
  static bool read(System& s) {
    const QString f = folder(s);
    return !f.isEmpty() && s.machine.files().isDirectory(f);
  }
  static bool write(System& s, bool on) {
    const QString f = folder(s);
    if (f.isEmpty()) return true;
    FileSystem& fs = s.machine.files();
    if (on) return fs.isDirectory(f) || fs.createDirectory(f);
    return !fs.exists(f) || fs.removeDirectory(f);  // a folder the user filled stays, and says so
  }
};
constexpr char16_t kControlPanelId[] = u"{21EC2020-3AEA-1069-A2DD-08002B30309D}";
constexpr char16_t kPrintersId[] = u"{2227A280-3AEA-1069-A2DE-08002B30309D}";

bool readQuickView(System& s) { return s.reg.RegKeyExists(HKEY_CLASSES_ROOT, sv(kQuickView)); }
bool writeQuickView(System& s, bool on) {
  if (on) return s.reg.WriteRegStringCreate(HKEY_CLASSES_ROOT, sv(kQuickView), u"", u"*");
  return !hasKey(s, HKEY_CLASSES_ROOT, sv(kQuickView)) || s.reg.DeleteRegKey(HKEY_CLASSES_ROOT, sv(kQuickView));
}

// --- MSDOS.SYS [Options] and SYSTEM.INI [386Enh] ---

// Windows 95 treats a key missing from MSDOS.SYS as its default, and so must its box:
// showing the default-on switches (logo, DoubleSpace, DriveSpace, LoadTop) unchecked would
// make the next apply switch them off although the user never touched them.
// The number an [Options] key of MSDOS.SYS holds, read once: `whenMissing` when the file
// lacks the key, 0 when there is no MSDOS.SYS at all or the text is no number.
// An INI file counts only when it is a file; a folder of that name is no MSDOS.SYS.
bool hasFile(System& s, const QString& path) { return s.machine.files().isFile(path); }

// Writes a number into an INI file the machine has; a machine without the file keeps none.
bool writeIni(System& s, const QString& file, QStringView section, QStringView key, int value) {
  return !hasFile(s, file) || s.ini.WriteIniInteger(file, section, key, value);
}

int msdosOption(System& s, QStringView key, int whenMissing) {
  if (!hasFile(s, s.msdosSys())) return 0;
  const QString text = s.ini.ReadIniString(s.msdosSys(), u"Options", key);
  if (text.isEmpty()) return whenMissing;
  int value = 0;
  return IniAccess::parseInteger(text, &value) ? value : 0;
}

template <const char16_t* Key, bool WindowsDefault = false>
struct MsdosKey {
  static bool read(System& s) { return msdosOption(s, sv(Key), WindowsDefault ? 1 : 0) == 1; }
  static bool write(System& s, bool on) { return writeIni(s, s.msdosSys(), u"Options", sv(Key), on ? 1 : 0); }
};
template <const char16_t* Key>
struct SystemIniKey {
  static bool read(System& s) { return s.ini.IniIntegerEquals(s.systemIni(), u"386Enh", sv(Key), 1); }
  static bool write(System& s, bool on) { return writeIni(s, s.systemIni(), u"386Enh", sv(Key), on ? 1 : 0); }
};
constexpr char16_t kDblSpace[] = u"DblSpace";
constexpr char16_t kDrvSpace[] = u"DrvSpace";
constexpr char16_t kLoadTop[] = u"LoadTop";
constexpr char16_t kDoubleBuffer[] = u"DoubleBuffer";
constexpr char16_t kBootMenu[] = u"BootMenu";
constexpr char16_t kBootMulti[] = u"BootMulti";
constexpr char16_t kNetwork[] = u"Network";
constexpr char16_t kLogo[] = u"Logo";
constexpr char16_t kRemoveableIde[] = u"RemoveableIDE";  // sic: the key as the file spells it
constexpr char16_t kLocalLoadHigh[] = u"LocalLoadHigh";

template <typename T>
constexpr Switch row(const char* box) {
  return {box, &T::read, &T::write};
}

const std::array<Switch, 23> kCatalogue = {{
    row<Icons>("CheckBox_Icons"),
    {"Checkbox_noAnim", &readNoAnim, &writeNoAnim},
    row<SmoothFonts>("CheckBox_SmoothFonts"),
    row<DragFullWindows>("Checkbox_DragFullWindows"),
    row<Arrow<kPiffile>>("CheckBox_PIF"),
    row<Arrow<kLnkfile>>("CheckBox_LNK"),
    {"Checkbox_BMP", &readBmp, &writeBmp},
    {"Checkbox_StartBanner", &readStartBanner, &writeStartBanner},
    row<MsdosKey<kDblSpace, true>>("CheckBox_DblSpace"),
    row<MsdosKey<kDrvSpace, true>>("Checkbox_DrvSpace"),
    row<MsdosKey<kLoadTop, true>>("CheckBox_LoadTop"),
    row<SystemIniKey<kRemoveableIde>>("Checkbox_RemovableIDE"),
    row<MsdosKey<kDoubleBuffer>>("CheckBox_DoubleBuffer"),
    {"CheckBox_Autostart", &readAutostart, &writeAutostart},
    {"CheckBox_link", &readLink, &writeLink},
    row<StartMenuFolder<kControlPanelId>>("CheckBox_Systemsteuerung"),
    row<StartMenuFolder<kPrintersId>>("CheckBox_Drucker"),
    {"Checkbox_Schnellansicht", &readQuickView, &writeQuickView},
    row<SystemIniKey<kLocalLoadHigh>>("Checkbox_LocalLoadHigh"),
    row<MsdosKey<kBootMenu>>("CheckBox_ShowBootMenu"),
    row<MsdosKey<kBootMulti>>("checkBox_oldDOS"),
    row<MsdosKey<kNetwork>>("CheckBox_Network"),
    row<MsdosKey<kLogo, true>>("CheckBox_Logo"),
}};

constexpr TextField kTextFields[] = {
    {"Edit_User", HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion", "RegisteredOwner"},
    {"Edit_Firma", HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion", "RegisteredOrganization"},
    {"Edit_Computer", HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\control\\ComputerName\\ComputerName", "ComputerName"},
};

constexpr Recommendation kRecommendations[] = {
    {"Checkbox_noAnim", false}, {"CheckBox_SmoothFonts", true}, {"CheckBox_PIF", true},
    {"CheckBox_LNK", true},     {"Checkbox_BMP", false},        {"Checkbox_StartBanner", false},
    {"CheckBox_Icons", true},   {"CheckBox_link", false},       {"Checkbox_Schnellansicht", true},
};

int clampDelay(int v, int max) { return std::clamp(v, 0, max); }

}  // namespace

std::span<const Switch> catalogue() { return kCatalogue; }

const Switch* findSwitch(QStringView box) {
  for (const Switch& s : kCatalogue)
    if (box == QLatin1String(s.box)) return &s;
  return nullptr;
}

const char* sectionOf(const Switch& row) {
  // The boxes of a page follow one another in the catalogue: the first index of each page.
  static constexpr std::pair<size_t, const char*> kPages[] = {{0, "optics"}, {8, "filesystem"}, {14, "desktop"},
                                                              {18, "other"}, {19, "bootmenu"},  {22, "logos"}};
  const size_t index = size_t(&row - kCatalogue.data());
  const char* section = "";
  for (const auto& [first, name] : kPages)
    if (index >= first && index < kCatalogue.size()) section = name;
  return section;
}

bool applySwitch(System& sys, const Switch& row, bool checked) { return row.read(sys) == checked || row.write(sys, checked); }

int readMenuShowDelay(System& sys) {
  QString text = sys.reg.ReadRegString(HKEY_CURRENT_USER, u"Control Panel\\desktop", u"MenuShowDelay").trimmed();
  if (text.isEmpty()) text = QStringLiteral("0");
  bool ok = false;
  const qlonglong v = text.toLongLong(&ok, 10);
  if (!ok) return 0;
  return int(std::clamp<qlonglong>(v, 0, kMenuDelayMax));
}

bool writeMenuShowDelay(System& sys, int position) {
  return !hasKey(sys, HKEY_CURRENT_USER, u"Control Panel\\desktop") ||
         sys.reg.WriteRegString(HKEY_CURRENT_USER, u"Control Panel\\desktop", u"MenuShowDelay",
                                QString::number(qint16(position)));
}

// A delay missing from MSDOS.SYS is Windows' default (30 s for the menu, 2 s before the
// start), not 0: otherwise the next apply would shorten it without being asked.
int readMsdosDelay(System& sys, QStringView key, int windowsDefault) {
  return clampDelay(msdosOption(sys, key, windowsDefault), kBootDelayMax);
}
int readBootMenuDelay(System& sys) { return readMsdosDelay(sys, u"BootMenuDelay", 30); }
int readBootDelay(System& sys) { return readMsdosDelay(sys, u"BootDelay", 2); }
bool writeBootMenuDelay(System& sys, int position) {
  return writeIni(sys, sys.msdosSys(), u"Options", u"BootMenuDelay", qint16(position));
}
bool writeBootDelay(System& sys, int position) {
  return writeIni(sys, sys.msdosSys(), u"Options", u"BootDelay", qint16(position));
}

std::span<const TextField> textFields() { return kTextFields; }

QString readTextField(System& sys, const TextField& f) {
  return sys.reg.ReadRegString(f.root, QString::fromLatin1(f.key), QString::fromLatin1(f.value));
}
bool writeTextField(System& sys, const TextField& f, const QString& text) {
  const QString key = QString::fromLatin1(f.key);
  return !hasKey(sys, f.root, key) || sys.reg.WriteRegString(f.root, key, QString::fromLatin1(f.value), text);
}

QString delayText(int position, const char* unit) { return QString::number(qint16(position)) + QLatin1String(unit); }

std::span<const Recommendation> recommendations() { return kRecommendations; }

}  // namespace vt::tuning
