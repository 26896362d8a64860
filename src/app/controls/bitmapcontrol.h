// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the window's skinned controls have in common: a German and an English caption and
// hint, an '&' accelerator in the caption, radio-style latching among siblings of the same
// kind, an optional drop-down menu, and the mouse and keyboard handling that turns a press
// into a click. Each control draws its own faces and decides what a click does to it.
#include <QMenu>
#include <QPointer>
#include <QString>
#include <QWidget>

class QPainter;

class TBitmapControl : public QWidget {
  Q_OBJECT
  Q_PROPERTY(QString Caption READ caption WRITE setCaption)
  Q_PROPERTY(QString CaptionENG READ captionEng WRITE setCaptionEng)
  Q_PROPERTY(QString Hint READ hint WRITE setHint)
  Q_PROPERTY(QString HintENG READ hintEng WRITE setHintEng)
  Q_PROPERTY(int GroupIndex READ groupIndex WRITE setGroupIndex)
  Q_PROPERTY(bool Down READ isDown WRITE setDown)
  Q_PROPERTY(QMenu* DropDownMenu READ dropDownMenu WRITE setDropDownMenu)
  Q_PROPERTY(bool Enabled READ isEnabled WRITE setEnabled)
  Q_PROPERTY(bool ShowDownPattern READ showDownPattern WRITE setShowDownPattern)

 public:
  explicit TBitmapControl(QWidget* parent = nullptr);

  QString caption() const { return caption_; }
  void setCaption(const QString& text);
  QString captionEng() const { return captionEng_; }
  void setCaptionEng(const QString& text) { captionEng_ = text; }
  QString hint() const { return hint_; }
  void setHint(const QString& text);
  QString hintEng() const { return hintEng_; }
  void setHintEng(const QString& text) { hintEng_ = text; }

  int groupIndex() const { return groupIndex_; }
  void setGroupIndex(int group);
  bool isDown() const { return down_; }
  // Only a control in a group can be latched; latching releases the latched siblings.
  void setDown(bool down);

  QMenu* dropDownMenu() const { return menu_; }
  void setDropDownMenu(QMenu* menu);

  bool showDownPattern() const { return showDownPattern_; }
  void setShowDownPattern(bool on);

  bool isPressed() const { return pressed_; }
  bool isMouseOver() const { return over_; }

  // Caption := CaptionENG, Hint := HintENG (an empty English text empties them).
  virtual void switchToEnglish();

 public slots:
  // Programmatic click: fires clicked() when the control is enabled.
  virtual void click();

 signals:
  void clicked();
  void entered();  // the mouse came over the control
  void exited();   // the mouse left it

 protected:
  // Draws the control's own look; the focus frame goes on top of it.
  virtual void paintControl(QPainter& p) = 0;
  // Whether the control looks pressed while held, so that the look must follow the mouse
  // in and out of the control until the release.
  virtual bool showsPressedFace() const { return false; }
  virtual bool isActivationKey(int key) const { return key == Qt::Key_Space; }
  // What a completed click does to the group: by default it latches this control.
  virtual void applyGroupClick();
  virtual void openDropDownMenu();
  virtual void updateStatusTip();

  // The other controls of this kind under the same parent in the same group.
  QList<TBitmapControl*> groupSiblings() const;

  bool event(QEvent* e) override;
  void paintEvent(QPaintEvent* e) override;
  void enterEvent(QEnterEvent* e) override;
  void leaveEvent(QEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void changeEvent(QEvent* e) override;

 private:
  void activate();  // a completed click by mouse, keyboard or accelerator
  void updateShortcut();

  QString caption_;
  QString captionEng_;
  QString hint_;
  QString hintEng_;
  int groupIndex_ = 0;
  bool down_ = false;
  bool showDownPattern_ = true;
  QPointer<QMenu> menu_;

  bool over_ = false;
  bool pressed_ = false;
  int shortcutId_ = 0;
};
