#pragma once
// The window's push button: draws itself from skin pictures (one for the mouse over it,
// one for the mouse away, one for disabled), carries a German and an English caption and
// hint, and can act as a radio button in a group of siblings. Property names follow the
// form description, so the form loader sets them by name.
#include <QColor>
#include <QImage>
#include <QMenu>
#include <QPointer>
#include <QString>
#include <QWidget>

#include "app/controls/bitmaputil.h"

class TExplorerButton : public QWidget {
  Q_OBJECT

 public:
  enum TAlignment { taLeftJustify, taRightJustify, taCenter };
  Q_ENUM(TAlignment)
  enum TBevelStyle { bsLowered, bsRaised };
  Q_ENUM(TBevelStyle)
  enum TButtonLayout { blBitmapTop, blBitmapBottom, blBitmapLeft, blBitmapRight };
  Q_ENUM(TButtonLayout)
  enum TButtonOption { boMonoDisplay = 0x1, boIconOnly = 0x2, boPopupMark = 0x4, boShowBevel = 0x8 };
  Q_DECLARE_FLAGS(TButtonOptions, TButtonOption)
  Q_FLAG(TButtonOptions)
  enum TShadingType { stLight, stMedium, stDark };
  Q_ENUM(TShadingType)

 private:
  Q_PROPERTY(TAlignment Alignment READ alignment WRITE setAlignment)
  Q_PROPERTY(bool AllowAllUp READ allowAllUp WRITE setAllowAllUp)
  Q_PROPERTY(TBevelStyle BevelStyle READ bevelStyle WRITE setBevelStyle)
  Q_PROPERTY(QImage NoFocusBitmap READ noFocusBitmap WRITE setNoFocusBitmap)
  Q_PROPERTY(QImage Bitmap READ bitmap WRITE setBitmap)
  Q_PROPERTY(QImage DisabledBitmap READ disabledBitmap WRITE setDisabledBitmap)
  // The no-focus picture generated when the form was designed; empty means "generate".
  Q_PROPERTY(QImage IBitmap READ storedNoFocusBitmap WRITE setStoredNoFocusBitmap)
  Q_PROPERTY(QString Caption READ caption WRITE setCaption)
  Q_PROPERTY(QString CaptionENG READ captionEng WRITE setCaptionEng)
  Q_PROPERTY(QString Hint READ hint WRITE setHint)
  Q_PROPERTY(QString HintENG READ hintEng WRITE setHintEng)
  Q_PROPERTY(int GroupIndex READ groupIndex WRITE setGroupIndex)
  Q_PROPERTY(bool Down READ isDown WRITE setDown)
  Q_PROPERTY(QMenu* DropDownMenu READ dropDownMenu WRITE setDropDownMenu)
  Q_PROPERTY(bool Enabled READ isEnabled WRITE setEnabled)
  Q_PROPERTY(TButtonLayout Layout READ buttonLayout WRITE setButtonLayout)
  Q_PROPERTY(TButtonOptions Options READ options WRITE setOptions)
  Q_PROPERTY(TShadingType ShadingType READ shadingType WRITE setShadingType)
  Q_PROPERTY(bool ShowDownPattern READ showDownPattern WRITE setShowDownPattern)
  Q_PROPERTY(QColor UnselectedFontColor READ unselectedFontColor WRITE setUnselectedFontColor)
  Q_PROPERTY(bool WordWrap READ wordWrap WRITE setWordWrap)
  Q_PROPERTY(int Tag READ tag WRITE setTag)

 public:
  explicit TExplorerButton(QWidget* parent = nullptr);

  TAlignment alignment() const { return m_alignment; }
  void setAlignment(TAlignment a);
  bool allowAllUp() const { return m_allowAllUp; }
  void setAllowAllUp(bool on);  // also sets it on every button of the same group
  TBevelStyle bevelStyle() const { return m_bevelStyle; }
  void setBevelStyle(TBevelStyle s) { m_bevelStyle = s; }

  QImage noFocusBitmap() const { return m_noFocus; }
  void setNoFocusBitmap(const QImage& img);
  QImage bitmap() const { return m_bitmap; }
  void setBitmap(const QImage& img);
  QImage disabledBitmap() const { return m_disabled; }
  void setDisabledBitmap(const QImage& img);
  QImage storedNoFocusBitmap() const { return m_storedNoFocus; }
  void setStoredNoFocusBitmap(const QImage& img);

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
  // Only a button in a group can be latched; latching releases the latched siblings.
  void setDown(bool down);

  QMenu* dropDownMenu() const { return m_menu; }
  void setDropDownMenu(QMenu* menu);

  TButtonLayout buttonLayout() const { return m_layout; }
  void setButtonLayout(TButtonLayout l);
  TButtonOptions options() const { return m_options; }
  void setOptions(TButtonOptions o);
  TShadingType shadingType() const { return m_shading; }
  void setShadingType(TShadingType s);
  bool showDownPattern() const { return m_showDownPattern; }
  void setShowDownPattern(bool on);
  QColor unselectedFontColor() const { return m_unselectedFontColor; }
  void setUnselectedFontColor(const QColor& c) { m_unselectedFontColor = c; }
  bool wordWrap() const { return m_wordWrap; }
  void setWordWrap(bool on) { m_wordWrap = on; }
  int tag() const { return m_tag; }
  void setTag(int t) { m_tag = t; }

  // The picture shown while the mouse is away: NoFocusBitmap, else the stored generated
  // one, else one generated now from Bitmap by ShadingType.
  QImage effectiveNoFocusBitmap() const;
  static vt::skin::Shading shadingFor(TShadingType type);

  bool isPressed() const { return m_pressed; }
  bool isMouseOver() const { return m_over; }

  // Caption := CaptionENG, Hint := HintENG (an empty English text empties them).
  void switchToEnglish();

  QSize sizeHint() const override;

 public slots:
  // Programmatic click: fires clicked() when the button is enabled.
  void click();

 signals:
  void clicked();
  void entered();  // the mouse came over the button
  void exited();   // the mouse left it

 protected:
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
  QList<TExplorerButton*> groupSiblings() const;
  void applyGroupClick();
  void activate();  // a completed click by mouse, keyboard or accelerator
  void openDropDownMenu();
  void updateStatusTip();
  void updateShortcut();
  QPoint picturePos(QSize picture) const;

  TAlignment m_alignment = taCenter;
  bool m_allowAllUp = false;
  TBevelStyle m_bevelStyle = bsRaised;
  QImage m_noFocus;
  QImage m_bitmap;
  QImage m_disabled;
  QImage m_storedNoFocus;
  mutable QImage m_generatedNoFocus;  // derived from m_bitmap; null until needed
  QString m_caption;
  QString m_captionEng;
  QString m_hint;
  QString m_hintEng;
  int m_groupIndex = 0;
  bool m_down = false;
  QPointer<QMenu> m_menu;
  TButtonLayout m_layout = blBitmapTop;
  TButtonOptions m_options = TButtonOptions(boMonoDisplay) | boPopupMark | boShowBevel;
  TShadingType m_shading = stMedium;
  bool m_showDownPattern = true;
  QColor m_unselectedFontColor;
  bool m_wordWrap = false;
  int m_tag = 0;

  bool m_over = false;
  bool m_pressed = false;
  bool m_menuOpen = false;
  int m_shortcutId = 0;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(TExplorerButton::TButtonOptions)
