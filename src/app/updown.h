// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// An up-down control: two small arrow buttons that step a position between Min and Max
// by Increment, also from the keyboard (arrow keys, Page Up/Down, Home/End). The value
// itself is shown by the label the owner updates when positionChanged fires.
#include <QWidget>

class TUpDown : public QWidget {
  Q_OBJECT
  Q_PROPERTY(int Position READ position WRITE setPosition)
  Q_PROPERTY(int Min READ minimum WRITE setMinimum)
  Q_PROPERTY(int Max READ maximum WRITE setMaximum)
  Q_PROPERTY(int Increment READ increment WRITE setIncrement)
  Q_PROPERTY(QString Associate READ associate WRITE setAssociate)

 public:
  explicit TUpDown(QWidget* parent = nullptr);

  int position() const { return position_; }
  // Clamped to Min..Max; fires nothing (the owner shows the value itself).
  void setPosition(int position);
  int minimum() const { return min_; }
  void setMinimum(int v);
  int maximum() const { return max_; }
  void setMaximum(int v);
  int increment() const { return increment_; }
  void setIncrement(int v) { increment_ = v > 0 ? v : 1; }
  QString associate() const { return associate_; }
  void setAssociate(const QString& name) { associate_ = name; }

  // A click on the upper or lower arrow.
  void stepUp() { step(increment_); }
  void stepDown() { step(-increment_); }

 signals:
  void positionChanged(int position);

 protected:
  void paintEvent(QPaintEvent*) override;
  void mousePressEvent(QMouseEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void wheelEvent(QWheelEvent* e) override;

 private:
  void step(int delta);

  int position_ = 0, min_ = 0, max_ = 100, increment_ = 1;
  QString associate_;
};
