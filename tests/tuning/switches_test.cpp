// SPDX-License-Identifier: GPL-3.0-or-later
#include "tuning/switches.h"

#include "platform/filesystem.h"
#include "support/testmachine.h"

#include <QtEndian>

#include <gtest/gtest.h>

#include <functional>
#include <set>

namespace vt {
namespace {

constexpr const char16_t* kPolicies = u"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer";
constexpr const char16_t* kMetrics = u"Control Panel\\Desktop\\WindowMetrics";
constexpr const char16_t* kDesktop = u"Control Panel\\Desktop";
constexpr const char16_t* kExplorer = u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer";
const QString kStartMenu = QStringLiteral("C:\\WINDOWS\\Start Menu");
const QString kControlPanelFolder = kStartMenu + QStringLiteral("\\Systemsteuerung.{21EC2020-3AEA-1069-A2DD-08002B30309D}");
const QString kPrintersFolder = kStartMenu + QStringLiteral("\\Drucker.{2227A280-3AEA-1069-A2DE-08002B30309D}");

QByteArray dword(quint32 v) {
  QByteArray d(4, '\0');
  qToLittleEndian(v, d.data());
  return d;
}

// A Windows 95 machine holding every key and file the switches touch, all "off".
class Sys {
 public:
  Sys() : reg(tm.machine(), state), ini(tm.machine()), sys{reg, ini, tm.machine(), QStringLiteral("C:\\WINDOWS"), kStartMenu} {
    Registry& r = tm.registry();
    r.createKey(HKey::CurrentUser, kMetrics)->setValue("MinAnimate", RegSz, "0");
    r.createKey(HKey::CurrentUser, kMetrics)->setValue("Shell Icon BPP", RegSz, "4");
    r.createKey(HKey::CurrentUser, kDesktop)->setValue("FontSmoothing", RegSz, "0");
    r.createKey(HKey::CurrentUser, kDesktop)->setValue("DragFullWindows", RegSz, "0");
    r.createKey(HKey::CurrentUser, kPolicies)->setValue("NoStartBanner", RegDword, dword(1));
    r.createKey(HKey::CurrentUser, kPolicies)->setValue("NoDriveTypeAutoRun", RegBinary, dword(0x95 | 0x20));
    r.createKey(HKey::CurrentUser, kExplorer)->setValue("link", RegBinary, dword(0));
    r.createKey(HKey::ClassesRoot, u"Piffile");
    r.createKey(HKey::ClassesRoot, u"lnkfile");
    r.createKey(HKey::ClassesRoot, u".bmp")->setValue("", RegSz, "Paint.Picture");
    r.createKey(HKey::ClassesRoot, u"Paint.Picture\\DefaultIcon")->setValue("", RegSz, "C:\\PBRUSH.EXE,1");
    r.createKey(HKey::ClassesRoot, u"CLSID\\{21EC2020-3AEA-1069-A2DD-08002B30309D}")->setValue("", RegSz, "Systemsteuerung");
    r.createKey(HKey::ClassesRoot, u"CLSID\\{2227A280-3AEA-1069-A2DE-08002B30309D}")->setValue("", RegSz, "Drucker");
    EXPECT_TRUE(tm.machine().saveRegistry());
    tm.putHostFile("C", "MSDOS.SYS",
                   "[Paths]\r\nWinDir=C:\\WINDOWS\r\n[Options]\r\nBootMenu=0\r\nBootMulti=0\r\nNetwork=0\r\nLogo=0\r\n"
                   "DblSpace=0\r\nDrvSpace=0\r\nLoadTop=0\r\nDoubleBuffer=0\r\nBootMenuDelay=5\r\n");
    tm.putHostFile("C", "WINDOWS/SYSTEM.INI",
                   "[boot]\r\nshell=Explorer.exe\r\n[386Enh]\r\nRemoveableIDE=0\r\nLocalLoadHigh=0\r\n");
    EXPECT_TRUE(tm.fs().setAttributes(u"C:\\MSDOS.SYS", AttrReadOnly | AttrHidden | AttrSystem));
    EXPECT_TRUE(tm.fs().createDirectories(kStartMenu));
  }

  QString str(HKey root, QStringView key, QStringView name) { return reg.ReadRegString(root, key, name); }
  quint32 num(HKey root, QStringView key, QStringView name) { return reg.ReadRegDword(root, key, name); }
  void setStr(HKey root, QStringView key, const char* name, const char* v) {
    tm.registry().openKey(root, key)->setValue(name, RegSz, v);
  }
  void setNum(HKey root, QStringView key, const char* name, quint32 v) {
    tm.registry().openKey(root, key)->setValue(name, RegDword, dword(v));
  }
  int msdos(const char* key) { return ini.ReadIniInteger(u"C:\\MSDOS.SYS", u"Options", QString::fromLatin1(key)); }
  void setMsdos(const char* key, int v) { ini.WriteIniInteger(u"C:\\MSDOS.SYS", u"Options", QString::fromLatin1(key), v); }
  int sysIni(const char* key) { return ini.ReadIniInteger(u"C:\\WINDOWS\\SYSTEM.INI", u"386Enh", QString::fromLatin1(key)); }
  void setSysIni(const char* key, int v) {
    ini.WriteIniInteger(u"C:\\WINDOWS\\SYSTEM.INI", u"386Enh", QString::fromLatin1(key), v);
  }

  test::TestMachine tm;
  SharedState state;
  RegAccess reg;
  IniAccess ini;
  tuning::System sys;
};

// For each switch: how to put the system into the state that reads checked, and how to see
// that a write of "checked" or "unchecked" stored the right thing.
struct Case {
  const char* box;
  std::function<void(Sys&)> makeOn;
  std::function<bool(Sys&)> storedOn;
  std::function<bool(Sys&)> storedOff;
};

Case regString(const char* box, HKey root, const char16_t* key, const char* name, const char* on, const char* off) {
  const QString n = QString::fromLatin1(name);
  return {box, [=](Sys& s) { s.setStr(root, key, name, on); }, [=](Sys& s) { return s.str(root, key, n) == QLatin1String(on); },
          [=](Sys& s) { return s.str(root, key, n) == QLatin1String(off); }};
}
Case msdosKey(const char* box, const char* key) {
  return {box, [=](Sys& s) { s.setMsdos(key, 1); }, [=](Sys& s) { return s.msdos(key) == 1; },
          [=](Sys& s) { return s.msdos(key) == 0; }};
}
Case systemIniKey(const char* box, const char* key) {
  return {box, [=](Sys& s) { s.setSysIni(key, 1); }, [=](Sys& s) { return s.sysIni(key) == 1; },
          [=](Sys& s) {
            return s.sysIni(key) == 0 &&
                   !s.ini.ReadIniString(u"C:\\WINDOWS\\SYSTEM.INI", u"386Enh", QString::fromLatin1(key)).isEmpty();
          }};
}
Case arrow(const char* box, const char16_t* fileClass) {
  return {box, [=](Sys& s) { s.setStr(HKEY_CLASSES_ROOT, fileClass, "IsShortCut", ""); },
          [=](Sys& s) { return s.tm.registry().openKey(HKey::ClassesRoot, fileClass)->findValue("IsShortCut") != nullptr; },
          [=](Sys& s) { return s.tm.registry().openKey(HKey::ClassesRoot, fileClass)->findValue("IsShortCut") == nullptr; }};
}
Case folder(const char* box, const QString& path) {
  return {box, [=](Sys& s) { s.tm.fs().createDirectory(path); }, [=](Sys& s) { return s.tm.fs().isDirectory(path); },
          [=](Sys& s) { return !s.tm.fs().exists(path); }};
}

std::vector<Case> cases() {
  return {
      regString("CheckBox_Icons", HKEY_CURRENT_USER, kMetrics, "Shell Icon BPP", "16", "4"),
      regString("Checkbox_noAnim", HKEY_CURRENT_USER, kMetrics, "MinAnimate", "1", "0"),
      regString("CheckBox_SmoothFonts", HKEY_CURRENT_USER, kDesktop, "FontSmoothing", "1", "0"),
      regString("Checkbox_DragFullWindows", HKEY_CURRENT_USER, kDesktop, "DragFullWindows", "1", "0"),
      arrow("CheckBox_PIF", u"Piffile"),
      arrow("CheckBox_LNK", u"Lnkfile"),
      // Off puts back an icon that works: without Paint on the machine, the shell's document icon.
      regString("Checkbox_BMP", HKEY_CLASSES_ROOT, u"Paint.Picture\\DefaultIcon", "", "%1", "C:\\WINDOWS\\SYSTEM\\SHELL32.DLL,0"),
      // The box shows whether the banner appears; the stored value suppresses it.
      {"Checkbox_StartBanner", [](Sys& s) { s.setNum(HKEY_CURRENT_USER, kPolicies, "NoStartBanner", 0); },
       [](Sys& s) { return s.num(HKEY_CURRENT_USER, kPolicies, u"NoStartBanner") == 0; },
       [](Sys& s) { return s.num(HKEY_CURRENT_USER, kPolicies, u"NoStartBanner") == 1; }},
      msdosKey("CheckBox_DblSpace", "DblSpace"),
      msdosKey("Checkbox_DrvSpace", "DrvSpace"),
      msdosKey("CheckBox_LoadTop", "LoadTop"),
      systemIniKey("Checkbox_RemovableIDE", "RemoveableIDE"),
      msdosKey("CheckBox_DoubleBuffer", "DoubleBuffer"),
      {"CheckBox_Autostart", [](Sys& s) { s.setNum(HKEY_CURRENT_USER, kPolicies, "NoDriveTypeAutoRun", 0x95); },
       [](Sys& s) { return s.num(HKEY_CURRENT_USER, kPolicies, u"NoDriveTypeAutoRun") == 0x95; },
       [](Sys& s) { return s.num(HKEY_CURRENT_USER, kPolicies, u"NoDriveTypeAutoRun") == 0xB5; }},
      {"CheckBox_link",
       [](Sys& s) { s.tm.registry().openKey(HKey::CurrentUser, kExplorer)->setValue("link", RegBinary, dword(2)); },
       [](Sys& s) { return s.num(HKEY_CURRENT_USER, kExplorer, u"link") == 27; },
       [](Sys& s) { return s.num(HKEY_CURRENT_USER, kExplorer, u"link") == 0; }},
      folder("CheckBox_Systemsteuerung", kControlPanelFolder),
      folder("CheckBox_Drucker", kPrintersFolder),
      {"Checkbox_Schnellansicht", [](Sys& s) { s.tm.registry().createKey(HKey::ClassesRoot, u"*\\Quickview"); },
       [](Sys& s) { return s.str(HKEY_CLASSES_ROOT, u"*\\Quickview", u"") == QLatin1String("*"); },
       [](Sys& s) { return !s.reg.RegKeyExists(HKEY_CLASSES_ROOT, u"*\\Quickview"); }},
      systemIniKey("Checkbox_LocalLoadHigh", "LocalLoadHigh"),
      msdosKey("CheckBox_ShowBootMenu", "BootMenu"),
      msdosKey("checkBox_oldDOS", "BootMulti"),
      msdosKey("CheckBox_Network", "Network"),
      msdosKey("CheckBox_Logo", "Logo"),
  };
}

TEST(SwitchCatalogue, HoldsTheTwentyThreeBoxesInCreationOrderOnce) {
  const std::vector<Case> all = cases();
  auto rows = tuning::catalogue();
  ASSERT_EQ(rows.size(), all.size());
  std::set<std::string> seen;
  for (size_t i = 0; i < rows.size(); ++i) {
    EXPECT_STREQ(rows[i].box, all[i].box);
    EXPECT_TRUE(seen.insert(rows[i].box).second) << rows[i].box;
    EXPECT_EQ(tuning::findSwitch(QString::fromLatin1(rows[i].box)), &rows[i]);
  }
  EXPECT_EQ(tuning::findSwitch(u"Checkbox_Netzwerk"), nullptr);
}

class EverySwitch : public ::testing::TestWithParam<size_t> {};

TEST_P(EverySwitch, ReadsItsPreparedStates) {
  const Case c = cases()[GetParam()];
  const tuning::Switch* row = tuning::findSwitch(QString::fromLatin1(c.box));
  ASSERT_NE(row, nullptr);
  Sys s;
  EXPECT_FALSE(row->read(s.sys)) << "prepared off";
  c.makeOn(s);
  EXPECT_TRUE(row->read(s.sys)) << "prepared on";
}

TEST_P(EverySwitch, WritesBothStatesAndReadsThemBack) {
  const Case c = cases()[GetParam()];
  const tuning::Switch* row = tuning::findSwitch(QString::fromLatin1(c.box));
  ASSERT_NE(row, nullptr);
  Sys s;
  row->write(s.sys, true);
  EXPECT_TRUE(c.storedOn(s));
  EXPECT_TRUE(row->read(s.sys));
  row->write(s.sys, false);
  EXPECT_TRUE(c.storedOff(s));
  EXPECT_FALSE(row->read(s.sys));
  // What was written is on the hive files, not only in memory.
  s.tm.reopen();
  SharedState state;
  RegAccess reg(s.tm.machine(), state);
  IniAccess ini(s.tm.machine());
  tuning::System again{reg, ini, s.tm.machine(), QStringLiteral("C:\\WINDOWS"), kStartMenu};
  EXPECT_FALSE(row->read(again));
}

INSTANTIATE_TEST_SUITE_P(Catalogue, EverySwitch, ::testing::Range<size_t>(0, 23),
                         [](const auto& info) { return std::string(cases()[info.param].box); });

// --- particular rules ---

TEST(Switches, AbsentValuesOfAnimationAndLinkReadChecked) {
  Sys s;
  s.tm.registry().openKey(HKey::CurrentUser, kMetrics)->removeValue("MinAnimate");
  s.tm.registry().openKey(HKey::CurrentUser, kExplorer)->removeValue("link");
  EXPECT_TRUE(tuning::findSwitch(u"Checkbox_noAnim")->read(s.sys));
  EXPECT_TRUE(tuning::findSwitch(u"CheckBox_link")->read(s.sys));
}

TEST(Switches, LinkLooksAtTheFirstFourBytesOnly) {
  Sys s;
  RegKey* k = s.tm.registry().openKey(HKey::CurrentUser, kExplorer);
  k->setValue("link", RegBinary, QByteArray("\0\0\0\0\1", 5));
  EXPECT_FALSE(tuning::findSwitch(u"CheckBox_link")->read(s.sys));
  k->setValue("link", RegBinary, QByteArray("\0\0\1\0\0", 5));
  EXPECT_TRUE(tuning::findSwitch(u"CheckBox_link")->read(s.sys));
}

TEST(Switches, ShellIconDepthOf32ReadsUncheckedAndWritesFour) {
  Sys s;
  s.setStr(HKEY_CURRENT_USER, kMetrics, "Shell Icon BPP", "32");
  const tuning::Switch* icons = tuning::findSwitch(u"CheckBox_Icons");
  EXPECT_FALSE(icons->read(s.sys));
  icons->write(s.sys, false);
  EXPECT_EQ(s.str(HKEY_CURRENT_USER, kMetrics, u"Shell Icon BPP"), QStringLiteral("4"));
}

TEST(Switches, AutostartKeepsTheOtherDriveTypeBits) {
  Sys s;
  s.setNum(HKEY_CURRENT_USER, kPolicies, "NoDriveTypeAutoRun", 0x95);
  const tuning::Switch* autostart = tuning::findSwitch(u"CheckBox_Autostart");
  EXPECT_TRUE(autostart->read(s.sys));
  autostart->write(s.sys, true);
  EXPECT_EQ(s.num(HKEY_CURRENT_USER, kPolicies, u"NoDriveTypeAutoRun"), 0x95u);
  autostart->write(s.sys, false);
  EXPECT_EQ(s.num(HKEY_CURRENT_USER, kPolicies, u"NoDriveTypeAutoRun"), 0xB5u);
}

TEST(Switches, WithoutThePoliciesKeyNothingCreatesIt) {
  Sys s;
  ASSERT_TRUE(s.tm.registry().deleteKey(HKey::CurrentUser, kPolicies));
  const tuning::Switch* autostart = tuning::findSwitch(u"CheckBox_Autostart");
  const tuning::Switch* banner = tuning::findSwitch(u"Checkbox_StartBanner");
  EXPECT_TRUE(autostart->read(s.sys));
  EXPECT_TRUE(banner->read(s.sys)) << "Windows shows the banner unless told not to";
  for (bool on : {true, false}) {
    autostart->write(s.sys, on);
    banner->write(s.sys, on);
  }
  EXPECT_FALSE(s.reg.RegKeyExists(HKEY_CURRENT_USER, kPolicies));
}

TEST(Switches, StartBannerBoxAndStoredValueAgree) {
  Sys s;
  const tuning::Switch* banner = tuning::findSwitch(u"Checkbox_StartBanner");
  s.setNum(HKEY_CURRENT_USER, kPolicies, "NoStartBanner", 1);
  EXPECT_FALSE(banner->read(s.sys)) << "suppressed banner: box unchecked";
  banner->write(s.sys, true);
  EXPECT_EQ(s.num(HKEY_CURRENT_USER, kPolicies, u"NoStartBanner"), 0u);
}

TEST(Switches, ArrowsNeedTheirClassKey) {
  Sys s;
  ASSERT_TRUE(s.tm.registry().deleteKey(HKey::ClassesRoot, u"Piffile"));
  tuning::findSwitch(u"CheckBox_PIF")->write(s.sys, true);
  EXPECT_FALSE(s.reg.RegKeyExists(HKEY_CLASSES_ROOT, u"Piffile"));
}

TEST(Switches, ArrowReadMatchesValueNamesByPrefix) {
  Sys s;
  s.setStr(HKEY_CLASSES_ROOT, u"lnkfile", "IsShortCutX", "");
  EXPECT_TRUE(tuning::findSwitch(u"CheckBox_LNK")->read(s.sys));
}

TEST(Switches, BmpSwitchFollowsTheClassAndWritesNothingWithoutIt) {
  Sys s;
  const tuning::Switch* bmp = tuning::findSwitch(u"Checkbox_BMP");
  s.setStr(HKEY_CLASSES_ROOT, u"Paint.Picture\\DefaultIcon", "", "%1");
  EXPECT_TRUE(bmp->read(s.sys));
  s.setStr(HKEY_CLASSES_ROOT, u".bmp", "", "");
  EXPECT_FALSE(bmp->read(s.sys));
  bmp->write(s.sys, false);
  EXPECT_EQ(s.str(HKEY_CLASSES_ROOT, u"Paint.Picture\\DefaultIcon", u""), QStringLiteral("%1"));
  s.setStr(HKEY_CLASSES_ROOT, u".bmp", "", "Other.Class");
  bmp->write(s.sys, true);
  EXPECT_FALSE(s.reg.RegKeyExists(HKEY_CLASSES_ROOT, u"Other.Class"));
}

TEST(Switches, StartMenuFolderWithoutAClassNameDoesNothing) {
  Sys s;
  s.setStr(HKEY_CLASSES_ROOT, u"CLSID\\{21EC2020-3AEA-1069-A2DD-08002B30309D}", "", "");
  const tuning::Switch* panel = tuning::findSwitch(u"CheckBox_Systemsteuerung");
  panel->write(s.sys, true);
  EXPECT_FALSE(panel->read(s.sys));
  EXPECT_FALSE(s.tm.fs().exists(kControlPanelFolder));
  EXPECT_FALSE(s.tm.fs().exists(kStartMenu + QStringLiteral("\\.{21EC2020-3AEA-1069-A2DD-08002B30309D}")));
}

TEST(Switches, AFilledStartMenuFolderStays) {
  Sys s;
  ASSERT_TRUE(s.tm.fs().createDirectory(kPrintersFolder));
  ASSERT_TRUE(s.tm.fs().writeFile(kPrintersFolder + QStringLiteral("\\NOTE.TXT"), "x"));
  tuning::findSwitch(u"CheckBox_Drucker")->write(s.sys, false);
  EXPECT_TRUE(s.tm.fs().isDirectory(kPrintersFolder));
}

TEST(Switches, MsdosSysKeepsItsAttributesAfterAWrite) {
  Sys s;
  tuning::findSwitch(u"CheckBox_Logo")->write(s.sys, true);
  EXPECT_EQ(s.msdos("Logo"), 1);
  EXPECT_EQ(s.tm.fs().attributes(u"C:\\MSDOS.SYS"), quint32(AttrReadOnly | AttrHidden | AttrSystem | AttrArchive));
}

TEST(Switches, WithoutMsdosSysBoxesReadUncheckedAndNothingIsCreated) {
  Sys s;
  ASSERT_TRUE(s.tm.fs().setAttributes(u"C:\\MSDOS.SYS", 0));
  ASSERT_TRUE(s.tm.fs().deleteFile(u"C:\\MSDOS.SYS"));
  const tuning::Switch* menu = tuning::findSwitch(u"CheckBox_ShowBootMenu");
  EXPECT_FALSE(menu->read(s.sys));
  menu->write(s.sys, true);
  EXPECT_FALSE(s.tm.fs().exists(u"C:\\MSDOS.SYS"));
}

// --- value fields ---

TEST(ValueFields, MenuDelayReadsDecimalTextAndShowsZeroForAnythingElse) {
  Sys s;
  const struct {
    const char* stored;
    int shown;
  } rows[] = {{"400", 400}, {"", 0},   {" 250 ", 250},   {"abc", 0},
              {"12ms", 0},  {"-5", 0}, {"40000", 32000}, {"99999999999", 32000}};
  for (const auto& r : rows) {
    s.setStr(HKEY_CURRENT_USER, kDesktop, "MenuShowDelay", r.stored);
    EXPECT_EQ(tuning::readMenuShowDelay(s.sys), r.shown) << r.stored;
  }
  s.tm.registry().openKey(HKey::CurrentUser, kDesktop)->removeValue("MenuShowDelay");
  EXPECT_EQ(tuning::readMenuShowDelay(s.sys), 0);
  tuning::writeMenuShowDelay(s.sys, 500);
  EXPECT_EQ(s.str(HKEY_CURRENT_USER, kDesktop, u"MenuShowDelay"), QStringLiteral("500"));
}

TEST(ValueFields, BootDelaysStayWithinZeroToThirty) {
  Sys s;
  EXPECT_EQ(tuning::readBootMenuDelay(s.sys), 5);
  EXPECT_EQ(tuning::readBootDelay(s.sys), 2) << "absent key: Windows waits 2 seconds";
  s.setMsdos("BootDelay", 45);
  EXPECT_EQ(tuning::readBootDelay(s.sys), 30);
  s.setMsdos("BootMenuDelay", -3);
  EXPECT_EQ(tuning::readBootMenuDelay(s.sys), 0);
  tuning::writeBootDelay(s.sys, 7);
  tuning::writeBootMenuDelay(s.sys, 3);
  EXPECT_EQ(s.msdos("BootDelay"), 7);
  EXPECT_EQ(s.msdos("BootMenuDelay"), 3);
}

TEST(ValueFields, MissingKeysShowWhatWindowsDoesWithoutThem) {
  Sys s;
  s.tm.putHostFile("C", "MSDOS.SYS", "[Paths]\r\nWinDir=C:\\WINDOWS\r\n[Options]\r\nBootGUI=1\r\n");
  struct Row {
    const char* box;
    bool shown;
  } rows[] = {
      {"CheckBox_Logo", true},     {"CheckBox_DblSpace", true},      {"Checkbox_DrvSpace", true},
      {"CheckBox_LoadTop", true},  {"CheckBox_ShowBootMenu", false}, {"checkBox_oldDOS", false},
      {"CheckBox_Network", false}, {"CheckBox_DoubleBuffer", false},
  };
  for (const Row& r : rows) EXPECT_EQ(tuning::findSwitch(QString::fromLatin1(r.box))->read(s.sys), r.shown) << r.box;
  EXPECT_EQ(tuning::readBootMenuDelay(s.sys), 30);
  EXPECT_EQ(tuning::readBootDelay(s.sys), 2);
  // Without MSDOS.SYS there is nothing to show.
  ASSERT_TRUE(s.tm.fs().setAttributes(u"C:\\MSDOS.SYS", 0));
  ASSERT_TRUE(s.tm.fs().deleteFile(u"C:\\MSDOS.SYS"));
  EXPECT_FALSE(tuning::findSwitch(u"CheckBox_Logo")->read(s.sys));
  EXPECT_EQ(tuning::readBootDelay(s.sys), 0);
}

TEST(ValueFields, TextFieldsReadAndWriteTheirValues) {
  Sys s;
  auto fields = tuning::textFields();
  ASSERT_EQ(fields.size(), 3u);
  EXPECT_STREQ(fields[0].edit, "Edit_User");
  EXPECT_STREQ(fields[1].edit, "Edit_Firma");
  EXPECT_STREQ(fields[2].edit, "Edit_Computer");
  s.tm.registry()
      .createKey(HKey::LocalMachine, u"Software\\Microsoft\\Windows\\CurrentVersion")
      ->setValue("RegisteredOwner", RegSz, "Anna");
  EXPECT_EQ(tuning::readTextField(s.sys, fields[0]), QStringLiteral("Anna"));
  EXPECT_EQ(tuning::readTextField(s.sys, fields[2]), QString()) << "missing key";
  tuning::writeTextField(s.sys, fields[1], QStringLiteral("Firma GmbH"));
  EXPECT_EQ(s.str(HKEY_LOCAL_MACHINE, u"Software\\Microsoft\\Windows\\CurrentVersion", u"RegisteredOrganization"),
            QStringLiteral("Firma GmbH"));
  tuning::writeTextField(s.sys, fields[2], QStringLiteral("PC"));
  EXPECT_FALSE(s.reg.RegKeyExists(HKEY_LOCAL_MACHINE, u"System\\CurrentControlSet\\control\\ComputerName"));
}

TEST(ValueFields, LabelTextsUseSixteenBitPositions) {
  EXPECT_EQ(tuning::delayText(400, " msec"), QStringLiteral("400 msec"));
  EXPECT_EQ(tuning::delayText(0, " sec"), QStringLiteral("0 sec"));
  EXPECT_EQ(tuning::delayText(40000, " msec"), QStringLiteral("-25536 msec"));
}

TEST(AutoTuneTable, RecommendsNineSwitchesInItsOrder) {
  const char* expected[] = {"Checkbox_noAnim", "CheckBox_SmoothFonts", "CheckBox_PIF",
                            "CheckBox_LNK",    "Checkbox_BMP",         "Checkbox_StartBanner",
                            "CheckBox_Icons",  "CheckBox_link",        "Checkbox_Schnellansicht"};
  const bool checked[] = {false, true, true, true, false, false, true, false, true};
  auto r = tuning::recommendations();
  ASSERT_EQ(r.size(), std::size(expected));
  for (size_t i = 0; i < r.size(); ++i) {
    EXPECT_STREQ(r[i].box, expected[i]);
    EXPECT_EQ(r[i].checked, checked[i]) << expected[i];
    EXPECT_NE(tuning::findSwitch(QString::fromLatin1(r[i].box)), nullptr);
  }
  EXPECT_EQ(tuning::kRecommendedMenuDelay, 200);
}

}  // namespace
}  // namespace vt
