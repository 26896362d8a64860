// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// vantrel-machine run as a script runs it: a process of its own, its exit code and what it
// wrote on each stream. Only for the tests that are built with VANTREL_MACHINE_TOOL.
#include <QProcess>
#include <QString>
#include <QStringList>

namespace vt::test {

struct ToolResult {
  int code = -1;  // -1: the tool did not finish normally
  QString out, err;
};

inline ToolResult runTool(const QStringList& args) {
  QProcess p;
  p.start(QStringLiteral(VANTREL_MACHINE_TOOL), args);
  ToolResult r;
  if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit) return r;
  r.code = p.exitCode();
  r.out = QString::fromUtf8(p.readAllStandardOutput());
  r.err = QString::fromUtf8(p.readAllStandardError());
  return r;
}

}  // namespace vt::test
