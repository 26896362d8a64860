// SPDX-License-Identifier: GPL-3.0-or-later
// vantrel-machine driven as a user's script drives it: a separate process per command,
// so every command starts from what the previous one left in the machine folder.
#include "sample/samplemachine.h"
#include "support/diskimages.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtEndian>

#include <utility>

#include <gtest/gtest.h>

// Readable failure messages.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace {

struct Result {
  int code = -1;
  QString out, err;
};

// `stdoutFile`: where standard output goes instead of the pipe (/dev/full: a full disk).
Result run(const QStringList& args, const QString& program = QStringLiteral(VANTREL_MACHINE_TOOL),
           const QString& stdoutFile = QString(), const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
  QProcess p;
  p.setProgram(program);
  p.setArguments(args);
  p.setProcessEnvironment(env);
  if (!stdoutFile.isEmpty()) p.setStandardOutputFile(stdoutFile);
  p.start();
  Result r;
  if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit) {
    r.err =
        QStringLiteral("the tool did not finish normally: ") + p.errorString() + QString::fromLocal8Bit(p.readAllStandardError());
    return r;
  }
  r.code = p.exitCode();
  r.out = QString::fromUtf8(p.readAllStandardOutput());
  r.err = QString::fromUtf8(p.readAllStandardError());
  return r;
}

QByteArray hostFile(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeHostFile(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

std::string show(const Result& r) {
  return QStringLiteral("exit %1\nstdout:\n%2\nstderr:\n%3").arg(r.code).arg(r.out, r.err).toStdString();
}

// Each test works on its own fresh sample machine.
class MachineTool : public ::testing::Test {
 protected:
  void SetUp() override {
    machine_ = dir_.filePath(QStringLiteral("machine"));
    QString why;
    ASSERT_TRUE(vt::sample::createSampleMachine(machine_, &why)) << why.toStdString();
  }
  Result onMachine(QStringList args) {
    args.prepend(machine_);
    args.prepend(QStringLiteral("--machine"));
    return run(args);
  }
  QString host(const QString& relative) const { return machine_ + QLatin1Char('/') + relative; }
  // A 16 MB FAT16 disk image holding the sample's C:.
  bool sampleDisk(const QString& image) const {
    if (!vt::test::makeHardDiskImage(image, 16, 16)) return false;
    QStringList top;
    for (const QString& name :
         QDir(host(QStringLiteral("drives/C"))).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot))
      top << host(QStringLiteral("drives/C/") + name);
    int code = 0;
    vt::test::mtool("mcopy", image, vt::test::kPartitionOffset,
                    QStringList{QStringLiteral("-s"), QStringLiteral("-m")} + top + QStringList{QStringLiteral("::/")}, &code);
    return code == 0;
  }
  QString temp(const QString& name) const { return dir_.filePath(name); }

  QTemporaryDir dir_;
  QString machine_;
};

// --- new and info ----------------------------------------------------------------------------

TEST(MachineToolNew, CreatesTheSampleThatInfoDescribes) {
  QTemporaryDir dir;
  const QString m = dir.filePath(QStringLiteral("atelier"));
  const Result made = run({QStringLiteral("new"), m});
  ASSERT_EQ(made.code, 0) << show(made);
  EXPECT_TRUE(QFile::exists(m + QStringLiteral("/machine.ini")));

  const Result info = run({QStringLiteral("--machine"), m, QStringLiteral("info")});
  ASSERT_EQ(info.code, 0) << show(info);
  EXPECT_TRUE(info.err.isEmpty()) << show(info);
  const QStringList lines = info.out.split(QLatin1Char('\n'));
  auto lineStarting = [&](const QString& prefix) {
    for (const QString& l : lines)
      if (l.startsWith(prefix)) return l.simplified();
    return QString();
  };
  EXPECT_EQ(lineStarting(QStringLiteral("Platform")), QStringLiteral("Platform Win95"));
  EXPECT_EQ(lineStarting(QStringLiteral("Computer name")), QStringLiteral("Computer name ATELIER"));
  EXPECT_EQ(lineStarting(QStringLiteral("A:")), QStringLiteral("A: removable no (no disk)"));
  const QStringList c = lineStarting(QStringLiteral("C:")).split(QLatin1Char(' '));
  ASSERT_EQ(c.size(), 7) << info.out.toStdString();
  EXPECT_EQ(c.mid(0, 6), (QStringList{QStringLiteral("C:"), QStringLiteral("fixed"), QStringLiteral("yes"),
                                      QStringLiteral("ATELIER"), QStringLiteral("FAT"), QStringLiteral("1056473088")}));
  const qint64 free = c[6].toLongLong();
  EXPECT_GT(free, 1000000000);  // what the machine's files take is deducted
  EXPECT_LT(free, 1056473088);
  EXPECT_EQ(lineStarting(QStringLiteral("D:")), QStringLiteral("D: cdrom yes SHAREWARE97 CDFS 423542784 0"));
}

TEST(MachineToolNew, RefusesAFolderThatIsNotEmpty) {
  QTemporaryDir dir;
  ASSERT_TRUE(writeHostFile(dir.filePath(QStringLiteral("keep.txt")), "mine"));
  const Result r = run({QStringLiteral("new"), dir.path()});
  EXPECT_EQ(r.code, 1) << show(r);
  EXPECT_TRUE(r.err.contains(QLatin1String("not empty"))) << show(r);
  EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("machine.ini"))));
  EXPECT_EQ(hostFile(dir.filePath(QStringLiteral("keep.txt"))), QByteArray("mine"));
}

TEST(MachineToolArguments, BadCommandLinesAreRefusedWithAMessage) {
  QTemporaryDir dir;
  const QString missing = dir.filePath(QStringLiteral("nothing-here"));
  struct Case {
    QStringList args;
    int code;
  } cases[] = {
      {{}, 2},
      {{QStringLiteral("frobnicate")}, 2},
      {{QStringLiteral("info")}, 2},  // no --machine
      {{QStringLiteral("new")}, 2},
      {{QStringLiteral("new"), missing, QStringLiteral("extra")}, 2},
      {{QStringLiteral("--machine")}, 2},
      {{QStringLiteral("--bogus"), QStringLiteral("info")}, 2},
      {{QStringLiteral("--machine"), missing, QStringLiteral("info")}, 1},  // no such machine
      {{QStringLiteral("--machine"), missing, QStringLiteral("dance")}, 2},
  };
  for (const Case& c : cases) {
    const Result r = run(c.args);
    EXPECT_EQ(r.code, c.code) << c.args.join(QLatin1Char(' ')).toStdString() << "\n" << show(r);
    EXPECT_FALSE(r.err.trimmed().isEmpty()) << c.args.join(QLatin1Char(' ')).toStdString();
  }
  const Result help = run({QStringLiteral("--help")});
  EXPECT_EQ(help.code, 0);
  EXPECT_TRUE(help.out.contains(QLatin1String("clean-registry")));
  // A command's own help needs no machine.
  const Result regedit = run({QStringLiteral("regedit"), QStringLiteral("--help")});
  EXPECT_EQ(regedit.code, 0);
  EXPECT_TRUE(regedit.out.contains(QLatin1String("regedit /e HOSTFILE")));
}

// Neither program needs a display to say what it is, and both name one version: the
// build's, which the manual pages carry too.
TEST(Programs, HelpAndVersionWorkWithoutADisplay) {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(QLatin1String(name));
  const QRegularExpression th(QStringLiteral("^\\.TH \\S+ 1 \"[^\"]*\" \"Vantrel ([^\"]+)\""));
  const QRegularExpressionMatch page = th.match(QString::fromUtf8(hostFile(QStringLiteral(VANTREL_BUILD_DIR "/man/vantrel.1"))));
  ASSERT_TRUE(page.hasMatch());
  for (const auto& [program, name] : {std::pair{QStringLiteral(VANTREL_APP), QStringLiteral("vantrel")},
                                      std::pair{QStringLiteral(VANTREL_MACHINE_TOOL), QStringLiteral("vantrel-machine")}}) {
    for (const char* flag : {"--version", "-V"}) {
      const Result r = run({QLatin1String(flag)}, program, QString(), env);
      EXPECT_EQ(r.code, 0) << name.toStdString() << ' ' << flag << '\n' << show(r);
      EXPECT_EQ(r.out, name + QLatin1Char(' ') + page.captured(1) + QLatin1Char('\n')) << flag;
    }
    const Result help = run({QStringLiteral("--help")}, program, QString(), env);
    EXPECT_EQ(help.code, 0) << name.toStdString() << '\n' << show(help);
    const QRegularExpressionMatch guides = QRegularExpression(QStringLiteral("guides .* are in (.+)\\.\n")).match(help.out);
    ASSERT_TRUE(guides.hasMatch()) << show(help);
    EXPECT_TRUE(QFile::exists(guides.captured(1) + QStringLiteral("/machine.md"))) << show(help);
    EXPECT_TRUE(QFile::exists(guides.captured(1) + QStringLiteral("/disk-images.md"))) << show(help);
  }
}

// --- attrib ----------------------------------------------------------------------------------

TEST_F(MachineTool, AttribShowsColumnsAsAttribDoes) {
  const Result one = onMachine({QStringLiteral("attrib"), QStringLiteral("C:\\MSDOS.SYS")});
  ASSERT_EQ(one.code, 0) << show(one);
  EXPECT_EQ(one.out, QStringLiteral("     SHR     C:\\MSDOS.SYS\n"));

  // A wildcard lists files (hidden and system ones too) but not folders; names as stored.
  const Result many = onMachine({QStringLiteral("attrib"), QStringLiteral("c:\\windows\\*.ini")});
  ASSERT_EQ(many.code, 0) << show(many);
  EXPECT_TRUE(many.out.contains(QStringLiteral("  A          C:\\WINDOWS\\WIN.INI\n"))) << show(many);
  EXPECT_TRUE(many.out.contains(QStringLiteral("C:\\WINDOWS\\SYSTEM.INI\n")));
  const Result all = onMachine({QStringLiteral("attrib"), QStringLiteral("C:\\WINDOWS\\*.*")});
  EXPECT_TRUE(all.out.contains(QStringLiteral("C:\\WINDOWS\\WIN.INI\n"))) << show(all);
  EXPECT_FALSE(all.out.contains(QStringLiteral("C:\\WINDOWS\\SYSTEM\n"))) << show(all);

  const Result root = onMachine({QStringLiteral("attrib"), QStringLiteral("C:\\*.SYS")});
  EXPECT_TRUE(root.out.contains(QStringLiteral("     SHR     C:\\IO.SYS\n"))) << show(root);
  EXPECT_TRUE(root.out.contains(QStringLiteral("  A          C:\\CONFIG.SYS\n"))) << show(root);

  const Result folder = onMachine({QStringLiteral("attrib"), QStringLiteral("C:\\RECYCLED")});
  EXPECT_EQ(folder.out, QStringLiteral("     SH      C:\\RECYCLED\n")) << show(folder);

  const Result deep = onMachine({QStringLiteral("attrib"), QStringLiteral("/S"), QStringLiteral("C:\\WINDOWS\\*.GID")});
  ASSERT_EQ(deep.code, 0) << show(deep);
  EXPECT_EQ(deep.out.count(QLatin1Char('\n')), 2) << show(deep);
  EXPECT_TRUE(deep.out.contains(QStringLiteral("  A   H      C:\\WINDOWS\\HELP\\WINDOWS.GID\n"))) << show(deep);
}

TEST_F(MachineTool, AttribChangesLastAcrossRuns) {
  Result r = onMachine({QStringLiteral("attrib"), QStringLiteral("+R"), QStringLiteral("+h"), QStringLiteral("C:\\CONFIG.SYS")});
  ASSERT_EQ(r.code, 0) << show(r);
  EXPECT_TRUE(r.out.isEmpty());
  r = onMachine({QStringLiteral("attrib"), QStringLiteral("C:\\CONFIG.SYS")});
  EXPECT_EQ(r.out, QStringLiteral("  A   HR     C:\\CONFIG.SYS\n")) << show(r);
  r = onMachine({QStringLiteral("attrib"), QStringLiteral("-R"), QStringLiteral("-H"), QStringLiteral("-A"),
                 QStringLiteral("C:\\CONFIG.SYS")});
  ASSERT_EQ(r.code, 0) << show(r);
  r = onMachine({QStringLiteral("attrib"), QStringLiteral("C:\\CONFIG.SYS")});
  EXPECT_EQ(r.out, QStringLiteral("             C:\\CONFIG.SYS\n")) << show(r);
}

TEST_F(MachineTool, AttribLeavesHiddenAndSystemFilesAloneUnlessTold) {
  // +A on C:\*.SYS would touch IO.SYS and MSDOS.SYS: refused as a whole.
  Result r = onMachine({QStringLiteral("attrib"), QStringLiteral("-A"), QStringLiteral("C:\\*.SYS")});
  EXPECT_EQ(r.code, 1) << show(r);
  EXPECT_TRUE(r.err.contains(QLatin1String("Not resetting system file C:\\MSDOS.SYS"))) << show(r);
  r = onMachine({QStringLiteral("attrib"), QStringLiteral("C:\\CONFIG.SYS")});
  EXPECT_EQ(r.out, QStringLiteral("  A          C:\\CONFIG.SYS\n")) << "CONFIG.SYS changed although the command failed";

  r = onMachine({QStringLiteral("attrib"), QStringLiteral("-S"), QStringLiteral("-H"), QStringLiteral("-R"),
                 QStringLiteral("C:\\MSDOS.SYS")});
  ASSERT_EQ(r.code, 0) << show(r);
  r = onMachine({QStringLiteral("attrib"), QStringLiteral("C:\\MSDOS.SYS")});
  EXPECT_EQ(r.out, QStringLiteral("             C:\\MSDOS.SYS\n")) << show(r);
}

TEST_F(MachineTool, AttribRefusesBadInput) {
  Result r = onMachine({QStringLiteral("attrib"), QStringLiteral("C:\\NOSUCH.TXT")});
  EXPECT_EQ(r.code, 1) << show(r);
  EXPECT_TRUE(r.err.contains(QLatin1String("not found"))) << show(r);
  r = onMachine({QStringLiteral("attrib"), QStringLiteral("C:\\NOWHERE\\*.*")});
  EXPECT_EQ(r.code, 1) << show(r);
  r = onMachine({QStringLiteral("attrib"), QStringLiteral("A:\\*.*")});
  EXPECT_EQ(r.code, 1) << show(r);
  EXPECT_TRUE(r.err.contains(QLatin1String("not ready"))) << show(r);
  r = onMachine({QStringLiteral("attrib"), QStringLiteral("+X"), QStringLiteral("C:\\CONFIG.SYS")});
  EXPECT_EQ(r.code, 2) << show(r);
  r = onMachine({QStringLiteral("attrib"), QStringLiteral("+R"), QStringLiteral("-R"), QStringLiteral("C:\\CONFIG.SYS")});
  EXPECT_EQ(r.code, 2) << show(r);
  r = onMachine({QStringLiteral("attrib"), QStringLiteral("C:\\A.TXT"), QStringLiteral("C:\\B.TXT")});
  EXPECT_EQ(r.code, 2) << show(r);
}

// --- regedit ---------------------------------------------------------------------------------

TEST_F(MachineTool, RegeditExportMergeReplaceRoundTrip) {
  const QString before = temp(QStringLiteral("before.reg"));
  Result r = onMachine({QStringLiteral("regedit"), QStringLiteral("/e"), before});
  ASSERT_EQ(r.code, 0) << show(r);
  const QByteArray full = hostFile(before);
  EXPECT_TRUE(full.startsWith("REGEDIT4\r\n"));
  EXPECT_TRUE(full.contains("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarvo\\Vantrel]\r\n"));
  EXPECT_TRUE(full.contains("[HKEY_USERS\\.DEFAULT\\Control Panel\\Desktop]\r\n"));

  const QString add = temp(QStringLiteral("add.reg"));
  ASSERT_TRUE(
      writeHostFile(add, "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Scripted]\r\n\"Answer\"=dword:0000002a\r\n\r\n"));
  r = onMachine({QStringLiteral("regedit"), add});
  ASSERT_EQ(r.code, 0) << show(r);
  const QString part = temp(QStringLiteral("part.reg"));
  r = onMachine({QStringLiteral("regedit"), QStringLiteral("/E"), part, QStringLiteral("HKLM\\software\\scripted")});
  ASSERT_EQ(r.code, 0) << show(r);
  EXPECT_TRUE(hostFile(part).contains("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Scripted]\r\n\"Answer\"=dword:0000002a"))
      << hostFile(part).toStdString();

  // Replacing with the first export takes the merged key away again.
  r = onMachine({QStringLiteral("regedit"), QStringLiteral("/c"), before});
  ASSERT_EQ(r.code, 0) << show(r);
  r = onMachine(
      {QStringLiteral("regedit"), QStringLiteral("/e"), part, QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Scripted")});
  EXPECT_EQ(r.code, 1) << show(r);
  const QString after = temp(QStringLiteral("after.reg"));
  r = onMachine({QStringLiteral("regedit"), QStringLiteral("/e"), after});
  ASSERT_EQ(r.code, 0) << show(r);
  EXPECT_EQ(hostFile(after), full);
}

TEST_F(MachineTool, RegeditExportsAKeyUnderItsAlias) {
  const Result r = onMachine({QStringLiteral("regedit"), QStringLiteral("/e"), QStringLiteral("-"),
                              QStringLiteral("HKEY_CURRENT_USER\\control panel\\desktop")});
  ASSERT_EQ(r.code, 0) << show(r);
  EXPECT_TRUE(r.out.startsWith(QLatin1String("REGEDIT4"))) << show(r);
  EXPECT_TRUE(r.out.contains(QLatin1String("[HKEY_CURRENT_USER\\Control Panel\\Desktop]"))) << show(r);
  EXPECT_TRUE(r.out.contains(QLatin1String("\"MenuShowDelay\"=\"400\""))) << show(r);
}

TEST_F(MachineTool, RegeditRefusalLeavesTheHivesUntouched) {
  const QByteArray systemDat = hostFile(host(QStringLiteral("drives/C/WINDOWS/SYSTEM.DAT")));
  const QByteArray userDat = hostFile(host(QStringLiteral("drives/C/WINDOWS/USER.DAT")));
  ASSERT_FALSE(systemDat.isEmpty());
  const QString bad = temp(QStringLiteral("bad.reg"));
  ASSERT_TRUE(writeHostFile(bad,
                            "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Fine]\r\n\"a\"=\"1\"\r\n"
                            "this line is not REGEDIT4\r\n"));
  for (const QString& mode : {QString(), QStringLiteral("/c")}) {
    QStringList args{QStringLiteral("regedit")};
    if (!mode.isEmpty()) args << mode;
    args << bad;
    const Result r = onMachine(args);
    EXPECT_EQ(r.code, 1) << show(r);
    EXPECT_FALSE(r.err.isEmpty());
    EXPECT_EQ(hostFile(host(QStringLiteral("drives/C/WINDOWS/SYSTEM.DAT"))), systemDat);
    EXPECT_EQ(hostFile(host(QStringLiteral("drives/C/WINDOWS/USER.DAT"))), userDat);
  }
  Result r = onMachine({QStringLiteral("regedit"), temp(QStringLiteral("absent.reg"))});
  EXPECT_EQ(r.code, 1) << show(r);
  r = onMachine({QStringLiteral("regedit"), QStringLiteral("/e")});
  EXPECT_EQ(r.code, 2) << show(r);
  r = onMachine({QStringLiteral("regedit"), QStringLiteral("/e"), QStringLiteral("-"), QStringLiteral("HKEY_NOWHERE\\X")});
  EXPECT_EQ(r.code, 1) << show(r);
}

// An export cut off at a key line halfway (a copy that broke off) must not replace the
// registry; merging it is still allowed.
TEST_F(MachineTool, RegeditReplaceRefusesAnExportCutOffHalfway) {
  const QString full = temp(QStringLiteral("full.reg")), cut = temp(QStringLiteral("cut.reg"));
  Result r = onMachine({QStringLiteral("regedit"), QStringLiteral("/e"), full});
  ASSERT_EQ(r.code, 0) << show(r);
  const QByteArray text = hostFile(full);
  const qsizetype at = text.indexOf("\r\n[", text.size() / 2);
  ASSERT_GT(at, 0);
  ASSERT_TRUE(writeHostFile(cut, text.left(at + 2)));
  const QString systemDat = host(QStringLiteral("drives/C/WINDOWS/SYSTEM.DAT")),
                userDat = host(QStringLiteral("drives/C/WINDOWS/USER.DAT"));
  const QByteArray system = hostFile(systemDat), user = hostFile(userDat);
  r = onMachine({QStringLiteral("regedit"), QStringLiteral("/c"), cut});
  EXPECT_EQ(r.code, 1) << show(r);
  EXPECT_TRUE(r.err.contains(QLatin1String("not a whole export"))) << show(r);
  EXPECT_EQ(hostFile(systemDat), system);
  EXPECT_EQ(hostFile(userDat), user);
  r = onMachine({QStringLiteral("regedit"), cut});
  EXPECT_EQ(r.code, 0) << show(r);
}

// --- recycle and lnk ---------------------------------------------------------------------------

TEST_F(MachineTool, RecycleListAndRestore) {
  Result r = onMachine({QStringLiteral("recycle"), QStringLiteral("list")});
  ASSERT_EQ(r.code, 0) << show(r);
  const QStringList rows = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  ASSERT_EQ(rows.size(), 2) << show(r);  // heading and the one item
  EXPECT_TRUE(rows[1].startsWith(QLatin1String("C:     0      1998-05-11 16:42:10"))) << show(r);
  EXPECT_TRUE(rows[1].endsWith(QLatin1String("C:\\My Documents\\Old letter.doc"))) << show(r);

  r = onMachine({QStringLiteral("recycle"), QStringLiteral("restore"), QStringLiteral("c:"), QStringLiteral("0")});
  ASSERT_EQ(r.code, 0) << show(r);
  EXPECT_TRUE(hostFile(host(QStringLiteral("drives/C/My Documents/Old letter.doc"))).startsWith("{\\rtf1"));
  r = onMachine({QStringLiteral("recycle"), QStringLiteral("list")});
  EXPECT_TRUE(r.out.isEmpty()) << show(r);
  r = onMachine({QStringLiteral("recycle"), QStringLiteral("restore"), QStringLiteral("C"), QStringLiteral("0")});
  EXPECT_EQ(r.code, 1) << show(r);

  r = onMachine({QStringLiteral("recycle"), QStringLiteral("delete"), QStringLiteral("C:\\My Documents\\Old letter.doc")});
  ASSERT_EQ(r.code, 0) << show(r);
  EXPECT_FALSE(QFile::exists(host(QStringLiteral("drives/C/My Documents/Old letter.doc"))));
  r = onMachine({QStringLiteral("recycle"), QStringLiteral("list")});
  EXPECT_TRUE(r.out.contains(QLatin1String("Old letter.doc"))) << show(r);
}

TEST_F(MachineTool, RecycleRefusesBadInput) {
  for (const QStringList& args :
       {QStringList{QStringLiteral("recycle")},
        QStringList{QStringLiteral("recycle"), QStringLiteral("restore"), QStringLiteral("C")},
        QStringList{QStringLiteral("recycle"), QStringLiteral("restore"), QStringLiteral("CC"), QStringLiteral("0")},
        QStringList{QStringLiteral("recycle"), QStringLiteral("restore"), QStringLiteral("C"), QStringLiteral("x")}}) {
    const Result r = onMachine(args);
    EXPECT_EQ(r.code, 2) << show(r);
  }
  Result r = onMachine({QStringLiteral("recycle"), QStringLiteral("restore"), QStringLiteral("C"), QStringLiteral("7")});
  EXPECT_EQ(r.code, 1) << show(r);
  r = onMachine({QStringLiteral("recycle"), QStringLiteral("delete"), QStringLiteral("C:\\NOSUCH.TXT")});
  EXPECT_EQ(r.code, 1) << show(r);
}

TEST_F(MachineTool, RecycleFailuresSayWhatFailed) {
  const struct {
    QStringList args;
    const char* reason;
  } cases[] = {
      {{QStringLiteral("delete"), QStringLiteral("C:\\WINDOWS")}, "is a folder"},
      {{QStringLiteral("delete"), QStringLiteral("D:\\README.TXT")}, "CD-ROM"},
      {{QStringLiteral("delete"), QStringLiteral("C:\\RECYCLED\\INFO")}, "recycle bin itself"},
      {{QStringLiteral("empty"), QStringLiteral("Q")}, "Q: does not exist"},
      {{QStringLiteral("restore"), QStringLiteral("C"), QStringLiteral("7")}, "no item 7"},
  };
  for (const auto& c : cases) {
    const Result r = onMachine(QStringList{QStringLiteral("recycle")} + c.args);
    EXPECT_EQ(r.code, 1) << show(r);
    EXPECT_TRUE(r.err.contains(QLatin1String(c.reason))) << show(r);
    EXPECT_FALSE(r.err.contains(QLatin1String("successfully"))) << show(r);
  }
  EXPECT_TRUE(QFile::exists(host(QStringLiteral("drives/D/README.TXT"))));
}

// INFO with records written by someone else: a last index of 0xFFFFFFFF, or one index twice.
TEST_F(MachineTool, RecycleRestoreNamesTheFileItRestored) {
  auto info = [](quint32 next, const QList<std::pair<QByteArray, quint32>>& records) {
    QByteArray out(0x14, '\0');
    qToLittleEndian<quint32>(quint32(records.size()), out.data() + 0x04);
    qToLittleEndian<quint32>(next, out.data() + 0x08);
    qToLittleEndian<quint32>(0x118, out.data() + 0x0C);
    for (const auto& [path, index] : records) {
      QByteArray r(0x118, '\0');
      r.replace(0, path.size(), path);
      qToLittleEndian<quint32>(index, r.data() + 0x104);
      qToLittleEndian<quint32>(2, r.data() + 0x108);
      out += r;
    }
    return out;
  };
  ASSERT_TRUE(writeHostFile(host(QStringLiteral("drives/C/RECYCLED/DC0.TXT")), "a"));
  ASSERT_TRUE(writeHostFile(host(QStringLiteral("drives/C/RECYCLED/DC4294967295.DOC")), "x"));
  ASSERT_TRUE(
      writeHostFile(host(QStringLiteral("drives/C/RECYCLED/INFO")), info(0, {{"C:\\A.TXT", 0}, {"C:\\X.DOC", 0xFFFFFFFF}})));
  ASSERT_TRUE(writeHostFile(host(QStringLiteral("drives/C/NEW.BMP")), "new"));
  Result r = onMachine({QStringLiteral("recycle"), QStringLiteral("delete"), QStringLiteral("C:\\NEW.BMP")});
  ASSERT_EQ(r.code, 0) << show(r);
  r = onMachine({QStringLiteral("recycle"), QStringLiteral("restore"), QStringLiteral("C"), QStringLiteral("0")});
  ASSERT_EQ(r.code, 0) << show(r);
  EXPECT_EQ(r.out, QStringLiteral("Restored C:\\A.TXT\n")) << show(r);
  EXPECT_EQ(hostFile(host(QStringLiteral("drives/C/A.TXT"))), QByteArray("a"));
  r = onMachine({QStringLiteral("recycle"), QStringLiteral("restore"), QStringLiteral("C"), QStringLiteral("1")});
  EXPECT_EQ(r.out, QStringLiteral("Restored C:\\NEW.BMP\n")) << show(r);
  EXPECT_EQ(hostFile(host(QStringLiteral("drives/C/NEW.BMP"))), QByteArray("new"));

  // One index twice already: the first record is restored, and named.
  ASSERT_TRUE(writeHostFile(host(QStringLiteral("drives/C/RECYCLED/DC5.TXT")), "first"));
  ASSERT_TRUE(writeHostFile(host(QStringLiteral("drives/C/RECYCLED/DC5.BMP")), "second"));
  ASSERT_TRUE(
      writeHostFile(host(QStringLiteral("drives/C/RECYCLED/INFO")), info(6, {{"C:\\FIRST.TXT", 5}, {"C:\\SECOND.BMP", 5}})));
  r = onMachine({QStringLiteral("recycle"), QStringLiteral("restore"), QStringLiteral("C"), QStringLiteral("5")});
  ASSERT_EQ(r.code, 0) << show(r);
  EXPECT_EQ(r.out, QStringLiteral("Restored C:\\FIRST.TXT\n")) << show(r);
  EXPECT_EQ(hostFile(host(QStringLiteral("drives/C/FIRST.TXT"))), QByteArray("first"));
}

TEST_F(MachineTool, LnkShowsWhereAShortcutPoints) {
  Result r = onMachine({QStringLiteral("lnk"), QStringLiteral("C:\\WINDOWS\\Desktop\\PixelWerk 3.1.lnk")});
  ASSERT_EQ(r.code, 0) << show(r);
  EXPECT_TRUE(r.out.contains(QLatin1String("Target           C:\\PIXWERK\\PIXWERK.EXE\n"))) << show(r);
  EXPECT_TRUE(r.out.contains(QLatin1String("Target exists    no\n"))) << show(r);
  r = onMachine({QStringLiteral("lnk"), QStringLiteral("C:\\WINDOWS\\Desktop\\Install Scanner Driver.lnk")});
  EXPECT_TRUE(r.out.contains(QLatin1String("Target exists    drive not ready\n"))) << show(r);
  r = onMachine({QStringLiteral("lnk"), QStringLiteral("C:\\WINDOWS\\Start Menu\\Programs\\Games\\Tank Battle.pif")});
  ASSERT_EQ(r.code, 0) << show(r);
  EXPECT_TRUE(r.out.startsWith(QLatin1String("Target           C:\\GAMES\\TANKS\\TANKS.EXE\n"))) << show(r);
  EXPECT_TRUE(r.out.contains(QLatin1String("Title            Tank Battle\n"))) << show(r);
  r = onMachine({QStringLiteral("lnk"), QStringLiteral("C:\\CONFIG.SYS")});
  EXPECT_EQ(r.code, 1) << show(r);
}

// --- dir and short names ---------------------------------------------------------------------

// DOS 7's columns: the alias's name and extension, the size; the long path at the right.
TEST_F(MachineTool, DirShowsTheShortNameBesideTheLongPath) {
  const Result one = onMachine({QStringLiteral("dir"), QStringLiteral("C:\\PROGRA~1\\ACCESS~1\\WORDPAD.EXE")});
  ASSERT_EQ(one.code, 0) << show(one);
  const QStringList lines = one.out.split(QLatin1Char('\n'));
  ASSERT_EQ(lines.size(), 4) << show(one);
  const qint64 size = QFileInfo(host(QStringLiteral("drives/C/Program Files/Accessories/WORDPAD.EXE"))).size();
  EXPECT_EQ(lines[0].left(26), QStringLiteral("WORDPAD  EXE") + QString::number(size).rightJustified(14)) << show(one);
  EXPECT_EQ(lines[0].mid(55), QStringLiteral("C:\\Program Files\\Accessories\\WORDPAD.EXE")) << show(one);
  EXPECT_EQ(lines[1].simplified(), QStringLiteral("1 file(s) %1 bytes").arg(size));

  const Result root = onMachine({QStringLiteral("dir"), QStringLiteral("/A"), QStringLiteral("C:\\")});
  for (const char* entry : {R"(^PROGRA~1       <DIR>        [-\d]{10} [:\d]{8}  ----  C:\\Program Files$)",
                            R"(^MSDOS    SYS +\d+  [-\d]{10} [:\d]{8}  RHS-  C:\\MSDOS\.SYS$)"})
    EXPECT_TRUE(root.out.contains(QRegularExpression(QString::fromLatin1(entry), QRegularExpression::MultilineOption)))
        << entry << '\n'
        << show(root);
}

// Every command that takes a Windows path takes any name of it as its alias, and shows or
// records the long names.
TEST_F(MachineTool, CommandsTakeShortNames) {
  const struct {
    QStringList args;
    QString shows;
  } steps[] = {
      {{QStringLiteral("attrib"), QStringLiteral("c:\\progra~1\\access~1\\wordpad.exe")},
       QStringLiteral("C:\\Program Files\\Accessories\\WORDPAD.EXE\n")},
      {{QStringLiteral("lnk"), QStringLiteral("C:\\WINDOWS\\DESKTOP\\PIXELW~1.LNK")},
       QStringLiteral("Target           C:\\PIXWERK\\PIXWERK.EXE\n")},
      {{QStringLiteral("dir"), QStringLiteral("/S"), QStringLiteral("C:\\MYDOCU~1\\*.TXT")},
       QStringLiteral("  C:\\My Documents\\Invoices 1998.txt\n")},
      {{QStringLiteral("recycle"), QStringLiteral("delete"), QStringLiteral("C:\\MYDOCU~1\\INVOIC~1.TXT")}, QString()},
      {{QStringLiteral("recycle"), QStringLiteral("list")}, QStringLiteral(" C:\\My Documents\\Invoices 1998.txt\n")},
  };
  for (const auto& step : steps) {
    const Result r = onMachine(step.args);
    EXPECT_EQ(r.code, 0) << show(r);
    EXPECT_TRUE(r.out.contains(step.shows)) << step.args.join(QLatin1Char(' ')).toStdString() << '\n' << show(r);
  }
}

// A script must not take a listing that never reached its file for a whole one.
TEST_F(MachineTool, OutputThatCannotBeWrittenIsAFailure) {
  const QStringList commands[] = {
      {QStringLiteral("info")},
      {QStringLiteral("dir"), QStringLiteral("/S"), QStringLiteral("C:\\*.*")},
      {QStringLiteral("attrib"), QStringLiteral("C:\\*.*")},
      {QStringLiteral("lnk"), QStringLiteral("C:\\WINDOWS\\Desktop\\PixelWerk 3.1.lnk")},
      {QStringLiteral("regedit"), QStringLiteral("/e"), QStringLiteral("-")},
  };
  for (QStringList args : commands) {
    const QString line = args.join(QLatin1Char(' '));
    args.prepend(machine_);
    args.prepend(QStringLiteral("--machine"));
    const Result r = run(args, QStringLiteral(VANTREL_MACHINE_TOOL), QStringLiteral("/dev/full"));
    EXPECT_EQ(r.code, 1) << line.toStdString() << '\n' << show(r);
    EXPECT_TRUE(r.err.contains(QLatin1String("cannot write to standard output"))) << line.toStdString() << '\n' << show(r);
  }
  const Result help = run({QStringLiteral("--help")}, QStringLiteral(VANTREL_MACHINE_TOOL), QStringLiteral("/dev/full"));
  EXPECT_EQ(help.code, 1) << show(help);
}

}  // namespace

// --- import and export --------------------------------------------------------------------

TEST_F(MachineTool, ImportAndExportADiskImage) {
  if (const QString missing = vt::test::missingDiskTools(); !missing.isEmpty()) GTEST_SKIP() << missing.toStdString();
  const QString image = temp(QStringLiteral("w95.img"));
  ASSERT_TRUE(sampleDisk(image));

  const QString imported = temp(QStringLiteral("imported"));
  Result r = run({QStringLiteral("import"), image, imported});
  ASSERT_EQ(r.code, 0) << show(r);
  EXPECT_EQ(r.err, "") << "no progress line where stderr is no terminal";
  EXPECT_TRUE(QRegularExpression(QStringLiteral("^Imported \\d+ files and \\d+ folders from partition 1 \\(FAT16,"))
                  .match(r.out)
                  .hasMatch())
      << show(r);
  r = run({QStringLiteral("export"), imported, image, QStringLiteral("--partition=1")});
  ASSERT_EQ(r.code, 0) << show(r);
  EXPECT_TRUE(r.out.startsWith(QLatin1String("Nothing changed"))) << show(r);
  r = run(
      {QStringLiteral("--machine"), imported, QStringLiteral("attrib"), QStringLiteral("+H"), QStringLiteral("C:\\CONFIG.SYS")});
  ASSERT_EQ(r.code, 0) << show(r);
  r = run({QStringLiteral("export"), imported, image});
  ASSERT_EQ(r.code, 0) << show(r);
  EXPECT_EQ(
      r.out.trimmed(),
      QStringLiteral("Wrote 0 files, removed 0 files and folders, made 0 folders and changed the attributes of 1 more in ") +
          image);

  const QString zeros = temp(QStringLiteral("zeros.img"));
  ASSERT_TRUE(writeHostFile(zeros, QByteArray(1 << 20, '\0')));
  const struct {
    QStringList args;
    int code;
    const char* says;
  } refused[] = {
      {{QStringLiteral("import"), zeros, temp(QStringLiteral("m2"))}, 1, "neither a partition table nor a FAT boot sector"},
      {{QStringLiteral("export"), machine_, image}, 1, "was not imported from a disk image"},
      {{QStringLiteral("export"), imported, image, QStringLiteral("--partition"), QStringLiteral("2")},
       1,
       "imported from partition 1"},
      {{QStringLiteral("export"), imported, image, QStringLiteral("--partition"), QStringLiteral("0")}, 2, "needs a number"},
      {{QStringLiteral("import"), image}, 2, "two arguments"},
      {{QStringLiteral("--machine"), imported, QStringLiteral("export"), image}, 2, "not --machine"},
  };
  for (const auto& c : refused) {
    const Result bad = run(c.args);
    EXPECT_EQ(bad.code, c.code) << show(bad);
    EXPECT_TRUE(bad.err.contains(QLatin1String(c.says))) << show(bad);
  }
  EXPECT_FALSE(QFile::exists(temp(QStringLiteral("m2"))));

  // A packed image goes the same way, and back in its own format.
  if (vt::test::runProgram(QStringLiteral("qemu-img"), {QStringLiteral("--version")}) != 0) return;
  const QString packed = temp(QStringLiteral("w95.qcow2")), fromPacked = temp(QStringLiteral("packed"));
  ASSERT_EQ(vt::test::runProgram(QStringLiteral("qemu-img"), {"convert", "-f", "raw", "-O", "qcow2", image, packed}), 0);
  r = run({QStringLiteral("import"), packed, fromPacked});
  ASSERT_EQ(r.code, 0) << show(r);
  EXPECT_TRUE(r.out.contains(QLatin1String("partition 1 of a qcow2 image"))) << show(r);
  r = run({QStringLiteral("--machine"), fromPacked, QStringLiteral("attrib"), QStringLiteral("-H"),
           QStringLiteral("C:\\CONFIG.SYS")});
  ASSERT_EQ(r.code, 0) << show(r);
  r = run({QStringLiteral("export"), fromPacked, packed});
  ASSERT_EQ(r.code, 0) << show(r);
  EXPECT_TRUE(r.out.contains(QLatin1String("changed the attributes of 1 more"))) << show(r);
  QByteArray info;
  vt::test::runProgram(QStringLiteral("qemu-img"), {"info", packed}, &info);
  EXPECT_TRUE(info.contains("file format: qcow2")) << info.toStdString();
  const QString unpacked = temp(QStringLiteral("unpacked.img"));
  ASSERT_EQ(vt::test::runProgram(QStringLiteral("qemu-img"), {"convert", "-O", "raw", packed, unpacked}), 0);
  EXPECT_FALSE(vt::test::imageAttributes(unpacked, vt::test::kPartitionOffset).value("CONFIG.SYS").contains('H'));
}

TEST_F(MachineTool, ImportRefusesFilesThatShareClustersOrOutgrowTheirChain) {
  if (const QString missing = vt::test::missingDiskTools(); !missing.isEmpty()) GTEST_SKIP() << missing.toStdString();
  const QString image = temp(QStringLiteral("w95.img")), payload = temp(QStringLiteral("payload"));
  ASSERT_TRUE(sampleDisk(image));
  ASSERT_TRUE(writeHostFile(payload, QByteArray(3000, 'p')));
  for (const char* name : {"::/FIRST.TXT", "::/SECOND.TXT"})
    vt::test::mtool("mcopy", image, vt::test::kPartitionOffset, {payload, QString::fromLatin1(name)});
  const QByteArray good = hostFile(image);
  const vt::test::FatLayout l(good, vt::test::kPartitionOffset);
  const qint64 first = l.entry(good, "FIRST   TXT"), second = l.entry(good, "SECOND  TXT");
  ASSERT_TRUE(first > 0 && second > 0);
  const struct {
    qint64 at;
    QByteArray bytes;
    const char* says;
  } damaged[] = {
      {second + 26, good.mid(first + 26, 2), "FIRST.TXT and SECOND.TXT share cluster"},
      {first + 28, QByteArray::fromHex("00400100"), "FIRST.TXT is 81920 bytes long, but its cluster chain holds only 4096 bytes"},
  };
  for (const auto& d : damaged) {
    SCOPED_TRACE(d.says);
    ASSERT_TRUE(vt::test::writeImage(image, QByteArray(good).replace(d.at, d.bytes.size(), d.bytes)));
    const Result r = run({QStringLiteral("import"), image, temp(QStringLiteral("imported"))});
    EXPECT_EQ(r.code, 1) << show(r);
    EXPECT_TRUE(r.err.contains(QLatin1String(d.says))) << show(r);
    EXPECT_FALSE(QFile::exists(temp(QStringLiteral("imported"))));
  }
}
