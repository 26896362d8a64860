// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Running mtools (Debian's tools for FAT images that are not mounted) on one volume of an
// image. Vantrel ships with them as dependencies; they are never chosen by a machine folder.
// Each runs with an environment of Vantrel's own (no user configuration, UTC for the FAT's
// local times, UTF-8 host names), with argument lists and never a shell, and reaches the
// image through a private link, so an image path with "@@" or a leading "-" means nothing
// to it.
#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <optional>
#include <vector>

namespace vt::mtools {

struct Result {
  bool started = false;  // false: the program could not be started (missing?)
  bool ran = false;      // started and ended by itself, not by a crash or a signal
  int exitCode = -1;
  QByteArray out, err;
  bool ok() const { return ran && exitCode == 0; }
  // The program's own complaint, for a message.
  QString complaint() const;
};

// Runs `program` with `args`, the environment `env` and nothing else, reading nothing
// (standard input is /dev/null), to its end: the way every disk tool Vantrel uses is run.
Result runProgram(const QString& program, const QStringList& args, const QProcessEnvironment& env);

// True when mcopy, mattrib, mmd, mrd and mdel can be found; otherwise `why` names what is missing.
bool available(QString* why = nullptr);

// A path on the volume as mtools takes it: "::/" and the names, with mtools' wildcard
// characters escaped so that every name means itself.
QString volumePath(const QString& relative);

// One entry of `mattrib -/`: the path below the root ('/'-separated, no leading '/') and
// the DOS bits read-only, hidden, system, archive.
struct Listed {
  QString path;
  quint32 attributes = 0;
};

class Volume {
 public:
  // `image` is the host file, `offset` the volume's first byte in it.
  Volume(const QString& image, qint64 offset);
  bool valid() const { return !link_.isEmpty(); }

  // Runs one of the tools on the volume: `tool` -i IMAGE@@OFFSET `args`.
  Result run(const char* tool, const QStringList& args) const;
  // Runs `tool` once for every `chunk` of `items`, each call with `before` and the chunk;
  // stops at the first failure.
  Result runChunked(const char* tool, const QStringList& before, const QStringList& items, int chunk = 200) const;
  // Every file and folder with its attributes; nullopt (and `error`) when mattrib failed
  // or printed something unexpected.
  std::optional<std::vector<Listed>> list(QString* error) const;

 private:
  QTemporaryDir dir_;
  QString link_;
  QString imageArgument_;
};

}  // namespace vt::mtools
