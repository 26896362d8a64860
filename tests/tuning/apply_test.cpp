// SPDX-License-Identifier: GPL-3.0-or-later
#include "tuning/apply.h"

#include "platform/atomicfile.h"
#include "platform/regedit4.h"
#include "support/testmachine.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QtEndian>

#include <gtest/gtest.h>

#include <functional>
#include <map>

namespace vt {
namespace {

constexpr const char16_t* kPolicies = u"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer";
constexpr const char16_t* kVersion = u"Software\\Microsoft\\Windows\\CurrentVersion";
const QString kStartMenu = QStringLiteral("C:\\WINDOWS\\Start Menu");

QByteArray dword(quint32 v) {
  QByteArray d(4, '\0');
  qToLittleEndian(v, d.data());
  return d;
}

// An MSDOS.SYS as Windows 95 leaves it: no delays, no logo key, padded past 1024 bytes.
QByteArray msdosSys(const char* options, int padding = 18) {
  QByteArray text = "[Paths]\r\nWinDir=C:\\WINDOWS\r\nWinBootDir=C:\\WINDOWS\r\nHostWinBootDrv=C\r\n\r\n[Options]\r\n";
  text += options;
  text += ";The following lines are required for compatibility with other programs.\r\n";
  for (int i = 0; i < padding; ++i) text += ';' + QByteArray(69, 'x') + char('a' + i % 26) + "\r\n";
  return text;
}

class Machine95 {
 public:
  Machine95() { reopen(); }
  // The access helpers hold the machine, so they follow it when it is opened again.
  void reopen() {
    tm.reopen();
    reg.emplace(tm.machine(), state);
    ini.emplace(tm.machine());
  }
  tuning::System sys() { return {*reg, *ini, tm.machine(), QStringLiteral("C:\\WINDOWS"), kStartMenu}; }

  // Values as real installations hold them, several of which no box can show: a 32-bit
  // icon depth, Paint's own bitmap icon, binary "link" and autorun values, a menu delay
  // that is no number, a boot pause beyond 30 s, MSDOS.SYS without most of its keys.
  void realWorld(bool withHives) {
    if (withHives) {
      for (const char* hive : {"SYSTEM.DAT", "USER.DAT"}) {
        QFile f(test::testDataDir() + QStringLiteral("/creg/") + QLatin1String(hive));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        tm.putHostFile("C", QStringLiteral("WINDOWS/") + QLatin1String(hive), f.readAll());
      }
      reopen();
    } else {
      Registry& r = tm.registry();
      r.createKey(HKey::CurrentUser, u"Control Panel\\Desktop\\WindowMetrics")->setValue("Shell Icon BPP", RegSz, "32");
      r.createKey(HKey::CurrentUser, u"Control Panel\\Desktop")->setValue("MenuShowDelay", RegSz, "fast");
      r.createKey(HKey::CurrentUser, kPolicies)->setValue("NoDriveTypeAutoRun", RegBinary, dword(0x95));
      r.createKey(HKey::CurrentUser, u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer")
          ->setValue("link", RegBinary, QByteArray("\x02\x00\x00\x00\x01", 5));
      r.createKey(HKey::LocalMachine, kVersion)->setValue("RegisteredOwner", RegSz, "Anna");
    }
    Registry& r = tm.registry();
    r.createKey(HKey::ClassesRoot, u".bmp")->setValue("", RegSz, "Paint.Picture");
    r.createKey(HKey::ClassesRoot, u"Paint.Picture\\DefaultIcon")->setValue("", RegSz, "C:\\Progra~1\\Access~1\\MSPAINT.EXE,1");
    r.createKey(HKey::ClassesRoot, u"piffile")->setValue("IsShortcut", RegSz, "");
    r.createKey(HKey::ClassesRoot, u"lnkfile")->setValue("IsShortcut", RegSz, "");
    r.createKey(HKey::ClassesRoot, u"CLSID\\{21EC2020-3AEA-1069-A2DD-08002B30309D}")->setValue("", RegSz, "Control Panel");
    ASSERT_TRUE(tm.machine().saveRegistry());
    tm.putHostFile("C", "MSDOS.SYS", msdosSys("BootMulti=1\r\nBootGUI=1\r\nNetwork=1\r\nBootDelay=45\r\n"));
    tm.putHostFile("C", "WINDOWS/SYSTEM.INI", "[boot]\r\nshell=Explorer.exe\r\n[386Enh]\r\nLocalLoadHigh=1\r\n");
    ASSERT_TRUE(tm.fs().setAttributes(u"C:\\MSDOS.SYS", AttrReadOnly | AttrHidden | AttrSystem));
    ASSERT_TRUE(tm.fs().createDirectories(kStartMenu + QStringLiteral("\\Control Panel.{21EC2020-3AEA-1069-A2DD-08002B30309D}")));
  }

  // The registry as exported and every file and folder of the machine with its bytes.
  using Snapshot = std::map<QString, QByteArray>;
  Snapshot snapshot() {
    Snapshot all{{QStringLiteral("<export>"), regedit4::exportRegistry(tm.registry())}};
    QDirIterator it(tm.folder(), QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
      QFile f(it.next());
      all[f.fileName()] = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<dir>");
    }
    return all;
  }

  // What the pages show right after start-up: everything as read.
  tuning::Pending asRead() {
    tuning::System s = sys();
    tuning::Pending p;
    p.bootMenuDelay = tuning::readBootMenuDelay(s);
    p.bootDelay = tuning::readBootDelay(s);
    p.menuShowDelay = tuning::readMenuShowDelay(s);
    for (const tuning::TextField& f : tuning::textFields()) p.texts.insert(QLatin1String(f.edit), tuning::readTextField(s, f));
    for (const tuning::Switch& row : tuning::catalogue()) p.switches.insert(QLatin1String(row.box), row.read(s));
    return p;
  }

  // The first entry that differs from `before`, or empty when nothing did.
  std::string changedSince(const Snapshot& before) {
    const Snapshot now = snapshot();
    for (const auto& [path, bytes] : now) {
      const auto was = before.find(path);
      if (was == before.end() || was->second != bytes) return path.toStdString();
    }
    for (const auto& entry : before)
      if (!now.count(entry.first)) return entry.first.toStdString();
    return {};
  }

  test::TestMachine tm;
  SharedState state;
  std::optional<RegAccess> reg;
  std::optional<IniAccess> ini;
};

class UntouchedApply : public ::testing::TestWithParam<bool> {};

TEST_P(UntouchedApply, ChangesNoByteOfTheMachine) {
  const bool withHives = GetParam();
  if (withHives && test::testDataDir().isEmpty()) GTEST_SKIP() << "no shared test hives (creg/SYSTEM.DAT) on this machine";
  Machine95 m;
  m.realWorld(withHives);
  const auto before = m.snapshot();
  tuning::System sys = m.sys();
  for (const tuning::Switch& row : tuning::catalogue()) {
    const auto unchanged = m.snapshot();
    EXPECT_TRUE(tuning::applySwitch(sys, row, row.read(sys))) << row.box;
    EXPECT_EQ(m.changedSince(unchanged), "") << row.box;
  }
  EXPECT_EQ(tuning::applyChanges(sys, m.asRead()), std::nullopt);
  EXPECT_EQ(m.changedSince(before), "");
}

INSTANTIATE_TEST_SUITE_P(RealWorld, UntouchedApply, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "WindowsHives" : "OddValues"; });

TEST(BmpSwitch, TurnedOffPutsBackAnIconThatWorks) {
  const struct {
    bool paintInstalled;
    const char* icon;
  } rows[] = {{true, "D:\\Apps\\Accessories\\MSPAINT.EXE,1"}, {false, "C:\\WINDOWS\\SYSTEM\\SHELL32.DLL,0"}};
  for (const auto& r : rows) {
    Machine95 m;
    m.realWorld(false);
    m.tm.registry().openKey(HKey::LocalMachine, kVersion)->setValue("ProgramFilesDir", RegSz, "D:\\Apps");
    m.tm.registry().openKey(HKey::ClassesRoot, u"Paint.Picture\\DefaultIcon")->setValue("", RegSz, "%1");
    if (r.paintInstalled) m.tm.putHostFile("D", "Apps/Accessories/MSPAINT.EXE", "MZ");
    tuning::System sys = m.sys();
    const tuning::Switch& bmp = *tuning::findSwitch(u"Checkbox_BMP");
    ASSERT_TRUE(tuning::applySwitch(sys, bmp, false));
    EXPECT_EQ(m.reg->ReadRegString(HKEY_CLASSES_ROOT, u"Paint.Picture\\DefaultIcon", u""), QLatin1String(r.icon));
    EXPECT_FALSE(bmp.read(sys));
  }
}

// --- a refused write ends the apply ---

// Fails every file write larger than `bytes`, as a nearly full disk does.
struct DiskNearlyFull {
  explicit DiskNearlyFull(qint64 bytes) { setAtomicWriteFailureAfter(bytes); }
  ~DiskNearlyFull() { setAtomicWriteFailureAfter(-1); }
};

constexpr qint64 kBigFile = 300 * 1024;  // beyond the limit below; a logo or a hive stays under it
constexpr qint64 kLimit = 200 * 1024;

struct FailureCase {
  const char* name;
  std::function<void(Machine95&)> breakIt;
  tuning::ApplyStep step;
  const char* what;
  size_t firstUnwritten;  // index into the observations below
};

TEST(ApplyFailure, StopsAtTheFirstRefusedWriteAndNamesIt) {
  const FailureCase cases[] = {
      {"logo file is a folder", [](Machine95& m) { QDir().mkpath(m.tm.host("C", "WINDOWS/LOGOW.SYS")); }, tuning::ApplyStep::Logo,
       "C:\\WINDOWS\\LOGOW.SYS", 1},
      {"MSDOS.SYS cannot grow",
       [](Machine95& m) { m.tm.putHostFile("C", "MSDOS.SYS", msdosSys("BootMenuDelay=5\r\nDblSpace=0\r\n", kBigFile / 72)); },
       tuning::ApplyStep::BootMenuDelay, "C:\\msdos.sys", 3},
      {"registry file cannot be replaced",
       [](Machine95& m) {
         ASSERT_TRUE(QFile::remove(m.tm.host("C", "WINDOWS/USER.DAT")));
         QDir().mkpath(m.tm.host("C", "WINDOWS/USER.DAT"));
       },
       tuning::ApplyStep::MenuShowDelay, "HKEY_CURRENT_USER\\Control Panel\\desktop\\MenuShowDelay", 4},
      {"SYSTEM.INI cannot grow",
       [](Machine95& m) {
         m.tm.putHostFile("C", "WINDOWS/SYSTEM.INI", "[386Enh]\r\nRemoveableIDE=0\r\n" + QByteArray(kBigFile, ';'));
       },
       tuning::ApplyStep::Switch, "Checkbox_RemovableIDE", 7},
  };
  for (const FailureCase& c : cases) {
    SCOPED_TRACE(c.name);
    Machine95 m;
    Registry& r = m.tm.registry();
    r.createKey(HKey::CurrentUser, u"Control Panel\\desktop")->setValue("MenuShowDelay", RegSz, "400");
    r.createKey(HKey::CurrentUser, kPolicies)->setValue("NoDriveTypeAutoRun", RegBinary, dword(0x95));
    r.createKey(HKey::LocalMachine, kVersion)->setValue("RegisteredOwner", RegSz, "Anna");
    ASSERT_TRUE(m.tm.machine().saveRegistry());
    m.tm.putHostFile("C", "MSDOS.SYS", msdosSys("BootMenuDelay=5\r\nDblSpace=0\r\n"));
    m.tm.putHostFile("C", "WINDOWS/SYSTEM.INI", "[386Enh]\r\nRemoveableIDE=0\r\n");
    c.breakIt(m);

    tuning::Pending p;
    QImage blue(logos::kWidth, logos::kHeight, QImage::Format_RGB32);
    blue.fill(Qt::blue);
    p.logos = {blue, blue, blue};
    p.bootMenuDelay = 7;
    p.menuShowDelay = 500;
    p.texts.insert(QStringLiteral("Edit_User"), QStringLiteral("Bert"));
    p.switches = {{QStringLiteral("CheckBox_DblSpace"), true},
                  {QStringLiteral("Checkbox_RemovableIDE"), true},
                  {QStringLiteral("CheckBox_Autostart"), false}};

    std::optional<tuning::ApplyFailure> failed;
    {
      DiskNearlyFull disk(kLimit);
      tuning::System sys = m.sys();
      failed = tuning::applyChanges(sys, p);
    }
    ASSERT_TRUE(failed.has_value());
    EXPECT_EQ(failed->step, c.step);
    EXPECT_EQ(failed->what, QLatin1String(c.what));

    // Each step of the apply, in its order: what came before the failure is written,
    // nothing from the failure on.
    auto file = [&](const char* path) {
      const QString p = QString::fromLatin1(path);
      return m.tm.fs().exists(p) && !m.tm.fs().isDirectory(p);
    };
    const bool written[] = {
        file("C:\\LOGO.SYS"),
        file("C:\\WINDOWS\\LOGOW.SYS"),
        file("C:\\WINDOWS\\LOGOS.SYS"),
        m.ini->ReadIniInteger(u"C:\\MSDOS.SYS", u"Options", u"BootMenuDelay") == 7,
        m.reg->ReadRegString(HKEY_CURRENT_USER, u"Control Panel\\desktop", u"MenuShowDelay") == QLatin1String("500"),
        m.reg->ReadRegString(HKEY_LOCAL_MACHINE, kVersion, u"RegisteredOwner") == QLatin1String("Bert"),
        m.ini->ReadIniInteger(u"C:\\MSDOS.SYS", u"Options", u"DblSpace") == 1,
        m.ini->ReadIniInteger(u"C:\\WINDOWS\\SYSTEM.INI", u"386Enh", u"RemoveableIDE") == 1,
        (m.reg->ReadRegDword(HKEY_CURRENT_USER, kPolicies, u"NoDriveTypeAutoRun") & 0x20) != 0,
    };
    for (size_t i = 0; i < std::size(written); ++i) EXPECT_EQ(written[i], i < c.firstUnwritten) << "step " << i;
  }
}

}  // namespace
}  // namespace vt
