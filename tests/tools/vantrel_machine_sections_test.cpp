// SPDX-License-Identifier: GPL-3.0-or-later
// The maintenance commands of vantrel-machine against the sections' libraries: each command
// runs on one copy of the sample machine and the libraries the window uses on another, and
// the two must report the same and leave the same folder behind.
#include "support/toolprocess.h"
#include "backup/backups.h"
#include "cleanup/deletion.h"
#include "cleanup/filesearch.h"
#include "cleanup/optimisers.h"
#include "cleanup/registryclean.h"
#include "diagnosis/osinfo.h"
#include "diagnosis/report.h"
#include "platform/filesystem.h"
#include "platform/machine.h"
#include "sample/samplemachine.h"
#include "sysaccess/files.h"
#include "sysaccess/reg.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtEndian>

#include <functional>
#include <memory>

#include <sys/xattr.h>

#include <gtest/gtest.h>

inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace vt {
namespace {

using Result = test::ToolResult;
Result run(const QString& machine, const QStringList& args) {
  return test::runTool(QStringList{QStringLiteral("--machine"), machine, QStringLiteral("--lang"), QStringLiteral("en")} + args);
}

// Every name under the folder with its content and extended attributes (where the DOS
// attributes and short names may live). The deletion times in a recycle bin's index are
// the one thing two runs cannot share, so they are left out. A long name's alias is
// stored the first time anything looks it up, the same whoever looks; `aliases` false
// leaves those out too.
QMap<QString, QByteArray> tree(const QString& root, bool aliases = true) {
  QMap<QString, QByteArray> entries;
  QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
  while (it.hasNext()) {
    const QString path = it.next();
    QByteArray digest = it.fileInfo().isDir() ? QByteArray("folder") : QByteArray();
    if (!it.fileInfo().isDir()) {
      QFile f(path);
      QByteArray bytes = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
      if (it.fileName().compare(QLatin1String("INFO"), Qt::CaseInsensitive) == 0 &&
          path.contains(QLatin1String("RECYCLED"), Qt::CaseInsensitive))
        for (qsizetype at = 0x14 + 0x10C; at + 8 <= bytes.size(); at += 0x118) bytes.replace(at, 8, QByteArray(8, '\0'));
      digest = QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex();
    }
    const QByteArray host = QFile::encodeName(path);
    char names[4096];
    const ssize_t n = ::llistxattr(host.constData(), names, sizeof names);
    for (ssize_t i = 0; i < n; i += ssize_t(qstrlen(names + i)) + 1) {
      if (!aliases && QByteArray(names + i).endsWith("DOSNAME")) continue;
      char value[512];
      const ssize_t v = ::lgetxattr(host.constData(), names + i, value, sizeof value);
      digest += ' ' + QByteArray(names + i) + '=' + QByteArray(value, int(std::max<ssize_t>(v, 0))).toHex();
    }
    entries.insert(path.mid(root.size()), digest);
  }
  return entries;
}

std::string differences(const QMap<QString, QByteArray>& a, const QMap<QString, QByteArray>& b) {
  QStringList lines;
  for (auto it = a.begin(); it != a.end(); ++it)
    if (b.value(it.key()) != it.value()) lines << QStringLiteral("tool: ") + it.key();
  for (auto it = b.begin(); it != b.end(); ++it)
    if (!a.contains(it.key())) lines << QStringLiteral("libraries: ") + it.key();
  return lines.join(QLatin1Char('\n')).toStdString();
}

class SilentDialogs : public DialogService {
 public:
  void information(const QString&) override {}
  void warning(const QString& text) override { ADD_FAILURE() << "warning: " << text.toStdString(); }
  bool confirm(const QString&) override { return false; }
};
class NoPump : public EventPump {
 public:
  void processPendingEvents() override {}
};

// The libraries as the window holds them, on the second copy.
struct Sections {
  explicit Sections(const QString& folder)
      : machine(Machine::open(folder, &why)),
        os(*machine),
        reg(*machine, state),
        files(*machine, state, dialogs, pump),
        backups(*machine, state, dialogs),
        cleaner{reg, machine->files(), backups, dialogs, state} {
    state.language = English;
    backups.setDirectories(machine->facts().programDirectory, os.WindowsDirectory(), os.SystemDirectory());
  }
  FileSystem& fs() { return machine->files(); }
  // The search page's Start with these kinds, and what it listed.
  cleanup::SearchCounters search(cleanup::DeletionList& list, const cleanup::SearchKinds& kinds = {}) {
    cleanup::FileSearch s(fs(), files, state, pump, flags, os.WindowsDirectory(), list);
    s.run(kinds);
    return s.counters();
  }
  // The list page's Delete with every line marked.
  void deleteAll(cleanup::DeletionList& list, bool recycle) {
    cleanup::Deletion d{cleaner, files, recycle};
    if (list.size() > 0) cleanup::DeleteMarked(d, list);
  }
  cleanup::Optimiser optimiser() { return {fs(), backups, dialogs, state, os.WindowsDirectory()}; }

  QString why;
  std::unique_ptr<Machine> machine;
  SharedState state;
  SilentDialogs dialogs;
  NoPump pump;
  OptionFlags flags;
  TOSInfo os;
  RegAccess reg;
  FileAccess files;
  backup::Backups backups;
  cleanup::RegistryCleaner cleaner;
};

QStringList field(const QJsonValue& list, const char* name) {
  QStringList values;
  for (const QJsonValue& v : list.toArray()) values << v[QLatin1String(name)].toString();
  return values;
}

void checkFiles(const QJsonObject& doc, Sections& s, const cleanup::SearchKinds& kinds) {
  cleanup::DeletionList list;
  const cleanup::SearchCounters c = s.search(list, kinds);
  EXPECT_EQ(field(doc[QLatin1String("files")], "path"), list.entries);
  QStringList shortPaths;
  for (const QString& path : list.entries) shortPaths << s.fs().shortPathName(path).value_or(QString());
  EXPECT_EQ(field(doc[QLatin1String("files")], "shortPath"), shortPaths);
  EXPECT_EQ(doc[QLatin1String("count")].toInteger(), c.filesFound);
  EXPECT_EQ(doc[QLatin1String("bytes")].toInteger(), c.bytesSaved);
  EXPECT_EQ(doc[QLatin1String("bytesOnDisk")].toInteger(), c.bytesReallySaved);
}

void checkRegistry(const QJsonObject& doc, Sections& s) {
  EXPECT_EQ(doc[QLatin1String("tips")][QLatin1String("count")].toInteger(), cleanup::StoredWindowsTips(s.cleaner).size());
  cleanup::DeletionList uninstall, types;
  cleanup::ScanUninstallEntries(s.cleaner, uninstall);
  cleanup::ScanFileTypes(s.cleaner, types, s.flags);
  EXPECT_EQ(field(doc[QLatin1String("uninstall")], "key"), uninstall.keys);
  EXPECT_EQ(field(doc[QLatin1String("uninstall")], "name"), uninstall.entries);
  EXPECT_EQ(field(doc[QLatin1String("fileTypes")], "extension"), types.keys);
}

void checkPlan(const QJsonObject& doc, Sections& s, const QList<cleanup::Rewrite>& plan) {
  const QJsonArray files = doc[QLatin1String("files")].toArray();
  ASSERT_EQ(files.size(), plan.size());
  for (qsizetype i = 0; i < plan.size(); ++i) {
    EXPECT_EQ(files[i][QLatin1String("file")].toString(), s.fs().longPathName(plan[i].file).value_or(QString()));
    EXPECT_EQ(files[i][QLatin1String("diff")].toString().isEmpty(), plan[i].before == plan[i].after);
  }
}

const cleanup::SearchKinds kAllKinds{true, true, true, true, true};

struct Case {
  const char* name;
  QStringList args;
  int exit;
  // The same through the libraries; none for a form that must change nothing.
  std::function<void(Sections&)> act;
  // The tool's JSON against the libraries on the untouched copy.
  std::function<void(const QJsonObject&, Sections&)> check;
};

TEST(MachineToolSections, EachCommandReportsAndDoesWhatTheLibrariesDo) {
  const QStringList all = {QStringLiteral("--kinds"), QStringLiteral("mscreate,temp,gid,shortcuts,win3x")};
  const Case cases[] = {
      {"clean lists", {"clean", "--json"}, 3, nullptr, [](const QJsonObject& d, Sections& s) { checkFiles(d, s, {}); }},
      {"clean recycles", QStringList{"clean", "--recycle", "--json"} + all, 0,
       [](Sections& s) {
         cleanup::DeletionList list;
         s.search(list, kAllKinds);
         s.deleteAll(list, true);
       },
       [](const QJsonObject& d, Sections& s) { checkFiles(d, s, kAllKinds); }},
      {"clean deletes",
       {"clean", "--delete", "--kinds", "temp,gid"},
       0,
       [](Sections& s) {
         cleanup::DeletionList list;
         s.search(list, {false, true, true, false, false});
         s.deleteAll(list, false);
       },
       nullptr},
      {"clean-registry lists", {"clean-registry", "--dry-run", "--json"}, 3, nullptr, checkRegistry},
      {"clean-registry removes",
       {"clean-registry", "--json"},
       0,
       [](Sections& s) {
         cleanup::DeleteWindowsTips(s.cleaner);
         cleanup::DeletionList list;
         cleanup::ScanUninstallEntries(s.cleaner, list);
         s.deleteAll(list, false);
         cleanup::ScanFileTypes(s.cleaner, list, s.flags);
         s.deleteAll(list, false);
       },
       checkRegistry},
      {"clean-registry file types only",
       {"clean-registry", "--file-types"},
       0,
       [](Sections& s) {
         cleanup::DeletionList list;
         cleanup::ScanFileTypes(s.cleaner, list, s.flags);
         s.deleteAll(list, false);
       },
       nullptr},
      {"optimise win.ini shows",
       {"optimise", "win.ini", "--dry-run", "--json"},
       3,
       nullptr,
       [](const QJsonObject& d, Sections& s) { checkPlan(d, s, cleanup::plannedWinIni(s.fs(), s.os.WindowsDirectory())); }},
      {"optimise win.ini",
       {"optimise", "win.ini"},
       0,
       [](Sections& s) {
         cleanup::Optimiser o = s.optimiser();
         cleanup::OptimizeWinIni(o);
       },
       nullptr},
      {"optimise start-files",
       {"optimise", "start-files", "--json"},
       0,
       [](Sections& s) {
         cleanup::Optimiser o = s.optimiser();
         cleanup::OptimizeStartFiles(o);
       },
       [](const QJsonObject& d, Sections& s) { checkPlan(d, s, cleanup::plannedStartFiles(s.fs())); }},
      {"report",
       {"report", "--json"},
       0,
       nullptr,
       [](const QJsonObject& d, Sections& s) {
         const diagnosis::SystemReport r = diagnosis::Create_Report(*s.machine, s.reg, s.files, s.os, s.state);
         const std::pair<const char*, QString> facts[] = {
             {"cpu", r.cpu},         {"ram", r.ram},     {"bios", r.bios},         {"graphics", r.graphics}, {"sound", r.sound},
             {"printer", r.printer}, {"modem", r.modem}, {"keyboard", r.keyboard}, {"mouse", r.mouse},
         };
         for (const auto& [name, value] : facts) EXPECT_EQ(d[QLatin1String(name)].toString(), value) << name;
         QStringList lines, expected;
         for (const QJsonValue& drive : d[QLatin1String("drives")].toArray())
           for (const QJsonValue& l : drive[QLatin1String("lines")].toArray()) lines << l.toString();
         for (const diagnosis::DriveItem& item : r.drives) expected << item.lines[0] << item.lines[1] << item.lines[2];
         EXPECT_EQ(lines, expected);
         EXPECT_EQ(d[QLatin1String("updates")].toVariant().toStringList(), r.updates);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QTemporaryDir dir;
    const QString viaTool = dir.filePath(QStringLiteral("tool")), viaLibraries = dir.filePath(QStringLiteral("libraries"));
    QString why;
    ASSERT_TRUE(sample::createSampleMachine(viaTool, &why)) << why.toStdString();
    ASSERT_EQ(QProcess::execute(QStringLiteral("cp"), {QStringLiteral("-a"), viaTool, viaLibraries}), 0);
    const QMap<QString, QByteArray> before = tree(viaTool, false);

    const Result r = run(viaTool, c.args);
    EXPECT_EQ(r.code, c.exit) << r.err.toStdString();
    if (c.check) {
      QJsonParseError error;
      const QJsonDocument doc = QJsonDocument::fromJson(r.out.toUtf8(), &error);
      ASSERT_TRUE(doc.isObject()) << error.errorString().toStdString() << '\n' << r.out.toStdString();
      Sections s(viaLibraries);
      ASSERT_TRUE(s.machine) << s.why.toStdString();
      c.check(doc.object(), s);
    }
    if (c.act) {
      {
        Sections s(viaLibraries);
        ASSERT_TRUE(s.machine) << s.why.toStdString();
        c.act(s);
      }
      const QMap<QString, QByteArray> tool = tree(viaTool), libraries = tree(viaLibraries);
      EXPECT_FALSE(tree(viaTool, false) == before) << "the tool changed nothing";
      EXPECT_TRUE(tool == libraries) << differences(tool, libraries);
    } else {
      const QMap<QString, QByteArray> after = tree(viaTool, false);
      EXPECT_TRUE(after == before) << differences(after, before);
    }
  }
}

// The diff of a dry run, applied to the file as it is, gives the file the optimiser writes.
TEST(MachineToolSections, TheDryRunsDiffIsThePatchTheOptimiserApplies) {
  QTemporaryDir dir;
  const QString machine = dir.filePath(QStringLiteral("m"));
  QString why;
  ASSERT_TRUE(sample::createSampleMachine(machine, &why)) << why.toStdString();
  {
    // A line with a bare LF, and a last line without any.
    QFile config(machine + QStringLiteral("/drives/C/CONFIG.SYS"));
    ASSERT_TRUE(config.open(QIODevice::Append));
    config.write("REM tail\nbuffers=20");
  }
  const Result diff = run(machine, {QStringLiteral("optimise"), QStringLiteral("start-files"), QStringLiteral("--dry-run")});
  ASSERT_EQ(diff.code, 3) << diff.err.toStdString();
  EXPECT_TRUE(diff.out.startsWith(QStringLiteral("--- C:\\CONFIG.SYS\n+++ C:\\CONFIG.SYS\n@@ -1,"))) << diff.out.toStdString();

  Sections s(machine);
  ASSERT_TRUE(s.machine) << s.why.toStdString();
  const QList<cleanup::Rewrite> plan = cleanup::plannedStartFiles(s.fs());
  ASSERT_EQ(plan.size(), 2);
  // patch(1) works on lines without their CR, in the file's own name.
  const QString patchFile = dir.filePath(QStringLiteral("all.diff"));
  QFile(patchFile).open(QIODevice::WriteOnly);
  QString patchText = diff.out;
  for (const cleanup::Rewrite& r : plan) {
    const QString name = s.fs().longPathName(r.file).value_or(QString());
    const QString local = name.mid(3);
    patchText.replace(QStringLiteral("--- ") + name + QLatin1Char('\n'), QStringLiteral("--- ") + local + QLatin1Char('\n'));
    patchText.replace(QStringLiteral("+++ ") + name + QLatin1Char('\n'), QStringLiteral("+++ ") + local + QLatin1Char('\n'));
    QFile f(dir.filePath(local));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(*r.before).replace("\r\n", "\n"));
  }
  {
    QFile f(patchFile);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(patchText.toUtf8());
  }
  QProcess patch;
  patch.setWorkingDirectory(dir.path());
  patch.start(QStringLiteral("patch"), {QStringLiteral("-p0"), QStringLiteral("-s"), QStringLiteral("-i"), patchFile});
  ASSERT_TRUE(patch.waitForFinished(30000));
  ASSERT_EQ(patch.exitCode(), 0) << patch.readAllStandardOutput().toStdString() << patch.readAllStandardError().toStdString();
  for (const cleanup::Rewrite& r : plan) {
    QFile f(dir.filePath(s.fs().longPathName(r.file).value_or(QString()).mid(3)));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray(r.after).replace("\r\n", "\n")) << r.file.toStdString();
  }
}

// Without --kinds the search looks for what the window's search page ticks: the boxes of
// the options file when there is one.
TEST(MachineToolSections, CleanSearchesTheKindsTheOptionsFileTicks) {
  QTemporaryDir dir;
  const QString machine = dir.filePath(QStringLiteral("m"));
  QString why;
  ASSERT_TRUE(sample::createSampleMachine(machine, &why)) << why.toStdString();
  const QString options = machine + QStringLiteral("/drives/C/VANTREL/OPTIONS.OPT");
  const struct {
    const char* boxes;  // the twelve lines; the last five are shortcuts, mscreate, gid, temp, win3x
    int exit;
    QStringList kinds;
  } cases[] = {
      {"0\r\n0\r\n1\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n1\r\n0\r\n0\r\n", 3, {"gid"}},
      {"0\r\n0\r\n1\r\n0\r\n0\r\n0\r\n0\r\n1\r\n1\r\n0\r\n0\r\n0\r\n", 3, {"mscreate", "shortcuts"}},
      {"0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n", 2, {}},
  };
  for (const auto& c : cases) {
    QFile f(options);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(c.boxes);
    f.close();
    const Result r = run(machine, {QStringLiteral("clean"), QStringLiteral("--json")});
    EXPECT_EQ(r.code, c.exit) << c.boxes << r.err.toStdString();
    QStringList kinds = field(QJsonDocument::fromJson(r.out.toUtf8())[QLatin1String("files")], "kind");
    kinds.removeDuplicates();
    EXPECT_EQ(kinds, c.kinds) << c.boxes;
  }
}

TEST(MachineToolSections, BadCommandLinesAreUsageErrors) {
  QTemporaryDir dir;
  const QString machine = dir.filePath(QStringLiteral("m"));
  QString why;
  ASSERT_TRUE(sample::createSampleMachine(machine, &why)) << why.toStdString();
  const QStringList lines[] = {
      {"clean", "--bogus"},
      {"clean", "--kinds", "temp,cookies"},
      {"clean", "--kinds", ","},
      {"clean", "--dry-run", "--delete"},
      {"clean", "--kinds"},
      {"clean-registry", "--tips", "extra"},
      {"optimise"},
      {"optimise", "system.ini"},
      {"optimise", "win.ini", "--now"},
      {"report", "--html"},
  };
  const QMap<QString, QByteArray> before = tree(machine, false);
  for (const QStringList& args : lines) {
    const Result r = run(machine, args);
    EXPECT_EQ(r.code, 2) << args.join(' ').toStdString();
    EXPECT_TRUE(r.out.isEmpty()) << args.join(' ').toStdString();
    EXPECT_TRUE(r.err.startsWith(QStringLiteral("vantrel-machine: "))) << r.err.toStdString();
  }
  EXPECT_TRUE(tree(machine, false) == before);
}

}  // namespace
}  // namespace vt
