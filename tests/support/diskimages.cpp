// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/diskimages.h"

#include <QCryptographicHash>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QtEndian>

#include <gtest/gtest.h>

namespace vt::test {

namespace {

QString program(const char* name) {
  QString p = QStandardPaths::findExecutable(QString::fromLatin1(name));
  // dosfstools lives in /usr/sbin, which a plain user's PATH may lack.
  if (p.isEmpty())
    p = QStandardPaths::findExecutable(QString::fromLatin1(name), {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")});
  return p;
}

}  // namespace

QString missingDiskTools() {
  QStringList missing;
  for (const char* t : {"mkfs.fat", "fsck.fat", "mcopy", "mattrib", "mtype", "mdir", "mmd"})
    if (program(t).isEmpty()) missing << QString::fromLatin1(t);
  if (missing.isEmpty()) return {};
  return QStringLiteral("%1 missing: install mtools and dosfstools (scripts/setup.sh does)")
      .arg(missing.join(QStringLiteral(", ")));
}

int runProgram(const QString& name, const QStringList& args, QByteArray* out) {
  QProcess p;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("MTOOLS_SKIP_CHECK"), QStringLiteral("1"));
  env.insert(QStringLiteral("TZ"), QStringLiteral("UTC"));
  env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
  p.setProcessEnvironment(env);
  const QString path = name.contains(QLatin1Char('/')) ? name : program(name.toLatin1().constData());
  p.start(path, args);
  if (!p.waitForStarted() || !p.waitForFinished(60000)) return -1;
  if (out) *out = p.readAllStandardOutput();
  return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

bool makeHardDiskImage(const QString& path, int megabytes, int fatBits, const QString& label) {
  const quint32 sectors = quint32(megabytes) * 2048;
  QByteArray mbr(512, '\0');
  char* e = mbr.data() + 446;
  e[0] = char(0x80);
  e[4] = char(fatBits == 32 ? 0x0C : 0x06);
  qToLittleEndian<quint32>(2048, e + 8);
  qToLittleEndian<quint32>(sectors - 2048, e + 12);
  mbr[510] = char(0x55);
  mbr[511] = char(0xAA);
  QFile f(path);
  if (!f.open(QIODevice::WriteOnly) || f.write(mbr) != 512 || !f.resize(qint64(sectors) * 512)) {
    ADD_FAILURE() << "cannot write " << path.toStdString();
    return false;
  }
  f.close();
  const QStringList args{QStringLiteral("-F"),
                         QString::number(fatBits),
                         QStringLiteral("--offset"),
                         QStringLiteral("2048"),
                         QStringLiteral("-h"),
                         QStringLiteral("2048"),
                         QStringLiteral("-n"),
                         label,
                         QStringLiteral("-i"),
                         QStringLiteral("1E4F2A07"),
                         path,
                         QString::number((sectors - 2048) / 2)};
  QByteArray out;
  if (runProgram(QStringLiteral("mkfs.fat"), fatBits == 32 ? QStringList{QStringLiteral("-s"), QStringLiteral("1")} + args : args,
                 &out) != 0) {
    ADD_FAILURE() << "mkfs.fat failed: " << out.toStdString();
    return false;
  }
  return true;
}

QList<qint64> makePartitionedDisk(const QString& path, const QList<PartitionSpec>& parts) {
  auto entry = [](QByteArray& table, int i, quint8 type, quint32 start, quint32 count) {
    char* e = table.data() + 446 + 16 * i;
    e[4] = char(type);
    qToLittleEndian<quint32>(start, e + 8);
    qToLittleEndian<quint32>(count, e + 12);
  };
  auto signed_ = [] {
    QByteArray t(512, '\0');
    t[510] = char(0x55);
    t[511] = char(0xAA);
    return t;
  };
  QByteArray mbr = signed_();
  QList<std::pair<qint64, QByteArray>> tables;
  QList<qint64> offsets(parts.size());
  quint32 at = 2048, extStart = 0, previousEbr = 0;
  int primaries = 0;
  for (qsizetype i = 0; i < parts.size(); ++i)
    if (!parts[i].logical) {
      entry(mbr, primaries++, parts[i].type, at, parts[i].sectors);
      offsets[i] = qint64(at) * 512;
      at += parts[i].sectors;
    }
  extStart = at;
  for (qsizetype i = 0; i < parts.size(); ++i) {
    if (!parts[i].logical) continue;
    QByteArray ebr = signed_();
    entry(ebr, 0, parts[i].type, 2048, parts[i].sectors);
    if (previousEbr) entry(tables.last().second, 1, 0x05, at - extStart, 2048 + parts[i].sectors);
    tables.append({qint64(at) * 512, ebr});
    previousEbr = at;
    offsets[i] = qint64(at + 2048) * 512;
    at += 2048 + parts[i].sectors;
  }
  if (at > extStart) entry(mbr, primaries, 0x05, extStart, at - extStart);
  tables.prepend({0, mbr});
  QFile f(path);
  if (!f.open(QIODevice::WriteOnly) || !f.resize(qint64(at) * 512)) {
    ADD_FAILURE() << "cannot write " << path.toStdString();
    return {};
  }
  for (const auto& [where, bytes] : tables) f.seek(where), f.write(bytes);
  for (qsizetype i = 0; i < parts.size(); ++i) {
    const quint8 t = parts[i].type;
    if (t == 0x01 || t == 0x04 || t == 0x06 || t == 0x0B || t == 0x0C || t == 0x0E) continue;
    f.seek(offsets[i]);
    f.write(QByteArray(4096, char(0x40 + i)));
  }
  f.close();
  for (qsizetype i = 0; i < parts.size(); ++i) {
    const quint8 t = parts[i].type;
    if (!(t == 0x01 || t == 0x04 || t == 0x06 || t == 0x0B || t == 0x0C || t == 0x0E)) continue;
    const QString sector = QString::number(offsets[i] / 512);
    QStringList args{"--offset", sector, "-h", sector, "-n", QStringLiteral("PART%1").arg(i + 1), "-i", "1E4F2A07"};
    if (t == 0x0B || t == 0x0C)
      args << "-F"
           << "32"
           << "-s"
           << "1";
    QByteArray out;
    if (runProgram(QStringLiteral("mkfs.fat"), args + QStringList{path, QString::number(parts[i].sectors / 2)}, &out) != 0) {
      ADD_FAILURE() << "mkfs.fat failed on partition " << i + 1 << ": " << out.toStdString();
      return {};
    }
  }
  return offsets;
}

bool makeFloppyImage(const QString& path, const QString& label) {
  QFile::remove(path);
  QByteArray out;
  if (runProgram(QStringLiteral("mkfs.fat"),
                 {QStringLiteral("-C"), QStringLiteral("-F"), QStringLiteral("12"), QStringLiteral("-n"), label,
                  QStringLiteral("-i"), QStringLiteral("12345678"), path, QStringLiteral("1440")},
                 &out) != 0) {
    ADD_FAILURE() << "mkfs.fat failed: " << out.toStdString();
    return false;
  }
  return true;
}

QByteArray mtool(const char* tool, const QString& image, qint64 offset, const QStringList& args, int* code) {
  QByteArray out;
  const int rc =
      runProgram(QString::fromLatin1(tool),
                 QStringList{QStringLiteral("-i"), image + QStringLiteral("@@") + QString::number(offset)} + args, &out);
  if (code) *code = rc;
  return out;
}

QMap<QString, QString> imageAttributes(const QString& image, qint64 offset) {
  QMap<QString, QString> out;
  for (const QByteArray& line : mtool("mattrib", image, offset, {QStringLiteral("-/"), QStringLiteral("::/")}).split('\n')) {
    const qsizetype at = line.indexOf("::/");
    if (at < 0 || line.size() == at + 3) continue;
    QString letters;
    for (char c : {'A', 'S', 'H', 'R'})
      if (line.left(at).contains(c)) letters += QLatin1Char(c);
    out.insert(QString::fromUtf8(line.mid(at + 3)), letters);
  }
  return out;
}

QMap<QString, QString> imageAliases(const QString& image, qint64 offset) {
  static const QRegularExpression entry(QStringLiteral("^(.{8}) (.{3}) .*\\d{4}-\\d\\d-\\d\\d +\\d+:\\d\\d (?: (.+))?$"));
  QMap<QString, QString> out;
  QString folder;
  for (const QString& line :
       QString::fromUtf8(mtool("mdir", image, offset, {QStringLiteral("-/"), QStringLiteral("-a"), QStringLiteral("::/")}))
           .split(QLatin1Char('\n'))) {
    if (line.startsWith(QLatin1String("Directory for ::/"))) {
      folder = line.mid(17);
      continue;
    }
    const QRegularExpressionMatch m = entry.match(line);
    if (!m.hasMatch()) continue;
    const QString base = m.captured(1).trimmed(), ext = m.captured(2).trimmed();
    if (base == QLatin1String(".") || base == QLatin1String("..")) continue;
    const QString alias = ext.isEmpty() ? base : base + QLatin1Char('.') + ext;
    const QString name = m.captured(3).isEmpty() ? alias : m.captured(3);
    out.insert(folder.isEmpty() ? name : folder + QLatin1Char('/') + name, alias);
  }
  return out;
}

QByteArray imageFile(const QString& image, qint64 offset, const QString& path) {
  return mtool("mtype", image, offset, {QStringLiteral("::/") + path});
}

QByteArray sha256(const QString& hostFile) {
  QFile f(hostFile);
  if (!f.open(QIODevice::ReadOnly)) return {};
  QCryptographicHash h(QCryptographicHash::Sha256);
  h.addData(&f);
  return h.result().toHex();
}

FatLayout::FatLayout(const QByteArray& image, qint64 at) : volume(at) {
  const char* b = image.constData() + at;
  const qint64 bps = qFromLittleEndian<quint16>(b + 11);
  fat = at + qFromLittleEndian<quint16>(b + 14) * bps;
  fats = quint8(b[16]);
  fatBytes = qFromLittleEndian<quint16>(b + 22) * bps;
  root = fat + fats * fatBytes;
  data = root + qFromLittleEndian<quint16>(b + 17) * 32;
  clusterBytes = quint8(b[13]) * bps;
}

qint64 FatLayout::entry(const QByteArray& image, const char* name83, quint16 folderCluster) const {
  const qint64 from = folderCluster ? data + (folderCluster - 2) * clusterBytes : root;
  const qint64 to = folderCluster ? from + clusterBytes : data;
  for (qint64 at = from; at + 32 <= to && image[at] != 0; at += 32)
    if (image.mid(at, 11) == name83) return at;
  return -1;
}

quint16 FatLayout::startOf(const QByteArray& image, const char* name83, quint16 folderCluster) const {
  const qint64 at = entry(image, name83, folderCluster);
  return at < 0 ? 0 : qFromLittleEndian<quint16>(image.constData() + at + 26);
}

void FatLayout::setNext(QByteArray& image, quint16 cluster, quint16 next) const {
  for (int i = 0; i < fats; ++i) qToLittleEndian<quint16>(next, image.data() + fat + i * fatBytes + cluster * 2);
}

bool writeImage(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

}  // namespace vt::test
