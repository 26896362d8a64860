// SPDX-License-Identifier: GPL-3.0-or-later
#include "sysaccess/reg.h"

#include "support/testmachine.h"

#include <QDir>
#include <QFile>

#include <functional>
#include <string>

#include <gtest/gtest.h>

namespace vt {
namespace {

class RegAccessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegKey* k = reg().createKey(HKey::ClassesRoot, u"lnkfile");
    k->setValue("IsShortcut", RegSz, "");
    k->setValue("", RegSz, "Shortcut");
    RegKey* desk = reg().createKey(HKey::CurrentUser, u"Control Panel\\desktop");
    desk->setValue("MenuShowDelay", RegSz, "400");
    desk->setValue("SmoothScroll", RegBinary, QByteArray("\x01\x00\x00\x00", 4));
    desk->setValue("Short", RegBinary, QByteArray("\x34\x12", 2));
    desk->setValue("Long", RegBinary, QByteArray("\x01\x00\x00\x00\x00", 5));
    desk->setValue("Dword", RegDword, QByteArray("\x78\x56\x34\x12", 4));
    ASSERT_TRUE(tm.machine().saveRegistry());
  }
  Registry& reg() { return tm.registry(); }

  test::TestMachine tm;
  SharedState state;
  RegAccess r{tm.machine(), state};
};

TEST_F(RegAccessTest, ValueExistenceMatchesNamePrefixesWithoutRegardToCase) {
  struct Case {
    const char* name;
    bool expected;
  } cases[] = {
      {"IsShortcut", true}, {"isshortcut", true}, {"IsShort", true}, {"", true}, {"IsShortcutX", false}, {"NeverShowExt", false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(r.RegValueExistsAt(HKEY_CLASSES_ROOT, u"lnkfile", QString::fromLatin1(c.name)), c.expected) << c.name;
  EXPECT_FALSE(r.RegValueExistsAt(HKEY_CLASSES_ROOT, u"nokey", u""));
  reg().createKey(HKey::ClassesRoot, u"empty");
  EXPECT_FALSE(r.RegValueExistsAt(HKEY_CLASSES_ROOT, u"empty", u""));
}

TEST_F(RegAccessTest, ReadsStringsThroughA255ByteBuffer) {
  RegKey* k = reg().createKey(HKey::LocalMachine, u"Software\\Test");
  const QByteArray t254(254, 'x');
  k->setValue("s254", RegSz, t254);
  k->setValue("s300", RegSz, QByteArray(300, 'y'));
  k->setValue("nul", RegSz, QByteArray("abc\0def", 7));
  EXPECT_EQ(r.ReadRegString(HKEY_LOCAL_MACHINE, u"Software\\Test", u"s254"), QString::fromLatin1(t254));
  EXPECT_EQ(r.ReadRegString(HKEY_LOCAL_MACHINE, u"Software\\Test", u"s300").size(), 254);
  EXPECT_EQ(r.ReadRegString(HKEY_LOCAL_MACHINE, u"Software\\Test", u"nul"), QStringLiteral("abc"));
  // IsShort passes the existence test but names no value, so nothing is read.
  EXPECT_EQ(r.ReadRegString(HKEY_CLASSES_ROOT, u"lnkfile", u"IsShort"), QString());
  EXPECT_EQ(r.ReadRegString(HKEY_CLASSES_ROOT, u"lnkfile", u""), QStringLiteral("Shortcut"));
  EXPECT_TRUE(r.RegStringEquals(HKEY_CLASSES_ROOT, u"lnkfile", u"", u"SHORTCUT"));
  EXPECT_FALSE(r.RegStringEquals(HKEY_CLASSES_ROOT, u"lnkfile", u"missing", u""));
}

TEST_F(RegAccessTest, DwordsReadAnyDataUpToFourBytes) {
  const auto path = u"Control Panel\\desktop";
  EXPECT_EQ(r.ReadRegDword(HKEY_CURRENT_USER, path, u"Dword"), 0x12345678u);
  EXPECT_EQ(r.ReadRegDword(HKEY_CURRENT_USER, path, u"SmoothScroll"), 1u);
  EXPECT_EQ(r.ReadRegDword(HKEY_CURRENT_USER, path, u"Short"), 0x1234u);
  EXPECT_EQ(r.ReadRegDword(HKEY_CURRENT_USER, path, u"Long"), 0u);
  EXPECT_EQ(r.ReadRegDword(HKEY_CURRENT_USER, path, u"Missing"), 0u);
  EXPECT_TRUE(r.RegDwordEquals(HKEY_CURRENT_USER, path, u"SmoothScroll", 1));
  EXPECT_FALSE(r.RegDwordEquals(HKEY_CURRENT_USER, path, u"Long", 0));
  EXPECT_FALSE(r.RegDwordEquals(HKEY_CURRENT_USER, path, u"Missing", 0));
}

TEST_F(RegAccessTest, WritesNeedAnExistingKeyUnlessCreating) {
  EXPECT_FALSE(r.WriteRegString(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Tarvo\\Vantrel", u"Start", u"0"));
  EXPECT_EQ(reg().openKey(HKey::LocalMachine, u"SOFTWARE\\Tarvo"), nullptr);
  EXPECT_FALSE(r.WriteRegDword(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Tarvo", u"x", 1));

  reg().createKey(HKey::LocalMachine, u"SOFTWARE");
  EXPECT_TRUE(r.WriteRegStringCreate(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Tarvo\\Vantrel", u"Start", u"0"));
  EXPECT_TRUE(r.WriteRegString(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Tarvo\\Vantrel", u"Sprache", u"0"));
  EXPECT_TRUE(r.WriteRegDword(HKEY_CURRENT_USER, u"Control Panel\\desktop", u"Dword", 7));
  // A text longer than the read buffer cannot be read back whole, so the write reports failure.
  EXPECT_FALSE(r.WriteRegString(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Tarvo\\Vantrel", u"Long", QString(300, QLatin1Char('z'))));

  // Every change is on disk by the time the call returns.
  tm.reopen();
  RegAccess again(tm.machine(), state);
  EXPECT_EQ(again.ReadRegString(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Tarvo\\Vantrel", u"Start"), QStringLiteral("0"));
  EXPECT_EQ(again.ReadRegDword(HKEY_CURRENT_USER, u"Control Panel\\desktop", u"Dword"), 7u);
}

TEST_F(RegAccessTest, AValueTheHiveCannotHoldIsRefusedAndNotKept) {
  reg().createKey(HKey::LocalMachine, u"SOFTWARE\\Big");
  const QString huge(70000, QLatin1Char('h'));
  EXPECT_FALSE(r.WriteRegString(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Big", u"v", huge));
  EXPECT_FALSE(r.RegValueExistsAt(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Big", u"v"));
  EXPECT_TRUE(r.WriteRegString(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Big", u"v", u"small"));
}

TEST_F(RegAccessTest, DeletionsReportWhetherSomethingWasThere) {
  const auto path = u"Control Panel\\desktop";
  EXPECT_FALSE(r.DeleteRegValue(HKEY_CURRENT_USER, path, u"Missing"));
  EXPECT_EQ(reg().openKey(HKey::CurrentUser, path)->valueCount(), 5);
  EXPECT_TRUE(r.DeleteRegValue(HKEY_CURRENT_USER, path, u"menushowdelay"));
  EXPECT_FALSE(r.RegValueExistsAt(HKEY_CURRENT_USER, path, u"MenuShowDelay"));
  EXPECT_TRUE(r.DeleteRegKey(HKEY_CURRENT_USER, u"Control Panel"));
  EXPECT_FALSE(r.RegKeyExists(HKEY_CURRENT_USER, path));
  EXPECT_FALSE(r.DeleteRegKey(HKEY_CURRENT_USER, u"Control Panel"));
  EXPECT_FALSE(r.DeleteRegKey(HKEY_CLASSES_ROOT, u""));
  tm.reopen();
  EXPECT_EQ(tm.registry().openKey(HKey::CurrentUser, u"Control Panel"), nullptr);
}

// Every change that could not be saved is undone in memory exactly, so that the next
// successful save (of anything) cannot write it after all.
TEST_F(RegAccessTest, ChangesThatCannotBeSavedAreUndoneInPlace) {
  const auto desk = u"Control Panel\\desktop";
  reg().createKey(HKey::CurrentUser, u"Control Panel\\Colors")->setValue("Window", RegSz, "255 255 255");
  reg().createKey(HKey::CurrentUser, u"Control Panel\\Mouse");
  ASSERT_TRUE(tm.machine().saveRegistry());

  // A listing of the user hive: keys and values in stored order.
  auto layout = [&] {
    QByteArrayList lines;
    auto walk = [&](auto&& self, const RegKey& k) -> void {
      lines << k.pathFromTop();
      for (const RegValue& v : k.values()) lines << "  " + v.name + "=" + v.data;
      for (int i = 0; i < k.subkeyCount(); ++i) self(self, *k.subkey(i));
    };
    walk(walk, reg().users());
    return lines.join('\n').toStdString();
  };
  struct Case {
    const char* what;
    std::function<bool(RegAccess&)> change;
  } cases[] = {
      {"delete the first of several keys",
       [&](RegAccess& a) { return a.DeleteRegKey(HKEY_CURRENT_USER, u"Control Panel\\desktop"); }},
      {"delete a key with sub-keys", [&](RegAccess& a) { return a.DeleteRegKey(HKEY_CURRENT_USER, u"Control Panel"); }},
      {"delete a value in the middle", [&](RegAccess& a) { return a.DeleteRegValue(HKEY_CURRENT_USER, desk, u"Short"); }},
      {"overwrite a value", [&](RegAccess& a) { return a.WriteRegString(HKEY_CURRENT_USER, desk, u"MenuShowDelay", u"0"); }},
      {"add a value", [&](RegAccess& a) { return a.WriteRegDword(HKEY_CURRENT_USER, desk, u"New", 1); }},
      {"create keys and a value",
       [&](RegAccess& a) { return a.WriteRegStringCreate(HKEY_CURRENT_USER, u"Software\\Tarvo\\Vantrel", u"Start", u"0"); }},
      {"create a key below an existing one",
       [&](RegAccess& a) { return a.WriteRegStringCreate(HKEY_CURRENT_USER, u"Control Panel\\Sound", u"Beep", u"yes"); }},
  };
  // A folder where the hive file should be makes every save of that hive fail.
  const QString hive = tm.host("C", "WINDOWS/USER.DAT");
  ASSERT_TRUE(QFile::exists(hive));
  const QByteArray saved = tm.hostFile("C", "WINDOWS/USER.DAT");
  for (const Case& c : cases) {
    const std::string before = layout();
    ASSERT_TRUE(QFile::remove(hive));
    ASSERT_TRUE(QDir().mkdir(hive));
    RegAccess access(tm.machine(), state);
    EXPECT_FALSE(c.change(access)) << c.what;
    EXPECT_EQ(layout(), before) << c.what;
    ASSERT_TRUE(QDir().rmdir(hive));
    tm.putHostFile("C", "WINDOWS/USER.DAT", saved);
    // An unrelated change that does reach the disk.
    ASSERT_TRUE(access.WriteRegString(HKEY_LOCAL_MACHINE, u"", u"Unrelated", QString::fromLatin1(c.what))) << c.what;
    tm.reopen();
    EXPECT_EQ(layout(), before) << c.what;
  }
}

// All or nothing across the two hive files too: when one hive cannot be put into file
// form, the change to the other does not reach its file either.
TEST_F(RegAccessTest, AHiveThatCannotBeWrittenKeepsTheOtherFileUnchanged) {
  const QByteArray systemDat = tm.hostFile("C", "WINDOWS/SYSTEM.DAT");
  ASSERT_FALSE(systemDat.isEmpty());
  // An earlier change the format cannot hold, still in memory.
  reg().createKey(HKey::CurrentUser, u"Big")->setValue("v", RegSz, QByteArray(70000, 'h'));
  EXPECT_FALSE(r.WriteRegString(HKEY_CLASSES_ROOT, u"lnkfile", u"IsShortcut", u"changed"));
  EXPECT_EQ(tm.hostFile("C", "WINDOWS/SYSTEM.DAT"), systemDat);
  EXPECT_EQ(r.ReadRegString(HKEY_CLASSES_ROOT, u"lnkfile", u"IsShortcut"), QString());
}

TEST_F(RegAccessTest, EnumDeviceLookupTakesTheLastMatchAndHonoursTheMode) {
  auto device = [&](const char* path, const char* cls, const char* desc, bool logConfig) {
    RegKey* k = reg().createKey(HKey::LocalMachine, QString::fromLatin1(path));
    k->setValue("Class", RegSz, cls);
    k->setValue("DeviceDesc", RegSz, desc);
    if (logConfig) k->addSubkey("LogConfig");
  };
  device("Enum\\PCI\\VEN_5333\\BUS_00", "DISPLAY", "S3 Trio64V+", true);
  device("Enum\\PCI\\VEN_5333\\BUS_01", "DISPLAY", "second instance, never looked at", true);
  device("Enum\\PCI\\VEN_1234\\BUS_00", "Display", "Cirrus Logic 5446", false);
  device("Enum\\ROOT\\SYSTEM\\0000", "System", "System board", false);
  reg().openKey(HKey::LocalMachine, u"Enum\\ROOT\\SYSTEM\\0000")->setValue("BIOSVersion", RegSz, "Award 4.51PG");
  reg().createKey(HKey::LocalMachine, u"Enum\\ISAPNP\\EMPTYDEVICE");

  EXPECT_EQ(r.FindEnumDeviceValue(u"CLASS", u"Display", u"DeviceDesc", 0), QStringLiteral("Cirrus Logic 5446"));
  EXPECT_EQ(r.FindEnumDeviceValue(u"CLASS", u"Display", u"DeviceDesc", 1), QStringLiteral("S3 Trio64V+"));
  EXPECT_EQ(r.FindEnumDeviceValue(u"CLASS", u"System", u"BIOSVersion", 0), QStringLiteral("Award 4.51PG"));
  EXPECT_EQ(r.FindEnumDeviceValue(u"CLASS", u"Display", u"DeviceDesc", 2), QStringLiteral("Nicht vorhanden / Nicht erkannt"));
  state.language = English;
  EXPECT_EQ(r.FindEnumDeviceValue(u"CLASS", u"Modem", u"DeviceDesc", 0), QStringLiteral("Not exist / Not noticed"));
}

TEST_F(RegAccessTest, InstalledUpdatesAreListedInStoredOrder) {
  EXPECT_TRUE(r.ListInstalledUpdates().isEmpty());
  RegKey* u = reg().createKey(HKey::LocalMachine, u"Software\\Microsoft\\Windows\\CurrentVersion\\Setup\\Updates");
  u->addSubkey("W95-Y2K")->setValue("", RegSz, "Windows 95 Year 2000 Update");
  u->addSubkey("DCOM95");
  u->addSubkey("IE4")->setValue("", RegSz, "Internet Explorer 4.01");
  EXPECT_EQ(r.ListInstalledUpdates(),
            (QStringList{QStringLiteral("Windows 95 Year 2000 Update"), QString(), QStringLiteral("Internet Explorer 4.01")}));
}

}  // namespace
}  // namespace vt
