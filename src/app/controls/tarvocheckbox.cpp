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

void TTarvoCheckBox::setChecked(bool on) {
  m_checked = on;
  update();
}

void TTarvoCheckBox::setGrayed(bool on) {
  m_grayed = on;
  setEnabled(!on);
  update();
}

void TTarvoCheckBox::runSwitch(int mode) {
  if (switchHandler) {
    switchHandler(mode);
  }
}

void TTarvoCheckBox::switchToEnglish() { setCaption(captionEng()); }

QSize TTarvoCheckBox::sizeHint() const {
  const QFontMetrics fm = fontMetrics();
  const int textLeft = m_faceAway.isNull() ? 0 : m_faceAway.width() + kCaptionGap;
  const QSize text = fm.size(Qt::TextShowMnemonic, caption());
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

void TTarvoCheckBox::paintControl(QPainter& p) {
  if (!isDown()) {
    const QImage& face = m_checked ? (isMouseOver() ? m_faceOverChecked : m_faceAwayChecked)
                                   : (isMouseOver() ? m_faceOver : m_faceAway);
    vt::skin::drawKeyed(p, QPoint(0, 0), face);
    if (m_grayed && showDownPattern() && !m_faceAway.isNull()) {
      // Works on the raster engine the widgets paint with: black turns every second pixel
      // of the picture black, white leaves the rest untouched.
      p.setCompositionMode(QPainter::RasterOp_SourceAndDestination);
      p.drawImage(QPoint(0, 0), vt::skin::checkerMask(m_faceAway));
      p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    }
  }
  if (!caption().isEmpty()) {
    const int left = m_faceAway.isNull() ? 0 : m_faceAway.width() + kCaptionGap;
    const int top = vt::skin::captionTop(height(), font());
    p.setPen(palette().color(QPalette::Active, QPalette::WindowText));
    p.drawText(QRect(left, top, std::max(0, width() - left), fontMetrics().height()),
               Qt::AlignLeft | Qt::AlignTop | Qt::TextShowMnemonic | Qt::TextDontClip, caption());
  }
}

