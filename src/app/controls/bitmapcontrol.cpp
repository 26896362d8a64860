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
  m_caption = text;
  updateShortcut();
  updateStatusTip();
  updateGeometry();
  update();
}

void TBitmapControl::setHint(const QString& text) {
  m_hint = text;
  updateStatusTip();
}

void TBitmapControl::setGroupIndex(int group) {
  m_groupIndex = group;
  if (group == 0) {
    m_down = false;
  }
  update();
}

void TBitmapControl::setDown(bool down) {
  if (m_groupIndex == 0) {
    down = false;
  }
  if (down == m_down) {
    return;
  }
  m_down = down;
  if (down) {
    for (TBitmapControl* c : groupSiblings()) {
      if (c->m_down) {
        c->m_down = false;
        c->update();
      }
    }
  }
  update();
}

void TBitmapControl::setDropDownMenu(QMenu* menu) {
  m_menu = menu;
  update();
}

void TBitmapControl::setShowDownPattern(bool on) {
  m_showDownPattern = on;
  update();
}

void TBitmapControl::switchToEnglish() {
  setCaption(m_captionEng);
  setHint(m_hintEng);
}

void TBitmapControl::click() {
  if (isEnabled()) {
    emit clicked();
  }
}

QList<TBitmapControl*> TBitmapControl::groupSiblings() const {
  QList<TBitmapControl*> out;
  if (m_groupIndex == 0 || !parentWidget()) {
    return out;
  }
  // A button group and a check box group with the same number stay apart.
  for (QObject* o : parentWidget()->children()) {
    auto* c = qobject_cast<TBitmapControl*>(o);
    if (c && c != this && c->metaObject() == metaObject() && c->m_groupIndex == m_groupIndex) {
      out.append(c);
    }
  }
  return out;
}

void TBitmapControl::applyGroupClick() {
  if (m_groupIndex != 0 && !m_down) {
    setDown(true);
  }
}

void TBitmapControl::activate() {
  if (m_menu) {
    openDropDownMenu();
    return;
  }
  applyGroupClick();
  click();
}

void TBitmapControl::openDropDownMenu() { m_menu->popup(mapToGlobal(QPoint(0, height()))); }

void TBitmapControl::updateStatusTip() {
  // The window shows the hint of the control under the mouse in its status line; Qt hands
  // the status tip up to it on every Enter and clears it on Leave.
  setStatusTip(m_hint);
}

void TBitmapControl::updateShortcut() {
  if (m_shortcutId != 0) {
    releaseShortcut(m_shortcutId);
    m_shortcutId = 0;
  }
  const QKeySequence seq = QKeySequence::mnemonic(m_caption);
  if (!seq.isEmpty()) {
    m_shortcutId = grabShortcut(seq);
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
  m_over = true;
  update();
  emit entered();
}

void TBitmapControl::leaveEvent(QEvent* e) {
  QWidget::leaveEvent(e);
  if (!isEnabled()) {
    return;
  }
  m_over = false;
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
  if (m_menu) {
    openDropDownMenu();
    return;
  }
  // Qt grabs the mouse for the widget under a press until the release.
  m_pressed = true;
  if (showsPressedFace()) {
    m_over = true;
    update();
  }
}

void TBitmapControl::mouseMoveEvent(QMouseEvent* e) {
  if (!m_pressed || !showsPressedFace()) {
    QWidget::mouseMoveEvent(e);
    return;
  }
  const bool inside = rect().contains(e->position().toPoint());
  if (inside != m_over) {
    m_over = inside;
    update();
  }
}

void TBitmapControl::mouseReleaseEvent(QMouseEvent* e) {
  if (e->button() == Qt::RightButton) {
    QWidget::mouseReleaseEvent(e);
    update();
    return;
  }
  if (e->button() != Qt::LeftButton || !m_pressed) {
    QWidget::mouseReleaseEvent(e);
    return;
  }
  m_pressed = false;
  const bool inside = rect().contains(e->position().toPoint());
  if (showsPressedFace()) {
    m_over = inside;
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
    m_pressed = false;
    m_over = false;
    if (m_groupIndex == 0) {
      m_down = false;
    }
    update();
  } else if (e->type() == QEvent::FontChange) {
    updateGeometry();
  }
  QWidget::changeEvent(e);
}
