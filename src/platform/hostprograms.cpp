// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/hostprograms.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

namespace vt {

QString hostProgramsFile() {
  QString base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
  if (base.isEmpty()) base = QDir::homePath() + QStringLiteral("/.config");
  return base + QStringLiteral("/vantrel/programs.ini");
}

QMap<QString, QString> hostPrograms() {
  QMap<QString, QString> programs;
  QFile f(hostProgramsFile());
  if (!f.open(QIODevice::ReadOnly)) return programs;
  // A host file in the host's encoding (UTF-8), unlike the machine's INI files.
  bool inPrograms = false;
  for (const QByteArray& raw : f.readAll().split('\n')) {
    const QString line = QString::fromUtf8(raw).trimmed();
    if (line.isEmpty() || line.startsWith(QLatin1Char(';')) || line.startsWith(QLatin1Char('#'))) continue;
    if (line.startsWith(QLatin1Char('['))) {
      inPrograms = line.compare(QLatin1String("[Programs]"), Qt::CaseInsensitive) == 0;
      continue;
    }
    const qsizetype eq = line.indexOf(QLatin1Char('='));
    if (!inPrograms || eq <= 0) continue;
    const QString name = line.left(eq).trimmed().toUpper();
    const QString cmd = line.mid(eq + 1).trimmed();
    if (!cmd.isEmpty() && !programs.contains(name)) programs.insert(name, cmd);
  }
  return programs;
}

}  // namespace vt
