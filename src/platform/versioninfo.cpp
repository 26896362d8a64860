// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/versioninfo.h"

#include "platform/filesystem.h"

#include <algorithm>
#include <cstring>

namespace vt {

namespace {

constexpr quint16 kRtVersion = 16;
// The head that holds the headers of nearly every Windows 95 program, and the most any
// program's version may make us read.
constexpr qint64 kHeadBytes = 64 * 1024;
constexpr qint64 kMostBytes = 32 * 1024 * 1024;

// Every read goes through here, and one past the end only notes how far it would have gone.
struct Bytes {
  QByteArrayView b;
  qint64 needed = 0;

  bool has(qint64 at, qint64 size) {
    if (at < 0 || size < 0 || at > kMostBytes || size > kMostBytes) return false;
    if (at + size > b.size()) {
      needed = std::max(needed, at + size);
      return false;
    }
    return true;
  }
  quint32 u16(qint64 at) const { return quint32(uchar(b[at])) | (quint32(uchar(b[at + 1])) << 8); }
  quint32 u32(qint64 at) const { return u16(at) | (u16(at + 2) << 16); }
};

qint64 align4(qint64 n) { return (n + 3) & ~qint64(3); }

// A VS_VERSIONINFO block of `size` bytes at `at`: its key in ANSI (16-bit modules) or in
// UTF-16 after a type word (32-bit ones), then the fixed part at the next 32-bit boundary.
std::optional<FixedFileInfo> versionBlock(Bytes& r, qint64 at, qint64 size, bool wide) {
  static const char key[] = "VS_VERSION_INFO";
  const qint64 keyAt = wide ? 6 : 4;
  const qint64 keySize = qint64(sizeof key) * (wide ? 2 : 1);
  constexpr qint64 fixedSize = 52;
  if (!r.has(at, keyAt + keySize)) return std::nullopt;
  const qint64 length = std::min<qint64>(r.u16(at), size);
  const qint64 valueLength = r.u16(at + 2);
  for (qint64 i = 0; i < qint64(sizeof key); ++i) {
    const quint32 c = wide ? r.u16(at + keyAt + 2 * i) : quint32(uchar(r.b[at + keyAt + i]));
    if (c != quint32(uchar(key[i]))) return std::nullopt;
  }
  const qint64 value = align4(keyAt + keySize);
  if (valueLength < fixedSize || value + fixedSize > length || !r.has(at + value, fixedSize)) return std::nullopt;
  const qint64 v = at + value;
  if (r.u32(v) != kFixedFileInfoSignature) return std::nullopt;
  FixedFileInfo info;
  info.fileVersionMS = r.u32(v + 8);
  info.fileVersionLS = r.u32(v + 12);
  info.productVersionMS = r.u32(v + 16);
  info.productVersionLS = r.u32(v + 20);
  info.fileFlags = r.u32(v + 24) & r.u32(v + 28);
  info.fileOS = r.u32(v + 32);
  info.fileType = r.u32(v + 36);
  info.fileSubtype = r.u32(v + 40);
  return info;
}

// The resource table of a 16-bit module: an alignment shift, then resource types each with
// their entries, ended by a type of 0. Integer types have their top bit set.
std::optional<FixedFileInfo> neVersion(Bytes& r, qint64 ne) {
  if (!r.has(ne, 0x40)) return std::nullopt;
  const qint64 table = ne + r.u16(ne + 0x24);
  if (r.u16(ne + 0x24) == r.u16(ne + 0x26) || !r.has(table, 2)) return std::nullopt;  // no resources
  const quint32 shift = r.u16(table);
  if (shift > 15) return std::nullopt;
  for (qint64 type = table + 2; r.has(type, 2) && r.u16(type) != 0;) {
    if (!r.has(type, 8)) return std::nullopt;
    const quint32 count = r.u16(type + 2);
    if (r.u16(type) == (0x8000u | kRtVersion)) {
      if (count == 0 || !r.has(type + 8, 12)) return std::nullopt;
      return versionBlock(r, qint64(r.u16(type + 8)) << shift, qint64(r.u16(type + 10)) << shift, false);
    }
    type += 8 + 12 * qint64(count);
  }
  return std::nullopt;
}

// The file offset of a relative virtual address, through the section table.
std::optional<qint64> peOffset(Bytes& r, qint64 sections, quint32 count, quint32 rva) {
  for (quint32 i = 0; i < count; ++i) {
    const qint64 s = sections + 40 * qint64(i);
    if (!r.has(s, 40)) return std::nullopt;
    const quint32 va = r.u32(s + 12), rawSize = r.u32(s + 16), raw = r.u32(s + 20);
    const quint32 span = std::max(r.u32(s + 8), rawSize);
    if (rva < va || rva - va >= span) continue;
    if (rva - va >= rawSize) return std::nullopt;  // in the section's zero fill: not in the file
    return qint64(raw) + (rva - va);
  }
  return std::nullopt;
}

// One level of the resource directory: the entry of `id`, or the first one when `id` is
// negative. Its offset (from the directory's start) and whether it leads to a further level.
std::optional<std::pair<qint64, bool>> resourceEntry(Bytes& r, qint64 root, qint64 dir, int id) {
  if (!r.has(dir, 16)) return std::nullopt;
  const qint64 entries = qint64(r.u16(dir + 12)) + r.u16(dir + 14);
  for (qint64 i = 0; i < entries; ++i) {
    const qint64 e = dir + 16 + 8 * i;
    if (!r.has(e, 8)) return std::nullopt;
    const quint32 name = r.u32(e), data = r.u32(e + 4);
    if (id >= 0 && name != quint32(id)) continue;
    return std::pair{root + (data & 0x7FFFFFFF), (data & 0x80000000u) != 0};
  }
  return std::nullopt;
}

// The resource directory of a 32-bit image: type, then name, then language; the first
// name and language of the version type count.
std::optional<FixedFileInfo> peVersion(Bytes& r, qint64 pe) {
  const qint64 coff = pe + 4;
  if (!r.has(coff, 20)) return std::nullopt;
  const quint32 sectionCount = r.u16(coff + 2);
  const qint64 optional = coff + 20, optionalSize = r.u16(coff + 16);
  if (!r.has(optional, 2)) return std::nullopt;
  const quint32 magic = r.u16(optional);
  const qint64 directories = magic == 0x10B ? 96 : magic == 0x20B ? 112 : -1;
  if (directories < 0 || directories + 3 * 8 > optionalSize || !r.has(optional + directories - 4, 4 + 3 * 8)) return std::nullopt;
  if (r.u32(optional + directories - 4) < 3) return std::nullopt;
  const quint32 resourceRva = r.u32(optional + directories + 16);
  if (resourceRva == 0) return std::nullopt;
  const qint64 sections = optional + optionalSize;
  const std::optional<qint64> root = peOffset(r, sections, sectionCount, resourceRva);
  if (!root) return std::nullopt;
  auto type = resourceEntry(r, *root, *root, kRtVersion);
  if (!type || !type->second) return std::nullopt;
  auto name = resourceEntry(r, *root, type->first, -1);
  if (!name || !name->second) return std::nullopt;
  auto language = resourceEntry(r, *root, name->first, -1);
  if (!language || language->second || !r.has(language->first, 16)) return std::nullopt;
  const std::optional<qint64> data = peOffset(r, sections, sectionCount, r.u32(language->first));
  if (!data) return std::nullopt;
  return versionBlock(r, *data, r.u32(language->first + 4), true);
}

}  // namespace

std::optional<FixedFileInfo> readFixedFileInfo(QByteArrayView head, qint64* needed) {
  Bytes r{head};
  std::optional<FixedFileInfo> info;
  if (r.has(0, 0x40) && head[0] == 'M' && head[1] == 'Z') {
    const qint64 header = r.u32(0x3C);
    if (r.has(header, 4)) {
      if (head[header] == 'N' && head[header + 1] == 'E')
        info = neVersion(r, header);
      else if (std::memcmp(head.data() + header, "PE\0\0", 4) == 0)
        info = peVersion(r, header);
    }
  }
  if (needed) *needed = info ? 0 : r.needed;
  return info;
}

std::optional<FixedFileInfo> fileVersionInfo(FileSystem& fs, QStringView winPath) {
  if (fs.isDirectory(winPath)) return std::nullopt;
  const qint64 size = fs.fileSize(winPath);
  qint64 want = std::min(size, kHeadBytes);
  // Each further read goes further into the file, so this ends.
  while (want > 0) {
    const std::optional<QByteArray> bytes = fs.readFile(winPath, want);
    if (!bytes) return std::nullopt;
    qint64 needed = 0;
    if (auto info = readFixedFileInfo(*bytes, &needed)) return info;
    if (needed <= bytes->size() || needed > size || bytes->size() < want) return std::nullopt;
    want = needed;
  }
  return std::nullopt;
}

}  // namespace vt
