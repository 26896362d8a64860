// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window's explanatory text: a transparent label that also carries its English text.
#include <QLabel>
#include <QString>

class TTarvoLabel : public QLabel {
  Q_OBJECT
  Q_PROPERTY(QString Caption READ text WRITE setText)
  Q_PROPERTY(QString CaptionENG READ captionEng WRITE setCaptionEng)

 public:
  explicit TTarvoLabel(QWidget* parent = nullptr);

  QString captionEng() const { return captionEng_; }
  void setCaptionEng(const QString& text);

  // Caption := CaptionENG (an empty English text empties the label).
  void switchToEnglish();

 private:
  QString captionEng_;
};
