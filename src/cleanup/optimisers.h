// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Shrinking WIN.INI and tidying the two DOS start files. Every file is rewritten in one
// atomic step after an automatic backup, so a failed write leaves it exactly as it was.
// Each step is idempotent: a second run leaves the files as the first one did.
#include "sysaccess/dialogs.h"
#include "sysaccess/state.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace vt {

class FileSystem;

namespace backup {
class Backups;
}

namespace cleanup {

// A comment in an INI file begins with ";"; in CONFIG.SYS and AUTOEXEC.BAT also with the
// word REM. REM must stand alone so that commands and keys that merely begin with those
// letters (REMOTE=1, REMIND.EXE) are kept.
enum class CommentSyntax { Ini, StartFile };

// `lines` are already in upper case. Lines that begin with a blank are never comments.
void RemoveCommentLines(QList<QByteArray>& lines, CommentSyntax syntax = CommentSyntax::StartFile);

// Whether the program named by a value of WIN.INI's [Extensions] ("C:\APP\VIEW.EXE ^.XYZ")
// is there. A program without a drive letter is looked up along the search path at run
// time, so it always counts as present.
bool ExtensionProgramExists(FileSystem& fs, const QString& value);

// The pure rewrites, on whole file contents (any line ends in, CR LF out).
QByteArray optimizedWinIni(FileSystem& fs, const QByteArray& bytes);
QByteArray optimizedConfigSys(const QByteArray& bytes);
QByteArray optimizedAutoexec(const QByteArray& bytes);

// One file an optimiser rewrites: what it holds now and what the optimiser makes of it.
struct Rewrite {
  QString file;
  std::optional<QByteArray> before;  // nullopt: the file is there but cannot be read
  QByteArray after;
};

// What each optimiser would write, without writing anything: the files of its own that
// exist, in the order it rewrites them. The steps below write exactly these.
QList<Rewrite> plannedWinIni(FileSystem& fs, const QString& windowsDirectory);
QList<Rewrite> plannedStartFiles(FileSystem& fs);

struct Optimiser {
  FileSystem& fs;
  backup::Backups& backups;
  DialogService& dialogs;
  const SharedState& state;
  QString windowsDirectory;  // "C:\WINDOWS"
};

// Each shows exactly one message: the backup failure, the write failure, or the success.
// True when every existing file was rewritten.
bool OptimizeWinIni(Optimiser& o);
bool OptimizeStartFiles(Optimiser& o);

}  // namespace cleanup
}  // namespace vt
