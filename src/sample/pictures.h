// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The pictures of the sample machine: the three Windows start and shut-down screens
// (320 x 400 pixels, 256 colours, shown on a 4:3 screen, so each pixel is wider than
// high) and a desktop wallpaper. Drawn from scratch: a dithered colour gradient, soft
// clouds or a glow, and a line or two of text in a built-in pixel font, so no font or
// display is needed to make them.
#include <QByteArray>
#include <QImage>
#include <QString>

namespace vt::sample {

enum class Scene {
  Starting,   // blue sky with clouds: "Windows 95 is starting"
  ShutDown,   // dusk: "Please wait while your computer shuts down."
  SafeToOff,  // dark, orange text: "It's now safe to turn off your computer."
  Clouds,     // the wallpaper: sky and clouds, no text, square pixels
};

bool parseScene(const QString& name, Scene* out);

// An 8-bit indexed picture with a 256-colour palette.
QImage drawScene(Scene scene, int width, int height);
// The picture as an uncompressed Windows bitmap file (BITMAPINFOHEADER, 8 bits per pixel).
QByteArray bitmapFile(const QImage& picture);

}  // namespace vt::sample
