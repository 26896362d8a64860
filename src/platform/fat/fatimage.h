// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// FAT volumes inside raw disk images, as emulators keep them: a hard disk with an MBR
// partition table, or a floppy that is one volume from its first byte. Reading only: the
// partition table, the boot sector, the FAT and the folders are checked here before mtools
// is ever let near an image, because mtools trusts them and would follow a looping cluster
// chain, a partition that runs past the end of the file, or a folder that holds its parent.
#include <QIODevice>
#include <QString>

#include <optional>
#include <vector>

namespace vt::fat {

struct Volume {
  int partition = 0;  // 1-4: the MBR entry, 5 on: a logical drive; 0: the image is a single volume (a floppy)
  qint64 offset = 0;  // where the volume starts in the image, in bytes
  qint64 size = 0;    // bytes the volume spans
  int fatBits = 0;    // 12, 16 or 32
  quint32 bytesPerSector = 0;
  quint32 sectorsPerCluster = 0;
  quint64 clusters = 0;      // data clusters
  quint64 freeClusters = 0;  // FAT entries that are 0
  QString label;             // empty when the volume has none

  qint64 clusterBytes() const { return qint64(bytesPerSector) * sectorsPerCluster; }
  qint64 totalBytes() const { return qint64(clusters) * clusterBytes(); }
  qint64 freeBytes() const { return qint64(freeClusters) * clusterBytes(); }
  // What Windows 95 reports as the file system's name.
  QString fileSystemName() const { return fatBits == 32 ? QStringLiteral("FAT32") : QStringLiteral("FAT"); }
  QString typeName() const { return QStringLiteral("FAT%1").arg(fatBits); }
};

// One file or folder of the volume as its directory entry holds it.
struct DirEntry {
  QString path;          // '/'-separated below the root, as mtools names it
  QByteArray shortName;  // the entry's 11 bytes, "PROGRA~1   ", as stored
  bool folder = false;
  qint64 mtime = 0;                // its time as seconds since 1970, the FAT's local time taken as UTC; 0: none
  qint64 at = 0;                   // where the entry's 32 bytes lie in the image
  std::vector<qint64> longNameAt;  // where its long-name entries lie; empty when it has no long name
  quint32 firstCluster = 0;        // 0: a file without clusters (or the FAT12/16 root)
  qint64 size = 0;                 // a file's length; 0 for a folder
  quint8 attributes = 0;           // the entry's attribute byte: read-only, hidden, system, archive, folder
};

// Where a volume keeps its file system in the image, for reading or writing it a part at a
// time: the regions its own structures take and the chains of its clusters.
struct Layout {
  qint64 reservedAt = 0, reservedBytes = 0;  // the boot sector and what precedes the FAT (FSInfo, the backup boot sector)
  qint64 fatAt = 0, fatBytes = 0;            // every copy of the FAT, one after another
  qint64 rootAt = 0, rootBytes = 0;          // the root folder of FAT12 and FAT16; 0 on FAT32
  qint64 dataAt = 0;                         // cluster 2
  qint64 clusterBytes = 0;
  std::vector<quint32> next;            // the cluster after each one; 0 where a chain ends
  std::vector<quint8> free;             // 1 where the FAT entry is 0
  std::vector<quint32> folderClusters;  // every cluster a folder takes, the FAT32 root's too
  qint64 clusterAt(quint32 c) const { return dataAt + qint64(c - 2) * clusterBytes; }
  // The clusters of the chain from `first`, in order; empty for 0.
  std::vector<quint32> chain(quint32 first) const;
};

// The 8.3 alias the 11 bytes of a short name stand for, "PROGRA~1" or "README.TXT", read
// in the OEM code page (850) Windows 95 writes them in.
QString aliasText(const QByteArray& name83);
// The 11 bytes of a directory entry for `alias`; empty when it is no alias (shortname.h)
// or holds a character the OEM code page has no place for.
QByteArray aliasBytes(const QString& alias);
// The checksum of a short name that its long-name entries carry.
quint8 shortNameChecksum(const char* name83);

// Why `name` cannot be a long name on a FAT volume, as words that follow the name ("ends
// with a point ..."); empty when it can.
QString nameFault(const QString& name);

// One partition of a disk: a primary one (1-4, its MBR entry) or a logical drive of an
// extended partition (5 on, in the order of the chain of extended boot records, as Linux
// numbers them). An extended partition itself is listed as the primary it is.
struct Partition {
  int number = 0;
  quint8 type = 0;
  qint64 offset = 0, size = 0;  // in bytes
  bool fat() const;             // the type is one DOS and Windows 95 give FAT volumes
  bool extended() const;        // it holds logical drives
};

// Every partition of the image's MBR and of the extended partitions' chains. Refuses (nullopt,
// `error`) an image without a partition table, a chain of logical drives that loops or leads
// outside its extended partition, and partitions that run past the end of the image or
// overlap one another or a partition table: a disk Windows would not read as it is.
// `tableSectors`, when given, receives where the MBR and each extended boot record lie.
std::optional<std::vector<Partition>> partitionTable(QIODevice& image, QString* error,
                                                     std::vector<qint64>* tableSectors = nullptr);

// The FAT partitions in the order of their drive letters from C: on: the first primary FAT
// partition, then the logical drives in the order of their chain, then the other primary
// FAT partitions, as Windows 95 assigns them on its first hard disk. Hidden FAT partitions
// (a boot manager's, type | 0x10) get no letter, unless there is no other FAT partition.
std::vector<Partition> driveOrder(const std::vector<Partition>& table);

// Finds and checks the volume: `partition` 1-4 picks an MBR entry and 5 on a logical drive,
// 0 takes the image as one volume when it starts with a FAT boot sector, else the partition
// that is drive C: (driveOrder). Refuses, saying why in `error`, an image that is too short for what its
// partition table or boot sector claims, a volume that is not FAT, a FAT whose chains
// leave the volume, loop, or join another chain, and folders that mtools would trust to
// its or the user's harm: two entries on one chain, a file longer than its chain, a folder
// that leads back into one holding it, a name Windows could not have made. `entries`, when
// given, receives every file and folder of the volume, parents before what they hold;
// `layout` where its parts lie.
std::optional<Volume> inspect(QIODevice& image, int partition, QString* error, std::vector<DirEntry>* entries = nullptr,
                              Layout* layout = nullptr);
std::optional<Volume> inspectFile(const QString& imagePath, int partition, QString* error,
                                  std::vector<DirEntry>* entries = nullptr, Layout* layout = nullptr);

}  // namespace vt::fat
