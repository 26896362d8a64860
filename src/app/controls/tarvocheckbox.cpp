#include "app/controls/tarvocheckbox.h"

#include "app/controls/bitmaputil.h"

#include <QKeyEvent>
#include <QKeySequence>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace {

// Gap between the check picture and the caption.
constexpr int kCaptionGap = 4;

}  // namespace

TTarvoCheckBox::TTarvoCheckBox(QWidget* parent) : QWidget(parent) { setFocusPolicy(Qt::TabFocus); }

void TTarvoCheckBox::setBitmapNoFocus(const QImage& img) {
  m_faceAway = img;
  updateGeometry();
  update();
}

void TTarvoCheckBox::setBitmap(const QImage& img) {
  m_faceOver = img;
  update();
}

void TTarvoCheckBox::setBitmapNoFocusChecked(const QImage& img) {
  m_faceAwayChecked = img;
  update();
}

void TTarvoCheckBox::setBitmapChecked(const QImage& img) {
  m_faceOverChecked = img;
  update();
}

void TTarvoCheckBox::setCaption(const QString& text) {
  m_caption = text;
  updateShortcut();
  updateGeometry();
  update();
}

void TTarvoCheckBox::setHint(const QString& text) {
  m_hint = text;
  setStatusTip(text);  // the window's status line shows it while the mouse is over the box
}

void TTarvoCheckBox::setGroupIndex(int group) {
  m_groupIndex = group;
  if (group == 0) {
    m_down = false;
  }
  update();
}

void TTarvoCheckBox::setDown(bool down) {
  if (m_groupIndex == 0) {
    down = false;
  }
  if (down == m_down) {
    return;
  }
  m_down = down;
  if (down) {
    for (TTarvoCheckBox* b : groupSiblings()) {
      if (b->m_down) {
        b->m_down = false;
        b->update();
      }
    }
  }
  update();
}

void TTarvoCheckBox::setChecked(bool on) {
  m_checked = on;
  update();
}

void TTarvoCheckBox::setGrayed(bool on) {
  m_grayed = on;
  setEnabled(!on);
  update();
}

void TTarvoCheckBox::setShowDownPattern(bool on) {
  m_showDownPattern = on;
  update();
}

void TTarvoCheckBox::runSwitch(int mode) {
  if (switchHandler) {
    switchHandler(mode);
  }
}

void TTarvoCheckBox::switchToEnglish() { setCaption(m_captionEng); }

QSize TTarvoCheckBox::sizeHint() const {
  const QFontMetrics fm = fontMetrics();
  const int textLeft = m_faceAway.isNull() ? 0 : m_faceAway.width() + kCaptionGap;
  const QSize text = fm.size(Qt::TextShowMnemonic, m_caption);
  return {textLeft + text.width(), std::max(m_faceAway.height(), fm.height())};
}

void TTarvoCheckBox::click() {
  if (!isEnabled()) {
    return;
  }
  QPointer<TTarvoCheckBox> self(this);
  emit clicked();
  if (self) {
    setChecked(!m_checked);
  }
}

QList<TTarvoCheckBox*> TTarvoCheckBox::groupSiblings() const {
  QList<TTarvoCheckBox*> out;
  if (m_groupIndex == 0 || !parentWidget()) {
    return out;
  }
  for (QObject* o : parentWidget()->children()) {
    auto* b = qobject_cast<TTarvoCheckBox*>(o);
    if (b && b != this && b->m_groupIndex == m_groupIndex) {
      out.append(b);
    }
  }
  return out;
}

void TTarvoCheckBox::activate() {
  if (m_menu) {
    openDropDownMenu();
    return;
  }
  // Unlike the button there is no "all up": a second click leaves a latched box latched.
  if (m_groupIndex != 0 && !m_down) {
    setDown(true);
  }
  click();
}

void TTarvoCheckBox::openDropDownMenu() { m_menu->popup(mapToGlobal(QPoint(0, height()))); }

void TTarvoCheckBox::updateShortcut() {
  if (m_shortcutId != 0) {
    releaseShortcut(m_shortcutId);
    m_shortcutId = 0;
  }
  const QKeySequence seq = QKeySequence::mnemonic(m_caption);
  if (!seq.isEmpty()) {
    m_shortcutId = grabShortcut(seq);
  }
}

void TTarvoCheckBox::paintEvent(QPaintEvent*) {
  QPainter p(this);
  if (!m_down) {
    const QImage& face = m_checked ? (m_mouseOver ? m_faceOverChecked : m_faceAwayChecked)
                                   : (m_mouseOver ? m_faceOver : m_faceAway);
    vt::skin::drawKeyed(p, QPoint(0, 0), face);
    if (m_grayed && m_showDownPattern && !m_faceAway.isNull()) {
      // Works on the raster engine the widgets paint with: black turns every second pixel
      // of the picture black, white leaves the rest untouched.
      p.setCompositionMode(QPainter::RasterOp_SourceAndDestination);
      p.drawImage(QPoint(0, 0), vt::skin::checkerMask(m_faceAway));
      p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    }
  }
  if (!m_caption.isEmpty()) {
    const int left = m_faceAway.isNull() ? 0 : m_faceAway.width() + kCaptionGap;
    const int top = vt::skin::captionTop(height(), font());
    p.setPen(palette().color(QPalette::Active, QPalette::WindowText));
    p.drawText(QRect(left, top, std::max(0, width() - left), fontMetrics().height()),
               Qt::AlignLeft | Qt::AlignTop | Qt::TextShowMnemonic | Qt::TextDontClip, m_caption);
  }
  if (hasFocus()) {
    vt::skin::drawFocusFrame(p, this);
  }
}

bool TTarvoCheckBox::event(QEvent* e) {
  if (e->type() == QEvent::Shortcut) {
    if (isEnabled() && isVisible()) {
      activate();
    }
    return true;
  }
  return QWidget::event(e);
}

void TTarvoCheckBox::enterEvent(QEnterEvent* e) {
  QWidget::enterEvent(e);
  if (!isEnabled()) {
    return;
  }
  m_mouseOver = true;
  update();
  emit entered();
}

void TTarvoCheckBox::leaveEvent(QEvent* e) {
  QWidget::leaveEvent(e);
  if (!isEnabled()) {
    return;
  }
  m_mouseOver = false;
  update();
  emit exited();
}

void TTarvoCheckBox::mousePressEvent(QMouseEvent* e) {
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
  // No pressed picture exists, so the face stays as it is until the release.
  m_pressed = true;
}

void TTarvoCheckBox::mouseReleaseEvent(QMouseEvent* e) {
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
  if (m_groupIndex != 0 && !m_down) {
    setDown(true);
  }
  if (inside) {
    click();
  }
}

void TTarvoCheckBox::keyPressEvent(QKeyEvent* e) {
  if (!e->isAutoRepeat() && e->key() == Qt::Key_Space) {
    activate();
    return;
  }
  QWidget::keyPressEvent(e);
}

void TTarvoCheckBox::changeEvent(QEvent* e) {
  if (e->type() == QEvent::EnabledChange) {
    m_pressed = false;
    m_mouseOver = false;
    if (m_groupIndex == 0) {
      m_down = false;
    }
    update();
  } else if (e->type() == QEvent::FontChange) {
    updateGeometry();
  }
  QWidget::changeEvent(e);
}
