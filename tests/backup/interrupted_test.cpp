// SPDX-License-Identifier: GPL-3.0-or-later
// Making a backup set and writing the rescue disk into a floppy image, killed (SIGKILL) at
// moments spread over the work, and a floppy too full for the rescue disk: what is left is
// always whole, the old state or the new one.
#include "backup/backups.h"

#include "platform/machine.h"
#include "platform/regedit4.h"
#include "support/diskimages.h"
#include "support/testmachine.h"
#include "sysaccess/fakes.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <ctime>
#include <functional>
#include <sys/wait.h>
#include <unistd.h>

namespace vt::backup {
namespace {

qint64 microsecondsSince(const timespec& t0) {
  timespec t;
  ::clock_gettime(CLOCK_MONOTONIC, &t);
  return qint64(t.tv_sec - t0.tv_sec) * 1000000 + (t.tv_nsec - t0.tv_nsec) / 1000;
}

// Runs `work` in a child process on its own opening of the machine folder and kills the
// child `delayUs` after the work began (never, when negative). The time the work took when
// it finished first; -1 when it was killed, -2 when it failed.
qint64 runKilled(const QString& folder, const std::function<void(Machine&)>& work, qint64 delayUs) {
  int ready[2];
  if (::pipe(ready) != 0) return -2;
  const pid_t pid = ::fork();
  if (pid < 0) return -2;
  if (pid == 0) {
    ::close(ready[0]);
    QString why;
    auto machine = Machine::open(folder, &why);
    if (!machine || ::write(ready[1], "r", 1) != 1) ::_exit(3);
    work(*machine);
    ::_exit(0);
  }
  ::close(ready[1]);
  char c;
  const bool began = ::read(ready[0], &c, 1) == 1;
  ::close(ready[0]);
  timespec t0;
  ::clock_gettime(CLOCK_MONOTONIC, &t0);
  int status = 0;
  if (began && delayUs >= 0) {
    while (microsecondsSince(t0) < delayUs) {
      if (::waitpid(pid, &status, WNOHANG) == pid)
        return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? microsecondsSince(t0) : -2;
      const timespec step{0, 100000};
      ::nanosleep(&step, nullptr);
    }
    ::kill(pid, SIGKILL);
  }
  ::waitpid(pid, &status, 0);
  const qint64 took = microsecondsSince(t0);
  if (WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) return -1;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? took : -2;
}

void setDirectories(Backups& b) {
  b.setDirectories(QStringLiteral("C:\\VANTREL"), QStringLiteral("C:\\WINDOWS"), QStringLiteral("C:\\WINDOWS\\SYSTEM"));
}

TEST(Killed, MakingBackupSetsLeavesOnlyWholeSetsInTheList) {
  test::TestMachine tm;
  tm.writeRegistryFiles();
  for (int k = 0; k < 300; ++k) {
    RegKey* key = tm.registry().createKey(HKey::LocalMachine, QStringLiteral("SOFTWARE\\Bulk\\Key%1").arg(k));
    for (int v = 0; v < 10; ++v) key->setValue("Value" + QByteArray::number(v), RegSz, QByteArray(40, char('a' + v)));
  }
  tm.registry().createKey(HKey::Users, u".Default\\Software")->setValue("v", RegSz, "1");
  ASSERT_TRUE(tm.machine().saveRegistry());
  const QByteArray exported = regedit4::exportRegistry(tm.registry());
  const QStringList stems{"WIN", "SYSTEM", "AUTOEXEC", "MSDOS", "Logo", "Logow", "Logos"};
  const QStringList sources{"WINDOWS/WIN.INI", "WINDOWS/SYSTEM.INI", "AUTOEXEC.BAT",     "MSDOS.SYS",
                            "LOGO.SYS",        "WINDOWS/LOGOW.SYS",  "WINDOWS/LOGOS.SYS"};
  for (const QString& f : sources) tm.putHostFile("C", f, f.toLatin1() + QByteArray(200000, 'x'));
  tm.putHostFile("C", "VANTREL/BACKUP/KEEP.TXT", "mine");
  const QString folder = tm.folder();

  auto makeSets = [](Machine& m) {
    SharedState state;
    test::RecordingDialogs dialogs;
    Backups b(m, state, dialogs);
    setDirectories(b);
    for (int i = 0; i < 3; ++i) b.AutoBackup(AutoFirstStart);
  };
  // The quicker of two runs: a run slowed by a busy machine would put the kills after the end.
  const qint64 whole = std::min(runKilled(folder, makeSets, -1), runKilled(folder, makeSets, -1));
  ASSERT_GT(whole, 0);
  constexpr int kKills = 20;
  int killed = 0;
  for (int i = 0; i < kKills; ++i) {
    if (runKilled(folder, makeSets, whole * (2 * i + 1) / (2 * kKills)) == -1) ++killed;
    tm.reopen();
    SharedState state;
    test::RecordingDialogs dialogs;
    Backups b(tm.machine(), state, dialogs);
    setDirectories(b);
    QStringList listed;
    for (const SetEntry& set : b.ListSets()) {
      const QString number = set.descriptionPath.right(3);
      listed << number;
      EXPECT_EQ(b.LoadBackupComponents(set.descriptionPath), (Components{true, true, true, true, true, false}))
          << number.toStdString();
      EXPECT_EQ(tm.hostFile("C", "VANTREL/BACKUP/REGISTRY." + number), exported)
          << "kill " << i << ", set " << number.toStdString();
      for (int s = 0; s < stems.size(); ++s)
        EXPECT_EQ(tm.hostFile("C", "VANTREL/BACKUP/" + stems[s] + '.' + number), tm.hostFile("C", sources[s]))
            << "kill " << i << ", " << stems[s].toStdString() << '.' << number.toStdString();
    }
    // What no listed set holds is gone, but for the user's own file.
    for (const QString& name : QDir(tm.host("C", "VANTREL/BACKUP")).entryList(QDir::Files))
      EXPECT_TRUE(name == "KEEP.TXT" || listed.contains(name.right(3))) << "kill " << i << " left " << name.toStdString();
    for (const QString& number : listed) b.DeleteBackupSet("C:\\VANTREL\\BACKUP\\BACKUP." + number);
  }
  EXPECT_GE(killed, kKills / 4) << "the work took " << whole << " us";
}

// A test machine whose drive A: is disks/a.img, with a file of its own, and what the
// rescue disk is made from on C:.
struct FloppyMachine {
  test::TestMachine tm;
  QString image;
  SharedState state;
  test::RecordingDialogs dialogs;

  static constexpr const char* kTools[] = {"chkdsk.exe",   "attrib.exe",   "edit.com", "fdisk.exe",
                                           "scandisk.exe", "scandisk.ini", "sys.com",  "format.com"};

  FloppyMachine() {
    image = tm.folder() + "/disks/a.img";
    QDir().mkpath(tm.folder() + "/disks");
    if (!test::makeFloppyImage(image)) return;
    const QString own = tm.folder() + "/OWN.TXT";
    writeHost(own, "the user's own file");
    test::mtool("mcopy", image, 0, {own, "::/OWN.TXT"});
    QFile::remove(own);
    QFile ini(tm.folder() + "/machine.ini");
    ini.open(QIODevice::ReadOnly);
    const QByteArray text = ini.readAll().replace("Type=removable\r\nReady=0", "Type=removable\r\nImage=disks/a.img");
    ini.close();
    writeHost(ini.fileName(), text);
    tm.writeRegistryFiles();
    sources("first");
  }
  // The rescue disk's sources, each telling `edition` apart.
  void sources(const QByteArray& edition) const {
    tm.putHostFile("C", "VANTREL/HELP.bat", "@type a:\\help.txt\r\nrem " + edition + "\r\n");
    tm.putHostFile("C", "VANTREL/HELP.de", "Hilfe " + edition + "\r\n");
    tm.putHostFile("C", "VANTREL/HELP.eng", "Help " + edition + "\r\n");
    for (const char* tool : kTools)
      tm.putHostFile("C", QStringLiteral("WINDOWS/COMMAND/") + tool, edition + ' ' + tool + QByteArray(30000, 't'));
  }
  static void writeHost(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
  }
  bool writeRescueDisk(int language) {
    tm.reopen();
    state.language = language;
    Backups b(tm.machine(), state, dialogs);
    setDirectories(b);
    return b.CreateRescueDisk();
  }
  static QStringList rescueFiles() {
    QStringList names{"autoexec.bat", "help.bat", "help.txt", "restore.bat"};
    for (const char* tool : kTools) names << QLatin1String(tool);
    return names;
  }
  QMap<QString, QByteArray> onDisk() const {
    QMap<QString, QByteArray> files;
    for (const QString& name : rescueFiles()) files[name] = test::imageFile(image, 0, name);
    return files;
  }
};

TEST(Killed, WritingTheRescueDiskIntoAFloppyImageLeavesTheOldFilesOrAllNewOnes) {
  SKIP_WITHOUT_DISK_TOOLS();
  FloppyMachine m;
  ASSERT_TRUE(m.writeRescueDisk(German));
  const QMap<QString, QByteArray> old = m.onDisk();
  QFile in(m.image);
  ASSERT_TRUE(in.open(QIODevice::ReadOnly));
  const QByteArray oldImage = in.readAll();
  in.close();

  m.sources("second");
  auto write = [](Machine& machine) {
    SharedState state;
    state.language = English;
    test::RecordingDialogs dialogs;
    Backups b(machine, state, dialogs);
    setDirectories(b);
    b.CreateRescueDisk();
  };
  FloppyMachine::writeHost(m.image, oldImage);
  const qint64 whole = std::min(runKilled(m.tm.folder(), write, -1), runKilled(m.tm.folder(), write, -1));
  ASSERT_GT(whole, 0);
  const QMap<QString, QByteArray> fresh = m.onDisk();
  for (const QString& name : FloppyMachine::rescueFiles())
    ASSERT_TRUE(name == "restore.bat" || old[name] != fresh[name]) << name.toStdString();

  constexpr int kKills = 12;
  for (int i = 0; i < kKills; ++i) {
    FloppyMachine::writeHost(m.image, oldImage);
    runKilled(m.tm.folder(), write, whole * (2 * i + 1) / (2 * kKills));
    const QMap<QString, QByteArray> now = m.onDisk();
    EXPECT_TRUE(now == old || now == fresh) << "kill " << i << " after " << whole * (2 * i + 1) / (2 * kKills) << " us of "
                                            << whole;
    EXPECT_EQ(test::imageFile(m.image, 0, "OWN.TXT"), "the user's own file");
  }
}

// The floppy takes the first rescue files but not all of them: the write is refused and
// the image stays as it was, byte for byte, not only in the files it lists.
TEST(RescueFloppyImage, AFloppyTooFullForTheRescueFilesIsLeftAsItWas) {
  SKIP_WITHOUT_DISK_TOOLS();
  FloppyMachine m;
  m.tm.putHostFile("C", "VANTREL/HELP.de", QByteArray(8192, 'h'));
  m.tm.reopen();
  qint64 free = 0;
  ASSERT_TRUE(m.tm.fs().diskFreeSpaceEx(u"A:\\", &free, nullptr));
  const QString fill = m.tm.folder() + "/FILL.BIN";
  FloppyMachine::writeHost(fill, QByteArray(free - 4096, 'f'));
  test::mtool("mcopy", m.image, 0, {fill, "::/FILL.BIN"});
  const QByteArray before = test::sha256(m.image);

  EXPECT_FALSE(m.writeRescueDisk(German));
  EXPECT_EQ(test::sha256(m.image), before);
  ASSERT_EQ(m.dialogs.shown.size(), 1);
  EXPECT_TRUE(m.dialogs.shown[0].startsWith("warning: Die Diskette in Laufwerk A:")) << m.dialogs.shown[0].toStdString();
  EXPECT_TRUE(m.tm.fs().exists(u"A:\\FILL.BIN"));
  EXPECT_FALSE(m.tm.fs().exists(u"A:\\autoexec.bat"));
}

}  // namespace
}  // namespace vt::backup
