#include "tuning/logos.h"

#include "platform/filesystem.h"

#include <QBuffer>

namespace vt::logos {

QImage load(FileSystem& fs, QStringView winPath, QString* error) {
  const auto bytes = fs.readFile(winPath);
  if (!bytes) {
    if (error) *error = describe(fs.lastError());
    return {};
  }
  // The ".sys" name tells the reader nothing; the contents are a Windows bitmap.
  QImage img = QImage::fromData(*bytes, "BMP");
  if (img.isNull() && error) *error = QStringLiteral("not a Windows bitmap");
  return img;
}

QImage toLogo(const QImage& picture) {
  if (picture.isNull()) return {};
  const QImage scaled = picture.convertToFormat(QImage::Format_RGB32)
                            .scaled(kWidth, kHeight, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
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
  if (fs.exists(winPath)) fs.setAttributes(winPath, 0);
  const bool ok = fs.writeFile(winPath, bytes);
  if (!ok && error) *error = describe(fs.lastError());
  // Windows keeps its logos read-only and hidden; so does a failed write leave them.
  if (fs.exists(winPath)) fs.setAttributes(winPath, AttrReadOnly | AttrHidden);
  return ok;
}

}  // namespace vt::logos
