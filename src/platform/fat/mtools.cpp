// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/fat/mtools.h"

#include "platform/attributes.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include <unistd.h>

namespace vt::mtools {

namespace {

// Settings that make the tools behave the same for every user: no checks that refuse
// volumes DOS accepts, short names shown as stored, numeric tails only where needed.
constexpr const char kConfig[] =
    "MTOOLS_SKIP_CHECK=1\n"
    "MTOOLS_LOWER_CASE=0\n"
    "MTOOLS_NO_VFAT=0\n"
    "MTOOLS_NAME_NUMERIC_TAIL=1\n"
    "MTOOLS_FAT_COMPATIBILITY=1\n"
    "MTOOLS_LOCK_TIMEOUT=0\n";

QString toolPath(const char* tool) { return QStandardPaths::findExecutable(QString::fromLatin1(tool)); }

}  // namespace

QString Result::complaint() const {
  if (!started) return QStringLiteral("mtools could not be started (is the mtools package installed?)");
  if (!ran) return QStringLiteral("it ended abnormally (it crashed or was killed)");
  QString text = QString::fromUtf8(err).trimmed();
  if (text.isEmpty()) text = QString::fromUtf8(out).trimmed();
  const QStringList lines = text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  return lines.isEmpty() ? QStringLiteral("exit status %1").arg(exitCode) : lines.mid(0, 3).join(QStringLiteral("; "));
}

Result runProgram(const QString& program, const QStringList& args, const QProcessEnvironment& env) {
  Result r;
  QProcess p;
  p.setProcessEnvironment(env);
  p.setProgram(program);
  p.setArguments(args);
  p.setStandardInputFile(QProcess::nullDevice());
  p.start();
  if (!p.waitForStarted(30000)) return r;
  r.started = true;
  p.waitForFinished(-1);
  r.ran = p.exitStatus() == QProcess::NormalExit;
  r.exitCode = p.exitCode();
  r.out = p.readAllStandardOutput();
  r.err = p.readAllStandardError();
  return r;
}

bool available(QString* why) {
  QStringList missing;
  for (const char* t : {"mcopy", "mattrib", "mmd", "mrd", "mdel"})
    if (toolPath(t).isEmpty()) missing << QString::fromLatin1(t);
  if (missing.isEmpty()) return true;
  if (why) *why = QStringLiteral("%1 not found: install the mtools package").arg(missing.join(QStringLiteral(", ")));
  return false;
}

QString volumePath(const QString& relative) {
  QString out = QStringLiteral("::/");
  for (QChar c : relative) {
    if (c == QLatin1Char('[') || c == QLatin1Char(']') || c == QLatin1Char('*') || c == QLatin1Char('?') ||
        c == QLatin1Char('\\'))
      out += QLatin1Char('\\');
    out += c;
  }
  return out;
}

Volume::Volume(const QString& image, qint64 offset) {
  if (!dir_.isValid()) return;
  QFile config(dir_.filePath(QStringLiteral("mtoolsrc")));
  if (!config.open(QIODevice::WriteOnly) || config.write(kConfig) != qint64(sizeof kConfig - 1)) return;
  config.close();
  const QString link = dir_.filePath(QStringLiteral("image"));
  if (::symlink(QFile::encodeName(image).constData(), QFile::encodeName(link).constData()) != 0) return;
  link_ = link;
  imageArgument_ = link + QStringLiteral("@@") + QString::number(offset);
}

Result Volume::run(const char* tool, const QStringList& args) const {
  Result r;
  const QString program = toolPath(tool);
  if (program.isEmpty() || !valid()) return r;
  QProcessEnvironment env;
  env.insert(QStringLiteral("PATH"), QStringLiteral("/usr/bin:/bin"));
  env.insert(QStringLiteral("HOME"), dir_.path());
  env.insert(QStringLiteral("MTOOLSRC"), dir_.filePath(QStringLiteral("mtoolsrc")));
  env.insert(QStringLiteral("MTOOLS_SKIP_CHECK"), QStringLiteral("1"));
  // FAT keeps local times without a zone; the machine's clock is taken as UTC, as
  // Vantrel reports every file time.
  env.insert(QStringLiteral("TZ"), QStringLiteral("UTC"));
  env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
  return runProgram(program, QStringList{QStringLiteral("-i"), imageArgument_} + args, env);
}

Result Volume::runChunked(const char* tool, const QStringList& before, const QStringList& items, int chunk) const {
  Result r;
  r.started = r.ran = true;
  r.exitCode = 0;
  for (qsizetype i = 0; i < items.size(); i += chunk) {
    r = run(tool, before + items.mid(i, chunk));
    if (!r.ok()) return r;
  }
  return r;
}

std::optional<std::vector<Listed>> Volume::list(QString* error) const {
  const Result r = run("mattrib", {QStringLiteral("-/"), QStringLiteral("::/")});
  // mattrib finds nothing to list in an empty root and says so as if the root were missing.
  const bool emptyRoot = r.ran && r.out.trimmed() == "::/" && r.err.trimmed().endsWith("File \"::/\" not found");
  if (!r.ok() && !emptyRoot) {
    if (error) *error = QStringLiteral("mattrib cannot list the volume: %1").arg(r.complaint());
    return std::nullopt;
  }
  std::vector<Listed> out;
  for (const QByteArray& raw : r.out.split('\n')) {
    if (raw.isEmpty()) continue;
    const QString line = QString::fromUtf8(raw);
    const qsizetype at = line.indexOf(QLatin1String("::/"));
    if (at < 0) {
      if (error) *error = QStringLiteral("mattrib printed an unexpected line: %1").arg(line);
      return std::nullopt;
    }
    Listed e;
    for (QChar c : line.left(at)) {
      switch (c.unicode()) {
        case 'A': e.attributes |= AttrArchive; break;
        case 'S': e.attributes |= AttrSystem; break;
        case 'H': e.attributes |= AttrHidden; break;
        case 'R': e.attributes |= AttrReadOnly; break;
        case ' ': break;
        default:
          if (error) *error = QStringLiteral("mattrib printed an unexpected line: %1").arg(line);
          return std::nullopt;
      }
    }
    e.path = line.mid(at + 3);
    if (!e.path.isEmpty()) out.push_back(std::move(e));
  }
  return out;
}

}  // namespace vt::mtools
