#pragma once
// The window's push button: draws itself from skin pictures (one for the mouse over it,
// one for the mouse away, one for disabled), carries a German and an English caption and
// hint, and can act as a radio button in a group of siblings. Property names follow the
// form description, so the form loader sets them by name.
#include <QColor>
#include <QImage>

#include "app/controls/bitmapcontrol.h"
#include "app/controls/bitmaputil.h"

class TExplorerButton : public TBitmapControl {
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
  Q_PROPERTY(TButtonLayout Layout READ buttonLayout WRITE setButtonLayout)
  Q_PROPERTY(TButtonOptions Options READ options WRITE setOptions)
  Q_PROPERTY(TShadingType ShadingType READ shadingType WRITE setShadingType)
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

  TButtonLayout buttonLayout() const { return m_layout; }
  void setButtonLayout(TButtonLayout l);
  TButtonOptions options() const { return m_options; }
  void setOptions(TButtonOptions o);
  TShadingType shadingType() const { return m_shading; }
  void setShadingType(TShadingType s);
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

  QSize sizeHint() const override;

 protected:
  void paintControl(QPainter& p) override;
  bool showsPressedFace() const override { return true; }
  bool isActivationKey(int key) const override;
  // A click on the latched button releases it when AllowAllUp is set.
  void applyGroupClick() override;
  // The menu is not modal here: the button keeps its pressed look until the menu closes.
  void openDropDownMenu() override;
  // An icon-only button without a hint shows its caption in the status line instead.
  void updateStatusTip() override;
  void changeEvent(QEvent* e) override;

 private:
  QPoint picturePos(QSize picture) const;

  TAlignment m_alignment = taCenter;
  bool m_allowAllUp = false;
  TBevelStyle m_bevelStyle = bsRaised;
  QImage m_noFocus;
  QImage m_bitmap;
  QImage m_disabled;
  QImage m_storedNoFocus;
  mutable QImage m_generatedNoFocus;  // derived from m_bitmap; null until needed
  TButtonLayout m_layout = blBitmapTop;
  TButtonOptions m_options = TButtonOptions(boMonoDisplay) | boPopupMark | boShowBevel;
  TShadingType m_shading = stMedium;
  QColor m_unselectedFontColor;
  bool m_wordWrap = false;
  int m_tag = 0;

  bool m_menuOpen = false;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(TExplorerButton::TButtonOptions)
