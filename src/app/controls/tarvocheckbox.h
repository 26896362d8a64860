// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window's check box: a skin picture per check state and mouse position, a German and
// an English caption, and a switch handler that ties the box to one system setting.
#include <QImage>

#include <functional>

#include "app/controls/bitmapcontrol.h"

// What a switch handler is asked to do with its setting.
enum class SwitchMode { Read, Write };

class TTarvoCheckBox : public TBitmapControl {
  Q_OBJECT
  Q_PROPERTY(QImage BitmapNoFocus READ bitmapNoFocus WRITE setBitmapNoFocus)
  Q_PROPERTY(QImage Bitmap READ bitmap WRITE setBitmap)
  Q_PROPERTY(QImage BitmapNoFocusCHECKED READ bitmapNoFocusChecked WRITE setBitmapNoFocusChecked)
  Q_PROPERTY(QImage BitmapCHECKED READ bitmapChecked WRITE setBitmapChecked)
  Q_PROPERTY(bool checked READ isChecked WRITE setChecked)
  Q_PROPERTY(bool grayed READ isGrayed WRITE setGrayed)

 public:
  explicit TTarvoCheckBox(QWidget* parent = nullptr);

  QImage bitmapNoFocus() const { return faceAway_; }
  void setBitmapNoFocus(const QImage& img);
  QImage bitmap() const { return faceOver_; }
  void setBitmap(const QImage& img);
  QImage bitmapNoFocusChecked() const { return faceAwayChecked_; }
  void setBitmapNoFocusChecked(const QImage& img);
  QImage bitmapChecked() const { return faceOverChecked_; }
  void setBitmapChecked(const QImage& img);

  bool isChecked() const { return checked_; }
  void setChecked(bool on);  // repaints, fires nothing
  bool isGrayed() const { return grayed_; }
  void setGrayed(bool on);  // a greyed box is a disabled one

  // The handler that binds the box to its system setting: Read puts the system state into
  // the box, Write puts the box's state into the system.
  std::function<void(SwitchMode mode)> switchHandler;
  bool hasSwitchHandler() const { return bool(switchHandler); }
  void runSwitch(SwitchMode mode);

  // Caption := CaptionENG (an empty English text empties it). The hint stays as it is.
  void switchToEnglish() override;

  QSize sizeHint() const override;

 public slots:
  // A click as the user makes it: clicked() first, then the check state flips, so a
  // handler of clicked() still sees the state from before the click.
  void click() override;

 protected:
  void paintControl(QPainter& p) override;

 private:
  QImage faceAway_;
  QImage faceOver_;
  QImage faceAwayChecked_;
  QImage faceOverChecked_;
  bool checked_ = false;
  bool grayed_ = false;
};
