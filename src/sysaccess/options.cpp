// SPDX-License-Identifier: GPL-3.0-or-later
#include "sysaccess/options.h"

#include "platform/filesystem.h"
#include "platform/text.h"

namespace vt {

OptionFlags flagsFrom(const OptionBoxes& b) {
  OptionFlags f;
  f.extendedTempSearch = b[0];
  f.saveOptions = b[1];
  f.recycle = b[2];
  f.floppyShortcuts = b[3];
  f.cdromShortcuts = b[4];
  f.networkShortcuts = b[5];
  f.replaceRegistry = b[6];
  return f;
}

QString optionsFilePath(const QString& programDirectory) {
  return programDirectory + QLatin1Char('\\') + QLatin1String(kOptionsFileName);
}

std::optional<OptionBoxes> readOptionsFile(FileSystem& fs, const QString& programDirectory) {
  const QString path = optionsFilePath(programDirectory);
  if (!fs.isFile(path)) return std::nullopt;
  const auto bytes = fs.readFile(path);
  if (!bytes) return std::nullopt;
  const QList<QByteArray> lines = splitLines(*bytes);
  if (lines.size() < kOptionCount) return std::nullopt;
  OptionBoxes boxes{};
  for (int i = 0; i < kOptionCount; ++i) boxes[size_t(i)] = lines[i] == "1";
  return boxes;
}

bool writeOptionsFile(FileSystem& fs, const QString& programDirectory, const OptionBoxes& boxes) {
  const QString path = optionsFilePath(programDirectory);
  QList<QByteArray> lines;
  for (bool on : boxes) lines << (on ? "1" : "0");
  // Most ends of the program save what was read at its start: a file that already holds it
  // is left as it is, so that opening and closing the window changes nothing on the
  // machine (and nothing for a disk image's export to write back).
  const QByteArray text = joinLinesCrLf(lines);
  if (const auto held = fs.readFile(path); held && *held == text) return true;
  if (fs.exists(path)) fs.setAttributes(path, 0);
  if (!fs.exists(programDirectory) && !fs.createDirectories(programDirectory)) return false;
  return fs.writeFile(path, text);
}

}  // namespace vt
