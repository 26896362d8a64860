// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/backups.h"

#include "platform/profile.h"
#include "platform/regedit4.h"
#include "platform/text.h"
#include "support/testmachine.h"
#include "sysaccess/fakes.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <optional>

namespace vt::backup {
namespace {

const QString kStore = QStringLiteral("C:\\VANTREL\\BACKUP");

struct Fixture {
  test::TestMachine tm;
  SharedState state;
  test::RecordingDialogs dialogs;
  std::unique_ptr<Backups> made;

  Fixture() {
    start();
    tm.writeRegistryFiles();
    tm.registry().createKey(HKey::LocalMachine, u"Software\\Test")->setValue("Value", RegSz, "old");
    EXPECT_TRUE(tm.machine().saveRegistry());
    for (const char* f : {"WINDOWS/WIN.INI", "WINDOWS/SYSTEM.INI", "AUTOEXEC.BAT", "MSDOS.SYS", "LOGO.SYS", "WINDOWS/LOGOW.SYS",
                          "WINDOWS/LOGOS.SYS", "WINDOWS/PROTOCOL.INI"})
      tm.putHostFile("C", f, QByteArray("content of ") + f + "\r\n");
    tm.fs().createDirectories(u"C:\\VANTREL");
  }
  void start() {
    made = std::make_unique<Backups>(tm.machine(), state, dialogs);
    made->setDirectories(QStringLiteral("C:\\VANTREL"), QStringLiteral("C:\\WINDOWS"), QStringLiteral("C:\\WINDOWS\\SYSTEM"));
  }
  Backups& backups() { return *made; }
  // A new run of the program: the machine opened again, and the store with it.
  void reopen() {
    made.reset();
    tm.reopen();
    start();
  }
  QStringList store() { return QDir(tm.host("C", "VANTREL/BACKUP")).entryList(QDir::Files, QDir::Name); }
  QString key(const QString& file, const char* k) {
    const QByteArray text = tm.hostFile("C", "VANTREL/BACKUP/" + file);
    for (const QByteArray& line : text.split('\n'))
      if (line.startsWith(QByteArray(k) + '=')) return QString::fromLatin1(line.mid(qstrlen(k) + 1)).trimmed();
    return QStringLiteral("<missing>");
  }
  QByteArray exportNow() { return regedit4::exportRegistry(tm.registry()); }
};

TEST(BackupNumbers, LowestFreeNumberSkippingNamesThatAreNoSetNumber) {
  const struct {
    QStringList present;
    QString next;
  } cases[] = {
      {{}, "000"},
      {{"BACKUP.000", "BACKUP.002"}, "001"},
      {{"BACKUP.000", "BACKUP.ABC", "BACKUP.1000", "BACKUP.", "BACKUP.-1", "BACKUP.0X1"}, "001"},
      {{"backup.000", "BACKUP.001", "REGISTRY.002"}, "002"},
  };
  for (const auto& c : cases) {
    Fixture f;
    for (const QString& name : c.present) f.tm.putHostFile("C", "VANTREL/BACKUP/" + name, "x");
    EXPECT_EQ(f.backups().NextBackupNumber(kStore), c.next) << c.present.join(',').toStdString();
  }
}

TEST(BackupNumbers, AllThousandInUseRefusesWithAMessageAndWritesNothing) {
  Fixture f;
  for (int n = 0; n < 1000; ++n) f.tm.putHostFile("C", QStringLiteral("VANTREL/BACKUP/BACKUP.%1").arg(n, 3, 10, QChar('0')), "x");
  EXPECT_EQ(f.backups().NextBackupNumber(kStore), QString());
  Choice choice{{true, true, true, true, true, true}, "mine"};
  EXPECT_FALSE(f.backups().CreateBackupSet(choice));
  EXPECT_EQ(f.store().size(), 1000);
  ASSERT_EQ(f.dialogs.shown.size(), 1);
  EXPECT_TRUE(f.dialogs.shown[0].startsWith("warning: Alle 1000"));
  EXPECT_FALSE(f.backups().AutoBackup(AutoRegistry));
}

TEST(AutoBackup, EachKindSavesItsComponentsSilentlyAndDescribesThem) {
  const struct {
    int kind;
    QStringList files;
    QString keys;  // Registry Systemfiles Startfiles MSDOS.SYS LOGOS SONSTIGES
    QString name;
  } cases[] = {
      // No CONFIG.SYS on this machine: skipped without failing.
      {1, {"AUTOEXEC.000", "BACKUP.000"}, "001000", "AUTO-Backup : Änderungen an Startdateien"},
      {2, {"BACKUP.000", "SYSTEM.000", "WIN.000"}, "010000", "AUTO-Backup : Änderungen an Systemdateien"},
      {3, {"BACKUP.000", "REGISTRY.000"}, "100000", "AUTO-Backup : Änderungen an Registry"},
      {4, {"BACKUP.000", "MSDOS.000"}, "000100", "AUTO-Backup : Änderungen an Boot-Einstellungen"},
      {5,
       {"AUTOEXEC.000", "BACKUP.000", "Logo.000", "Logos.000", "Logow.000", "MSDOS.000", "REGISTRY.000", "SYSTEM.000", "WIN.000"},
       "111110",
       "AUTO-Backup : 1.Start von Vantrel"},
      {9, {"BACKUP.000"}, "000000", "what the page held"},
  };
  for (const auto& c : cases) {
    Fixture f;
    int refreshed = 0;
    f.backups().onSetsChanged = [&] { ++refreshed; };
    EXPECT_TRUE(f.backups().AutoBackup(c.kind, "what the page held")) << c.kind;
    EXPECT_EQ(f.store(), c.files) << c.kind;
    QString keys;
    for (const char* k : kComponentKeys) keys += f.key("BACKUP.000", k);
    EXPECT_EQ(keys, c.keys) << c.kind;
    EXPECT_EQ(fromAnsi(f.tm.hostFile("C", "VANTREL/BACKUP/BACKUP.000")).split("\r\n")[1], "Name=" + c.name);
    EXPECT_TRUE(f.dialogs.shown.isEmpty()) << f.dialogs.shown.join('|').toStdString();
    EXPECT_EQ(refreshed, 1);
    EXPECT_FALSE(f.backups().silent());
  }
}

TEST(AutoBackup, FailsAndLeavesNoSetWhenASourceOrTheRegistryExportFails) {
  {
    Fixture f;  // MSDOS.SYS is taken without an existence test
    QFile::remove(f.tm.host("C", "MSDOS.SYS"));
    f.reopen();
    EXPECT_FALSE(f.backups().AutoBackup(AutoBootOptions));
    EXPECT_TRUE(f.store().isEmpty());
  }
  {
    Fixture f;  // the export cannot be written
    QDir().mkpath(f.tm.host("C", "VANTREL/BACKUP/REGISTRY.000"));
    EXPECT_FALSE(f.backups().AutoBackup(AutoRegistry));
    EXPECT_TRUE(f.store().isEmpty());
    EXPECT_TRUE(f.dialogs.shown.isEmpty());
  }
}

// A library that went missing keeps its safe copy when the copies are refreshed; the
// last-state copy follows the system as it is.
TEST(SaveSystemDlls, ALibraryThatIsGoneKeepsItsSafeCopy) {
  Fixture f;
  f.tm.putHostFile("C", "WINDOWS/SYSTEM/GDI32.DLL", "gdi");
  f.tm.putHostFile("C", "WINDOWS/SYSTEM/USER32.DLL", "user");
  ASSERT_TRUE(f.backups().SaveSystemDlls());
  ASSERT_TRUE(f.tm.fs().deleteFile(u"C:\\WINDOWS\\SYSTEM\\GDI32.DLL"));
  f.tm.putHostFile("C", "WINDOWS/SYSTEM/USER32.DLL", "user, newer");
  ASSERT_TRUE(f.backups().SaveSystemDlls());
  EXPECT_EQ(f.tm.fs().readFile(u"C:\\VANTREL\\SAVE\\gdi32.dll"), QByteArray("gdi"));
  EXPECT_EQ(f.tm.fs().readFile(u"C:\\VANTREL\\SAVE\\user32.dll"), QByteArray("user, newer"));
}

TEST(CreateBackupSet, WritesTheDescriptionInOrderAndSaysSuccessfulOnlyWhenItWas) {
  Fixture f;
  Choice choice{{true, false, true, false, false, true}, ""};
  EXPECT_TRUE(f.backups().CreateBackupSet(choice));
  EXPECT_EQ(choice.description, "No name");
  const QByteArray exported = f.tm.hostFile("C", "VANTREL/BACKUP/REGISTRY.000");
  EXPECT_EQ(f.tm.hostFile("C", "VANTREL/BACKUP/BACKUP.000"),
            "[Backup]\r\nName=No name\r\nRegistry=1\r\nSystemfiles=0\r\nStartfiles=1\r\nMSDOS.SYS=0\r\nLOGOS=0\r\nSONSTIGES=1\r\n"
            "RegistrySize=" +
                QByteArray::number(exported.size()) +
                "\r\nRegistrySHA256=" + QCryptographicHash::hash(exported, QCryptographicHash::Sha256).toHex() + "\r\n");
  EXPECT_EQ(f.tm.hostFile("C", "VANTREL/BACKUP/PROTOCOL.000"), "content of WINDOWS/PROTOCOL.INI\r\n");
  EXPECT_EQ(f.dialogs.shown, QStringList{"info: Backup erfolgreich."});
  EXPECT_EQ(f.tm.hostFile("C", "VANTREL/LAST/win.ini"), "content of WINDOWS/WIN.INI\r\n");

  QFile::remove(f.tm.host("C", "MSDOS.SYS"));
  f.reopen();
  f.dialogs.shown.clear();
  choice = {{false, false, false, true, false, false}, "x"};
  EXPECT_FALSE(f.backups().CreateBackupSet(choice));
  ASSERT_EQ(f.dialogs.shown.size(), 1);
  EXPECT_TRUE(f.dialogs.shown[0].startsWith("warning: ACHTUNG:Während des Backups"));
  EXPECT_TRUE(f.store().contains("BACKUP.001"));  // kept, as the message asks the user to delete it
}

TEST(DeleteBackupSet, RemovesEveryFileOfTheSetAlsoReadOnlyAndHiddenOnes) {
  Fixture f;
  f.backups().AutoBackup(AutoSystemfiles);
  f.backups().AutoBackup(AutoFirstStart);
  ASSERT_TRUE(f.tm.fs().setAttributes(u"C:\\VANTREL\\BACKUP\\WIN.001", AttrReadOnly | AttrHidden | AttrSystem));
  EXPECT_TRUE(f.backups().DeleteBackupSet(kStore + "\\BACKUP.001"));
  EXPECT_EQ(f.store(), (QStringList{"BACKUP.000", "SYSTEM.000", "WIN.000"}));
  EXPECT_FALSE(f.backups().DeleteBackupSet(kStore + "\\BACKUP"));
  EXPECT_EQ(f.store().size(), 3);
  EXPECT_EQ(f.backups().NextBackupNumber(kStore), "001");
}

TEST(RestoreBackupSet, PutsBackOnlyTheChosenComponentsAndMergesOrReplacesTheRegistry) {
  Fixture f;
  ASSERT_TRUE(f.backups().AutoBackup(AutoFirstStart));
  const QByteArray before = f.exportNow();
  const QString set = kStore + "\\BACKUP.000";
  EXPECT_EQ(f.backups().LoadBackupComponents(set), (Components{true, true, true, true, true, false}));

  auto damage = [&] {
    f.tm.putHostFile("C", "WINDOWS/WIN.INI", "broken");
    f.tm.putHostFile("C", "AUTOEXEC.BAT", "broken");
    f.tm.registry().createKey(HKey::LocalMachine, u"Software\\Test")->setValue("Value", RegSz, "new");
    f.tm.registry().createKey(HKey::LocalMachine, u"Software\\Added");
    ASSERT_TRUE(f.tm.machine().saveRegistry());
  };
  damage();
  EXPECT_TRUE(f.backups().RestoreBackupSet(set, {true, true, false, false, false, false}, false));
  EXPECT_EQ(f.tm.hostFile("C", "WINDOWS/WIN.INI"), "content of WINDOWS/WIN.INI\r\n");
  EXPECT_EQ(f.tm.hostFile("C", "AUTOEXEC.BAT"), "broken");
  EXPECT_EQ(f.tm.registry().openKey(HKey::LocalMachine, u"Software\\Test")->findValue("Value")->data, "old");
  EXPECT_NE(f.tm.registry().openKey(HKey::LocalMachine, u"Software\\Added"), nullptr);  // merged, not replaced

  damage();
  EXPECT_TRUE(f.backups().RestoreBackupSet(set, {true, false, false, false, false, false}, true));
  EXPECT_EQ(f.exportNow(), before);
  f.reopen();  // also on disk
  EXPECT_EQ(f.exportNow(), before);
  EXPECT_EQ(f.dialogs.shown.back(), "info: Restore erfolgreich.\rBitte Computer neu starten!");
}

// A start file that the owner made a host link: restored through a link that stays in the
// machine, refused for one that leads out, and never written as a second file in another case.
TEST(RestoreBackupSet, AStartFileThatIsAHostLinkIsRestoredThroughItOrRefused) {
  QTemporaryDir outside;
  for (const bool inside : {true, false}) {
    Fixture f;
    ASSERT_TRUE(f.backups().AutoBackup(AutoStartfiles));
    const QString real = inside ? f.tm.host("C", "DOS/AUTOEXEC.REAL") : outside.filePath(QStringLiteral("autoexec.bat"));
    QDir().mkpath(f.tm.host("C", "DOS"));
    QFile file(real);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("linked");
    file.close();
    ASSERT_TRUE(QFile::remove(f.tm.host("C", "AUTOEXEC.BAT")));
    ASSERT_TRUE(QFile::link(inside ? QStringLiteral("DOS/AUTOEXEC.REAL") : real, f.tm.host("C", "AUTOEXEC.BAT")));
    const QStringList before = QDir(f.tm.host("C")).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);

    EXPECT_EQ(f.backups().RestoreBackupSet(kStore + "\\BACKUP.000", {false, false, true, false, false, false}, false), inside);
    EXPECT_EQ(QDir(f.tm.host("C")).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot), before) << inside;
    EXPECT_TRUE(QFileInfo(f.tm.host("C", "AUTOEXEC.BAT")).isSymLink());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), inside ? QByteArray("content of AUTOEXEC.BAT\r\n") : QByteArray("linked"));
    ASSERT_FALSE(f.dialogs.shown.isEmpty());
    EXPECT_EQ(f.dialogs.shown.back().startsWith("info: Restore erfolgreich"), inside) << f.dialogs.shown.back().toStdString();
  }
}

TEST(RestoreBackupSet, RefusesToReplaceTheRegistryWithAnEmptyOrDamagedExport) {
  for (const QByteArray& bad :
       {QByteArray(), QByteArray("REGEDIT4\r\n\r\n"), QByteArray("REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\X]\r\n\"a\"=bad\r\n")}) {
    Fixture f;
    ASSERT_TRUE(f.backups().AutoBackup(AutoRegistry));
    f.tm.putHostFile("C", "VANTREL/BACKUP/REGISTRY.000", bad);
    const QByteArray before = f.exportNow();
    EXPECT_FALSE(f.backups().RestoreBackupSet(kStore + "\\BACKUP.000", {true, false, false, false, false, false}, true));
    EXPECT_EQ(f.exportNow(), before);
    ASSERT_EQ(f.dialogs.shown.size(), 1);
    EXPECT_TRUE(f.dialogs.shown[0].startsWith("warning: Die Registry wurde nicht"));
  }
}

// A replacement puts back only the export the set made, whole: the registry stays as it is
// otherwise, the files are still restored, and the closing message says what happened.
TEST(RestoreBackupSet, ReplacesTheRegistryOnlyWithTheWholeExportTheSetMade) {
  const struct {
    const char* what;
    std::function<QByteArray(const QByteArray&)> damage;
    bool recorded;  // the description holds the export's size and checksum
    bool replaced;
    const char* reason = "";  // what the closing message gives as the reason
  } cases[] = {
      {"cut at a key line halfway", [](const QByteArray& e) { return e.left(e.indexOf("[HKEY_LOCAL_MACHINE\\Software\\Test")); },
       true, false, "Bytes statt"},
      {"cut at a key line in HKEY_USERS", [](const QByteArray& e) { return e.left(e.indexOf("[HKEY_USERS\\.Default\\Second")); },
       true, false},
      {"one byte changed", [](const QByteArray& e) { return QByteArray(e).replace("\"old\"", "\"odd\""); }, true, false,
       "sein Inhalt hat sich"},
      // Changed, and no longer read either: the change is the reason.
      {"a value made unreadable", [](const QByteArray& e) { return QByteArray(e).replace("\"old\"", "\"o\\d\""); }, true, false,
       "sein Inhalt hat sich"},
      {"whole", [](const QByteArray& e) { return e; }, true, true},
      {"a set made before sizes were recorded", [](const QByteArray& e) { return e; }, false, true},
      {"cut in such a set", [](const QByteArray& e) { return e.left(e.indexOf("[HKEY_USERS")); }, false, false},
  };
  for (const auto& c : cases) {
    Fixture f;
    f.tm.registry().createKey(HKey::Users, u".Default\\First")->setValue("v", RegSz, "1");
    f.tm.registry().createKey(HKey::Users, u".Default\\Second")->setValue("v", RegSz, "2");
    ASSERT_TRUE(f.tm.machine().saveRegistry());
    ASSERT_TRUE(f.backups().AutoBackup(AutoFirstStart));
    const QByteArray made = f.tm.hostFile("C", "VANTREL/BACKUP/REGISTRY.000");
    f.tm.putHostFile("C", "VANTREL/BACKUP/REGISTRY.000", c.damage(made));
    if (!c.recorded) {
      QByteArray description = f.tm.hostFile("C", "VANTREL/BACKUP/BACKUP.000");
      f.tm.putHostFile("C", "VANTREL/BACKUP/BACKUP.000", description.left(description.indexOf("RegistrySize=")));
    }
    f.tm.registry().deleteKey(HKey::Users, u".Default\\First");
    f.tm.registry().createKey(HKey::LocalMachine, u"Software\\Added");
    ASSERT_TRUE(f.tm.machine().saveRegistry());
    f.tm.putHostFile("C", "WINDOWS/WIN.INI", "broken");
    const QByteArray before = f.exportNow();

    EXPECT_EQ(f.backups().RestoreBackupSet(kStore + "\\BACKUP.000", {true, true, false, false, false, false}, true), c.replaced)
        << c.what;
    f.reopen();
    EXPECT_EQ(f.exportNow(), c.replaced ? made : before) << c.what;
    EXPECT_EQ(f.tm.hostFile("C", "WINDOWS/WIN.INI"), "content of WINDOWS/WIN.INI\r\n") << c.what;
    ASSERT_EQ(f.dialogs.shown.size(), 1) << c.what;
    if (c.replaced) continue;
    EXPECT_TRUE(f.dialogs.shown[0].startsWith("warning: Die Registry wurde nicht wiederhergestellt")) << c.what;
    EXPECT_TRUE(f.dialogs.shown[0].contains(QString::fromUtf8(c.reason))) << c.what;
    EXPECT_TRUE(f.dialogs.shown[0].contains(QString::fromUtf8("Die übrigen gewählten Teile wurden wiederhergestellt"))) << c.what;
  }
}

// What a set whose making was cut off left is neither listed nor kept; whole sets, sets of
// older versions and the user's own files stay.
TEST(ListSets, ASetWithoutAWholeDescriptionIsNotListedAndItsFilesGo) {
  Fixture f;
  ASSERT_TRUE(f.backups().AutoBackup(AutoSystemfiles));
  for (const char* name : {"REGISTRY.001", "WIN.001", "MSDOS.002", "NOTES.001", "Logo.004"})
    f.tm.putHostFile("C", QStringLiteral("VANTREL/BACKUP/") + name, "x");
  f.tm.putHostFile("C", "VANTREL/BACKUP/BACKUP.002", "[Backup]\r\nName=cut\r\nRegistry=0\r\nSystemfiles=1\r\n");
  f.tm.putHostFile(
      "C", "VANTREL/BACKUP/BACKUP.003",
      "[backup]\r\nname=older\r\nregistry=0\r\nsystemfiles=0\r\nstartfiles=0\r\nmsdos.sys=0\r\nlogos=0\r\nsonstiges=0\r\n");
  f.reopen();
  QStringList names;
  for (const SetEntry& set : f.backups().ListSets()) names << set.name;
  names.sort();
  EXPECT_EQ(names, (QStringList{QString::fromUtf8("AUTO-Backup : Änderungen an Systemdateien"), "older"}));
  EXPECT_EQ(f.store(), (QStringList{"BACKUP.000", "BACKUP.003", "NOTES.001", "SYSTEM.000", "WIN.000"}));
}

// A machine whose drive A: holds a disk, with the last-state copy of a first start.
struct RescueFixture : Fixture {
  RescueFixture() {
    QFile ini(tm.folder() + "/machine.ini");
    ini.open(QIODevice::ReadOnly);
    QByteArray text = ini.readAll().replace("Ready=0", "Ready=1");
    ini.close();
    ini.open(QIODevice::WriteOnly | QIODevice::Truncate);
    ini.write(text);
    ini.close();
    QDir().mkpath(tm.host("A"));
    tm.putHostFile("C", "CONFIG.SYS", "DEVICE=HIMEM.SYS\r\n");
    tm.putHostFile("C", "VANTREL/HELP.bat", "@type a:\\help.txt\r\n");
    tm.putHostFile("C", "VANTREL/HELP.de", "Hilfe\r\n");
    tm.putHostFile("C", "VANTREL/HELP.eng", "Help\r\n");
    tm.putHostFile("C", "WINDOWS/COMMAND/EDIT.COM", "edit");
    reopen();
    EXPECT_TRUE(backups().SaveLastState());
  }
};

const QByteArray kGermanAutoexec =
    "echo Versuche das letzte Backup wiederherzustellen. Bitte warten... \r\n"
    "set VTRATTRIB=C:\\WINDOWS\\command\\attrib\r\n"
    "if exist A:\\attrib.exe set VTRATTRIB=A:\\attrib.exe\r\n"
    "%VTRATTRIB% C:\\WINDOWS\\system.dat -r -s -h\r\n"
    "%VTRATTRIB% C:\\WINDOWS\\user.dat -r -s -h\r\n"
    "%VTRATTRIB% C:\\WINDOWS\\system.ini -r -s -h\r\n"
    "%VTRATTRIB% C:\\WINDOWS\\win.ini -r -s -h\r\n"
    "%VTRATTRIB% C:\\config.sys -r -s -h\r\n"
    "%VTRATTRIB% C:\\Autoexec.bat -r -s -h\r\n"
    "set VTRATTRIB=\r\n"
    "del C:\\WINDOWS\\system.vtr\r\n"
    "del C:\\WINDOWS\\user.vtr\r\n"
    "del C:\\WINDOWS\\win.vtr\r\n"
    "del C:\\WINDOWS\\systemI.vtr\r\n"
    "del C:\\config.vtr\r\n"
    "del C:\\Autoexec.vtr\r\n"
    "C:\r\n"
    "cd C:\\WINDOWS\r\n"
    "ren C:\\WINDOWS\\system.dat system.vtr\r\n"
    "ren C:\\WINDOWS\\user.dat user.vtr\r\n"
    "ren C:\\WINDOWS\\win.ini win.vtr\r\n"
    "ren C:\\WINDOWS\\system.ini systemI.vtr\r\n"
    "C:\r\n"
    "cd C:\\\r\n"
    "ren C:\\config.sys config.vtr\r\n"
    "ren C:\\Autoexec.bat Autoexec.vtr\r\n"
    "A:\r\n"
    "copy C:\\VANTREL\\last\\system.dat C:\\WINDOWS\\system.dat\r\n"
    "copy C:\\VANTREL\\last\\user.dat C:\\WINDOWS\\user.dat\r\n"
    "copy C:\\VANTREL\\last\\win.ini C:\\WINDOWS\\win.ini\r\n"
    "copy C:\\VANTREL\\last\\system.ini C:\\WINDOWS\\system.ini\r\n"
    "copy C:\\VANTREL\\last\\config.sys C:\\config.sys\r\n"
    "copy C:\\VANTREL\\last\\Autoexec.bat C:\\Autoexec.bat\r\n"
    "if not exist C:\\WINDOWS\\system.vtr goto locked\r\n"
    "if not exist C:\\WINDOWS\\user.vtr goto locked\r\n"
    "goto restored\r\n"
    ":locked\r\n"
    "echo ATTRIB konnte die Attribute nicht entfernen: Dateien ohne .VTR-Kopie sind nicht wiederhergestellt.\r\n"
    ":restored\r\n"
    "echo Entnehmen Sie die Diskette und starten Sie ihren Computer neu.\r\n"
    "echo Sollte Ihr Computer immer noch nicht booten, so tippen Sie jetzt bitte HELP ein.\r\n";

TEST(RescueDisk, WritesItsFilesInTheUsersLanguage) {
  for (int language : {German, English}) {
    RescueFixture f;
    f.state.language = language;
    QStringList steps;
    EXPECT_TRUE(
        f.backups().CreateRescueDisk({[&](const QString& s) { steps << s; }, [&](int p) { steps << QString::number(p); }}));
    const QStringList lines = fromAnsi(f.tm.hostFile("A", "autoexec.bat")).split("\r\n");
    EXPECT_EQ(lines[1], "set VTRATTRIB=C:\\WINDOWS\\command\\attrib");
    EXPECT_TRUE(lines.contains("copy C:\\VANTREL\\last\\system.dat C:\\WINDOWS\\system.dat"));
    EXPECT_EQ(f.tm.hostFile("A", "restore.bat"), "copy C:\\VANTREL\\SAVE\\*.* C:\\WINDOWS\\SYSTEM\r\n");
    EXPECT_EQ(f.tm.hostFile("A", "help.txt"), language == English ? "Help\r\n" : "Hilfe\r\n");
    EXPECT_EQ(f.tm.hostFile("A", "edit.com"), "edit");
    if (language == English) {
      EXPECT_EQ(lines.first(), "echo Trying to restore the last saved backup. Please wait...");
      EXPECT_EQ(lines[lines.size() - 2], "echo If your computer still not boot up, then type in HELP now. ");
      EXPECT_EQ(steps, (QStringList{"0", "Creating startfiles", "1", "Copying systemtools", "2", "3"}));
    } else {
      EXPECT_EQ(f.tm.hostFile("A", "autoexec.bat"), kGermanAutoexec);
    }
  }
}

TEST(RescueDisk, LeavesNoRescueFilesWhenTheDiskCannotBeWritten) {
  RescueFixture f;
  QDir().mkpath(f.tm.host("A", "restore.bat"));  // in the way of the last generated file
  EXPECT_FALSE(f.backups().CreateRescueDisk());
  EXPECT_EQ(QDir(f.tm.host("A")).entryList(QDir::Files), QStringList());
  ASSERT_EQ(f.dialogs.shown.size(), 1);
  EXPECT_TRUE(f.dialogs.shown[0].startsWith("warning: Die Diskette in Laufwerk A:"));
}

// DOS stand-ins for ATTRIB: one appends its command tail to D:\ATTRIB.LOG, which the guard
// preloaded into DOSBox reads as the attributes it cleared; the other does nothing, as the
// ATTRIB of a damaged C: may.
const QByteArray kWorkingAttrib = QByteArray::fromHex(
                                      "ba3401b8013dcd217308b43c31c9cd21721d89c3b8024231c931d2cd21b44031c98a0e800041ba8100cd21"
                                      "b43ecd21b8004ccd21") +
                                  QByteArray("D:\\ATTRIB.LOG", 14);
const QByteArray kBrokenAttrib = QByteArray::fromHex("b8004ccd21");

// A file of the machine's C: drive as DOS left it, found without regard to case.
QByteArray dosFile(RescueFixture& f, const QString& rel) {
  QString path = f.tm.host("C");
  for (const QString& part : rel.split('/')) {
    const QStringList hit = QDir(path).entryList({part}, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden);
    if (hit.isEmpty()) return QByteArray("<missing>");
    path += '/' + hit.first();
  }
  QFile in(path);
  in.open(QIODevice::ReadOnly);
  return in.readAll();
}

// Runs the rescue floppy's AUTOEXEC.BAT under DOSBox over the machine's drives, refusing
// changes to the files the machine holds as read-only, hidden or system as DOS 7 does.
// Returns what the batch printed.
QString runRescueBatch(RescueFixture& f, const QString& batch = QStringLiteral("autoexec.bat")) {
  const QString dosbox = QStandardPaths::findExecutable("dosbox");
  if (dosbox.isEmpty()) {
    ADD_FAILURE() << "dosbox is missing; scripts/setup.sh installs it";
    return {};
  }
  QTemporaryDir work;
  QDir(work.path()).mkpath("D");
  QDir(work.path()).mkpath("home");
  QFile list(work.path() + "/attributes");
  list.open(QIODevice::WriteOnly);
  for (const char* rel :
       {"WINDOWS/SYSTEM.DAT", "WINDOWS/USER.DAT", "WINDOWS/WIN.INI", "WINDOWS/SYSTEM.INI", "CONFIG.SYS", "AUTOEXEC.BAT"}) {
    const quint32 attrs = f.tm.fs().attributes(QString("C:\\" + QString(rel)).replace('/', '\\'));
    if (attrs != kInvalidAttributes) list.write(QByteArray::number(attrs, 16) + ' ' + f.tm.host("C", rel).toUtf8() + '\n');
  }
  list.close();
  QProcess dos;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("SDL_VIDEODRIVER", "dummy");
  env.insert("SDL_AUDIODRIVER", "dummy");
  env.insert("HOME", work.path() + "/home");
  env.insert("LD_PRELOAD", VANTREL_DOSATTR_GUARD);
  env.insert("VT_DOSATTR_LIST", list.fileName());
  env.insert("VT_DOSATTR_LOG", work.path() + "/D/ATTRIB.LOG");
  env.insert("VT_DOSATTR_DRIVES", "A=" + f.tm.host("A") + ";C=" + f.tm.host("C"));
  dos.setProcessEnvironment(env);
  // A second COMMAND runs the whole batch with its output redirected; DOSBox's CALL would
  // redirect only its own line.
  dos.start(dosbox, {"-noconsole", "-c", "mount a " + f.tm.host("A"), "-c", "mount c " + f.tm.host("C"), "-c",
                     "mount d " + work.path() + "/D", "-c", "a:", "-c", "command /c " + batch + " > d:\\out.txt", "-c", "exit"});
  if (!dos.waitForFinished(60000)) ADD_FAILURE() << "dosbox did not finish";
  QFile out(work.path() + "/D/OUT.TXT");
  out.open(QIODevice::ReadOnly);
  return QString::fromLatin1(out.readAll());
}

// The generated batch run by a real DOS command interpreter over the machine's drives.
TEST(RescueDisk, DosRunsTheBatchAndPutsTheLastStateBackKeepingTheCurrentFiles) {
  RescueFixture f;
  ASSERT_TRUE(f.backups().CreateRescueDisk());
  f.tm.putHostFile("C", "WINDOWS/WIN.INI", "broken win.ini\r\n");
  f.tm.putHostFile("C", "CONFIG.SYS", "broken config\r\n");
  f.tm.putHostFile("C", "WINDOWS/WIN.VTR", "from an earlier rescue\r\n");
  const std::string out = runRescueBatch(f).toStdString();

  EXPECT_EQ(dosFile(f, "WINDOWS/WIN.INI"), "content of WINDOWS/WIN.INI\r\n") << out;
  EXPECT_EQ(dosFile(f, "WINDOWS/WIN.VTR"), "broken win.ini\r\n");
  EXPECT_EQ(dosFile(f, "CONFIG.SYS"), "DEVICE=HIMEM.SYS\r\n");
  EXPECT_EQ(dosFile(f, "CONFIG.VTR"), "broken config\r\n");
  EXPECT_EQ(dosFile(f, "AUTOEXEC.VTR"), "content of AUTOEXEC.BAT\r\n");
  EXPECT_EQ(dosFile(f, "WINDOWS/SYSTEM.DAT"), f.tm.hostFile("C", "VANTREL/LAST/system.dat"));
  EXPECT_NE(dosFile(f, "WINDOWS/SYSTEM.VTR"), "<missing>");
}

// DOS knows the folders only by their aliases, here PROGRA~1 and WINDOW~1.
TEST(RescueDisk, DosRestoresThroughFoldersWithLongNames) {
  RescueFixture f;
  const QString program = QStringLiteral("C:\\Program Files\\Vantrel"), windows = QStringLiteral("C:\\Windows 95");
  for (const char* file : {"SYSTEM.DAT", "USER.DAT", "WIN.INI", "SYSTEM.INI"})
    f.tm.putHostFile("C", QString("Windows 95/") + file, QByteArray("saved ") + file);
  f.tm.putHostFile("C", "Windows 95/COMMAND/EDIT.COM", "edit");
  f.tm.putHostFile("C", "Windows 95/SYSTEM/KERNEL32.DLL", "broken");
  f.tm.putHostFile("C", "Program Files/Vantrel/SAVE/KERNEL32.DLL", "saved kernel");
  f.backups().setDirectories(program, windows, windows + QStringLiteral("\\SYSTEM"));
  ASSERT_TRUE(f.backups().SaveLastState());
  ASSERT_TRUE(f.backups().CreateRescueDisk());
  f.tm.putHostFile("C", "Windows 95/WIN.INI", "broken win.ini\r\n");

  const std::string out = runRescueBatch(f).toStdString();
  EXPECT_EQ(dosFile(f, "Windows 95/WIN.INI"), "saved WIN.INI") << out;
  EXPECT_EQ(dosFile(f, "Windows 95/WIN.VTR"), "broken win.ini\r\n") << out;
  EXPECT_EQ(dosFile(f, "Windows 95/SYSTEM.DAT"), "saved SYSTEM.DAT") << out;
  const std::string restoreOut = runRescueBatch(f, QStringLiteral("restore.bat")).toStdString();
  EXPECT_EQ(dosFile(f, "Windows 95/SYSTEM/KERNEL32.DLL"), "saved kernel") << restoreOut;
}

// The registry is read-only, hidden and system, which DOS 7 (unlike DOSBox) enforces.
TEST(RescueDisk, DosRestoresTheProtectedRegistryWithTheFloppysAttribFirst) {
  struct Case {
    const char* name;
    bool onFloppy, onCWorks, restored;
  };
  for (const Case& c : {Case{"the floppy's when C:'s is broken", true, false, true},
                        Case{"C:'s when the floppy has none", false, true, true}, Case{"neither", false, false, false}}) {
    SCOPED_TRACE(c.name);
    RescueFixture f;
    f.state.language = English;
    f.tm.putHostFile("C", "WINDOWS/COMMAND/ATTRIB.EXE", kWorkingAttrib);
    ASSERT_TRUE(f.backups().CreateRescueDisk());
    if (!c.onFloppy) {
      ASSERT_TRUE(QFile::remove(f.tm.host("A", "attrib.exe")));
    }
    if (!c.onCWorks) f.tm.putHostFile("C", "WINDOWS/COMMAND/ATTRIB.EXE", kBrokenAttrib);
    for (const char16_t* hive : {u"C:\\WINDOWS\\SYSTEM.DAT", u"C:\\WINDOWS\\USER.DAT"}) {
      ASSERT_TRUE(f.tm.fs().writeFile(QStringView(hive), "damaged"));
      ASSERT_TRUE(f.tm.fs().setAttributes(QStringView(hive), AttrReadOnly | AttrHidden | AttrSystem));
    }
    const QString out = runRescueBatch(f);

    EXPECT_EQ(out.contains("\nATTRIB could not clear the attributes"), !c.restored) << out.toStdString();
    for (const char* hive : {"system.dat", "user.dat"}) {
      const QByteArray now = dosFile(f, QString("WINDOWS/") + hive);
      EXPECT_EQ(now, c.restored ? f.tm.hostFile("C", QString("VANTREL/LAST/") + hive) : QByteArray("damaged")) << hive;
    }
    EXPECT_EQ(dosFile(f, "WINDOWS/SYSTEM.VTR"), c.restored ? "damaged" : "<missing>");
  }
}

// After its AUTOEXEC.BAT, DOS 7 would start Windows from the folder the floppy's MSDOS.SYS
// names; the disk points it at itself and keeps the rest of the file.
TEST(RescueDisk, TheFloppysBootConfigurationStopsAtThePrompt) {
  const QByteArray win95 =
      "[Paths]\r\nWinDir=C:\\WINDOWS\r\nWinBootDir=C:\\WINDOWS\r\nHostWinBootDrv=C\r\n\r\n[Options]\r\nBootGUI=1\r\n"
      "Network=1\r\n;xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxa\r\n";
  const QByteArray kernel("\xeb\x3c\x90MSDOS5.0\0\0kernel", 19);
  struct Case {
    const char* name;
    std::optional<QByteArray> before;
    std::optional<QByteArray> after;  // nullopt: a new configuration
  };
  for (const Case& c :
       {Case{
            "DOS 7", win95,
            QByteArray("[Paths]\r\nWinDir=A:\\\r\nWinBootDir=A:\\\r\nHostWinBootDrv=A\r\n\r\n[Options]\r\nBootGUI=0\r\n"
                       "Network=1\r\n;xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxa\r\n")},
        Case{"an older DOS's kernel", kernel, kernel}, Case{"none", std::nullopt, std::nullopt}}) {
    SCOPED_TRACE(c.name);
    RescueFixture f;
    if (c.before) {
      f.tm.putHostFile("A", "MSDOS.SYS", *c.before);
      ASSERT_TRUE(f.tm.fs().setAttributes(u"A:\\MSDOS.SYS", AttrReadOnly | AttrHidden | AttrSystem));
    }
    ASSERT_TRUE(f.backups().CreateRescueDisk());
    const QByteArray now = f.tm.hostFile("A", "MSDOS.SYS");
    if (c.after) {
      EXPECT_EQ(now, *c.after);
    } else {
      const IniDocument ini(now);
      EXPECT_EQ(ini.value(u"Paths", u"WinDir"), "A:\\");
      EXPECT_EQ(ini.value(u"Options", u"BootGUI"), "0");
    }
    EXPECT_EQ(f.tm.fs().attributes(u"A:\\MSDOS.SYS") & (AttrReadOnly | AttrHidden | AttrSystem),
              quint32(AttrReadOnly | AttrHidden | AttrSystem));
  }
}

}  // namespace
}  // namespace vt::backup
