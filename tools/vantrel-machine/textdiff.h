// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A unified diff of two versions of a machine's text file, as `diff -u` shows it: three
// lines of context, "@@ -a,b +c,d @@" hunks, and "\ No newline at end of file" where a
// version ends without one. The bytes are Windows-1252 and shown as Unicode; line ends
// (CR LF or a lone LF) are not shown but do count, so a line whose end changes is listed.
#include <QByteArray>
#include <QString>

namespace vt::tool {

// Empty when the two are the same; otherwise the headers "--- name" and "+++ name" and the
// hunks, every line ending in "\n".
QString unifiedDiff(const QString& name, const QByteArray& before, const QByteArray& after);

}  // namespace vt::tool
