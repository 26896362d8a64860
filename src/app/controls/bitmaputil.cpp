// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/controls/bitmaputil.h"

#include <QCache>
#include <QFontInfo>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <QWidget>

namespace vt::skin {
namespace {

// Costs are in KiB; a few MiB hold every picture of the window with room to spare.
constexpr int kCacheKiB = 8 * 1024;

int costOf(const QImage& img) { return int(img.sizeInBytes() / 1024) + 1; }

// cacheKey() names the picture's data (it changes on detach and is never reused), so a key
// cannot come to mean a different picture while it sits in the cache.
QCache<qint64, QImage>& keyedCache() {
  static QCache<qint64, QImage> cache(kCacheKiB);
  return cache;
}

QCache<qint64, QImage>& maskCache() {
  static QCache<qint64, QImage> cache(kCacheKiB);
  return cache;
}

}  // namespace

QImage keyedImage(const QImage& picture) {
  if (picture.isNull()) {
    return {};
  }
  if (const QImage* hit = keyedCache().object(picture.cacheKey())) {
    return *hit;
  }
  QImage out = picture.convertToFormat(QImage::Format_ARGB32);
  const QRgb key = out.pixel(0, 0);
  for (int y = 0; y < out.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
    for (int x = 0; x < out.width(); ++x) {
      if (line[x] == key) {
        line[x] = 0;
      }
    }
  }
  keyedCache().insert(picture.cacheKey(), new QImage(out), costOf(out));
  return out;
}

void drawKeyed(QPainter& p, QPoint pos, const QImage& picture) {
  if (!picture.isNull()) {
    p.drawImage(pos, keyedImage(picture));
  }
}

QBrush ditherBrush(const QColor& face, const QColor& highlight) {
  QImage pattern(8, 8, QImage::Format_RGB32);
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) {
      pattern.setPixel(x, y, (x % 2 == y % 2 ? highlight : face).rgb());
    }
  }
  return QBrush(pattern);
}

bool isDarkForEmboss(QRgb pixel) { return qGray(pixel) < 128; }

QImage embossed(const QImage& picture, const QColor& highlight, const QColor& shadow) {
  if (picture.isNull()) {
    return {};
  }
  const QImage src = picture.convertToFormat(QImage::Format_ARGB32);
  const QRgb key = src.pixel(0, 0);
  auto dark = [&](int x, int y) {
    const QRgb c = src.pixel(x, y);
    return c != key && isDarkForEmboss(c);
  };
  QImage out(src.size(), QImage::Format_ARGB32);
  out.fill(Qt::transparent);
  // Highlight first, so that the shadow copy wins where the two overlap.
  for (int y = 0; y + 1 < src.height(); ++y) {
    for (int x = 0; x + 1 < src.width(); ++x) {
      if (dark(x, y)) {
        out.setPixel(x + 1, y + 1, highlight.rgb());
      }
    }
  }
  for (int y = 0; y < src.height(); ++y) {
    for (int x = 0; x < src.width(); ++x) {
      if (dark(x, y)) {
        out.setPixel(x, y, shadow.rgb());
      }
    }
  }
  return out;
}

QImage shaded(const QImage& picture, const Shading& shading, const QColor& highlight, const QColor& shadow) {
  if (picture.isNull()) {
    return {};
  }
  QImage out = picture.convertToFormat(QImage::Format_ARGB32);
  const QRgb key = out.pixel(0, 0);
  for (int y = 0; y < out.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
    for (int x = 0; x < out.width(); ++x) {
      if (line[x] == key) {
        continue;
      }
      const int sum = qRed(line[x]) + qGreen(line[x]) + qBlue(line[x]);
      if (sum > shading.upper) {
        line[x] = qRgb(255, 255, 255);
      } else if (sum > shading.middle) {
        line[x] = highlight.rgb();
      } else if (sum > shading.lower) {
        line[x] = shadow.rgb();
      } else {
        line[x] = qRgb(0, 0, 0);
      }
    }
  }
  return out;
}

QImage checkerMask(const QImage& picture) {
  if (picture.isNull()) {
    return {};
  }
  if (const QImage* hit = maskCache().object(picture.cacheKey())) {
    return *hit;
  }
  const QImage src = picture.convertToFormat(QImage::Format_ARGB32);
  const QRgb key = src.pixel(0, 0);
  QImage mask(src.size(), QImage::Format_RGB32);
  for (int y = 0; y < src.height(); ++y) {
    for (int x = 0; x < src.width(); ++x) {
      const bool black = x % 2 == y % 2 && src.pixel(x, y) != key;
      mask.setPixel(x, y, black ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
    }
  }
  maskCache().insert(picture.cacheKey(), new QImage(mask), costOf(mask));
  return mask;
}

int captionTop(int controlHeight, const QFont& font) {
  int points = font.pointSize();
  if (points <= 0) {  // a font given in pixels
    points = QFontInfo(font).pointSize();
  }
  return controlHeight / 2 - points;
}

void drawFocusFrame(QPainter& p, const QWidget* w) {
  QStyleOptionFocusRect opt;
  opt.initFrom(w);
  opt.rect = w->rect().adjusted(2, 2, -2, -2);
  w->style()->drawPrimitive(QStyle::PE_FrameFocusRect, &opt, &p, w);
}

}  // namespace vt::skin
