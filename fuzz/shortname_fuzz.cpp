// SPDX-License-Identifier: GPL-3.0-or-later
// Long names as a machine's folders hold them, created through the file system on a small
// machine in memory: whatever the names, every entry gets an alias that is a valid 8.3
// name no other entry of its folder has, and the alias and the long name, in any case and
// in either order of the two forms of a path, reach the same file.
#include "fuzzcheck.h"
#include "platform/attributestore.h"
#include "platform/filesystem.h"
#include "platform/machine.h"
#include "platform/shortname.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>

namespace {

using namespace vt;

struct Setup : fuzz::MemoryMachine {
  Setup() : MemoryMachine("[Machine]\r\nPlatform=Win95\r\n[Drive C]\r\nType=fixed\r\n", {"drives/C"}) {}
  int round = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Setup s;
  FileSystem& fs = s.machine->files();
  // A folder of its own for each input: the aliases of one input never meet another's.
  const QString folder = QStringLiteral("C:\\F%1").arg(++s.round);
  const QString hostFolder = s.dir->path() + QStringLiteral("/drives/C/F%1").arg(s.round);
  if (!fs.createDirectory(folder)) fuzz::failed("createDirectory");

  const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
  int made = 0;
  for (const QString& line : text.split(QLatin1Char('\n'))) {
    if (made == 24) break;
    // A leading '/' makes a folder, to have aliases in more than one component.
    const bool asFolder = line.startsWith(QLatin1Char('/'));
    const QString name = asFolder ? line.mid(1) : line;
    const QString path = folder + QLatin1Char('\\') + name;
    if (asFolder ? fs.createDirectory(path) : fs.writeFile(path, name.toUtf8())) ++made;
  }

  QSet<QString> aliases;
  FindData fd;
  auto search = fs.findFirst(folder + QStringLiteral("\\*"), AttrAnyFile, &fd);
  while (search) {
    if (fd.name != QLatin1String(".") && fd.name != QLatin1String("..")) {
      const std::string what = fd.name.toStdString();
      const QString alias = fd.alternate.isEmpty() ? fd.name : fd.alternate;
      FUZZ_CHECK(shortname::isAlias(alias), what + " -> " + alias.toStdString());
      FUZZ_CHECK(!aliases.contains(alias), what + " -> " + alias.toStdString());
      aliases.insert(alias);
      const QString longPath = folder + QLatin1Char('\\') + fd.name;
      const auto host = fs.hostPath(longPath);
      FUZZ_CHECK(host.has_value(), what);
      FUZZ_CHECK(fs.hostPath(folder.toLower() + QLatin1Char('\\') + alias.toLower()) == host, what);
      FUZZ_CHECK(fs.shortPathName(longPath) == folder + QLatin1Char('\\') + alias, what);
      FUZZ_CHECK(fs.longPathName(folder + QLatin1Char('\\') + alias) == longPath, what);
    }
    if (!fs.findNext(*search, &fd)) break;
  }
  QDir(hostFolder).removeRecursively();
  fs.attributeStore().removed(hostFolder);
  return 0;
}
