// SPDX-License-Identifier: GPL-3.0-or-later
// The sections' maintenance commands of vantrel-machine against the libraries the window
// runs: each command works on one copy of the sample machine, the library on a twin copy,
// and the two must report and change the same.
#include "support/toolprocess.h"
#include "backup/backups.h"
#include "diagnosis/analysis.h"
#include "diagnosis/autofix.h"
#include "diagnosis/osinfo.h"
#include "diagnosis/problemtexts.h"
#include "platform/machine.h"
#include "support/diskimages.h"
#include "sysaccess/ini.h"
#include "sysaccess/reg.h"
#include "tuning/apply.h"
#include "tuning/switches.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <functional>
#include <map>

#include <sys/stat.h>
#include <sys/xattr.h>

#include <gtest/gtest.h>

inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace vt {
namespace {

using Result = test::ToolResult;
Result tool(const QStringList& args) { return test::runTool(args); }

// Every file and folder under `root`: its contents and DOS attributes, and with `times` its
// modification time too (what a command that changes nothing must leave alone).
std::map<QString, QByteArray> snapshot(const QString& root, bool times) {
  std::map<QString, QByteArray> tree;
  QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
  while (it.hasNext()) {
    const QString path = it.next();
    QByteArray entry;
    if (it.fileInfo().isFile()) {
      QFile f(path);
      entry = f.open(QIODevice::ReadOnly) ? QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256).toHex() : "?";
    }
    char attrs[64] = {};
    if (::getxattr(QFile::encodeName(path).constData(), "user.DOSATTRIB", attrs, sizeof attrs - 1) > 0) entry += attrs;
    struct stat st;
    if (times && !it.fileInfo().isDir() && ::lstat(QFile::encodeName(path).constData(), &st) == 0)
      entry += ' ' + QByteArray::number(qint64(st.st_mtim.tv_sec)) + '.' + QByteArray::number(qint64(st.st_mtim.tv_nsec));
    tree[path.mid(root.size())] = entry;
  }
  return tree;
}

// The paths whose entries differ, or that only one tree has.
QStringList differences(const std::map<QString, QByteArray>& a, const std::map<QString, QByteArray>& b) {
  QStringList paths;
  for (const auto& [path, entry] : a)
    if (!b.count(path) || b.at(path) != entry) paths << path;
  for (const auto& [path, entry] : b)
    if (!a.count(path)) paths << path;
  return paths;
}

class Recorder : public DialogService {
 public:
  void information(const QString&) override {}
  void warning(const QString& text) override { warnings << text; }
  bool confirm(const QString&) override { return true; }
  QStringList warnings;
};

// The libraries on one machine, prepared as the window's start-up prepares them.
struct Library {
  explicit Library(const QString& folder)
      : machine(Machine::open(folder, &why)), os(*machine), reg(*machine, state), ini(*machine) {
    state.language = English;
    backups.setDirectories(machine->facts().programDirectory, os.WindowsDirectory(), os.SystemDirectory());
  }
  diagnosis::Findings analyse() {
    return diagnosis::Analysis(*machine, reg, ini, state, {os.WindowsDirectory(), os.SystemDirectory(), os.Fonts()}).run();
  }
  void repair(const QString& letters) {
    const diagnosis::Findings found = analyse();
    diagnosis::Repairs repairs{*machine,
                               reg,
                               ini,
                               backups,
                               dialogs,
                               state,
                               os.WindowsDirectory(),
                               os.SystemDirectory(),
                               machine->facts().programDirectory};
    for (const QChar letter : found.problems)
      if (letters.contains(letter)) repairs.repair(letter, found.detailsOf(letter));
  }
  tuning::System tuning() { return {reg, ini, *machine, os.WindowsDirectory(), os.StartMenu()}; }
  QString set(int n) { return backups.storeDirectory() + QStringLiteral("\\BACKUP.%1").arg(n, 3, 10, QLatin1Char('0')); }

  QString why;
  std::unique_ptr<Machine> machine;
  SharedState state;
  Recorder dialogs;
  TOSInfo os;
  RegAccess reg;
  IniAccess ini;
  backup::Backups backups{*machine, state, dialogs};
};

constexpr const char* kComponents[] = {"registry", "system-files", "start-files", "msdos-sys", "logos", "other-files"};

// The sample machine made by the tool, set up by `setup` (tool commands), and its twin.
class Maintenance : public ::testing::Test {
 protected:
  void SetUp() override {
    tooled_ = dir_.filePath(QStringLiteral("tool"));
    twin_ = dir_.filePath(QStringLiteral("library"));
    const Result made = tool({QStringLiteral("new"), tooled_});
    ASSERT_EQ(made.code, 0) << made.err.toStdString();
  }
  Result on(QStringList args) {
    args = QStringList{QStringLiteral("--machine"), tooled_, QStringLiteral("--lang"), QStringLiteral("en")} + args;
    return tool(args);
  }
  // The twin is a copy with every time and attribute kept, so the two differ in nothing.
  void twin() { ASSERT_EQ(QProcess::execute(QStringLiteral("cp"), {QStringLiteral("-a"), tooled_, twin_}), 0); }
  QTemporaryDir dir_;
  QString tooled_, twin_;
};

TEST_F(Maintenance, ListingsMatchTheLibrariesAndChangeNothing) {
  ASSERT_EQ(on({QStringLiteral("backup"), QStringLiteral("create"), QStringLiteral("--components"),
                QStringLiteral("start-files,logos"), QStringLiteral("--description"), QStringLiteral("Vor dem Umbau")})
                .code,
            0);
  twin();
  Library lib(twin_);
  ASSERT_TRUE(lib.machine) << lib.why.toStdString();

  QJsonArray problems;
  const diagnosis::Findings found = lib.analyse();
  ASSERT_FALSE(found.problems.isEmpty());
  const auto texts = diagnosis::builtInProblemFile(diagnosis::TextKind::Description, English);
  for (const QChar letter : found.problems)
    problems.append(QJsonObject{
        {"letter", QString(letter)},
        {"title", diagnosis::problemTitle(diagnosis::readProblemSection(texts, letter).lines)},
        {"details", QJsonArray::fromStringList(found.detailsOf(letter))},
        {"autofix", diagnosis::autofixRepairs(letter)},
    });
  QJsonArray switches;
  tuning::System sys = lib.tuning();
  for (const tuning::Switch& row : tuning::catalogue())
    switches.append(QJsonObject{{"box", row.box}, {"on", row.read(sys)}, {"section", tuning::sectionOf(row)}});
  QJsonArray sets;
  for (const backup::SetEntry& set : lib.backups.ListSets()) {
    QJsonArray held;
    const backup::Components c = lib.backups.LoadBackupComponents(set.descriptionPath);
    for (int i = 0; i < backup::kComponentCount; ++i)
      if (c[size_t(i)]) held.append(kComponents[i]);
    sets.append(QJsonObject{
        {"number", 0}, {"date", set.modified.toString(Qt::ISODate)}, {"description", set.name}, {"components", held}});
  }
  ASSERT_EQ(sets.size(), 1);

  struct Listing {
    QStringList args;
    int code;
    std::function<QJsonValue(const QJsonDocument&)> seen;  // what of the answer is compared
    QJsonValue wanted;
  };
  const Listing listings[] = {
      {{"diagnose", "--json"}, 3, [](const QJsonDocument& d) { return d.object().value("problems"); }, problems},
      {{"tune", "list", "--json"},
       0,
       [](const QJsonDocument& d) {
         QJsonArray a;
         for (const QJsonValue& v : d.array()) {
           QJsonObject o = v.toObject();
           o.remove("name");
           a.append(o);
         }
         return a;
       },
       switches},
      {{"backup", "list", "--json"}, 0, [](const QJsonDocument& d) { return d.array(); }, sets},
  };
  for (const Listing& l : listings) {
    const auto before = snapshot(tooled_, true);
    const Result r = on(l.args);
    EXPECT_EQ(r.code, l.code) << l.args.join(' ').toStdString() << r.err.toStdString();
    EXPECT_EQ(l.seen(QJsonDocument::fromJson(r.out.toUtf8())), l.wanted) << l.args.join(' ').toStdString() << r.out.toStdString();
    EXPECT_EQ(differences(snapshot(tooled_, true), before), QStringList()) << l.args.join(' ').toStdString();
  }
}

TEST_F(Maintenance, ActionsChangeWhatTheLibrariesChange) {
  struct Action {
    const char* name;
    QStringList setup;  // on the tool's machine before the twin is made
    QStringList args;
    int code;
    std::function<void(Library&)> library;
  };
  const Action actions[] = {
      {"autofix", {}, {"diagnose", "--fix", "kc"}, 0, [](Library& l) { l.repair(QStringLiteral("CK")); }},
      {"autofix all", {}, {"diagnose", "--fix-all"}, 0, [](Library& l) { l.repair(QStringLiteral("CDEFGHIJKLMNOP")); }},
      {"create",
       {},
       {"backup", "create", "--components", "registry,system-files", "--description", "Mein Satz"},
       0,
       [](Library& l) {
         backup::Choice c{{true, true, false, false, false, false}, QStringLiteral("Mein Satz")};
         l.backups.CreateBackupSet(c);
       }},
      {"restore",
       {"backup", "create", "--components", "system-files,start-files,msdos-sys", "&&", "diagnose", "--fix", "CFK"},
       {"backup", "restore", "0", "--components", "start-files"},
       0,
       [](Library& l) {
         l.backups.RestoreBackupSet(l.set(0), {false, false, true, false, false, false}, false);
       }},
      {"delete",
       {"backup", "create", "&&", "backup", "create", "--components", "logos"},
       {"backup", "delete", "0"},
       0,
       [](Library& l) { l.backups.DeleteBackupSet(l.set(0)); }},
      {"tune",
       {},
       {"tune", "set", "icons", "off", "CheckBox_SmoothFonts", "on", "link", "off", "pif", "on"},
       0,
       [](Library& l) {
         tuning::Pending p;
         p.switches = {
             {"CheckBox_Icons", false}, {"CheckBox_SmoothFonts", true}, {"CheckBox_link", false}, {"CheckBox_PIF", true}};
         tuning::System sys = l.tuning();
         tuning::applyChanges(sys, p);
       }},
      {"rescue disk", {}, {"rescue-disk"}, 0, [](Library& l) { l.backups.CreateRescueDisk(); }},
  };
  for (const Action& a : actions) {
    SCOPED_TRACE(a.name);
    QDir(tooled_).removeRecursively();
    QDir(twin_).removeRecursively();
    ASSERT_EQ(tool({QStringLiteral("new"), tooled_}).code, 0);
    // A floppy in drive A: for the rescue disk.
    QFile ini(tooled_ + QStringLiteral("/machine.ini"));
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
    const QByteArray text = ini.readAll().replace("Ready=0", "Ready=1");
    ini.close();
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly | QIODevice::Truncate) && ini.write(text) == text.size());
    ini.close();
    for (QStringList rest = a.setup; !rest.isEmpty();) {
      const qsizetype end = rest.indexOf(QStringLiteral("&&"));
      ASSERT_EQ(on(rest.mid(0, end)).code, 0) << rest.join(' ').toStdString();
      rest = end < 0 ? QStringList() : rest.mid(end + 1);
    }
    twin();
    const Result r = on(a.args);
    EXPECT_EQ(r.code, a.code) << r.err.toStdString();
    {
      Library lib(twin_);
      ASSERT_TRUE(lib.machine);
      a.library(lib);
    }
    EXPECT_EQ(differences(snapshot(tooled_, false), snapshot(twin_, false)), QStringList());
  }
}

// A floppy image on the host gets the disk the library writes into drive A:, and one that
// is no FAT volume is left as it was.
TEST_F(Maintenance, RescueDiskIntoAnImage) {
  SKIP_WITHOUT_DISK_TOOLS();
  twin();
  const QString image = dir_.filePath(QStringLiteral("rescue.img"));
  ASSERT_TRUE(test::makeFloppyImage(image));
  const Result r = on({QStringLiteral("rescue-disk"), QStringLiteral("--image"), image});
  ASSERT_EQ(r.code, 0) << r.err.toStdString();
  EXPECT_EQ(differences(snapshot(tooled_, false), snapshot(twin_, false)), QStringList()) << "the machine changed";

  const QString staged = twin_ + QStringLiteral("/floppy.img");
  ASSERT_TRUE(test::makeFloppyImage(staged));
  Library lib(twin_);
  ASSERT_TRUE(lib.machine->files().insertImage(QLatin1Char('A'), staged, twin_ + QStringLiteral("/image-drives/A")));
  ASSERT_TRUE(lib.backups.CreateRescueDisk());
  for (const char* name : {"AUTOEXEC.BAT", "RESTORE.BAT", "HELP.BAT", "HELP.TXT", "ATTRIB.EXE", "SYS.COM"}) {
    const QByteArray written = test::imageFile(image, 0, QLatin1String(name));
    EXPECT_FALSE(written.isEmpty()) << name;
    EXPECT_EQ(written, test::imageFile(staged, 0, QLatin1String(name))) << name;
  }

  struct Refused {
    QByteArray bytes;
    int code;
  };
  const Refused refused[] = {{QByteArray(1474560, '\0'), 1}, {QByteArray(1000, 'x'), 1}};
  for (const Refused& f : refused) {
    QFile bad(image);
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly | QIODevice::Truncate) && bad.write(f.bytes) == f.bytes.size());
    bad.close();
    EXPECT_EQ(on({QStringLiteral("rescue-disk"), QStringLiteral("--image"), image}).code, f.code);
    QFile back(image);
    ASSERT_TRUE(back.open(QIODevice::ReadOnly));
    EXPECT_EQ(back.readAll(), f.bytes);
  }
}

TEST_F(Maintenance, BadCommandLinesAreUsageErrors) {
  const QStringList bad[] = {
      {"diagnose", "--fix"},
      {"diagnose", "--fix", "Z"},
      {"diagnose", "--fix", "A"},
      {"diagnose", "--fix", "H"},
      {"diagnose", "--fix", "C", "--fix-all"},
      {"diagnose", "--bogus"},
      {"backup"},
      {"backup", "restore"},
      {"backup", "create", "--components", "disks"},
      {"backup", "list", "3"},
      {"tune", "set", "icons"},
      {"tune", "set", "icons", "maybe"},
      {"tune", "set", "nosuch", "on"},
      {"tune", "set", "icons", "on", "CheckBox_Icons", "off"},
  };
  const auto before = snapshot(tooled_, true);
  for (const QStringList& args : bad) {
    const Result r = on(args);
    EXPECT_EQ(r.code, 2) << args.join(' ').toStdString();
    EXPECT_TRUE(r.out.isEmpty()) << args.join(' ').toStdString();
    EXPECT_FALSE(r.err.isEmpty()) << args.join(' ').toStdString();
  }
  EXPECT_EQ(differences(snapshot(tooled_, true), before), QStringList());
}

}  // namespace
}  // namespace vt
