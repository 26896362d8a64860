#pragma once
// The window's check box: a skin picture per check state and mouse position, a German and
// an English caption, and a switch handler that ties the box to one system setting.
#include <QImage>
#include <QMenu>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>

class TTarvoCheckBox : public QWidget {
  Q_OBJECT
  Q_PROPERTY(QImage BitmapNoFocus READ bitmapNoFocus WRITE setBitmapNoFocus)
  Q_PROPERTY(QImage Bitmap READ bitmap WRITE setBitmap)
  Q_PROPERTY(QImage BitmapNoFocusCHECKED READ bitmapNoFocusChecked WRITE setBitmapNoFocusChecked)
  Q_PROPERTY(QImage BitmapCHECKED READ bitmapChecked WRITE setBitmapChecked)
  Q_PROPERTY(QString Caption READ caption WRITE setCaption)
  Q_PROPERTY(QString CaptionENG READ captionEng WRITE setCaptionEng)
  Q_PROPERTY(QString Hint READ hint WRITE setHint)
  Q_PROPERTY(QString HintENG READ hintEng WRITE setHintEng)
  Q_PROPERTY(int GroupIndex READ groupIndex WRITE setGroupIndex)
  Q_PROPERTY(bool Down READ isDown WRITE setDown)
  Q_PROPERTY(bool checked READ isChecked WRITE setChecked)
  Q_PROPERTY(bool grayed READ isGrayed WRITE setGrayed)
  Q_PROPERTY(QMenu* DropDownMenu READ dropDownMenu WRITE setDropDownMenu)
  Q_PROPERTY(bool Enabled READ isEnabled WRITE setEnabled)
  Q_PROPERTY(bool ShowDownPattern READ showDownPattern WRITE setShowDownPattern)

 public:
  explicit TTarvoCheckBox(QWidget* parent = nullptr);

  QImage bitmapNoFocus() const { return m_faceAway; }
  void setBitmapNoFocus(const QImage& img);
  QImage bitmap() const { return m_faceOver; }
  void setBitmap(const QImage& img);
  QImage bitmapNoFocusChecked() const { return m_faceAwayChecked; }
  void setBitmapNoFocusChecked(const QImage& img);
  QImage bitmapChecked() const { return m_faceOverChecked; }
  void setBitmapChecked(const QImage& img);

  QString caption() const { return m_caption; }
  void setCaption(const QString& text);
  QString captionEng() const { return m_captionEng; }
  void setCaptionEng(const QString& text) { m_captionEng = text; }
  QString hint() const { return m_hint; }
  void setHint(const QString& text);
  QString hintEng() const { return m_hintEng; }
  void setHintEng(const QString& text) { m_hintEng = text; }

  int groupIndex() const { return m_groupIndex; }
  void setGroupIndex(int group);
  bool isDown() const { return m_down; }
  void setDown(bool down);  // only in a group; latching releases the latched siblings

  bool isChecked() const { return m_checked; }
  void setChecked(bool on);  // repaints, fires nothing
  bool isGrayed() const { return m_grayed; }
  void setGrayed(bool on);  // a greyed box is a disabled one
  bool showDownPattern() const { return m_showDownPattern; }
  void setShowDownPattern(bool on);

  QMenu* dropDownMenu() const { return m_menu; }
  void setDropDownMenu(QMenu* menu) { m_menu = menu; }

  bool isMouseOver() const { return m_mouseOver; }
  bool isPressed() const { return m_pressed; }

  // The handler that binds the box to its system setting: mode 0 reads the system state
  // into the box, mode 1 writes the box's state to the system.
  std::function<void(int mode)> switchHandler;
  bool hasSwitchHandler() const { return bool(switchHandler); }
  void runSwitch(int mode);

  // Caption := CaptionENG (an empty English text empties it). The hint stays as it is.
  void switchToEnglish();

  QSize sizeHint() const override;

 public slots:
  // A click as the user makes it: clicked() first, then the check state flips.
  void click();

 signals:
  // Fires before the state flips, so a handler still sees the state from before the click.
  void clicked();
  void entered();
  void exited();

 protected:
  bool event(QEvent* e) override;
  void paintEvent(QPaintEvent* e) override;
  void enterEvent(QEnterEvent* e) override;
  void leaveEvent(QEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void changeEvent(QEvent* e) override;

 private:
  QList<TTarvoCheckBox*> groupSiblings() const;
  void activate();  // a completed click by mouse, keyboard or accelerator
  void openDropDownMenu();
  void updateShortcut();

  QImage m_faceAway;
  QImage m_faceOver;
  QImage m_faceAwayChecked;
  QImage m_faceOverChecked;
  QString m_caption;
  QString m_captionEng;
  QString m_hint;
  QString m_hintEng;
  int m_groupIndex = 0;
  bool m_down = false;
  bool m_checked = false;
  bool m_grayed = false;
  bool m_showDownPattern = true;
  QPointer<QMenu> m_menu;

  bool m_mouseOver = false;
  bool m_pressed = false;
  int m_shortcutId = 0;
};
