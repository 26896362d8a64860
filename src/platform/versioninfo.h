// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The version a Windows program or library carries in its version resource, as
// GetFileVersionInfo and VerQueryValue("\") give it: the fixed part (VS_FIXEDFILEINFO) of
// the first version resource of a 16-bit NE or a 32-bit PE image. The bytes come from the
// machine folder, so the reader takes any of them: a damaged, cut-off or foreign file has
// no version, and nothing is ever read past the bytes given. Of a file only the head is
// read, and more only as far as its headers lead.
#include <QByteArrayView>
#include <QStringView>

#include <optional>

namespace vt {

class FileSystem;

inline constexpr quint32 kFixedFileInfoSignature = 0xFEEF04BD;

struct FixedFileInfo {
  quint32 fileVersionMS = 0, fileVersionLS = 0;  // 4.00.950: 0x00040000, 0x03B60000
  quint32 productVersionMS = 0, productVersionLS = 0;
  quint32 fileFlags = 0, fileOS = 0, fileType = 0, fileSubtype = 0;

  // 4.00.950 is major 4, minor 0, build 950.
  int major() const { return int(fileVersionMS >> 16); }
  int minor() const { return int(fileVersionMS & 0xFFFF); }
  int build() const { return int(fileVersionLS >> 16); }
  // Whether the file version is below major.minor.
  bool below(int major, int minor) const { return fileVersionMS < ((quint32(major) << 16) | quint32(minor)); }
};

// The fixed version of an executable whose first bytes are `head`. When the headers lead
// past the end of `head`, `needed` (when given) is set to how many bytes of the file the
// answer would take, so that a caller holding only the head can read that far and ask again.
std::optional<FixedFileInfo> readFixedFileInfo(QByteArrayView head, qint64* needed = nullptr);

// GetFileVersionInfo's fixed part for a file of the machine: nullopt when the file is
// missing, cannot be read, is no NE or PE image or has no version resource.
std::optional<FixedFileInfo> fileVersionInfo(FileSystem& fs, QStringView winPath);

}  // namespace vt
