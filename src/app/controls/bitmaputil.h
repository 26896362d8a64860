// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Drawing helpers shared by the skinned controls. The skin pictures are opaque bitmaps
// whose top-left pixel names the colour that is not drawn, so everything here works on
// that "key colour" rather than on an alpha channel.
#include <QBrush>
#include <QColor>
#include <QFont>
#include <QImage>
#include <QPoint>

class QPainter;
class QWidget;

namespace vt::skin {

// The picture with every pixel of its top-left colour made fully transparent. Results are
// cached by the picture's data, so the hundred controls that share one template picture
// share one converted copy too.
QImage keyedImage(const QImage& picture);

// Draws `picture` at `pos` leaving out its key colour; an empty picture draws nothing.
void drawKeyed(QPainter& p, QPoint pos, const QImage& picture);

// 8 x 8 pattern: `face` with every pixel whose row and column parity are equal set to
// `highlight`. Painted from the widget's origin, pixel (0,0) is a highlight pixel.
QBrush ditherBrush(const QColor& face, const QColor& highlight);

// The disabled look of a picture that has no disabled variant: only its dark pixels
// survive, as a highlight-coloured copy one pixel right and down under a shadow-coloured
// copy at the original place. Everything else is transparent.
QImage embossed(const QImage& picture, const QColor& highlight, const QColor& shadow);

// Whether a pixel counts as dark when a picture is reduced to two colours for embossing.
bool isDarkForEmboss(QRgb pixel);

// Bands of the colour sum r+g+b (0..765) for recolouring a picture: strictly above
// `upper` white, above `middle` highlight, above `lower` shadow, otherwise black.
struct Shading {
  int upper;
  int middle;
  int lower;
};

// The picture with every pixel that is not the key colour recoloured by `shading`; key
// pixels stay as they are so that the result keys out the same way.
QImage shaded(const QImage& picture, const Shading& shading, const QColor& highlight, const QColor& shadow);

// AND-mask for greying a check box face: black where row and column parity are equal and
// the picture's pixel is not its key colour, white elsewhere. Cached per picture, so all
// boxes carrying the same template share one mask.
QImage checkerMask(const QImage& picture);

// Top edge of a control's caption: half the control's height less the font's size in
// points (the skin pictures were laid out around that rule).
int captionTop(int controlHeight, const QFont& font);

// A focus frame for keyboard users, drawn inside the control's edge.
void drawFocusFrame(QPainter& p, const QWidget* w);

}  // namespace vt::skin
