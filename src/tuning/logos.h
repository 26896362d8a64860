// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The three Windows 95 start and shut-down pictures: Windows bitmaps of 320 x 400 pixels
// in 256 colours, stored under ".sys" names (C:\LOGO.SYS, LOGOW.SYS and LOGOS.SYS in the
// Windows directory).
#include <QImage>
#include <QString>

#include <array>

namespace vt {

class FileSystem;

namespace logos {

inline constexpr int kWidth = 320;
inline constexpr int kHeight = 400;

// The panels, in the order start-up loads them and apply saves them.
inline constexpr int kPanels = 3;
// Where a panel's logo lives: 1 the boot logo C:\LOGO.SYS, 2 the shut-down picture and 3
// the switch-off picture in the Windows directory; empty for any other number.
QString path(int panel, const QString& windowsDirectory);
// Windows shows its own boot logo when C:\LOGO.SYS is missing, so one can be added; the
// shut-down pictures exist only where the file does, so only an existing one is replaced.
bool changeable(int panel, bool fileExists);

// Reads a logo file as it is, without renaming it; a null image when it is missing or
// not a bitmap (`error` says which).
QImage load(FileSystem& fs, QStringView winPath, QString* error = nullptr);
// Any picture, scaled to 320 x 400 without keeping its proportions, in 256 colours.
QImage toLogo(const QImage& picture);
// Writes the logo as an uncompressed 8-bit Windows bitmap under its ".sys" name, replacing
// the file atomically, and leaves it read-only and hidden.
bool save(FileSystem& fs, QStringView winPath, const QImage& logo, QString* error = nullptr);
// Saves the panels holding a picture (a null image is a panel the user left alone), in
// panel order, and stops at the first that cannot be written: its number, or 0 when all
// were saved.
int saveChanged(FileSystem& fs, const QString& windowsDirectory, const std::array<QImage, kPanels>& pictures,
                QString* error = nullptr);

}  // namespace logos
}  // namespace vt
