// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The user's twelve preferences and the file that keeps them. Seven of them are copied into
// option flags that the sections read, so that a box ticked on the options page takes
// effect only once the user moves on to a section.
#include <QString>

#include <array>
#include <optional>

namespace vt {

class FileSystem;

inline constexpr const char* kOptionsFileName = "OPTIONS.OPT";

// The twelve boxes, in the order of the file's lines.
inline constexpr int kOptionCount = 12;
using OptionBoxes = std::array<bool, kOptionCount>;
inline constexpr std::array<const char*, kOptionCount> kOptionBoxNames = {
    "Checkbox_ExtTMP",     "Checkbox_sichern",   "checkbox_loeschen", "CheckBox_DISK", "Checkbox_CDROM", "Checkbox_Netzwerk",
    "CheckBox_REPLACEREG", "Checkbox_Shortcuts", "Checkbox_MSCREATE", "Checkbox_GID",  "Checkbox_TEMP",  "Checkbox_Win3x",
};

// The seven option flags; the first seven boxes, each 0 or 1.
struct OptionFlags {
  unsigned char extendedTempSearch = 0;
  unsigned char saveOptions = 0;
  unsigned char recycle = 0;
  unsigned char floppyShortcuts = 0;
  unsigned char cdromShortcuts = 0;
  unsigned char networkShortcuts = 0;
  unsigned char replaceRegistry = 0;
};

OptionFlags flagsFrom(const OptionBoxes& boxes);

QString optionsFilePath(const QString& programDirectory);

// The boxes from the file, or nothing when the file is missing, unreadable or holds fewer
// than twelve lines. Only a line that is exactly "1" ticks its box; lines after the
// twelfth are ignored.
std::optional<OptionBoxes> readOptionsFile(FileSystem& fs, const QString& programDirectory);

// Writes the twelve lines, replacing the file as a whole (its attributes are lifted first,
// so a read-only copy is overwritten too). False, with the file system's error set, when
// it could not be written.
bool writeOptionsFile(FileSystem& fs, const QString& programDirectory, const OptionBoxes& boxes);

}  // namespace vt
