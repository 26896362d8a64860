// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/controls/tarvocheckbox.h"

#include "app/controls/bitmaputil.h"

#include <QPainter>

#include <algorithm>

namespace {

// Gap between the check picture and the caption.
constexpr int kCaptionGap = 4;

}  // namespace

TTarvoCheckBox::TTarvoCheckBox(QWidget* parent) : TBitmapControl(parent) {}

void TTarvoCheckBox::setBitmapNoFocus(const QImage& img) {
  faceAway_ = img;
  updateGeometry();
  update();
}

void TTarvoCheckBox::setBitmap(const QImage& img) {
  faceOver_ = img;
  update();
}

void TTarvoCheckBox::setBitmapNoFocusChecked(const QImage& img) {
  faceAwayChecked_ = img;
  update();
}

void TTarvoCheckBox::setBitmapChecked(const QImage& img) {
  faceOverChecked_ = img;
  update();
}

void TTarvoCheckBox::setChecked(bool on) {
  checked_ = on;
  update();
}

void TTarvoCheckBox::setGrayed(bool on) {
  grayed_ = on;
  setEnabled(!on);
  update();
}

void TTarvoCheckBox::runSwitch(SwitchMode mode) {
  if (switchHandler) {
    switchHandler(mode);
  }
}

void TTarvoCheckBox::switchToEnglish() { setCaption(captionEng()); }

QSize TTarvoCheckBox::sizeHint() const {
  const QFontMetrics fm = fontMetrics();
  const int textLeft = faceAway_.isNull() ? 0 : faceAway_.width() + kCaptionGap;
  const QSize text = fm.size(Qt::TextShowMnemonic, caption());
  return {textLeft + text.width(), std::max(faceAway_.height(), fm.height())};
}

void TTarvoCheckBox::click() {
  if (!isEnabled()) {
    return;
  }
  QPointer<TTarvoCheckBox> self(this);
  emit clicked();
  if (self) {
    setChecked(!checked_);
  }
}

void TTarvoCheckBox::paintControl(QPainter& p) {
  if (!isDown()) {
    const QImage& face =
        checked_ ? (isMouseOver() ? faceOverChecked_ : faceAwayChecked_) : (isMouseOver() ? faceOver_ : faceAway_);
    vt::skin::drawKeyed(p, QPoint(0, 0), face);
    if (grayed_ && showDownPattern() && !faceAway_.isNull()) {
      // Works on the raster engine the widgets paint with: black turns every second pixel
      // of the picture black, white leaves the rest untouched.
      p.setCompositionMode(QPainter::RasterOp_SourceAndDestination);
      p.drawImage(QPoint(0, 0), vt::skin::checkerMask(faceAway_));
      p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    }
  }
  if (!caption().isEmpty()) {
    const int left = faceAway_.isNull() ? 0 : faceAway_.width() + kCaptionGap;
    const int top = vt::skin::captionTop(height(), font());
    p.setPen(palette().color(QPalette::Active, QPalette::WindowText));
    p.drawText(QRect(left, top, std::max(0, width() - left), fontMetrics().height()),
               Qt::AlignLeft | Qt::AlignTop | Qt::TextShowMnemonic | Qt::TextDontClip, caption());
  }
}
