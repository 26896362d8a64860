// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The container an emulator keeps its hard disk in, told by its magic bytes and never by
// the file's name: a raw image, a fixed VHD (raw data and a footer after it), or a format
// whose data qemu-img (Debian's qemu-utils) unpacks into a raw copy and packs again. Only
// an image that is the whole disk by itself is taken: snapshots, a backing file, data in
// other files than the image are refused, since writing back would lose or flatten them
// or reach files outside the image. qemu-img runs like the mtools: argument lists and
// never a shell, an environment of its own, and every file reached through a private link
// whose name cannot be taken for an option or a protocol.
#include <QString>
#include <QStringList>

#include <optional>

namespace vt::disk {

enum class Format { Raw, FixedVhd, DynamicVhd, Qcow, Qcow2, Vdi, Vmdk };

// The name a record and qemu-img know it by ("raw", "vhd-fixed", "vpc", "qcow2", ...).
QString formatName(Format f);
std::optional<Format> formatFromName(const QString& name);
// What a user calls it in a message ("a qcow2 image").
QString formatTitle(Format f);
// Whether the image is converted to a raw copy to be worked on.
inline bool needsConversion(Format f) { return f != Format::Raw && f != Format::FixedVhd; }

struct Probe {
  Format format = Format::Raw;
  qint64 dataBytes = 0;  // bytes of disk data at the start of the file (raw and fixed VHD)
};
// Reads the image's magic bytes. Nullopt (and `error`) for an image that cannot be read or
// one in a container that is refused whatever it holds (VHDX, a differencing VHD, a VMDK
// descriptor naming several extents or one outside the image's folder).
std::optional<Probe> probeImage(const QString& image, QString* error);

// True when qemu-img can be run; otherwise `why` says to install qemu-utils.
bool qemuImgAvailable(QString* why = nullptr);

// What qemu-img says of an image that passed probeImage: refuses (with `error`) one with
// snapshots, a backing file, a separate data file or several extents, a damaged one and one
// it cannot read. `createOptions` receives the `-o` options that give a converted copy the
// image's own layout (cluster size, compat level, subformat).
bool checkConvertible(const QString& image, Format f, QStringList* createOptions, QString* error);

// qemu-img convert of `from` (in `fromFormat`) into the existing file `to` as `toFormat`
// with `options`, then, for a packed result, qemu-img check of it and a comparison with
// `from`. A VDI or VHD written gets the UUID of `identityOf` (the image it replaces), by
// which VirtualBox and Virtual PC know their disks. False (and `error`) on any failure;
// `to` is then to be thrown away.
bool convertImage(const QString& from, Format fromFormat, const QString& to, Format toFormat, const QStringList& options,
                  QString* error, const QString& identityOf = {});

}  // namespace vt::disk
