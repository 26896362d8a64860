// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A machine made from the FAT partitions of an emulator's hard-disk image, and the way
// back: import copies every file and folder out with its DOS attributes, time and 8.3
// alias, and records what it took (what tells the image changed: its size, its host stamp
// and a hash of each volume's FATs and folders; each partition; each file's size, time,
// attributes and host stamp) in the machine folder; export writes into the image what
// changed on its drives since then, and nothing else. A raw image or a fixed VHD is worked
// on in place; a packed one (qcow2, VDI, dynamic VHD, VMDK) through
// a raw copy in the machine folder, which the export packs again in the image's own
// format (imageformat.h). See docs/disk-images.md.
#include <QString>

#include <functional>

namespace vt::disk {

// The record of the import inside the machine folder.
inline constexpr const char* kRecordName = "diskimage.txt";

// Told of long work as it goes: how many files are done of how many to do.
using Progress = std::function<void(int filesDone, int filesToDo)>;

struct ExportSummary {
  int written = 0;         // files written (new or changed)
  int removed = 0;         // files and folders removed
  int folders = 0;         // folders made
  int attributesOnly = 0;  // entries whose attributes alone changed
  bool nothingChanged() const { return !written && !removed && !folders && !attributesOnly; }
};

// Makes the machine folder `machineDir` (absent or empty) from `image`: with `partition` 0
// every FAT partition of the disk becomes a drive, C: and on in the order Windows 95 gives
// them letters (fat::driveOrder), or the whole image drive C: when it is one volume; with
// `partition` 1-4 (a primary) or 5 on (a logical drive) that one alone is C:. Nothing is
// left behind when it fails; `error` says why. `summary` gets a line on what was imported
// and which partitions were left alone.
// `verify` also reads the whole image for a hash of it, which a verifying export compares.
bool importImage(const QString& image, const QString& machineDir, int partition, QString* error, QString* summary = nullptr,
                 const Progress& progress = {}, bool verify = false);

// Why an export left the image as it was, for a message of the caller's own.
enum class Refusal { None, ImageChanged, InUse, NoRoom, WriteProtected, Other };

// Writes into `image` what changed on the machine's drives since its import or its last
// export, each drive into its own partition, all in one replacement of the image. Refuses
// an image that changed since (it was started in between), one whose partitions are not the
// FAT volumes imported, one a program has open, and changes that do not fit; then the
// image is untouched. `partition` 0 writes every drive, another number only the drive
// imported from it.
// A raw image or a fixed VHD is written in place, only the sectors that change, through an
// undo journal in the machine folder; an export killed half-way is undone by the next export,
// refresh or pendingChanges. `verify` also compares the whole image with the hash a verifying
// import or export took, and takes it anew.
bool exportImage(const QString& machineDir, const QString& image, int partition, QString* error, ExportSummary* summary = nullptr,
                 Refusal* refusal = nullptr, const Progress& progress = {}, bool verify = false);

// What an export of the machine would write, without reading the image (a file whose
// attributes alone changed may count as written). An export that was cut off is undone
// first, so that what it meant to write counts as pending again. False (and
// `error`) when the machine was not imported or its record cannot be read.
bool pendingChanges(const QString& machineDir, ExportSummary* summary, QString* error);

// Makes the imported machine `machineDir` afresh from `image` (after the image was started
// in an emulator, say): the folder is replaced as a whole by a new import, and what was
// changed in it and not exported is gone. On failure the folder is as it was.
bool refreshImport(const QString& image, const QString& machineDir, QString* error, QString* summary = nullptr,
                   const Progress& progress = {});

}  // namespace vt::disk
