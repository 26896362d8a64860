#pragma once
// A machine made from the FAT partition of an emulator's hard-disk image, and the way
// back: import copies every file and folder out with its DOS attributes, time and 8.3
// alias, and records what it took (the image's size and hash, the partition, and each
// file's size, time, attributes and content hash) in the machine folder; export writes
// into the image what changed on C: since then, and nothing else. A raw image or a fixed
// VHD is worked on in place; a packed one (qcow2, VDI, dynamic VHD, VMDK) through a raw
// copy in the machine folder, which the export packs again in the image's own format
// (imageformat.h). See docs/disk-images.md.
#include <QString>

namespace vt::disk {

// The record of the import inside the machine folder.
inline constexpr const char* kRecordName = "diskimage.txt";

struct ExportSummary {
  int written = 0;         // files written (new or changed)
  int removed = 0;         // files and folders removed
  int folders = 0;         // folders made
  int attributesOnly = 0;  // entries whose attributes alone changed
  bool nothingChanged() const { return !written && !removed && !folders && !attributesOnly; }
};

// Makes the machine folder `machineDir` (absent or empty) from `partition` of `image`
// (0: the first FAT partition, or the whole image when it is one volume). Nothing is left
// behind when it fails; `error` says why. `summary` gets a line on what was imported.
bool importImage(const QString& image, const QString& machineDir, int partition, QString* error, QString* summary = nullptr);

// Why an export left the image as it was, for a message of the caller's own.
enum class Refusal { None, ImageChanged, InUse, NoRoom, WriteProtected, Other };

// Writes into `image` what changed on drive C: of the machine since its import or its last
// export. Refuses an image that changed since (it was started in between), one whose
// partition is not the FAT volume imported, one a program has open, and changes that do not
// fit; then the image is untouched. `partition` 0 takes the recorded one.
bool exportImage(const QString& machineDir, const QString& image, int partition, QString* error, ExportSummary* summary = nullptr,
                 Refusal* refusal = nullptr);

// What an export of the machine would write, without looking at the image. False (and
// `error`) when the machine was not imported or its record cannot be read.
bool pendingChanges(const QString& machineDir, ExportSummary* summary, QString* error);

// Makes the imported machine `machineDir` afresh from `image` (after the image was started
// in an emulator, say): the folder is replaced as a whole by a new import, and what was
// changed in it and not exported is gone. On failure the folder is as it was.
bool refreshImport(const QString& image, const QString& machineDir, QString* error, QString* summary = nullptr);

}  // namespace vt::disk
