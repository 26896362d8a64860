// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/image.h"

#include <QMouseEvent>
#include <QPainter>

TImage::TImage(QWidget* parent) : QWidget(parent) {}

void TImage::setPicture(const QImage& picture) {
  picture_ = picture;
  setTransparent(transparent_);
}

void TImage::setStretch(bool on) {
  stretch_ = on;
  update();
}

void TImage::setTransparent(bool on) {
  transparent_ = on;
  drawn_ = picture_;
  if (on && !picture_.isNull()) {
    drawn_ = picture_.convertToFormat(QImage::Format_ARGB32);
    const QRgb key = drawn_.pixel(0, 0);
    for (int y = 0; y < drawn_.height(); ++y) {
      auto* line = reinterpret_cast<QRgb*>(drawn_.scanLine(y));
      for (int x = 0; x < drawn_.width(); ++x)
        if (line[x] == key) line[x] = 0;
    }
  }
  update();
}

void TImage::setHint(const QString& hint) {
  hint_ = hint;
  setStatusTip(hint);
}

void TImage::paintEvent(QPaintEvent*) {
  if (drawn_.isNull()) return;
  QPainter p(this);
  if (stretch_)
    p.drawImage(rect(), drawn_);
  else
    p.drawImage(0, 0, drawn_);
}

void TImage::mousePressEvent(QMouseEvent* e) {
  if (e->button() == Qt::LeftButton) pressed_ = true;
}

void TImage::mouseReleaseEvent(QMouseEvent* e) {
  const bool click = pressed_ && e->button() == Qt::LeftButton && rect().contains(e->position().toPoint());
  pressed_ = false;
  if (click) emit clicked();
}
