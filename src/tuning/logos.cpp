// SPDX-License-Identifier: GPL-3.0-or-later
#include "tuning/logos.h"

#include "platform/filesystem.h"

#include <QBuffer>
#include <QImageReader>

namespace vt::logos {

QString path(int panel, const QString& windowsDirectory) {
  switch (panel) {
    case 1: return QStringLiteral("C:\\LOGO.SYS");
    case 2: return windowsDirectory + QStringLiteral("\\LOGOW.SYS");
    case 3: return windowsDirectory + QStringLiteral("\\LOGOS.SYS");
    default: return {};
  }
}

bool changeable(int panel, bool fileExists) { return panel == 1 || ((panel == 2 || panel == 3) && fileExists); }

QImage load(FileSystem& fs, QStringView winPath, QString* error) {
  const auto bytes = fs.readFile(winPath);
  if (!bytes) {
    if (error) *error = describe(fs.lastError());
    return {};
  }
  // The ".sys" name tells the reader nothing; the contents are a Windows bitmap, and read as
  // nothing else: left to guess, Qt would load every image plug-in it has and let each try
  // the machine's bytes.
  QBuffer buffer;
  buffer.setData(*bytes);
  QImageReader reader(&buffer, "bmp");
  reader.setAutoDetectImageFormat(false);
  QImage img = reader.read();
  if (img.isNull() && error) *error = QStringLiteral("not a Windows bitmap");
  return img;
}

QImage toLogo(const QImage& picture) {
  if (picture.isNull()) return {};
  const QImage scaled =
      picture.convertToFormat(QImage::Format_RGB32).scaled(kWidth, kHeight, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  return scaled.convertToFormat(QImage::Format_Indexed8, Qt::DiffuseDither | Qt::PreferDither);
}

bool save(FileSystem& fs, QStringView winPath, const QImage& logo, QString* error) {
  QImage eightBit = logo.format() == QImage::Format_Indexed8 ? logo : toLogo(logo);
  if (eightBit.size() != QSize(kWidth, kHeight)) eightBit = toLogo(eightBit);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  if (!eightBit.save(&buffer, "BMP")) {
    if (error) *error = QStringLiteral("the picture could not be encoded");
    return false;
  }
  const quint32 before = fs.attributes(winPath);
  if (before != kInvalidAttributes && !fs.setAttributes(winPath, 0)) {
    if (error) *error = describe(fs.lastError());
    return false;
  }
  const bool ok = fs.writeFile(winPath, bytes);
  if (!ok && error) *error = describe(fs.lastError());
  // Windows keeps its logos read-only and hidden, and a file just written carries the
  // archive bit; a logo that could not be replaced keeps what it had, attributes included.
  if (ok)
    fs.setAttributes(winPath, AttrReadOnly | AttrHidden | AttrArchive);
  else if (before != kInvalidAttributes)
    fs.setAttributes(winPath, before);
  return ok;
}

int saveChanged(FileSystem& fs, const QString& windowsDirectory, const std::array<QImage, kPanels>& pictures, QString* error) {
  for (int panel = 1; panel <= kPanels; ++panel) {
    const QImage& picture = pictures[size_t(panel - 1)];
    if (!picture.isNull() && !save(fs, path(panel, windowsDirectory), picture, error)) return panel;
  }
  return 0;
}

}  // namespace vt::logos
