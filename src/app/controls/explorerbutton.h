// SPDX-License-Identifier: GPL-3.0-or-later
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

  TAlignment alignment() const { return alignment_; }
  void setAlignment(TAlignment a);
  bool allowAllUp() const { return allowAllUp_; }
  void setAllowAllUp(bool on);  // also sets it on every button of the same group
  TBevelStyle bevelStyle() const { return bevelStyle_; }
  void setBevelStyle(TBevelStyle s) { bevelStyle_ = s; }

  QImage noFocusBitmap() const { return noFocus_; }
  void setNoFocusBitmap(const QImage& img);
  QImage bitmap() const { return bitmap_; }
  void setBitmap(const QImage& img);
  QImage disabledBitmap() const { return disabled_; }
  void setDisabledBitmap(const QImage& img);
  QImage storedNoFocusBitmap() const { return storedNoFocus_; }
  void setStoredNoFocusBitmap(const QImage& img);

  TButtonLayout buttonLayout() const { return layout_; }
  void setButtonLayout(TButtonLayout l);
  TButtonOptions options() const { return options_; }
  void setOptions(TButtonOptions o);
  TShadingType shadingType() const { return shading_; }
  void setShadingType(TShadingType s);
  QColor unselectedFontColor() const { return unselectedFontColor_; }
  void setUnselectedFontColor(const QColor& c) { unselectedFontColor_ = c; }
  bool wordWrap() const { return wordWrap_; }
  void setWordWrap(bool on) { wordWrap_ = on; }
  int tag() const { return tag_; }
  void setTag(int t) { tag_ = t; }

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

  TAlignment alignment_ = taCenter;
  bool allowAllUp_ = false;
  TBevelStyle bevelStyle_ = bsRaised;
  QImage noFocus_;
  QImage bitmap_;
  QImage disabled_;
  QImage storedNoFocus_;
  mutable QImage generatedNoFocus_;  // derived from bitmap_; null until needed
  TButtonLayout layout_ = blBitmapTop;
  TButtonOptions options_ = TButtonOptions(boMonoDisplay) | boPopupMark | boShowBevel;
  TShadingType shading_ = stMedium;
  QColor unselectedFontColor_;
  bool wordWrap_ = false;
  int tag_ = 0;

  bool menuOpen_ = false;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(TExplorerButton::TButtonOptions)
