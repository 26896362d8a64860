// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/updown.h"

#include <QKeyEvent>
#include <QPainter>
#include <QStyleOption>

#include <algorithm>

TUpDown::TUpDown(QWidget* parent) : QWidget(parent) { setFocusPolicy(Qt::StrongFocus); }

void TUpDown::setPosition(int position) {
  position_ = std::clamp(position, min_, std::max(min_, max_));
  update();
}

void TUpDown::setMinimum(int v) {
  min_ = v;
  setPosition(position_);
}

void TUpDown::setMaximum(int v) {
  max_ = v;
  setPosition(position_);
}

void TUpDown::step(int delta) {
  const int before = position_;
  setPosition(int(std::clamp<qint64>(qint64(position_) + delta, min_, max_)));
  if (position_ != before) emit positionChanged(position_);
}

void TUpDown::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const int half = height() / 2;
  for (int i = 0; i < 2; ++i) {
    QStyleOptionButton opt;
    opt.initFrom(this);
    opt.rect = QRect(0, i * half, width(), i == 0 ? half : height() - half);
    opt.state |= QStyle::State_Raised;
    style()->drawControl(QStyle::CE_PushButtonBevel, &opt, &p, this);
    QStyleOption arrow;
    arrow.initFrom(this);
    arrow.rect = opt.rect.adjusted(2, 1, -2, -1);
    style()->drawPrimitive(i == 0 ? QStyle::PE_IndicatorArrowUp : QStyle::PE_IndicatorArrowDown, &arrow, &p, this);
  }
}

void TUpDown::mousePressEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton) return;
  if (e->position().y() < height() / 2)
    stepUp();
  else
    stepDown();
}

void TUpDown::keyPressEvent(QKeyEvent* e) {
  switch (e->key()) {
    case Qt::Key_Up: stepUp(); break;
    case Qt::Key_Down: stepDown(); break;
    case Qt::Key_PageUp: step(10 * increment_); break;
    case Qt::Key_PageDown: step(-10 * increment_); break;
    case Qt::Key_Home: step(min_ - position_); break;
    case Qt::Key_End: step(max_ - position_); break;
    default: QWidget::keyPressEvent(e);
  }
}

void TUpDown::wheelEvent(QWheelEvent* e) {
  if (e->angleDelta().y() > 0)
    stepUp();
  else if (e->angleDelta().y() < 0)
    stepDown();
}
