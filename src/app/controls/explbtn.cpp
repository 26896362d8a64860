#include "app/controls/explbtn.h"

#include <QKeyEvent>
#include <QKeySequence>
#include <QMouseEvent>
#include <QPainter>
#include <QPolygon>

#include <algorithm>

namespace {

// Gap between picture and caption box when both take part in the layout.
constexpr int kSpacing = 4;

}  // namespace

TExplorerButton::TExplorerButton(QWidget* parent) : QWidget(parent) {
  // Mouse clicks must not move the focus (the window has no visible focus in its design),
  // but keyboard users can still tab to a button.
  setFocusPolicy(Qt::TabFocus);
  m_unselectedFontColor = palette().color(QPalette::WindowText);
  resize(50, 40);
}

void TExplorerButton::setAlignment(TAlignment a) {
  m_alignment = a;
  update();
}

void TExplorerButton::setAllowAllUp(bool on) {
  m_allowAllUp = on;
  for (TExplorerButton* b : groupSiblings()) {
    b->m_allowAllUp = on;
  }
}

void TExplorerButton::setNoFocusBitmap(const QImage& img) {
  m_noFocus = img;
  update();
}

void TExplorerButton::setBitmap(const QImage& img) {
  m_bitmap = img;
  m_generatedNoFocus = QImage();
  updateGeometry();
  update();
}

void TExplorerButton::setDisabledBitmap(const QImage& img) {
  m_disabled = img;
  update();
}

void TExplorerButton::setStoredNoFocusBitmap(const QImage& img) {
  m_storedNoFocus = img;
  update();
}

void TExplorerButton::setCaption(const QString& text) {
  m_caption = text;
  updateShortcut();
  updateStatusTip();
  updateGeometry();
  update();
}

void TExplorerButton::setHint(const QString& text) {
  m_hint = text;
  updateStatusTip();
}

void TExplorerButton::setGroupIndex(int group) {
  m_groupIndex = group;
  if (group == 0) {
    m_down = false;
  }
  update();
}

void TExplorerButton::setDown(bool down) {
  if (m_groupIndex == 0) {
    down = false;
  }
  if (down == m_down) {
    return;
  }
  m_down = down;
  if (down) {
    for (TExplorerButton* b : groupSiblings()) {
      if (b->m_down) {
        b->m_down = false;
        b->update();
      }
    }
  }
  update();
}

void TExplorerButton::setDropDownMenu(QMenu* menu) {
  m_menu = menu;
  update();
}

void TExplorerButton::setButtonLayout(TButtonLayout l) {
  m_layout = l;
  update();
}

void TExplorerButton::setOptions(TButtonOptions o) {
  m_options = o;
  updateStatusTip();
  update();
}

void TExplorerButton::setShadingType(TShadingType s) {
  m_shading = s;
  m_generatedNoFocus = QImage();
  update();
}

void TExplorerButton::setShowDownPattern(bool on) {
  m_showDownPattern = on;
  update();
}

vt::skin::Shading TExplorerButton::shadingFor(TShadingType type) {
  switch (type) {
    case stLight:
      return {205, 127, 68};
    case stDark:
      return {335, 274, 175};
    case stMedium:
      break;
  }
  return {553, 231, 57};
}

QImage TExplorerButton::effectiveNoFocusBitmap() const {
  if (!m_noFocus.isNull()) {
    return m_noFocus;
  }
  if (!m_storedNoFocus.isNull()) {
    return m_storedNoFocus;
  }
  if (m_generatedNoFocus.isNull() && !m_bitmap.isNull()) {
    m_generatedNoFocus = vt::skin::shaded(m_bitmap, shadingFor(m_shading), palette().color(QPalette::Light),
                                          palette().color(QPalette::Dark));
  }
  return m_generatedNoFocus;
}

void TExplorerButton::switchToEnglish() {
  setCaption(m_captionEng);
  setHint(m_hintEng);
}

QSize TExplorerButton::sizeHint() const { return m_bitmap.isNull() ? QSize(50, 40) : m_bitmap.size(); }

void TExplorerButton::click() {
  if (isEnabled()) {
    emit clicked();
  }
}

QList<TExplorerButton*> TExplorerButton::groupSiblings() const {
  QList<TExplorerButton*> out;
  if (m_groupIndex == 0 || !parentWidget()) {
    return out;
  }
  for (QObject* o : parentWidget()->children()) {
    auto* b = qobject_cast<TExplorerButton*>(o);
    if (b && b != this && b->m_groupIndex == m_groupIndex) {
      out.append(b);
    }
  }
  return out;
}

void TExplorerButton::applyGroupClick() {
  if (m_groupIndex == 0) {
    return;
  }
  if (!m_down) {
    setDown(true);
  } else if (m_allowAllUp) {
    setDown(false);
  }
}

void TExplorerButton::activate() {
  if (m_menu) {
    openDropDownMenu();
    return;
  }
  applyGroupClick();
  emit clicked();
}

void TExplorerButton::openDropDownMenu() {
  // The menu is not modal here: the button keeps its pressed look until the menu closes.
  m_menuOpen = true;
  update();
  QPointer<TExplorerButton> self(this);
  connect(
      m_menu, &QMenu::aboutToHide, this,
      [self] {
        if (self) {
          self->m_menuOpen = false;
          self->update();
        }
      },
      Qt::SingleShotConnection);
  m_menu->popup(mapToGlobal(QPoint(0, height())));
}

void TExplorerButton::updateStatusTip() {
  // The window shows the hint of the control under the mouse in its status line; Qt hands
  // the status tip up to it on every Enter and clears it on Leave.
  QString tip = m_hint;
  if (tip.isEmpty() && (m_options & boIconOnly)) {
    tip = QString(m_caption).remove(QLatin1Char('&'));
  }
  setStatusTip(tip);
}

void TExplorerButton::updateShortcut() {
  if (m_shortcutId != 0) {
    releaseShortcut(m_shortcutId);
    m_shortcutId = 0;
  }
  const QKeySequence seq = QKeySequence::mnemonic(m_caption);
  if (!seq.isEmpty()) {
    m_shortcutId = grabShortcut(seq);
  }
}

QPoint TExplorerButton::picturePos(QSize pic) const {
  QSize text(0, 0);
  if (!(m_options & boIconOnly) && !m_caption.isEmpty()) {
    text = fontMetrics().size(Qt::TextShowMnemonic, m_caption);
  }
  const int gap = (text.isEmpty() || pic.isEmpty()) ? 0 : kSpacing;
  const bool vertical = m_layout == blBitmapTop || m_layout == blBitmapBottom;
  const QSize block = vertical ? QSize(std::max(pic.width(), text.width()), pic.height() + gap + text.height())
                               : QSize(pic.width() + gap + text.width(), std::max(pic.height(), text.height()));
  int bx = 0;
  switch (m_alignment) {
    case taLeftJustify:
      bx = 0;
      break;
    case taRightJustify:
      bx = width() - block.width();
      break;
    case taCenter:
      bx = (width() - block.width()) / 2;
      break;
  }
  const int by = (height() - block.height()) / 2;
  QPoint pos;
  switch (m_layout) {
    case blBitmapTop:
      pos = {bx + (block.width() - pic.width()) / 2, by};
      break;
    case blBitmapBottom:
      pos = {bx + (block.width() - pic.width()) / 2, by + text.height() + gap};
      break;
    case blBitmapLeft:
      pos = {bx, by + (block.height() - pic.height()) / 2};
      break;
    case blBitmapRight:
      pos = {bx + text.width() + gap, by + (block.height() - pic.height()) / 2};
      break;
  }
  // The caption is drawn across the whole button anyway, and the skin's face pictures are
  // as large as the button: a picture that fits stays wholly inside, with the caption on it.
  auto place = [](int p, int picExtent, int extent) {
    return picExtent <= extent ? std::clamp(p, 0, extent - picExtent) : (extent - picExtent) / 2;
  };
  return {place(pos.x(), pic.width(), width()), place(pos.y(), pic.height(), height())};
}

void TExplorerButton::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QPalette& pal = palette();
  if (m_down && m_showDownPattern) {
    p.fillRect(rect(), vt::skin::ditherBrush(pal.color(QPalette::Button), pal.color(QPalette::Light)));
  }

  QImage face;
  QPoint shift(0, 0);
  bool keyed = true;
  if (!isEnabled()) {
    if (!m_disabled.isNull()) {
      face = m_disabled;
    } else {
      face = vt::skin::embossed(m_bitmap, pal.color(QPalette::Light), pal.color(QPalette::Dark));
      keyed = false;
    }
  } else if ((m_pressed && m_over) || m_menuOpen || m_down) {
    face = m_bitmap;
    shift = {1, 1};
  } else if (!m_over && (m_options & boMonoDisplay)) {
    face = effectiveNoFocusBitmap();
  } else {
    face = m_bitmap;
  }

  const QPoint pos = picturePos(face.size()) + shift;
  if (keyed) {
    vt::skin::drawKeyed(p, pos, face);
  } else if (!face.isNull()) {
    p.drawImage(pos, face);
  }

  // The caption colour is the font's own: the disabled look comes from the skin picture.
  const QColor fontColor = pal.color(QPalette::Active, QPalette::WindowText);
  if ((m_options & boPopupMark) && m_menu) {
    const int x = std::min(pos.x() + face.width() + 2, width() - 9);
    const int y = (face.isNull() ? height() / 2 : pos.y() + face.height() / 2) - 2;
    p.setPen(Qt::NoPen);
    p.setBrush(fontColor);
    p.drawPolygon(QPolygon({QPoint(x, y), QPoint(x + 6, y), QPoint(x + 3, y + 3)}));
  }
  if (!(m_options & boIconOnly) && !m_caption.isEmpty()) {
    p.setPen(fontColor);
    const int top = vt::skin::captionTop(height(), font());
    p.drawText(QRect(0, top, width(), fontMetrics().height()),
               Qt::AlignHCenter | Qt::AlignTop | Qt::TextShowMnemonic | Qt::TextDontClip, m_caption);
  }
  if (hasFocus()) {
    vt::skin::drawFocusFrame(p, this);
  }
}

bool TExplorerButton::event(QEvent* e) {
  if (e->type() == QEvent::Shortcut) {
    if (isEnabled() && isVisible()) {
      activate();
    }
    return true;
  }
  return QWidget::event(e);
}

void TExplorerButton::enterEvent(QEnterEvent* e) {
  QWidget::enterEvent(e);
  if (!isEnabled()) {
    return;
  }
  m_over = true;
  update();
  emit entered();
}

void TExplorerButton::leaveEvent(QEvent* e) {
  QWidget::leaveEvent(e);
  if (!isEnabled()) {
    return;
  }
  m_over = false;
  update();
  emit exited();
}

void TExplorerButton::mousePressEvent(QMouseEvent* e) {
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
  m_over = true;
  update();
}

void TExplorerButton::mouseMoveEvent(QMouseEvent* e) {
  if (!m_pressed) {
    QWidget::mouseMoveEvent(e);
    return;
  }
  const bool inside = rect().contains(e->position().toPoint());
  if (inside != m_over) {
    m_over = inside;
    update();
  }
}

void TExplorerButton::mouseReleaseEvent(QMouseEvent* e) {
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
  m_over = inside;
  applyGroupClick();
  update();
  if (inside) {
    emit clicked();
  }
}

void TExplorerButton::keyPressEvent(QKeyEvent* e) {
  const int key = e->key();
  if (!e->isAutoRepeat() && (key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter)) {
    activate();
    return;
  }
  QWidget::keyPressEvent(e);
}

void TExplorerButton::changeEvent(QEvent* e) {
  if (e->type() == QEvent::EnabledChange) {
    m_pressed = false;
    m_over = false;
    if (m_groupIndex == 0) {
      m_down = false;
    }
    update();
  } else if (e->type() == QEvent::PaletteChange) {
    m_generatedNoFocus = QImage();
  } else if (e->type() == QEvent::FontChange) {
    updateGeometry();
  }
  QWidget::changeEvent(e);
}
