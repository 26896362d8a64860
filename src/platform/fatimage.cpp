#include "platform/fatimage.h"

#include <QFile>
#include <QtEndian>

#include <vector>

namespace vt::fat {

namespace {

quint16 le16(const QByteArray& b, int at) { return qFromLittleEndian<quint16>(b.constData() + at); }
quint32 le32(const QByteArray& b, int at) { return qFromLittleEndian<quint32>(b.constData() + at); }

bool powerOfTwo(quint32 v) { return v && !(v & (v - 1)); }

// The partition types DOS and Windows 95 give FAT volumes, hidden variants included.
bool isFatType(quint8 t) {
  switch (t & ~0x10) {
    case 0x01: case 0x04: case 0x06: case 0x0B: case 0x0C: case 0x0E: return true;
    default: return false;
  }
}

struct Geometry {
  quint32 bytesPerSector = 0, sectorsPerCluster = 0, reserved = 0, fats = 0, rootEntries = 0;
  quint64 totalSectors = 0, fatSectors = 0, firstDataSector = 0, clusters = 0;
  quint32 rootCluster = 0;
  int fatBits = 0;
};

bool readAt(QIODevice& dev, qint64 at, qint64 size, QByteArray* out) {
  if (!dev.seek(at)) return false;
  *out = dev.read(size);
  return out->size() == size;
}

// Empty when `s` is a sound FAT boot sector for a volume of at most `room` bytes; else why not.
QString parseBootSector(const QByteArray& s, qint64 room, Geometry* g) {
  const quint8 jump = quint8(s[0]);
  if (jump != 0xEB && jump != 0xE9) return QStringLiteral("its first sector is no FAT boot sector");
  g->bytesPerSector = le16(s, 11);
  g->sectorsPerCluster = quint8(s[13]);
  g->reserved = le16(s, 14);
  g->fats = quint8(s[16]);
  g->rootEntries = le16(s, 17);
  const quint32 total16 = le16(s, 19), fat16 = le16(s, 22);
  g->totalSectors = total16 ? total16 : le32(s, 32);
  g->fatSectors = fat16 ? fat16 : le32(s, 36);
  const quint32 bps = g->bytesPerSector;
  if (bps < 512 || bps > 4096 || !powerOfTwo(bps)) return QStringLiteral("its boot sector gives %1 bytes per sector").arg(bps);
  if (!powerOfTwo(g->sectorsPerCluster) || quint64(bps) * g->sectorsPerCluster > 65536)
    return QStringLiteral("its boot sector gives %1 sectors per cluster").arg(g->sectorsPerCluster);
  if (g->reserved == 0 || g->fats == 0 || g->fats > 4 || g->fatSectors == 0 || g->totalSectors == 0)
    return QStringLiteral("its boot sector's layout fields are not those of a FAT file system");
  const quint64 rootSectors = (quint64(g->rootEntries) * 32 + bps - 1) / bps;
  g->firstDataSector = g->reserved + quint64(g->fats) * g->fatSectors + rootSectors;
  if (g->firstDataSector >= g->totalSectors) return QStringLiteral("its boot sector leaves no room for data");
  g->clusters = (g->totalSectors - g->firstDataSector) / g->sectorsPerCluster;
  if (g->clusters == 0) return QStringLiteral("its boot sector leaves no room for data");
  g->fatBits = g->clusters < 4085 ? 12 : g->clusters < 65525 ? 16 : 32;
  if ((fat16 == 0) != (g->fatBits == 32) || (g->fatBits == 32) != (g->rootEntries == 0))
    return QStringLiteral("its boot sector mixes FAT32 fields with a volume of %1 clusters").arg(g->clusters);
  if (g->fatSectors * bps * 8 < (g->clusters + 2) * quint64(g->fatBits))
    return QStringLiteral("its FAT is too small for its %1 clusters").arg(g->clusters);
  if (g->fatBits == 32) {
    g->rootCluster = le32(s, 44);
    if (g->rootCluster < 2 || g->rootCluster >= g->clusters + 2)
      return QStringLiteral("its boot sector puts the root folder at cluster %1, outside the volume").arg(g->rootCluster);
  }
  if (g->totalSectors * bps > quint64(room))
    return QStringLiteral("its boot sector claims %1 bytes, but only %2 are there (a truncated image?)")
        .arg(g->totalSectors * bps)
        .arg(room);
  return {};
}

QString labelFrom(const QByteArray& eleven) {
  QString l = QString::fromLatin1(eleven).trimmed();
  return l == QLatin1String("NO NAME") ? QString() : l;
}

// Follows every chain of the FAT once. Empty when each chain stays inside the volume, ends,
// and shares no cluster with another; otherwise what is wrong.
QString checkChains(const QByteArray& fat, const Geometry& g, quint64* freeClusters) {
  const quint64 last = g.clusters + 1;
  auto entry = [&](quint64 n) -> quint32 {
    switch (g.fatBits) {
      case 12: {
        const quint32 v = le16(fat, int(n * 3 / 2));
        return n & 1 ? v >> 4 : v & 0xFFF;
      }
      case 16: return le16(fat, int(n * 2));
      default: return le32(fat, int(n * 4)) & 0x0FFFFFFF;
    }
  };
  const quint32 bad = g.fatBits == 12 ? 0xFF7 : g.fatBits == 16 ? 0xFFF7 : 0x0FFFFFF7;
  std::vector<quint32> next(last + 1, 0);
  std::vector<quint8> into(last + 1, 0);
  quint64 free = 0;
  for (quint64 c = 2; c <= last; ++c) {
    const quint32 v = entry(c);
    if (v == 0) {
      ++free;
    } else if (v < bad) {
      if (v < 2 || v > last)
        return QStringLiteral("the chain through cluster %1 points to cluster %2, outside the volume").arg(c).arg(v);
      if (into[v]++) return QStringLiteral("two chains share cluster %1 (cross-linked files)").arg(v);
      next[c] = v;
    }
  }
  // 0: not seen, 1: on the path being followed, 2: known to end.
  std::vector<quint8> state(last + 1, 0);
  std::vector<quint32> path;
  for (quint64 start = 2; start <= last; ++start) {
    quint64 c = start;
    path.clear();
    while (c && state[c] == 0) {
      state[c] = 1;
      path.push_back(quint32(c));
      c = next[c];
    }
    if (c && state[c] == 1) return QStringLiteral("the chain through cluster %1 loops back on itself").arg(c);
    for (quint32 p : path) state[p] = 2;
  }
  *freeClusters = free;
  return {};
}

}  // namespace

std::optional<Volume> inspect(QIODevice& image, int partition, QString* error) {
  auto fail = [&](const QString& why) -> std::optional<Volume> {
    if (error) *error = why;
    return std::nullopt;
  };
  const qint64 imageSize = image.size();
  QByteArray first;
  if (imageSize < 512 || !readAt(image, 0, 512, &first))
    return fail(QStringLiteral("the image is only %1 bytes long, too short for a partition table or a boot sector").arg(imageSize));
  if (partition < 0 || partition > 4) return fail(QStringLiteral("there is no partition %1: an MBR has partitions 1 to 4").arg(partition));

  Volume v;
  Geometry g;
  QByteArray boot;
  const QString asVolume = partition == 0 ? parseBootSector(first, imageSize, &g) : QStringLiteral("-");
  if (asVolume.isEmpty()) {
    boot = first;
    v.size = imageSize;
  } else {
    if (quint8(first[510]) != 0x55 || quint8(first[511]) != 0xAA)
      return fail(partition == 0 ? QStringLiteral("the image starts with neither a partition table nor a FAT boot sector (%1)").arg(asVolume)
                                 : QStringLiteral("the image has no partition table"));
    int chosen = partition;
    if (chosen == 0) {
      for (int i = 1; i <= 4 && !chosen; ++i)
        if (isFatType(quint8(first[446 + 16 * (i - 1) + 4]))) chosen = i;
      if (!chosen) return fail(QStringLiteral("the partition table holds no FAT partition"));
    }
    const int e = 446 + 16 * (chosen - 1);
    const quint8 type = quint8(first[e + 4]);
    const quint64 start = le32(first, e + 8), count = le32(first, e + 12);
    if (type == 0 || count == 0) return fail(QStringLiteral("partition %1 is empty").arg(chosen));
    v.partition = chosen;
    v.offset = qint64(start) * 512;
    v.size = qint64(count) * 512;
    if (start == 0 || v.offset + v.size > imageSize)
      return fail(QStringLiteral("partition %1 runs from byte %2 to %3, past the end of the %4-byte image (truncated, or a damaged partition table)")
                      .arg(chosen)
                      .arg(v.offset)
                      .arg(v.offset + v.size)
                      .arg(imageSize));
    if (!readAt(image, v.offset, 512, &boot)) return fail(QStringLiteral("cannot read the boot sector of partition %1").arg(chosen));
    const QString why = parseBootSector(boot, v.size, &g);
    if (!why.isEmpty())
      return fail(QStringLiteral("partition %1 (type 0x%2) does not hold a FAT file system: %3")
                      .arg(chosen)
                      .arg(type, 2, 16, QLatin1Char('0'))
                      .arg(why));
  }
  v.fatBits = g.fatBits;
  v.bytesPerSector = g.bytesPerSector;
  v.sectorsPerCluster = g.sectorsPerCluster;
  v.clusters = g.clusters;

  QByteArray fat;
  const qint64 fatBytes = qint64(g.fatSectors) * g.bytesPerSector;
  if (!readAt(image, v.offset + qint64(g.reserved) * g.bytesPerSector, fatBytes, &fat))
    return fail(QStringLiteral("cannot read the FAT"));
  const QString chains = checkChains(fat, g, &v.freeClusters);
  if (!chains.isEmpty()) return fail(QStringLiteral("the FAT is damaged: %1").arg(chains));

  // The label Windows shows is the root folder's volume entry; the boot sector's copy is
  // only what FORMAT wrote.
  if (g.fatBits == 32) {
    if (quint8(boot[66]) == 0x29) v.label = labelFrom(boot.mid(71, 11));
  } else if (quint8(boot[38]) == 0x29) {
    v.label = labelFrom(boot.mid(43, 11));
  }
  QByteArray root;
  const qint64 rootAt = g.fatBits == 32
                            ? v.offset + qint64(g.firstDataSector) * g.bytesPerSector + qint64(g.rootCluster - 2) * v.clusterBytes()
                            : v.offset + (qint64(g.reserved) + qint64(g.fats) * qint64(g.fatSectors)) * g.bytesPerSector;
  const qint64 rootBytes = g.fatBits == 32 ? v.clusterBytes() : qint64(g.rootEntries) * 32;
  if (readAt(image, rootAt, rootBytes, &root)) {
    for (qint64 at = 0; at + 32 <= root.size(); at += 32) {
      const quint8 first = quint8(root[at]), attr = quint8(root[at + 11]);
      if (first == 0) break;
      if (first == 0xE5 || attr == 0x0F || !(attr & 0x08)) continue;
      v.label = labelFrom(root.mid(at, 11));
      break;
    }
  }
  return v;
}

std::optional<Volume> inspectFile(const QString& imagePath, int partition, QString* error) {
  QFile f(imagePath);
  if (!f.open(QIODevice::ReadOnly)) {
    if (error) *error = QStringLiteral("cannot read %1: %2").arg(imagePath, f.errorString());
    return std::nullopt;
  }
  return inspect(f, partition, error);
}

}  // namespace vt::fat
