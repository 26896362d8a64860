// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A picture on the form: template images that hold the skin (invisible), page
// backgrounds, the close and help images and the logo panels. Draws its picture at the
// top-left corner, unscaled, or scaled to fit when Stretch is set; a click is reported
// the way the window's other controls report theirs. A skin picture given by name is
// decoded the first time it is drawn or asked for: the 16-colour skin, say, never is.
#include <QImage>
#include <QWidget>

class TImage : public QWidget {
  Q_OBJECT
  Q_PROPERTY(QImage Picture READ picture WRITE setPicture)
  Q_PROPERTY(bool Stretch READ stretch WRITE setStretch)
  Q_PROPERTY(bool Transparent READ transparent WRITE setTransparent)
  Q_PROPERTY(QString Hint READ hint WRITE setHint)
  Q_PROPERTY(QString HintENG READ hintEng WRITE setHintEng)

 public:
  explicit TImage(QWidget* parent = nullptr);

  const QImage& picture() const {
    resolve();
    return picture_;
  }
  void setPicture(const QImage& picture);
  // The skin picture of that name (formloader.h), decoded when first needed.
  void setSkinPicture(const QString& name);
  bool stretch() const { return stretch_; }
  void setStretch(bool on);
  // Draws the picture with its top-left pixel's colour left out, as the skin's small
  // images (close, help) need.
  bool transparent() const { return transparent_; }
  void setTransparent(bool on);
  QString hint() const { return hint_; }
  void setHint(const QString& hint);
  QString hintEng() const { return hintEng_; }
  void setHintEng(const QString& hint) { hintEng_ = hint; }
  void switchToEnglish() { setHint(hintEng_); }

 signals:
  void clicked();

 protected:
  void paintEvent(QPaintEvent*) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;

 private:
  void resolve() const {
    if (!pending_.isEmpty()) resolveNow();
  }
  void resolveNow() const;
  void makeDrawn() const;

  mutable QString pending_;  // the skin picture's name until it is decoded
  mutable QImage picture_;
  mutable QImage drawn_;  // the picture as painted: with its key colour made transparent when asked
  bool stretch_ = false;
  bool transparent_ = false;
  bool pressed_ = false;
  QString hint_, hintEng_;
};
