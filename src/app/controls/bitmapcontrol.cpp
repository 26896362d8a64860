// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/controls/bitmapcontrol.h"

#include "app/controls/bitmaputil.h"

#include <QKeyEvent>
#include <QKeySequence>
#include <QMouseEvent>
#include <QPainter>

TBitmapControl::TBitmapControl(QWidget* parent) : QWidget(parent) {
  // Mouse clicks must not move the focus (the window has no visible focus in its design),
  // but keyboard users can still tab to a control.
  setFocusPolicy(Qt::TabFocus);
}

void TBitmapControl::setCaption(const QString& text) {
  caption_ = text;
  updateShortcut();
  updateStatusTip();
  updateGeometry();
  update();
}

void TBitmapControl::setHint(const QString& text) {
  hint_ = text;
  updateStatusTip();
}

void TBitmapControl::setGroupIndex(int group) {
  groupIndex_ = group;
  if (group == 0) {
    down_ = false;
  }
  update();
}

void TBitmapControl::setDown(bool down) {
  if (groupIndex_ == 0) {
    down = false;
  }
  if (down == down_) {
    return;
  }
  down_ = down;
  if (down) {
    for (TBitmapControl* c : groupSiblings()) {
      if (c->down_) {
        c->down_ = false;
        c->update();
      }
    }
  }
  update();
}

void TBitmapControl::setDropDownMenu(QMenu* menu) {
  menu_ = menu;
  update();
}

void TBitmapControl::setShowDownPattern(bool on) {
  showDownPattern_ = on;
  update();
}

void TBitmapControl::switchToEnglish() {
  setCaption(captionEng_);
  setHint(hintEng_);
}

void TBitmapControl::click() {
  if (isEnabled()) {
    emit clicked();
  }
}

QList<TBitmapControl*> TBitmapControl::groupSiblings() const {
  QList<TBitmapControl*> out;
  if (groupIndex_ == 0 || !parentWidget()) {
    return out;
  }
  // A button group and a check box group with the same number stay apart.
  for (QObject* o : parentWidget()->children()) {
    auto* c = qobject_cast<TBitmapControl*>(o);
    if (c && c != this && c->metaObject() == metaObject() && c->groupIndex_ == groupIndex_) {
      out.append(c);
    }
  }
  return out;
}

void TBitmapControl::applyGroupClick() {
  if (groupIndex_ != 0 && !down_) {
    setDown(true);
  }
}

void TBitmapControl::activate() {
  if (menu_) {
    openDropDownMenu();
    return;
  }
  applyGroupClick();
  click();
}

void TBitmapControl::openDropDownMenu() { menu_->popup(mapToGlobal(QPoint(0, height()))); }

void TBitmapControl::updateStatusTip() {
  // The window shows the hint of the control under the mouse in its status line; Qt hands
  // the status tip up to it on every Enter and clears it on Leave.
  setStatusTip(hint_);
}

void TBitmapControl::updateShortcut() {
  if (shortcutId_ != 0) {
    releaseShortcut(shortcutId_);
    shortcutId_ = 0;
  }
  const QKeySequence seq = QKeySequence::mnemonic(caption_);
  if (!seq.isEmpty()) {
    shortcutId_ = grabShortcut(seq);
  }
}

void TBitmapControl::paintEvent(QPaintEvent*) {
  QPainter p(this);
  paintControl(p);
  if (hasFocus()) {
    vt::skin::drawFocusFrame(p, this);
  }
}

bool TBitmapControl::event(QEvent* e) {
  if (e->type() == QEvent::Shortcut) {
    if (isEnabled() && isVisible()) {
      activate();
    }
    return true;
  }
  return QWidget::event(e);
}

void TBitmapControl::enterEvent(QEnterEvent* e) {
  QWidget::enterEvent(e);
  if (!isEnabled()) {
    return;
  }
  over_ = true;
  update();
  emit entered();
}

void TBitmapControl::leaveEvent(QEvent* e) {
  QWidget::leaveEvent(e);
  if (!isEnabled()) {
    return;
  }
  over_ = false;
  update();
  emit exited();
}

void TBitmapControl::mousePressEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton || !isEnabled() || !isVisible()) {
    QWidget::mousePressEvent(e);
    return;
  }
  if (!window()->isActiveWindow()) {
    window()->activateWindow();
  }
  if (menu_) {
    openDropDownMenu();
    return;
  }
  // Qt grabs the mouse for the widget under a press until the release.
  pressed_ = true;
  if (showsPressedFace()) {
    over_ = true;
    update();
  }
}

void TBitmapControl::mouseMoveEvent(QMouseEvent* e) {
  if (!pressed_ || !showsPressedFace()) {
    QWidget::mouseMoveEvent(e);
    return;
  }
  const bool inside = rect().contains(e->position().toPoint());
  if (inside != over_) {
    over_ = inside;
    update();
  }
}

void TBitmapControl::mouseReleaseEvent(QMouseEvent* e) {
  if (e->button() == Qt::RightButton) {
    QWidget::mouseReleaseEvent(e);
    update();
    return;
  }
  if (e->button() != Qt::LeftButton || !pressed_) {
    QWidget::mouseReleaseEvent(e);
    return;
  }
  pressed_ = false;
  const bool inside = rect().contains(e->position().toPoint());
  if (showsPressedFace()) {
    over_ = inside;
  }
  // The group reacts even to a press that was dragged out: only the click is withheld.
  applyGroupClick();
  update();
  if (inside) {
    click();
  }
}

void TBitmapControl::keyPressEvent(QKeyEvent* e) {
  if (!e->isAutoRepeat() && isActivationKey(e->key())) {
    activate();
    return;
  }
  QWidget::keyPressEvent(e);
}

void TBitmapControl::changeEvent(QEvent* e) {
  if (e->type() == QEvent::EnabledChange) {
    pressed_ = false;
    over_ = false;
    if (groupIndex_ == 0) {
      down_ = false;
    }
    update();
  } else if (e->type() == QEvent::FontChange) {
    updateGeometry();
  }
  QWidget::changeEvent(e);
}
