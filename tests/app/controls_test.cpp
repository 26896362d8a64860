// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/controls/bitmapcontrol.h"
#include "app/controls/bitmaputil.h"
#include "app/controls/explorerbutton.h"
#include "app/controls/tarvocheckbox.h"
#include "app/controls/tarvolabel.h"

#include <QApplication>
#include <QFontInfo>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QMenu>
#include <QPixmap>
#include <QShortcutEvent>
#include <QStatusTipEvent>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

namespace {

class QtApp : public ::testing::Environment {
 public:
  void SetUp() override { app_ = std::make_unique<QApplication>(argc_, argv_); }
  void TearDown() override { app_.reset(); }

 private:
  int argc_ = 1;
  char name_[14] = "controls_test";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QApplication> app_;
};
[[maybe_unused]] ::testing::Environment* const kQtApp = ::testing::AddGlobalTestEnvironment(new QtApp);

constexpr QRgb kPage = 0xff204060;  // the page behind the controls
constexpr QRgb kKey = 0xffff00ff;   // key colour of every test picture
constexpr QRgb kFace = 0xffc0c0c0, kLight = 0xffffffff, kShadow = 0xff808080;

// A w x h picture: a 2-pixel frame of the key colour around a body of one colour.
QImage picture(int w, int h, QRgb body) {
  QImage img(w, h, QImage::Format_RGB32);
  img.fill(kKey);
  for (int y = 2; y < h - 2; ++y) {
    for (int x = 2; x < w - 2; ++x) {
      img.setPixel(x, y, body);
    }
  }
  return img;
}

// A shown page with known palette colours; controls are put on it at odd offsets so that
// drawing relative to the page rather than to the control shows up.
struct Page {
  Page() {
    QPalette pal = w.palette();
    pal.setColor(QPalette::Window, QColor::fromRgb(kPage));
    pal.setColor(QPalette::Button, QColor::fromRgb(kFace));
    pal.setColor(QPalette::Light, QColor::fromRgb(kLight));
    pal.setColor(QPalette::Dark, QColor::fromRgb(kShadow));
    pal.setColor(QPalette::WindowText, Qt::black);
    w.setPalette(pal);
    w.setAutoFillBackground(true);
    w.resize(300, 120);
    w.show();
  }
  // What the page shows where the control is.
  QImage shot(const QWidget* c) { return w.grab(c->geometry()).toImage().convertToFormat(QImage::Format_RGB32); }
  QWidget w;
};

void mouse(QWidget* w, QEvent::Type type, QPoint at, Qt::MouseButtons held = Qt::NoButton) {
  const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
  QMouseEvent e(type, QPointF(at), QPointF(w->mapTo(w->window(), at)), QPointF(w->mapToGlobal(at)), button, held, Qt::NoModifier);
  QApplication::sendEvent(w, &e);
}
void press(QWidget* w, QPoint at) { mouse(w, QEvent::MouseButtonPress, at, Qt::LeftButton); }
void release(QWidget* w, QPoint at) { mouse(w, QEvent::MouseButtonRelease, at); }
void clickAt(QWidget* w, QPoint at = {5, 5}) {
  press(w, at);
  release(w, at);
}
void enter(QWidget* w) {
  QEnterEvent e(QPointF(5, 5), QPointF(w->mapTo(w->window(), QPoint(5, 5))), QPointF(w->mapToGlobal(QPoint(5, 5))));
  QApplication::sendEvent(w, &e);
}
void leave(QWidget* w) {
  QEvent e(QEvent::Leave);
  QApplication::sendEvent(w, &e);
}
void key(QWidget* w, int k) {
  QKeyEvent e(QEvent::KeyPress, k, Qt::NoModifier);
  QApplication::sendEvent(w, &e);
}

TExplorerButton* skinnedButton(Page& page, QPoint at = {11, 8}) {
  auto* b = new TExplorerButton(&page.w);
  b->setGeometry(QRect(at, QSize(40, 20)));
  b->setBitmap(picture(40, 20, 0xff00a000));
  b->setNoFocusBitmap(picture(40, 20, 0xff0000a0));
  b->setDisabledBitmap(picture(40, 20, 0xffa00000));
  b->show();
  return b;
}

TEST(Controls, ArialResolvesToAMetricCompatibleFont) {
  EXPECT_EQ(QFontInfo(QFont(QStringLiteral("Arial"))).family(), QStringLiteral("Liberation Sans"));
}

TEST(ExplorerButton, TakesItsPropertiesByNameAsTheFormSetsThem) {
  TExplorerButton b;
  EXPECT_EQ(b.size(), QSize(50, 40));
  EXPECT_EQ(b.property("Alignment").toInt(), TExplorerButton::taCenter);
  EXPECT_EQ(b.property("Layout").toInt(), TExplorerButton::blBitmapTop);
  EXPECT_EQ(b.property("ShadingType").toInt(), TExplorerButton::stMedium);
  EXPECT_TRUE(b.property("ShowDownPattern").toBool());
  EXPECT_EQ(b.options(), TExplorerButton::boMonoDisplay | TExplorerButton::boPopupMark | TExplorerButton::boShowBevel);

  EXPECT_TRUE(b.setProperty("Alignment", "taLeftJustify"));
  EXPECT_TRUE(b.setProperty("Options", "boMonoDisplay|boIconOnly"));
  EXPECT_TRUE(b.setProperty("ShadingType", "stDark"));
  EXPECT_TRUE(b.setProperty("Tag", 3));
  EXPECT_TRUE(b.setProperty("Bitmap", picture(4, 4, 0xff123456)));
  EXPECT_TRUE(b.setProperty("NoFocusBitmap", QPixmap::fromImage(picture(6, 6, 0xff123456))));
  EXPECT_EQ(b.alignment(), TExplorerButton::taLeftJustify);
  EXPECT_EQ(b.options(), TExplorerButton::boMonoDisplay | TExplorerButton::boIconOnly);
  EXPECT_EQ(b.shadingType(), TExplorerButton::stDark);
  EXPECT_EQ(b.tag(), 3);
  EXPECT_EQ(b.bitmap().size(), QSize(4, 4));
  EXPECT_EQ(b.noFocusBitmap().size(), QSize(6, 6));
}

// Which picture a 40 x 20 button shows: the body colour at the centre, and whether it is
// drawn one pixel right and down (then the pixel at (2,2) is the key frame, i.e. page).
TEST(ExplorerButton, ChoosesItsFaceByState) {
  struct Case {
    const char* name;
    std::function<void(TExplorerButton*)> setup;
    QRgb centre;
    bool shifted;
  } cases[] = {
      {"mouse away", [](TExplorerButton*) {}, 0xff0000a0, false},
      {"mouse over", [](TExplorerButton* b) { enter(b); }, 0xff00a000, false},
      {"mouse back out", [](TExplorerButton* b) { enter(b), leave(b); }, 0xff0000a0, false},
      {"pressed",
       [](TExplorerButton* b) {
         press(b, {5, 5});
       },
       0xff00a000, true},
      {"latched", [](TExplorerButton* b) { b->setShowDownPattern(false), b->setGroupIndex(1), b->setDown(true); }, 0xff00a000,
       true},
      {"disabled", [](TExplorerButton* b) { b->setEnabled(false); }, 0xffa00000, false},
      {"disabled while over", [](TExplorerButton* b) { enter(b), b->setEnabled(false); }, 0xffa00000, false},
      {"no mono display", [](TExplorerButton* b) { b->setOptions({}); }, 0xff00a000, false},
  };
  for (const Case& c : cases) {
    Page page;
    TExplorerButton* b = skinnedButton(page);
    c.setup(b);
    const QImage img = page.shot(b);
    EXPECT_EQ(img.pixel(20, 10), c.centre) << c.name;
    EXPECT_EQ(img.pixel(2, 2) == kPage, c.shifted) << c.name;
    EXPECT_EQ(img.pixel(0, 0), kPage) << c.name;  // the key colour is never drawn
  }
}

TEST(ExplorerButton, LatchedButtonIsDitheredFromItsOwnCorner) {
  Page page;
  auto* b = new TExplorerButton(&page.w);
  b->setGeometry(11, 8, 10, 6);
  b->setGroupIndex(1);
  b->setDown(true);
  b->show();
  QImage img = page.shot(b);
  for (int y = 0; y < 6; ++y) {
    for (int x = 0; x < 10; ++x) {
      ASSERT_EQ(img.pixel(x, y), x % 2 == y % 2 ? kLight : kFace) << x << "," << y;
    }
  }
  b->setShowDownPattern(false);
  EXPECT_EQ(page.shot(b).pixel(0, 0), kPage);
}

TEST(ExplorerButton, ClicksOnlyWhenReleasedInside) {
  struct Case {
    const char* name;
    std::vector<QPoint> moves;
    QPoint releaseAt;
    int clicks;
  } cases[] = {
      {"release inside", {}, {5, 5}, 1},
      {"move out, release outside", {{100, 100}}, {100, 100}, 0},
      {"move out and back", {{100, 100}, {30, 10}}, {30, 10}, 1},
      {"release outside without moving", {}, {-1, 5}, 0},
  };
  for (const Case& c : cases) {
    Page page;
    TExplorerButton* b = skinnedButton(page);
    int clicks = 0;
    QObject::connect(b, &TExplorerButton::clicked, [&] { ++clicks; });
    press(b, {5, 5});
    for (QPoint p : c.moves) {
      mouse(b, QEvent::MouseMove, p, Qt::LeftButton);
      // Outside, the held button shows its unpressed face again.
      EXPECT_EQ(page.shot(b).pixel(2, 2) == kPage, b->rect().contains(p)) << c.name;
    }
    release(b, c.releaseAt);
    EXPECT_EQ(clicks, c.clicks) << c.name;
    EXPECT_FALSE(b->isPressed()) << c.name;
  }
}

TEST(ExplorerButton, DisabledButtonIgnoresMouseKeyboardAndClick) {
  Page page;
  TExplorerButton* b = skinnedButton(page);
  int clicks = 0, hovers = 0;
  QObject::connect(b, &TExplorerButton::clicked, [&] { ++clicks; });
  QObject::connect(b, &TExplorerButton::entered, [&] { ++hovers; });
  key(b, Qt::Key_Space);
  key(b, Qt::Key_Return);
  EXPECT_EQ(clicks, 2);  // keyboard users can press it while it is enabled

  press(b, {5, 5});
  b->setEnabled(false);  // a press in progress is forgotten
  b->setEnabled(true);
  release(b, {5, 5});
  EXPECT_EQ(clicks, 2);

  b->setEnabled(false);
  clickAt(b);
  enter(b);
  b->click();
  EXPECT_EQ(clicks, 2);
  EXPECT_EQ(hovers, 0);
  EXPECT_EQ(page.shot(b).pixel(20, 10), 0xffa00000u);
}

TEST(ExplorerButton, DisabledWithoutDisabledPictureShowsTheDarkPixelsEmbossed) {
  Page page;
  auto* b = new TExplorerButton(&page.w);
  b->setGeometry(11, 8, 12, 12);
  QImage img(12, 12, QImage::Format_RGB32);
  img.fill(kKey);
  img.setPixel(3, 3, qRgb(20, 20, 20));     // dark
  img.setPixel(4, 3, qRgb(20, 20, 20));     // dark, its highlight lands under (4,4)...
  img.setPixel(5, 4, qRgb(10, 10, 10));     // ...where this dark pixel's shadow must win
  img.setPixel(8, 8, qRgb(220, 220, 220));  // light: vanishes
  img.setPixel(11, 11, qRgb(0, 0, 0));      // its highlight falls off the picture
  b->setBitmap(img);
  b->setEnabled(false);
  b->show();
  const QImage shot = page.shot(b);
  struct Px {
    int x, y;
    QRgb c;
  } expected[] = {
      {3, 3, kShadow}, {4, 3, kShadow}, {4, 4, kLight}, {5, 4, kShadow},   {6, 5, kLight},
      {8, 8, kPage},   {9, 9, kPage},   {0, 0, kPage},  {11, 11, kShadow}, {2, 2, kPage},
  };
  for (const Px& p : expected) {
    EXPECT_EQ(shot.pixel(p.x, p.y), p.c) << p.x << "," << p.y;
  }
}

TEST(ExplorerButton, GroupLatchesOneButtonAndAllowAllUpSpreadsThroughTheGroup) {
  Page page, other;
  auto make = [](QWidget* parent, int group) {
    auto* b = new TExplorerButton(parent);
    b->setGroupIndex(group);
    b->show();
    return b;
  };
  TExplorerButton *a = make(&page.w, 1), *b = make(&page.w, 1), *c = make(&page.w, 1);
  TExplorerButton *d = make(&page.w, 2), *e = make(&other.w, 1), *loose = make(&page.w, 0);
  d->setDown(true);
  e->setDown(true);
  int clicks = 0;
  QObject::connect(b, &TExplorerButton::clicked, [&] { ++clicks; });

  clickAt(a);
  clickAt(b);
  EXPECT_FALSE(a->isDown());
  EXPECT_TRUE(b->isDown());
  EXPECT_TRUE(d->isDown() && e->isDown());  // other group, other parent
  clickAt(b);
  EXPECT_TRUE(b->isDown());  // no "all up" yet
  EXPECT_EQ(clicks, 2);

  c->setAllowAllUp(true);
  EXPECT_TRUE(a->allowAllUp() && b->allowAllUp());
  EXPECT_FALSE(d->allowAllUp() || e->allowAllUp());
  clickAt(b);
  EXPECT_FALSE(b->isDown());

  c->setDown(true);
  a->setDown(true);
  EXPECT_FALSE(c->isDown());
  loose->setDown(true);
  clickAt(loose);
  EXPECT_FALSE(loose->isDown());  // without a group there is nothing to latch
}

TEST(ExplorerButton, GeneratedNoFocusPictureFollowsTheShadingBands) {
  enum Band { White, Highlight, Shadow, Black };
  using T = TExplorerButton;
  struct Case {
    T::TShadingType type;
    int sum;  // r + g + b of the pixel
    Band band;
  } cases[] = {
      {T::stLight, 206, White},      {T::stLight, 205, Highlight},  {T::stLight, 128, Highlight}, {T::stLight, 127, Shadow},
      {T::stLight, 69, Shadow},      {T::stLight, 68, Black},       {T::stMedium, 765, White},    {T::stMedium, 554, White},
      {T::stMedium, 553, Highlight}, {T::stMedium, 232, Highlight}, {T::stMedium, 231, Shadow},   {T::stMedium, 58, Shadow},
      {T::stMedium, 57, Black},      {T::stDark, 336, White},       {T::stDark, 335, Highlight},  {T::stDark, 275, Highlight},
      {T::stDark, 274, Shadow},      {T::stDark, 176, Shadow},      {T::stDark, 175, Black},      {T::stDark, 0, Black},
  };
  // The highlight differs from white here so that the two upper bands can be told apart.
  const QRgb colours[] = {0xffffffff, 0xffe0e0e0, kShadow, 0xff000000};
  for (const Case& c : cases) {
    QImage img(2, 1, QImage::Format_RGB32);
    img.setPixel(0, 0, kKey);
    img.setPixel(1, 0, qRgb(std::min(c.sum, 255), std::clamp(c.sum - 255, 0, 255), std::max(c.sum - 510, 0)));
    const QImage out =
        vt::skin::shaded(img, T::shadingFor(c.type), QColor::fromRgb(colours[Highlight]), QColor::fromRgb(kShadow));
    EXPECT_EQ(out.pixel(1, 0), colours[c.band]) << int(c.type) << " sum " << c.sum;
    EXPECT_EQ(out.pixel(0, 0), kKey);
  }
}

TEST(ExplorerButton, MouseAwayShowsNoFocusThenStoredThenGeneratedPicture) {
  Page page;
  TExplorerButton* b = skinnedButton(page);
  b->setNoFocusBitmap({});
  b->setBitmap(picture(40, 20, qRgb(50, 50, 50)));  // sum 150: shadow for stMedium
  EXPECT_EQ(page.shot(b).pixel(20, 10), kShadow);
  EXPECT_EQ(page.shot(b).pixel(0, 0), kPage);
  b->setShadingType(TExplorerButton::stLight);  // sum 150: highlight
  EXPECT_EQ(page.shot(b).pixel(20, 10), kLight);
  b->setProperty("IBitmap", picture(40, 20, 0xff0000a0));
  EXPECT_EQ(page.shot(b).pixel(20, 10), 0xff0000a0u);
  b->setNoFocusBitmap(picture(40, 20, 0xff00a0a0));
  EXPECT_EQ(page.shot(b).pixel(20, 10), 0xff00a0a0u);
}

TEST(ExplorerButton, DropDownMenuOpensOnPressInsteadOfAClick) {
  Page page;
  TExplorerButton* b = skinnedButton(page);
  QMenu menu;
  menu.addAction(QStringLiteral("Eins"));
  b->setDropDownMenu(&menu);
  int clicks = 0;
  QObject::connect(b, &TExplorerButton::clicked, [&] { ++clicks; });
  clickAt(b);
  EXPECT_TRUE(menu.isVisible());
  EXPECT_EQ(clicks, 0);
  EXPECT_EQ(page.shot(b).pixel(2, 2), kPage);  // pressed look while the menu is open
  menu.hide();
  EXPECT_EQ(page.shot(b).pixel(2, 2), 0xff0000a0u);
}

TEST(ExplorerButton, HintGoesToTheWindowsStatusLineNotToATooltip) {
  struct TipCatcher : QObject {
    QStringList tips;
    bool eventFilter(QObject*, QEvent* e) override {
      if (e->type() == QEvent::StatusTip) {
        tips << static_cast<QStatusTipEvent*>(e)->tip();
      }
      return false;
    }
  } catcher;
  Page page;
  page.w.installEventFilter(&catcher);
  TExplorerButton* b = skinnedButton(page);
  b->setHint(QStringLiteral("Startet die Suche"));
  enter(b);
  leave(b);
  EXPECT_EQ(catcher.tips, QStringList({QStringLiteral("Startet die Suche"), QString()}));
  EXPECT_TRUE(b->toolTip().isEmpty());
}

TEST(Language, SwitchToEnglishTakesTheEnglishTextsEvenWhenEmpty) {
  Page page;
  TExplorerButton* b = skinnedButton(page);
  b->setCaption(QStringLiteral("&Suchen"));
  b->setHint(QStringLiteral("Startet die Suche"));
  b->setCaptionEng(QStringLiteral("&Search"));
  b->switchToEnglish();
  EXPECT_EQ(b->caption(), QStringLiteral("&Search"));
  EXPECT_TRUE(b->hint().isEmpty());
  EXPECT_TRUE(b->statusTip().isEmpty());

  TTarvoCheckBox box(&page.w);
  box.setCaption(QStringLiteral("Netzwerk"));
  box.setHint(QStringLiteral("Hinweis"));
  box.switchToEnglish();
  EXPECT_TRUE(box.caption().isEmpty());
  EXPECT_EQ(box.hint(), QStringLiteral("Hinweis"));

  TTarvoLabel label(&page.w);
  label.setProperty("Caption", QStringLiteral("Bereich, den Sie manipulieren wollen. "));
  label.switchToEnglish();
  EXPECT_TRUE(label.text().isEmpty());
  label.setProperty("CaptionENG", QStringLiteral("Area"));
  label.switchToEnglish();
  EXPECT_EQ(label.property("Caption").toString(), QStringLiteral("Area"));
}

TEST(TarvoLabel, LetsThePageShowThrough) {
  Page page;
  TTarvoLabel label(&page.w);
  label.setGeometry(11, 7, 80, 30);
  label.setText(QStringLiteral("<b>x</b>"));
  label.show();
  EXPECT_EQ(page.shot(&label).pixel(79, 29), kPage);
  EXPECT_EQ(label.textFormat(), Qt::PlainText);
}

struct BoxOnPage {
  BoxOnPage() {
    box = new TTarvoCheckBox(&page.w);
    box->setGeometry(11, 8, 47, 21);
    box->setBitmapNoFocus(picture(47, 21, 0xff101080));
    box->setBitmap(picture(47, 21, 0xff1080f0));
    box->setBitmapNoFocusChecked(picture(47, 21, 0xff108010));
    box->setBitmapChecked(picture(47, 21, 0xff10f010));
    box->show();
  }
  QRgb centre() { return page.shot(box).pixel(23, 10); }
  Page page;
  TTarvoCheckBox* box;
};

TEST(TarvoCheckBox, ClickHandlerSeesTheStateFromBeforeTheClick) {
  struct Case {
    const char* name;
    std::function<void(TTarvoCheckBox*)> doClick;
  } cases[] = {
      {"mouse", [](TTarvoCheckBox* b) { clickAt(b); }},
      {"space key", [](TTarvoCheckBox* b) { key(b, Qt::Key_Space); }},
      {"programmatic", [](TTarvoCheckBox* b) { b->click(); }},
  };
  for (const Case& c : cases) {
    BoxOnPage f;
    std::vector<bool> seen;
    QObject::connect(
        f.box, &TTarvoCheckBox::clicked, f.box, [&] { seen.push_back(f.box->isChecked()); }, Qt::DirectConnection);
    c.doClick(f.box);
    c.doClick(f.box);
    EXPECT_EQ(seen, std::vector<bool>({false, true})) << c.name;
    EXPECT_FALSE(f.box->isChecked()) << c.name;
    f.box->setChecked(true);
    EXPECT_EQ(seen.size(), 2u) << c.name;  // setting the state fires nothing
  }
}

TEST(TarvoCheckBox, AcceleratorClicksOnlyAnEnabledBox) {
  BoxOnPage f;
  f.box->setCaption(QStringLiteral("&Netzwerk"));
  QShortcutEvent e(QKeySequence(QStringLiteral("Alt+N")), 0);
  QApplication::sendEvent(f.box, &e);
  EXPECT_TRUE(f.box->isChecked());
  f.box->setEnabled(false);
  QApplication::sendEvent(f.box, &e);
  EXPECT_TRUE(f.box->isChecked());
}

TEST(TarvoCheckBox, NoClickWhenReleasedOutside) {
  BoxOnPage f;
  press(f.box, {5, 5});
  mouse(f.box, QEvent::MouseMove, {100, 5}, Qt::LeftButton);
  release(f.box, {100, 5});
  EXPECT_FALSE(f.box->isChecked());
}

TEST(TarvoCheckBox, FaceByCheckStateAndMouse) {
  BoxOnPage f;
  EXPECT_EQ(f.centre(), 0xff101080u);
  enter(f.box);
  EXPECT_EQ(f.centre(), 0xff1080f0u);
  f.box->setChecked(true);
  EXPECT_EQ(f.centre(), 0xff10f010u);
  leave(f.box);
  EXPECT_EQ(f.centre(), 0xff108010u);
  EXPECT_EQ(f.page.shot(f.box).pixel(0, 0), kPage);
  f.box->setGroupIndex(3);
  f.box->setDown(true);
  EXPECT_EQ(f.centre(), kPage);  // a latched box draws no face
}

TEST(TarvoCheckBox, GreyedBoxIsDisabledAndCheckeredOverItsPicture) {
  BoxOnPage f;
  f.box->setGrayed(true);
  EXPECT_FALSE(f.box->isEnabled());
  clickAt(f.box);
  EXPECT_FALSE(f.box->isChecked());
  const QImage img = f.page.shot(f.box);
  for (int y = 0; y < 21; ++y) {
    for (int x = 0; x < 47; ++x) {
      const bool body = x >= 2 && x < 45 && y >= 2 && y < 19;
      const QRgb want = !body ? kPage : (x % 2 == y % 2 ? 0xff000000 : 0xff101080);
      ASSERT_EQ(img.pixel(x, y), want) << x << "," << y;
    }
  }
  f.box->setShowDownPattern(false);
  EXPECT_EQ(f.page.shot(f.box).pixel(2, 2), 0xff101080u);
  f.box->setGrayed(false);
  EXPECT_TRUE(f.box->isEnabled());
  clickAt(f.box);
  EXPECT_TRUE(f.box->isChecked());
}

TEST(TarvoCheckBox, GroupLatchesButASecondClickNeverReleases) {
  Page page;
  TTarvoCheckBox a(&page.w), b(&page.w);
  a.setGroupIndex(1);
  b.setGroupIndex(1);
  a.show();
  b.show();
  clickAt(&a);
  clickAt(&a);
  EXPECT_TRUE(a.isDown());
  clickAt(&b);
  EXPECT_TRUE(b.isDown());
  EXPECT_FALSE(a.isDown());
}

TEST(TarvoCheckBox, SwitchHandlerRunsOnlyWhenSet) {
  TTarvoCheckBox box;
  EXPECT_FALSE(box.hasSwitchHandler());
  box.runSwitch(SwitchMode::Read);  // nothing to run, nothing happens
  std::vector<SwitchMode> modes;
  box.switchHandler = [&](SwitchMode mode) { modes.push_back(mode); };
  box.runSwitch(SwitchMode::Read);
  box.runSwitch(SwitchMode::Write);
  EXPECT_TRUE(box.hasSwitchHandler());
  EXPECT_EQ(modes, std::vector<SwitchMode>({SwitchMode::Read, SwitchMode::Write}));
}

TEST(BitmapControl, BothControlsTakeTheSharedPropertiesByName) {
  QMenu menu;
  TExplorerButton button;
  TTarvoCheckBox box;
  for (TBitmapControl* c : {static_cast<TBitmapControl*>(&button), static_cast<TBitmapControl*>(&box)}) {
    const char* kind = c->metaObject()->className();
    EXPECT_TRUE(c->setProperty("Caption", QStringLiteral("&Eins"))) << kind;
    EXPECT_TRUE(c->setProperty("CaptionENG", QStringLiteral("&One"))) << kind;
    EXPECT_TRUE(c->setProperty("Hint", QStringLiteral("Hinweis"))) << kind;
    EXPECT_TRUE(c->setProperty("HintENG", QStringLiteral("Hint"))) << kind;
    EXPECT_TRUE(c->setProperty("GroupIndex", 2)) << kind;
    EXPECT_TRUE(c->setProperty("Down", true)) << kind;
    EXPECT_TRUE(c->setProperty("DropDownMenu", QVariant::fromValue(&menu))) << kind;
    EXPECT_TRUE(c->setProperty("ShowDownPattern", false)) << kind;
    EXPECT_TRUE(c->setProperty("Enabled", false)) << kind;
    EXPECT_EQ(c->caption(), QStringLiteral("&Eins")) << kind;
    EXPECT_EQ(c->captionEng(), QStringLiteral("&One")) << kind;
    EXPECT_EQ(c->hint(), QStringLiteral("Hinweis")) << kind;
    EXPECT_EQ(c->statusTip(), QStringLiteral("Hinweis")) << kind;
    EXPECT_TRUE(c->toolTip().isEmpty()) << kind;
    EXPECT_EQ(c->hintEng(), QStringLiteral("Hint")) << kind;
    EXPECT_EQ(c->groupIndex(), 2) << kind;
    EXPECT_TRUE(c->isDown()) << kind;  // latched, it stays latched when disabled
    EXPECT_EQ(c->dropDownMenu(), &menu) << kind;
    EXPECT_FALSE(c->showDownPattern()) << kind;
    EXPECT_FALSE(c->isEnabled()) << kind;
  }
}

TEST(BitmapControl, ButtonAndBoxGroupsWithTheSameNumberStayApart) {
  Page page;
  auto* button = new TExplorerButton(&page.w);
  auto* box = new TTarvoCheckBox(&page.w);
  button->setGroupIndex(1);
  box->setGroupIndex(1);
  button->show();
  box->show();
  button->setDown(true);
  box->setDown(true);
  EXPECT_TRUE(button->isDown());
  EXPECT_TRUE(box->isDown());
  clickAt(button);
  EXPECT_TRUE(box->isDown());
}

TEST(BitmapControl, BoxTakesOnlySpaceButtonAlsoReturnAndEnter) {
  BoxOnPage f;
  TExplorerButton* b = skinnedButton(f.page, {150, 7});
  int boxClicks = 0, buttonClicks = 0;
  QObject::connect(f.box, &TTarvoCheckBox::clicked, [&] { ++boxClicks; });
  QObject::connect(b, &TExplorerButton::clicked, [&] { ++buttonClicks; });
  for (int k : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space}) {
    key(f.box, k);
    key(b, k);
  }
  EXPECT_EQ(boxClicks, 1);
  EXPECT_EQ(buttonClicks, 3);
  QKeyEvent repeated(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, QString(), true);
  QApplication::sendEvent(f.box, &repeated);
  EXPECT_EQ(boxClicks, 1);  // holding the key down clicks once
}

TEST(BitmapControl, DisabledBoxIgnoresTheMouse) {
  BoxOnPage f;
  int clicks = 0, hovers = 0;
  QObject::connect(f.box, &TTarvoCheckBox::clicked, [&] { ++clicks; });
  QObject::connect(f.box, &TTarvoCheckBox::entered, [&] { ++hovers; });
  f.box->setEnabled(false);
  enter(f.box);
  clickAt(f.box);
  f.box->click();
  EXPECT_EQ(clicks, 0);
  EXPECT_EQ(hovers, 0);
  EXPECT_FALSE(f.box->isMouseOver());
  EXPECT_FALSE(f.box->isChecked());
}

TEST(BitmapControl, BoxPressedAndDraggedOutLatchesButDoesNotClick) {
  Page page;
  TTarvoCheckBox a(&page.w), b(&page.w);
  a.setGroupIndex(1);
  b.setGroupIndex(1);
  a.setGeometry(0, 0, 20, 20);
  a.show();
  b.show();
  b.setDown(true);
  int clicks = 0;
  QObject::connect(&a, &TTarvoCheckBox::clicked, [&] { ++clicks; });
  press(&a, {5, 5});
  EXPECT_TRUE(a.isPressed());
  mouse(&a, QEvent::MouseMove, {100, 5}, Qt::LeftButton);
  release(&a, {100, 5});
  EXPECT_EQ(clicks, 0);
  EXPECT_FALSE(a.isPressed());
  EXPECT_FALSE(a.isChecked());
  EXPECT_TRUE(a.isDown());
  EXPECT_FALSE(b.isDown());
}

// Where the captions land: the box's text starts 4 pixels right of its picture, the
// button's is centred; both start no higher than half the height less the point size.
TEST(Controls, CaptionsAreDrawnWhereTheSkinExpectsThem) {
  const QFont font(QStringLiteral("Arial"), 8, QFont::Bold);
  BoxOnPage f;
  f.page.w.setFont(font);
  f.box->setGeometry(11, 7, 120, 21);
  f.box->setCaption(QStringLiteral("HH"));
  TExplorerButton* b = skinnedButton(f.page, {150, 7});
  b->setGeometry(150, 7, 84, 30);
  b->setBitmap({});
  b->setNoFocusBitmap({});
  b->setCaption(QStringLiteral("HH"));
  struct Ink {
    int left = 1000, right = -1, top = 1000;
  };
  auto ink = [&](QWidget* w, int fromX) {
    Ink k;
    const QImage img = f.page.shot(w);
    for (int y = 0; y < img.height(); ++y) {
      for (int x = fromX; x < img.width(); ++x) {
        if (img.pixel(x, y) != kPage) {
          k = {std::min(k.left, x), std::max(k.right, x), std::min(k.top, y)};
        }
      }
    }
    return k;
  };
  const Ink boxInk = ink(f.box, 47);
  EXPECT_GE(boxInk.left, 47 + 4);
  EXPECT_LE(boxInk.left, 47 + 4 + 2);
  EXPECT_GE(boxInk.top, 21 / 2 - 8);
  const Ink buttonInk = ink(b, 0);
  EXPECT_NEAR(buttonInk.left, 84 - 1 - buttonInk.right, 2);
  EXPECT_GE(buttonInk.top, 30 / 2 - 8);
  EXPECT_LE(buttonInk.top, 30 / 2 - 8 + QFontMetrics(font).ascent() - QFontMetrics(font).capHeight() + 1);
}

}  // namespace
