#pragma once
// The three Windows 95 start and shut-down pictures: Windows bitmaps of 320 x 400 pixels
// in 256 colours, stored under ".sys" names (C:\LOGO.SYS, LOGOW.SYS and LOGOS.SYS in the
// Windows directory).
#include <QImage>
#include <QString>

namespace vt {

class FileSystem;

namespace logos {

inline constexpr int kWidth = 320;
inline constexpr int kHeight = 400;

// Reads a logo file as it is, without renaming it; a null image when it is missing or
// not a bitmap (`error` says which).
QImage load(FileSystem& fs, QStringView winPath, QString* error = nullptr);
// Any picture, scaled to 320 x 400 without keeping its proportions, in 256 colours.
QImage toLogo(const QImage& picture);
// Writes the logo as an uncompressed 8-bit Windows bitmap under its ".sys" name, replacing
// the file atomically, and leaves it read-only and hidden.
bool save(FileSystem& fs, QStringView winPath, const QImage& logo, QString* error = nullptr);

}  // namespace logos
}  // namespace vt
