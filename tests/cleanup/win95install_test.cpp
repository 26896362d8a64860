// SPDX-License-Identifier: GPL-3.0-or-later
// The clean-up on a machine shaped like a real installation, whose registry, WIN.INI and
// shortcuts name programs by their short paths: nothing is proposed while the programs are
// there, and once one is gone exactly what names it is.
#include "backup/backups.h"
#include "cleanup/filesearch.h"
#include "cleanup/optimisers.h"
#include "cleanup/registryclean.h"
#include "platform/profile.h"
#include "sample/binaries.h"
#include "support/win95install.h"
#include "sysaccess/fakes.h"
#include "sysaccess/files.h"
#include "sysaccess/reg.h"

#include <gtest/gtest.h>

#include <functional>

namespace vt::cleanup {
namespace {

using namespace Qt::Literals::StringLiterals;

struct Install {
  test::TestMachine tm;
  SharedState state;
  test::RecordingDialogs dialogs;
  test::CallbackPump pump;
  OptionFlags flags;
  FileAccess files{tm.machine(), state, dialogs, pump};
  backup::Backups backups{tm.machine(), state, dialogs};
  RegAccess reg{tm.machine(), state};
  RegistryCleaner cleaner{reg, tm.fs(), backups, dialogs, state};

  explicit Install(test::ProgramFolders order = test::ProgramFolders::FilesFirst) { test::makeWin95Install(tm, order); }

  QStringList search() {
    DeletionList list;
    FileSearch(tm.fs(), files, state, pump, flags, u"C:\\WINDOWS"_s, list).run({true, true, true, true, true});
    return list.entries;
  }
  QStringList uninstallEntries() {
    DeletionList list;
    ScanUninstallEntries(cleaner, list);
    return list.entries;
  }
  QStringList fileTypes() {
    DeletionList list;
    ScanFileTypes(cleaner, list, flags);
    return list.entries;
  }
  // The [Extensions] keys the optimiser takes out.
  QStringList droppedExtensions() {
    const QByteArray before = tm.fs().readFile(u"C:\\WINDOWS\\WIN.INI").value_or(QByteArray());
    const IniDocument after(optimizedWinIni(tm.fs(), before));
    QStringList dropped;
    for (const QString& key : IniDocument(before).keys(u"Extensions"_s))
      if (!after.value(u"EXTENSIONS"_s, key.toUpper())) dropped << key;
    return dropped;
  }
};

TEST(Win95Install, NothingIsProposedUntilANamedProgramGoes) {
  const auto removed = [](const char* path) {
    return [path](FileSystem& fs) { ASSERT_TRUE(fs.deleteFile(QString::fromLatin1(path))) << path; };
  };
  const QString programs = u"C:\\WINDOWS\\Start Menu\\Programs\\"_s;
  const struct {
    const char* name;
    std::function<void(FileSystem&)> change;
    QStringList files, uninstall, fileTypes, extensions;
  } cases[] = {
      {"as installed", [](FileSystem&) {}, {}, {}, {}, {}},
      {"WordPad",
       removed("C:\\Program Files\\Accessories\\WORDPAD.EXE"),
       {programs + u"Accessories\\WordPad.lnk"_s},
       {},
       {u".doc - C:\\PROGRA~1\\ACCESS~1\\WORDPAD.EXE"_s, u".rtf - C:\\PROGRA~1\\ACCESS~1\\WORDPAD.EXE"_s,
        u".wri - C:\\PROGRA~1\\ACCESS~1\\WORDPAD.EXE"_s},
       {u"doc"_s, u"wri"_s}},
      {"Paint",
       removed("C:\\Program Files\\Accessories\\MSPAINT.EXE"),
       {programs + u"Accessories\\Paint.lnk"_s},
       {},
       {u".bmp - C:\\PROGRA~1\\ACCESS~1\\MSPAINT.EXE"_s, u".pcx - C:\\PROGRA~1\\ACCESS~1\\MSPAINT.EXE"_s},
       {u"bmp"_s, u"pcx"_s}},
      {"Internet Explorer",
       removed("C:\\Program Files\\Internet Explorer\\IEXPLORE.EXE"),
       {programs + u"Internet Explorer.lnk"_s},
       {},
       {u".htm - C:\\PROGRA~1\\INTERN~1\\IEXPLORE.EXE"_s, u".html - C:\\PROGRA~1\\INTERN~1\\IEXPLORE.EXE"_s},
       {u"htm"_s}},
      {"HyperTerminal",
       removed("C:\\Program Files\\Accessories\\HyperTerminal\\HYPERTRM.EXE"),
       {programs + u"Accessories\\HyperTerminal\\HyperTerminal.lnk"_s},
       {},
       {u".ht - C:\\PROGRA~1\\ACCESS~1\\HYPERT~1\\HYPERTRM.EXE"_s},
       {}},
      {"The Microsoft Network",
       removed("C:\\Program Files\\The Microsoft Network\\MOSCP.EXE"),
       {programs + u"The Microsoft Network.lnk"_s},
       {},
       {u".mcc - C:\\PROGRA~1\\THEMIC~1\\MOSCP.EXE"_s},
       {}},
      {"its uninstaller",
       removed("C:\\Program Files\\The Microsoft Network\\MSNUNINS.EXE"),
       {},
       {u"The Microsoft Network"_s},
       {},
       {}},
      {"CompuServe's uninstaller", removed("C:\\WINDOWS\\UNINST.EXE"), {}, {u"CompuServe 3.0"_s}, {}, {}},
      {"Notizen in PROGRA~2",
       removed("C:\\Programme Alt\\Notizen\\NOTIZEN.EXE"),
       {programs + u"Notizen.lnk"_s},
       {},
       {u".nzt - C:\\PROGRA~2\\NOTIZEN\\NOTIZEN.EXE"_s},
       {u"nzt"_s}},
      {"its uninstaller", removed("C:\\Programme Alt\\Notizen\\UNWISE.EXE"), {}, {u"Notizen 1.5"_s}, {}, {}},
      {"Windows 3.1's Task Manager",
       [](FileSystem& fs) {
         fs.writeFile(u"C:\\WINDOWS\\TASKMAN.EXE", sample::neModule(u"TASKMAN"_s, false, {}, sample::ModuleVersion{3, 10}));
       },
       {u"C:\\WINDOWS\\taskman.exe"_s},
       {},
       {},
       {}},
      {"a File Manager without a version",
       [](FileSystem& fs) { fs.writeFile(u"C:\\WINDOWS\\WINFILE.EXE", sample::neModule(u"WINFILE"_s, false)); },
       {u"C:\\WINDOWS\\WinFile.exe"_s},
       {},
       {},
       {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Install pc;
    c.change(pc.tm.fs());
    EXPECT_EQ(pc.search(), c.files);
    EXPECT_EQ(pc.uninstallEntries(), c.uninstall);
    EXPECT_EQ(pc.fileTypes(), c.fileTypes);
    EXPECT_EQ(pc.droppedExtensions(), c.extensions);
  }
  // The start files lose only comments: every driver and program line stays.
  Install pc;
  EXPECT_TRUE(optimizedConfigSys(pc.tm.fs().readFile(u"C:\\CONFIG.SYS").value_or(QByteArray()))
                  .contains("\r\nDEVICEHIGH=C:\\PROGRA~2\\MAUS\\MAUSDRV.SYS /N\r\n"));
  EXPECT_TRUE(optimizedAutoexec(pc.tm.fs().readFile(u"C:\\AUTOEXEC.BAT").value_or(QByteArray()))
                  .contains("\r\nLH C:\\PROGRA~2\\MAUS\\MAUS /Q\r\n"));
}

// The same machine from a disk where "Program Files" is PROGRA~2: its aliases are the
// disk's, and what names it by PROGRA~2 is as present as anything else.
TEST(Win95Install, AFolderThatIsProgra2OnItsDiskIsFoundByThatAlias) {
  Install in(test::ProgramFolders::ImageOrder);
  EXPECT_EQ(in.tm.fs().shortPathName(u"C:\\Program Files\\Accessories"), u"C:\\PROGRA~2\\ACCESS~1"_s);
  EXPECT_EQ(in.search(), QStringList());
  EXPECT_EQ(in.uninstallEntries(), QStringList());
  EXPECT_EQ(in.fileTypes(), QStringList());
  EXPECT_EQ(in.droppedExtensions(), QStringList());
  ASSERT_TRUE(in.tm.fs().deleteFile(u"C:\\Program Files\\Accessories\\WORDPAD.EXE"));
  EXPECT_EQ(in.fileTypes(),
            QStringList({u".doc - C:\\PROGRA~2\\ACCESS~1\\WORDPAD.EXE"_s, u".rtf - C:\\PROGRA~2\\ACCESS~1\\WORDPAD.EXE"_s,
                         u".wri - C:\\PROGRA~2\\ACCESS~1\\WORDPAD.EXE"_s}));
  EXPECT_EQ(in.droppedExtensions(), QStringList({u"doc"_s, u"wri"_s}));
}

}  // namespace
}  // namespace vt::cleanup
