#include "app/controls/explbtn.h"

#include <QEvent>
#include <QPainter>
#include <QPolygon>

#include <algorithm>

namespace {

// Gap between picture and caption box when both take part in the layout.
constexpr int kSpacing = 4;

}  // namespace

TExplorerButton::TExplorerButton(QWidget* parent) : TBitmapControl(parent) {
  m_unselectedFontColor = palette().color(QPalette::WindowText);
  resize(50, 40);
}

void TExplorerButton::setAlignment(TAlignment a) {
  m_alignment = a;
  update();
}

void TExplorerButton::setAllowAllUp(bool on) {
  m_allowAllUp = on;
  for (TBitmapControl* b : groupSiblings()) {
    static_cast<TExplorerButton*>(b)->m_allowAllUp = on;
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

QSize TExplorerButton::sizeHint() const { return m_bitmap.isNull() ? QSize(50, 40) : m_bitmap.size(); }

void TExplorerButton::applyGroupClick() {
  if (groupIndex() == 0) {
    return;
  }
  if (!isDown()) {
    setDown(true);
  } else if (m_allowAllUp) {
    setDown(false);
  }
}

void TExplorerButton::openDropDownMenu() {
  m_menuOpen = true;
  update();
  QPointer<TExplorerButton> self(this);
  connect(
      dropDownMenu(), &QMenu::aboutToHide, this,
      [self] {
        if (self) {
          self->m_menuOpen = false;
          self->update();
        }
      },
      Qt::SingleShotConnection);
  TBitmapControl::openDropDownMenu();
}

void TExplorerButton::updateStatusTip() {
  QString tip = hint();
  if (tip.isEmpty() && (m_options & boIconOnly)) {
    tip = caption().remove(QLatin1Char('&'));
  }
  setStatusTip(tip);
}

QPoint TExplorerButton::picturePos(QSize pic) const {
  QSize text(0, 0);
  if (!(m_options & boIconOnly) && !caption().isEmpty()) {
    text = fontMetrics().size(Qt::TextShowMnemonic, caption());
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

void TExplorerButton::paintControl(QPainter& p) {
  const QPalette& pal = palette();
  if (isDown() && showDownPattern()) {
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
  } else if ((isPressed() && isMouseOver()) || m_menuOpen || isDown()) {
    face = m_bitmap;
    shift = {1, 1};
  } else if (!isMouseOver() && (m_options & boMonoDisplay)) {
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
  if ((m_options & boPopupMark) && dropDownMenu()) {
    const int x = std::min(pos.x() + face.width() + 2, width() - 9);
    const int y = (face.isNull() ? height() / 2 : pos.y() + face.height() / 2) - 2;
    p.setPen(Qt::NoPen);
    p.setBrush(fontColor);
    p.drawPolygon(QPolygon({QPoint(x, y), QPoint(x + 6, y), QPoint(x + 3, y + 3)}));
  }
  if (!(m_options & boIconOnly) && !caption().isEmpty()) {
    p.setPen(fontColor);
    const int top = vt::skin::captionTop(height(), font());
    p.drawText(QRect(0, top, width(), fontMetrics().height()),
               Qt::AlignHCenter | Qt::AlignTop | Qt::TextShowMnemonic | Qt::TextDontClip, caption());
  }
}

bool TExplorerButton::isActivationKey(int key) const {
  return key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter;
}

void TExplorerButton::changeEvent(QEvent* e) {
  if (e->type() == QEvent::PaletteChange) {
    m_generatedNoFocus = QImage();
  }
  TBitmapControl::changeEvent(e);
}
