// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/fat/fatimage.h"

#include "platform/shortname.h"

#include <QDateTime>
#include <QFile>
#include <QtEndian>

#include <algorithm>
#include <cstring>
#include <set>
#include <vector>

namespace vt::fat {

namespace {

quint16 le16(const QByteArray& b, int at) { return qFromLittleEndian<quint16>(b.constData() + at); }
quint32 le32(const QByteArray& b, int at) { return qFromLittleEndian<quint32>(b.constData() + at); }

bool powerOfTwo(quint32 v) { return v && !(v & (v - 1)); }

// The partition types DOS and Windows 95 give FAT volumes, hidden variants included.
bool isFatType(quint8 t) {
  switch (t & ~0x10) {
    case 0x01:
    case 0x04:
    case 0x06:
    case 0x0B:
    case 0x0C:
    case 0x0E: return true;
    default: return false;
  }
}

bool isExtendedType(quint8 t) { return t == 0x05 || t == 0x0F || t == 0x85; }

// A directory entry's time and date fields; 0 when the date is none (0) or no date at all.
qint64 entryTime(const char* e) {
  const quint16 time = qFromLittleEndian<quint16>(e + 22), date = qFromLittleEndian<quint16>(e + 24);
  const QDate d(1980 + (date >> 9), (date >> 5) & 15, date & 31);
  const QTime t(time >> 11, (time >> 5) & 63, (time & 31) * 2);
  if (!d.isValid() || !t.isValid()) return 0;
  return QDateTime(d, t, Qt::UTC).toSecsSinceEpoch();
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

// The FAT as the checks follow it.
struct Chains {
  std::vector<quint32> next;  // the cluster after each one; 0 where a chain ends
  std::vector<quint8> free;   // 1 where the FAT entry is 0
  quint32 joined = 0;         // a cluster that two chains lead into; 0 when none does
};

// Follows every chain of the FAT once. Empty when each chain stays inside the volume and
// ends; otherwise what is wrong. Chains that join are only noted: the folders can tell
// which files they belong to.
QString checkChains(const QByteArray& fat, const Geometry& g, Chains* chains, quint64* freeClusters) {
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
  std::vector<quint32>& next = chains->next;
  next.assign(last + 1, 0);
  chains->free.assign(last + 1, 0);
  chains->joined = 0;
  std::vector<quint8> into(last + 1, 0);
  quint64 free = 0;
  for (quint64 c = 2; c <= last; ++c) {
    const quint32 v = entry(c);
    if (v == 0) {
      ++free;
      chains->free[c] = 1;
    } else if (v < bad) {
      if (v < 2 || v > last)
        return QStringLiteral("the chain through cluster %1 points to cluster %2, outside the volume").arg(c).arg(v);
      if (into[v]++ && !chains->joined) chains->joined = v;
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

// A name for a message: control characters would break the line or vanish.
QString shown(const QString& name) {
  QString out;
  for (QChar c : name) {
    if (c == QLatin1Char('\n'))
      out += QLatin1String("\\n");
    else if (c == QLatin1Char('\r'))
      out += QLatin1String("\\r");
    else if (c.unicode() < 0x20)
      out += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
    else
      out += c;
  }
  return out;
}

// Code page 850, in which Windows 95 (and mtools) write the short names of Western Europe;
// it holds every letter that Windows-1252 has in upper case.
// clang-format off
constexpr char16_t kOem[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00F8, 0x00A3, 0x00D8, 0x00D7, 0x0192,
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,
    0x00BF, 0x00AE, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x00C1, 0x00C2, 0x00C0,
    0x00A9, 0x2563, 0x2551, 0x2557, 0x255D, 0x00A2, 0x00A5, 0x2510,
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x00E3, 0x00C3,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x00A4,
    0x00F0, 0x00D0, 0x00CA, 0x00CB, 0x00C8, 0x0131, 0x00CD, 0x00CE,
    0x00CF, 0x2518, 0x250C, 0x2588, 0x2584, 0x00A6, 0x00CC, 0x2580,
    0x00D3, 0x00DF, 0x00D4, 0x00D2, 0x00F5, 0x00D5, 0x00B5, 0x00FE,
    0x00DE, 0x00DA, 0x00DB, 0x00D9, 0x00FD, 0x00DD, 0x00AF, 0x00B4,
    0x00AD, 0x00B1, 0x2017, 0x00BE, 0x00B6, 0x00A7, 0x00F7, 0x00B8,
    0x00B0, 0x00A8, 0x00B7, 0x00B9, 0x00B3, 0x00B2, 0x25A0, 0x00A0,
};
// clang-format on

QString fromOem(QByteArrayView bytes) {
  QString out;
  out.reserve(bytes.size());
  for (char c : bytes) out += QChar(quint8(c) < 0x80 ? char16_t(quint8(c)) : kOem[quint8(c) - 0x80]);
  return out;
}

// The folders from the root down, with what mtools would take on trust in each entry: that
// its name is one Windows could have made, that its cluster chain is its own and holds its
// size. mcopy follows a folder that leads back to one holding it until it crashes, and an
// export through a file that shares its clusters writes into the other one too.
class TreeCheck {
 public:
  TreeCheck(QIODevice& image, const Volume& v, const Geometry& g, const Chains& chains, std::vector<DirEntry>* entries,
            std::vector<quint32>* folderClusters)
      : image_(image),
        v_(v),
        g_(g),
        chains_(chains),
        owner_(chains.next.size(), 0),
        entries_(entries),
        folderClusters_(folderClusters) {}

  QString run() {
    nodes_.push_back({QString(), -1, true});
    std::vector<std::pair<int, quint32>> folders{{0, g_.fatBits == 32 ? g_.rootCluster : 0}};
    if (g_.fatBits == 32) {
      if (QString why = claim(0, g_.rootCluster, nullptr); !why.isEmpty()) return why;
    }
    while (!folders.empty()) {
      const auto [n, first] = folders.back();
      folders.pop_back();
      QByteArray entries;
      std::vector<qint64> places;
      if (!readFolder(n, first, &entries, &places)) return QStringLiteral("cannot read the folder %1").arg(describe(n));
      if (QString why = checkFolder(n, entries, places, &folders); !why.isEmpty()) return why;
    }
    if (chains_.joined) return QStringLiteral("two chains share cluster %1 (cross-linked files)").arg(chains_.joined);
    return {};
  }

 private:
  struct Node {
    QString path;  // '/'-separated below the root, as mtools names it
    int parent;
    bool folder;
  };

  qint64 clusterAt(quint32 c) const {
    return v_.offset + (qint64(g_.firstDataSector) + qint64(c - 2) * g_.sectorsPerCluster) * g_.bytesPerSector;
  }
  QString describe(int n) const { return n == 0 ? QStringLiteral("the root folder") : nodes_[n].path; }
  bool holds(int folder, int n) const {
    for (int p = nodes_[n].parent; p >= 0; p = nodes_[p].parent)
      if (p == folder) return true;
    return false;
  }

  // Gives node `n` the chain from `first`; `clusters` receives its length.
  QString claim(int n, quint32 first, qint64* clusters) {
    qint64 count = 0;
    for (quint32 c = first; c; c = chains_.next[c]) {
      if (chains_.free[c])
        return QStringLiteral("%1 %2 cluster %3, which the FAT marks as free")
            .arg(describe(n), c == first ? QStringLiteral("starts at") : QStringLiteral("runs into"))
            .arg(c);
      if (const int other = owner_[c] - 1; other >= 0) {
        if (nodes_[n].folder && holds(other, n))
          return QStringLiteral("the folder %1 leads back into %2, which holds it: a folder cannot contain its own parent")
              .arg(describe(n), describe(other));
        return QStringLiteral("%1 and %2 share cluster %3 (cross-linked files)").arg(describe(other), describe(n)).arg(c);
      }
      owner_[c] = n + 1;
      ++count;
    }
    if (clusters) *clusters = count;
    return {};
  }

  // `places` receives where in the image each cluster of the folder lies (the FAT12 and
  // FAT16 root: its one place), for the entries' own places.
  bool readFolder(int n, quint32 first, QByteArray* out, std::vector<qint64>* places) {
    if (n == 0 && g_.fatBits != 32) {
      const qint64 at = v_.offset + (qint64(g_.reserved) + qint64(g_.fats) * qint64(g_.fatSectors)) * g_.bytesPerSector;
      places->push_back(at);
      return readAt(image_, at, qint64(g_.rootEntries) * 32, out);
    }
    // A FAT folder holds at most 65,536 entries; what a damaged chain adds is never read.
    constexpr qint64 kMostBytes = 65536 * 32;
    QByteArray part;
    for (quint32 c = first; c && out->size() < kMostBytes; c = chains_.next[c]) {
      if (!readAt(image_, clusterAt(c), v_.clusterBytes(), &part)) return false;
      places->push_back(clusterAt(c));
      if (folderClusters_) folderClusters_->push_back(c);
      out->append(part);
    }
    return true;
  }

  QString checkFolder(int n, const QByteArray& entries, const std::vector<qint64>& places,
                      std::vector<std::pair<int, quint32>>* folders) {
    std::vector<char16_t> units;  // the long name being gathered from its entries
    std::vector<qint64> unitsAt;  // where its entries lie in the image
    int expected = 0;             // the sequence number of the long-name entry read last; 0: none
    quint8 sum = 0;
    const qint64 placeBytes = n == 0 && g_.fatBits != 32 ? entries.size() : v_.clusterBytes();
    auto placeOf = [&](qint64 at) { return places[size_t(at / placeBytes)] + at % placeBytes; };
    for (qint64 at = 0; at + 32 <= entries.size(); at += 32) {
      const char* e = entries.constData() + at;
      const quint8 b0 = quint8(e[0]), attr = quint8(e[11]);
      if (b0 == 0) break;
      if (b0 == 0xE5) {
        expected = 0;
        continue;
      }
      if ((attr & 0x3F) == 0x0F) {
        int seq = b0 & 0x1F;
        if (b0 & 0x40) {
          units.assign(size_t(seq) * 13, 0xFFFF);
          unitsAt.clear();
          sum = quint8(e[13]);
        } else if (seq != expected - 1 || quint8(e[13]) != sum) {
          seq = 0;
        }
        expected = seq;
        if (seq) unitsAt.push_back(placeOf(at));
        if (seq) {
          static constexpr int kUnitAt[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
          for (int k = 0; k < 13; ++k) units[size_t(seq - 1) * 13 + k] = qFromLittleEndian<quint16>(e + kUnitAt[k]);
        }
        continue;
      }
      const bool hasLongName = expected == 1 && shortNameChecksum(e) == sum;
      expected = 0;
      if (attr & 0x08) continue;  // the volume label
      const QByteArray base = QByteArray(e, 8).trimmed(), ext = QByteArray(e + 8, 3).trimmed();
      if (base == "." || base == "..") continue;
      // Named as mtools names it: the short name in the OEM code page, in lower case where
      // the entry's case bits say so.
      QString shortName = fromOem(base);
      if (b0 == 0x05) shortName[0] = QChar(kOem[0xE5 - 0x80]);
      if (quint8(e[12]) & 0x08) shortName = shortName.toLower();
      if (!ext.isEmpty()) shortName += QLatin1Char('.') + (quint8(e[12]) & 0x10 ? fromOem(ext).toLower() : fromOem(ext));
      const QString prefix = n == 0 ? QString() : nodes_[n].path + QLatin1Char('/');
      QString name = shortName;
      if (hasLongName) {
        const auto end = std::find(units.begin(), units.end(), char16_t(0));
        name = QString::fromUtf16(units.data(), qsizetype(end - units.begin()));
        if (QString why = nameFault(name); !why.isEmpty())
          return QStringLiteral("the long name of %1 (\"%2\") %3").arg(prefix + shortName, shown(name), why);
      } else {
        for (int i = 0; i < 11; ++i) {
          const quint8 c = quint8(e[i]);
          if ((c < 0x20 && !(i == 0 && c == 0x05)) || (c && std::strchr("\"*/:<>?\\|", c)))
            return QStringLiteral("the short name of %1 (\"%2\") holds a character FAT does not allow in names")
                .arg(prefix + shown(shortName), shown(QString::fromLatin1(e, 11)));
        }
      }
      const bool folder = attr & 0x10;
      const quint32 first =
          qFromLittleEndian<quint16>(e + 26) | (g_.fatBits == 32 ? quint32(qFromLittleEndian<quint16>(e + 20)) << 16 : 0);
      const quint32 size = qFromLittleEndian<quint32>(e + 28);
      nodes_.push_back({prefix + name, n, folder});
      const int me = int(nodes_.size()) - 1;
      if (entries_)
        entries_->push_back({nodes_[me].path, QByteArray(e, 11), folder, entryTime(e), placeOf(at),
                             hasLongName ? unitsAt : std::vector<qint64>(), first, folder ? 0 : qint64(size), attr});
      if (folder && first == 0)
        return QStringLiteral(
                   "the folder %1 leads back into the root folder, which holds it: a folder cannot contain its own parent")
            .arg(describe(me));
      qint64 clusters = 0;
      if (first != 0) {
        if (first < 2 || first >= owner_.size())
          return QStringLiteral("%1 starts at cluster %2, outside the volume").arg(describe(me)).arg(first);
        if (QString why = claim(me, first, &clusters); !why.isEmpty()) return why;
      }
      if (folder)
        folders->push_back({me, first});
      else if (size > clusters * v_.clusterBytes())
        return QStringLiteral("%1 is %2 bytes long, but its cluster chain holds only %3 bytes")
            .arg(describe(me))
            .arg(size)
            .arg(clusters * v_.clusterBytes());
    }
    return {};
  }

  QIODevice& image_;
  const Volume& v_;
  const Geometry& g_;
  const Chains& chains_;
  std::vector<qint32> owner_;  // for each cluster, 1 + the node whose chain holds it; 0: none yet
  std::vector<Node> nodes_;    // nodes_[0] is the root folder
  std::vector<DirEntry>* entries_;
  std::vector<quint32>* folderClusters_;
};

QString partitionName(int number) {
  return number > 4 ? QStringLiteral("logical drive %1").arg(number) : QStringLiteral("partition %1").arg(number);
}

}  // namespace

bool Partition::fat() const { return isFatType(type); }
bool Partition::extended() const { return number <= 4 && isExtendedType(type); }

std::optional<std::vector<Partition>> partitionTable(QIODevice& image, QString* error, std::vector<qint64>* tableSectors) {
  auto fail = [&](const QString& why) -> std::optional<std::vector<Partition>> {
    if (error) *error = why;
    return std::nullopt;
  };
  const qint64 imageSize = image.size();
  QByteArray mbr;
  if (!readAt(image, 0, 512, &mbr) || quint8(mbr[510]) != 0x55 || quint8(mbr[511]) != 0xAA)
    return fail(QStringLiteral("the image has no partition table"));
  std::vector<Partition> out;
  std::vector<std::pair<qint64, QString>> tables{{0, QStringLiteral("the partition table")}};
  for (int i = 0; i < 4; ++i) {
    const int e = 446 + 16 * i;
    const quint8 type = quint8(mbr[e + 4]);
    const quint32 start = le32(mbr, e + 8), count = le32(mbr, e + 12);
    if (type == 0 || count == 0) continue;
    out.push_back({i + 1, type, qint64(start) * 512, qint64(count) * 512});
  }
  int next = 5;
  const std::vector<Partition> primaries = out;
  for (const Partition& ext : primaries) {
    if (!ext.extended()) continue;
    // Each extended boot record holds a logical drive, placed from the record itself, and
    // the place of the next record, from the start of the extended partition.
    std::set<qint64> seen;
    for (qint64 ebr = ext.offset;;) {
      if (!seen.insert(ebr).second || seen.size() > 1024)
        return fail(QStringLiteral("the chain of logical drives in partition %1 leads back into itself at sector %2 (a damaged "
                                   "partition table)")
                        .arg(ext.number)
                        .arg(ebr / 512));
      if (ebr + 512 > imageSize)
        return fail(QStringLiteral("the chain of logical drives in partition %1 leads to sector %2, past the end of the %3-byte "
                                   "image (truncated, or a damaged partition table)")
                        .arg(ext.number)
                        .arg(ebr / 512)
                        .arg(imageSize));
      if (ebr + 512 > ext.offset + ext.size)
        return fail(QStringLiteral("the chain of logical drives in partition %1 leads to sector %2, outside the partition")
                        .arg(ext.number)
                        .arg(ebr / 512));
      QByteArray rec;
      if (!readAt(image, ebr, 512, &rec) || quint8(rec[510]) != 0x55 || quint8(rec[511]) != 0xAA)
        return fail(QStringLiteral("the table of a logical drive of partition %1 at sector %2 is damaged")
                        .arg(ext.number)
                        .arg(ebr / 512));
      tables.emplace_back(ebr, QStringLiteral("the table of logical drives at sector %1").arg(ebr / 512));
      const quint8 type = quint8(rec[446 + 4]);
      const quint32 start = le32(rec, 446 + 8), count = le32(rec, 446 + 12);
      if (type != 0 && count != 0) {
        const Partition logical{next++, type, ebr + qint64(start) * 512, qint64(count) * 512};
        if (logical.offset < ext.offset || logical.offset + logical.size > ext.offset + ext.size)
          return fail(QStringLiteral("logical drive %1 runs outside its extended partition %2 (a damaged partition table)")
                          .arg(logical.number)
                          .arg(ext.number));
        out.push_back(logical);
      }
      const quint8 linkType = quint8(rec[446 + 16 + 4]);
      const quint32 link = le32(rec, 446 + 16 + 8), linkCount = le32(rec, 446 + 16 + 12);
      if (!isExtendedType(linkType) || linkCount == 0) break;
      ebr = ext.offset + qint64(link) * 512;
    }
  }
  for (const Partition& p : out) {
    if (p.offset + p.size > imageSize)
      return fail(QStringLiteral("%1 runs from byte %2 to %3, past the end of the %4-byte image (truncated, or a damaged "
                                 "partition table)")
                      .arg(partitionName(p.number))
                      .arg(p.offset)
                      .arg(p.offset + p.size)
                      .arg(imageSize));
    for (const auto& [at, what] : tables) {
      // An extended partition holds the tables of its chain.
      if (p.offset <= at && at < p.offset + p.size && !(p.extended() && at > 0))
        return fail(QStringLiteral("%1 overlaps %2 (a damaged partition table)").arg(partitionName(p.number), what));
    }
  }
  for (size_t i = 0; i < out.size(); ++i)
    for (size_t j = i + 1; j < out.size(); ++j) {
      const Partition &a = out[i], &b = out[j];
      // Logical drives lie inside their extended partition by design.
      if ((a.extended() && b.number > 4) || (b.extended() && a.number > 4)) continue;
      if (a.offset < b.offset + b.size && b.offset < a.offset + a.size)
        return fail(QStringLiteral("%1 and %2 overlap (a damaged partition table)")
                        .arg(partitionName(a.number), partitionName(b.number)));
    }
  if (tableSectors) {
    tableSectors->clear();
    for (const auto& [at, what] : tables) tableSectors->push_back(at);
  }
  return out;
}

std::vector<Partition> driveOrder(const std::vector<Partition>& table) {
  // Windows gives no letter to a partition a boot manager hid (type | 0x10), unless the disk
  // has nothing else to open.
  for (const bool hiddenToo : {false, true}) {
    std::vector<Partition> primary, logical;
    for (const Partition& p : table) {
      if (!p.fat() || (!hiddenToo && (p.type & 0x10))) continue;
      (p.number > 4 ? logical : primary).push_back(p);
    }
    std::vector<Partition> out;
    if (!primary.empty()) out.push_back(primary.front());
    out.insert(out.end(), logical.begin(), logical.end());
    if (primary.size() > 1) out.insert(out.end(), primary.begin() + 1, primary.end());
    if (!out.empty()) return out;
  }
  return {};
}

quint8 shortNameChecksum(const char* name83) {
  quint8 sum = 0;
  for (int i = 0; i < 11; ++i) sum = quint8(((sum & 1) << 7) + (sum >> 1) + quint8(name83[i]));
  return sum;
}

QString aliasText(const QByteArray& name83) {
  if (name83.size() != 11) return {};
  QByteArray raw = name83;
  if (raw[0] == 0x05) raw[0] = char(0xE5);
  const QString base = fromOem(raw.first(8)), ext = fromOem(raw.sliced(8));
  auto trimmed = [](QString s) {
    while (s.endsWith(QLatin1Char(' '))) s.chop(1);
    return s;
  };
  const QString b = trimmed(base), x = trimmed(ext);
  return x.isEmpty() ? b : b + QLatin1Char('.') + x;
}

QByteArray aliasBytes(const QString& alias) {
  if (!shortname::isAlias(alias)) return {};
  const qsizetype dot = alias.indexOf(QLatin1Char('.'));
  const QString base = dot < 0 ? alias : alias.left(dot), ext = dot < 0 ? QString() : alias.mid(dot + 1);
  QByteArray out(11, ' ');
  auto put = [&](const QString& part, int at) {
    for (qsizetype i = 0; i < part.size(); ++i) {
      const char16_t c = part[i].unicode();
      if (c < 0x80) {
        out[at + i] = char(c);
        continue;
      }
      const char16_t* found = std::find(std::begin(kOem), std::end(kOem), c);
      if (found == std::end(kOem)) return false;
      out[at + i] = char(0x80 + (found - kOem));
    }
    return true;
  };
  if (!put(base, 0) || !put(ext, 8)) return {};
  // A first byte of 0xE5 would mark the entry deleted; FAT keeps it as 0x05.
  if (quint8(out[0]) == 0xE5) out[0] = 0x05;
  return out;
}

QString nameFault(const QString& name) {
  if (name == QLatin1String(".") || name == QLatin1String(".."))
    return QStringLiteral("is no name: every folder keeps \".\" and \"..\" for itself and the folder holding it");
  if (name.size() > 255) return QStringLiteral("is longer than the 255 characters FAT allows");
  if (name.endsWith(QLatin1Char('.')) || name.endsWith(QLatin1Char(' ')))
    return QStringLiteral("ends with a point or a blank, which FAT drops");
  for (QChar c : name) {
    if (c == QLatin1Char('\n') || c == QLatin1Char('\r'))
      return QStringLiteral("holds a line break, which FAT does not allow in names");
    if (c.unicode() < 0x20 || QStringView(u"\"*/:<>?\\|").contains(c))
      return QStringLiteral("holds a character FAT does not allow in names");
  }
  return {};
}

std::vector<quint32> Layout::chain(quint32 first) const {
  std::vector<quint32> out;
  // The chains were checked to end; the bound only guards a layout made elsewhere.
  for (quint32 c = first; c >= 2 && c < next.size() && out.size() < next.size(); c = next[c]) out.push_back(c);
  return out;
}

std::optional<Volume> inspect(QIODevice& image, int partition, QString* error, std::vector<DirEntry>* entries, Layout* layout) {
  auto fail = [&](const QString& why) -> std::optional<Volume> {
    if (error) *error = why;
    return std::nullopt;
  };
  const qint64 imageSize = image.size();
  QByteArray first;
  if (imageSize < 512 || !readAt(image, 0, 512, &first))
    return fail(
        QStringLiteral("the image is only %1 bytes long, too short for a partition table or a boot sector").arg(imageSize));
  if (partition < 0) return fail(QStringLiteral("there is no partition %1").arg(partition));

  Volume v;
  Geometry g;
  QByteArray boot;
  const QString asVolume = partition == 0 ? parseBootSector(first, imageSize, &g) : QStringLiteral("-");
  if (asVolume.isEmpty()) {
    boot = first;
    v.size = imageSize;
  } else {
    if (quint8(first[510]) != 0x55 || quint8(first[511]) != 0xAA)
      return fail(partition == 0
                      ? QStringLiteral("the image starts with neither a partition table nor a FAT boot sector (%1)").arg(asVolume)
                      : QStringLiteral("the image has no partition table"));
    const auto table = partitionTable(image, error);
    if (!table) return std::nullopt;
    std::optional<Partition> chosen;
    if (partition == 0) {
      const std::vector<Partition> order = driveOrder(*table);
      if (order.empty()) return fail(QStringLiteral("the partition table holds no FAT partition"));
      chosen = order.front();
    } else {
      for (const Partition& p : *table)
        if (p.number == partition) chosen = p;
      if (!chosen)
        return fail(partition <= 4 ? QStringLiteral("partition %1 is empty").arg(partition)
                                   : QStringLiteral("there is no logical drive %1 on the disk").arg(partition));
      if (chosen->extended())
        return fail(
            QStringLiteral("partition %1 is an extended partition: its logical drives are partitions 5 on").arg(partition));
    }
    const int number = chosen->number;
    const quint8 type = chosen->type;
    v.partition = number;
    v.offset = chosen->offset;
    v.size = chosen->size;
    const QString chosenName = partitionName(number);
    if (!readAt(image, v.offset, 512, &boot)) return fail(QStringLiteral("cannot read the boot sector of %1").arg(chosenName));
    const QString why = parseBootSector(boot, v.size, &g);
    if (!why.isEmpty())
      return fail(QStringLiteral("%1 (type 0x%2) does not hold a FAT file system: %3")
                      .arg(chosenName)
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
  Chains chains;
  const QString chainFault = checkChains(fat, g, &chains, &v.freeClusters);
  if (!chainFault.isEmpty()) return fail(QStringLiteral("the FAT is damaged: %1").arg(chainFault));
  if (entries) entries->clear();
  std::vector<quint32> folderClusters;
  if (const QString treeFault = TreeCheck(image, v, g, chains, entries, layout ? &folderClusters : nullptr).run();
      !treeFault.isEmpty())
    return fail(QStringLiteral("the file system is damaged: %1").arg(treeFault));
  if (layout) {
    const qint64 bps = g.bytesPerSector;
    layout->reservedAt = v.offset;
    layout->reservedBytes = qint64(g.reserved) * bps;
    layout->fatAt = v.offset + layout->reservedBytes;
    layout->fatBytes = qint64(g.fats) * qint64(g.fatSectors) * bps;
    layout->rootAt = layout->fatAt + layout->fatBytes;
    layout->rootBytes = g.fatBits == 32 ? 0 : (qint64(g.rootEntries) * 32 + bps - 1) / bps * bps;
    layout->dataAt = v.offset + qint64(g.firstDataSector) * bps;
    layout->clusterBytes = v.clusterBytes();
    layout->next = std::move(chains.next);
    layout->free = std::move(chains.free);
    layout->folderClusters = std::move(folderClusters);
  }

  // The label Windows shows is the root folder's volume entry; the boot sector's copy is
  // only what FORMAT wrote.
  if (g.fatBits == 32) {
    if (quint8(boot[66]) == 0x29) v.label = labelFrom(boot.mid(71, 11));
  } else if (quint8(boot[38]) == 0x29) {
    v.label = labelFrom(boot.mid(43, 11));
  }
  QByteArray root;
  const qint64 rootAt =
      g.fatBits == 32 ? v.offset + qint64(g.firstDataSector) * g.bytesPerSector + qint64(g.rootCluster - 2) * v.clusterBytes()
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

std::optional<Volume> inspectFile(const QString& imagePath, int partition, QString* error, std::vector<DirEntry>* entries,
                                  Layout* layout) {
  QFile f(imagePath);
  if (!f.open(QIODevice::ReadOnly)) {
    if (error) *error = QStringLiteral("cannot read %1: %2").arg(imagePath, f.errorString());
    return std::nullopt;
  }
  return inspect(f, partition, error, entries, layout);
}

}  // namespace vt::fat
