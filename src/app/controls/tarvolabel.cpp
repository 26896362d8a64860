// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/controls/tarvolabel.h"

TTarvoLabel::TTarvoLabel(QWidget* parent) : QLabel(parent) {
  // The page picture behind the text must show through, and captions are plain text even
  // when they happen to look like markup.
  setAutoFillBackground(false);
  setTextFormat(Qt::PlainText);
  setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

void TTarvoLabel::setCaptionEng(const QString& text) {
  captionEng_ = text;
  update();
}

void TTarvoLabel::switchToEnglish() {
  setText(captionEng_);
  update();
}
