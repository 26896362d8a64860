#pragma once
// The commands of vantrel-machine. Each returns the process exit code: 0 done, 1 the
// command failed (nothing was changed), 2 the command line was wrong.
#include <QString>
#include <QStringList>
#include <QTextStream>

namespace vt {
class Machine;
}

namespace vt::tool {

enum Exit { Ok = 0, Failed = 1, Usage = 2 };

struct Io {
  QTextStream& out;
  QTextStream& err;
  // "vantrel-machine: <message>" on stderr; returns `code`.
  int fail(int code, const QString& message) const;
};

int cmdNew(const QStringList& args, Io& io);
int cmdImport(const QStringList& args, Io& io);
int cmdExport(const QStringList& args, Io& io);
int cmdInfo(Machine& m, const QStringList& args, Io& io);
int cmdAttrib(Machine& m, const QStringList& args, Io& io);
int cmdRegedit(Machine& m, const QStringList& args, Io& io);
int cmdRecycle(Machine& m, const QStringList& args, Io& io);
int cmdLnk(Machine& m, const QStringList& args, Io& io);
int cmdDir(Machine& m, const QStringList& args, Io& io);

}  // namespace vt::tool
