// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/controls/explorerbutton.h"

#include <QEvent>
#include <QPainter>
#include <QPolygon>

#include <algorithm>

namespace {

// Gap between picture and caption box when both take part in the layout.
constexpr int kSpacing = 4;

}  // namespace

TExplorerButton::TExplorerButton(QWidget* parent) : TBitmapControl(parent) {
  unselectedFontColor_ = palette().color(QPalette::WindowText);
  resize(50, 40);
}

void TExplorerButton::setAlignment(TAlignment a) {
  alignment_ = a;
  update();
}

void TExplorerButton::setAllowAllUp(bool on) {
  allowAllUp_ = on;
  for (TBitmapControl* b : groupSiblings()) {
    static_cast<TExplorerButton*>(b)->allowAllUp_ = on;
  }
}

void TExplorerButton::setNoFocusBitmap(const QImage& img) {
  noFocus_ = img;
  update();
}

void TExplorerButton::setBitmap(const QImage& img) {
  bitmap_ = img;
  generatedNoFocus_ = QImage();
  updateGeometry();
  update();
}

void TExplorerButton::setDisabledBitmap(const QImage& img) {
  disabled_ = img;
  update();
}

void TExplorerButton::setStoredNoFocusBitmap(const QImage& img) {
  storedNoFocus_ = img;
  update();
}

void TExplorerButton::setButtonLayout(TButtonLayout l) {
  layout_ = l;
  update();
}

void TExplorerButton::setOptions(TButtonOptions o) {
  options_ = o;
  updateStatusTip();
  update();
}

void TExplorerButton::setShadingType(TShadingType s) {
  shading_ = s;
  generatedNoFocus_ = QImage();
  update();
}

vt::skin::Shading TExplorerButton::shadingFor(TShadingType type) {
  switch (type) {
    case stLight: return {205, 127, 68};
    case stDark: return {335, 274, 175};
    case stMedium: break;
  }
  return {553, 231, 57};
}

QImage TExplorerButton::effectiveNoFocusBitmap() const {
  if (!noFocus_.isNull()) {
    return noFocus_;
  }
  if (!storedNoFocus_.isNull()) {
    return storedNoFocus_;
  }
  if (generatedNoFocus_.isNull() && !bitmap_.isNull()) {
    generatedNoFocus_ =
        vt::skin::shaded(bitmap_, shadingFor(shading_), palette().color(QPalette::Light), palette().color(QPalette::Dark));
  }
  return generatedNoFocus_;
}

QSize TExplorerButton::sizeHint() const { return bitmap_.isNull() ? QSize(50, 40) : bitmap_.size(); }

void TExplorerButton::applyGroupClick() {
  if (groupIndex() == 0) {
    return;
  }
  if (!isDown()) {
    setDown(true);
  } else if (allowAllUp_) {
    setDown(false);
  }
}

void TExplorerButton::openDropDownMenu() {
  menuOpen_ = true;
  update();
  QPointer<TExplorerButton> self(this);
  connect(
      dropDownMenu(), &QMenu::aboutToHide, this,
      [self] {
        if (self) {
          self->menuOpen_ = false;
          self->update();
        }
      },
      Qt::SingleShotConnection);
  TBitmapControl::openDropDownMenu();
}

void TExplorerButton::updateStatusTip() {
  QString tip = hint();
  if (tip.isEmpty() && (options_ & boIconOnly)) {
    tip = caption().remove(QLatin1Char('&'));
  }
  setStatusTip(tip);
}

QPoint TExplorerButton::picturePos(QSize pic) const {
  QSize text(0, 0);
  if (!(options_ & boIconOnly) && !caption().isEmpty()) {
    text = fontMetrics().size(Qt::TextShowMnemonic, caption());
  }
  const int gap = (text.isEmpty() || pic.isEmpty()) ? 0 : kSpacing;
  const bool vertical = layout_ == blBitmapTop || layout_ == blBitmapBottom;
  const QSize block = vertical ? QSize(std::max(pic.width(), text.width()), pic.height() + gap + text.height())
                               : QSize(pic.width() + gap + text.width(), std::max(pic.height(), text.height()));
  int bx = 0;
  switch (alignment_) {
    case taLeftJustify: bx = 0; break;
    case taRightJustify: bx = width() - block.width(); break;
    case taCenter: bx = (width() - block.width()) / 2; break;
  }
  const int by = (height() - block.height()) / 2;
  QPoint pos;
  switch (layout_) {
    case blBitmapTop: pos = {bx + (block.width() - pic.width()) / 2, by}; break;
    case blBitmapBottom: pos = {bx + (block.width() - pic.width()) / 2, by + text.height() + gap}; break;
    case blBitmapLeft: pos = {bx, by + (block.height() - pic.height()) / 2}; break;
    case blBitmapRight: pos = {bx + text.width() + gap, by + (block.height() - pic.height()) / 2}; break;
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
    if (!disabled_.isNull()) {
      face = disabled_;
    } else {
      face = vt::skin::embossed(bitmap_, pal.color(QPalette::Light), pal.color(QPalette::Dark));
      keyed = false;
    }
  } else if ((isPressed() && isMouseOver()) || menuOpen_ || isDown()) {
    face = bitmap_;
    shift = {1, 1};
  } else if (!isMouseOver() && (options_ & boMonoDisplay)) {
    face = effectiveNoFocusBitmap();
  } else {
    face = bitmap_;
  }

  const QPoint pos = picturePos(face.size()) + shift;
  if (keyed) {
    vt::skin::drawKeyed(p, pos, face);
  } else if (!face.isNull()) {
    p.drawImage(pos, face);
  }

  // The caption colour is the font's own: the disabled look comes from the skin picture.
  const QColor fontColor = pal.color(QPalette::Active, QPalette::WindowText);
  if ((options_ & boPopupMark) && dropDownMenu()) {
    const int x = std::min(pos.x() + face.width() + 2, width() - 9);
    const int y = (face.isNull() ? height() / 2 : pos.y() + face.height() / 2) - 2;
    p.setPen(Qt::NoPen);
    p.setBrush(fontColor);
    p.drawPolygon(QPolygon({QPoint(x, y), QPoint(x + 6, y), QPoint(x + 3, y + 3)}));
  }
  if (!(options_ & boIconOnly) && !caption().isEmpty()) {
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
    generatedNoFocus_ = QImage();
  }
  TBitmapControl::changeEvent(e);
}
