// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/image.h"

#include "app/formloader.h"

#include <QMouseEvent>
#include <QPainter>

TImage::TImage(QWidget* parent) : QWidget(parent) {}

void TImage::setPicture(const QImage& picture) {
  pending_.clear();
  picture_ = picture;
  makeDrawn();
  update();
}

void TImage::setSkinPicture(const QString& name) {
  pending_ = name;
  picture_ = drawn_ = QImage();
  update();
}

void TImage::resolveNow() const {
  picture_ = vt::skinPicture(pending_);
  pending_.clear();
  makeDrawn();
}

void TImage::setStretch(bool on) {
  stretch_ = on;
  update();
}

void TImage::setTransparent(bool on) {
  transparent_ = on;
  if (pending_.isEmpty()) makeDrawn();
  update();
}

void TImage::makeDrawn() const {
  drawn_ = picture_;
  if (transparent_ && !picture_.isNull()) {
    drawn_ = picture_.convertToFormat(QImage::Format_ARGB32);
    const QRgb key = drawn_.pixel(0, 0);
    for (int y = 0; y < drawn_.height(); ++y) {
      auto* line = reinterpret_cast<QRgb*>(drawn_.scanLine(y));
      for (int x = 0; x < drawn_.width(); ++x)
        if (line[x] == key) line[x] = 0;
    }
  }
}

void TImage::setHint(const QString& hint) {
  hint_ = hint;
  setStatusTip(hint);
}

void TImage::paintEvent(QPaintEvent*) {
  resolve();
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
