// SPDX-License-Identifier: GPL-3.0-or-later
#include "diagnosis/report.h"

#include "diagnosis/osinfo.h"
#include "platform/regedit4.h"
#include "support/testmachine.h"
#include "sysaccess/fakes.h"
#include "sysaccess/files.h"
#include "sysaccess/reg.h"

#include <gtest/gtest.h>

namespace vt::diagnosis {
namespace {

struct Fixture {
  explicit Fixture(const QString& machineKeys = {}, const QString& extraIni = {}) : tm(machineKeys, extraIni) {}
  test::TestMachine tm;
  SharedState state;
  test::RecordingDialogs dialogs;
  test::CallbackPump pump;
  RegAccess reg{tm.machine(), state};
  FileAccess files{tm.machine(), state, dialogs, pump};
  SystemReport run() { return Create_Report(tm.machine(), reg, files, TOSInfo(tm.machine()), state); }
  void import(const char* text) {
    QString error;
    ASSERT_TRUE(regedit4::importText(QByteArray("REGEDIT4\r\n\r\n") + text, tm.registry(), regedit4::ImportMode::Merge, &error))
        << error.toStdString();
  }
};

TEST(SystemReport, DrivesInLetterOrderWithTheirThreeLines) {
  // C: has a label (TESTDISK); E: is a 4 GB disk without one; D: is a CD-ROM with a disc.
  Fixture f({}, QStringLiteral("\r\n[Drive E]\r\nType=fixed\r\nFileSystem=FAT32\r\nTotalBytes=4294967296\r\n"));
  QDir().mkpath(f.tm.host("D"));
  QDir().mkpath(f.tm.host("E"));
  const SystemReport r = f.run();
  ASSERT_EQ(r.drives.size(), 4);
  const struct {
    int icon;
    const char* lines[3];
  } expected[] = {
      {0, {"Diskettenlaufwerk oder Wechselplatte A:\\", "Kein Datenträger eingelegt.", ""}},
      {1, {"Festplatte C:\\", "Name: TESTDISK Dateisystem: FAT", "Größe: 512000 KB"}},
      {2, {"CD-Rom D:\\", "Name: CDROM Dateisystem: CDFS", "Größe: 665600 KB"}},
      {1, {"Festplatte E:\\", "Name: Unbekannt Dateisystem: FAT32", "Größe: 4194304 KB"}},
  };
  for (int i = 0; i < 4; ++i) {
    const DriveItem back = DriveItem::fromItemText(r.drives[i].itemText());
    EXPECT_EQ(back.icon, expected[i].icon) << i;
    for (int l = 0; l < 3; ++l) EXPECT_EQ(back.lines[l], QString::fromUtf8(expected[i].lines[l])) << i << ' ' << l;
  }
}

TEST(SystemReport, MemoryAndTheDeviceLookups) {
  const struct {
    quint64 installed;
    const char* shown;
  } memory[] = {{16ull << 20, "16MB"}, {8ull << 20, "8MB"}, {(32ull << 20) + 4096, "32MB"}};
  for (const auto& m : memory) {
    Fixture f(QStringLiteral("PhysicalMemory=%1\r\n").arg(m.installed));
    EXPECT_EQ(f.run().ram, QLatin1String(m.shown)) << m.installed;
  }

  Fixture f;
  f.state.language = English;
  SystemReport r = f.run();
  EXPECT_EQ(r.sound, QStringLiteral("Not exist / Not noticed"));
  EXPECT_EQ(r.printer, QString());
  // Reading the default printer creates nothing.
  EXPECT_FALSE(f.reg.RegKeyExists(HKEY_CURRENT_CONFIG, u"System\\CurrentControlSet\\Control\\Print"));

  // No "Audio" function: the wave driver's device is the sound card; the MEDIA class is the last resort.
  f.import("[HKEY_LOCAL_MACHINE\\Enum\\ISAPNP\\MEDIA1\\0]\r\n\"Class\"=\"MEDIA\"\r\n\"DeviceDesc\"=\"Game port\"\r\n\r\n");
  EXPECT_EQ(f.run().sound, QStringLiteral("Game port"));
  f.import(
      "[HKEY_LOCAL_MACHINE\\Enum\\ISAPNP\\SB16\\0]\r\n\"InfName\"=\"WAVE.INF\"\r\n\"DeviceDesc\"=\"Sound Blaster 16\"\r\n\r\n");
  EXPECT_EQ(f.run().sound, QStringLiteral("Sound Blaster 16"));
  f.import(
      "[HKEY_CURRENT_CONFIG\\System\\CurrentControlSet\\Control\\Print\\Printers]\r\n\"Default\"=\"HP LaserJet 4L\"\r\n\r\n");
  EXPECT_EQ(f.run().printer, QStringLiteral("HP LaserJet 4L"));
}

}  // namespace
}  // namespace vt::diagnosis
