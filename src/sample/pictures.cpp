// SPDX-License-Identifier: GPL-3.0-or-later
#include "sample/pictures.h"

#include <QBuffer>
#include <QColor>

#include <cmath>
#include <map>

namespace vt::sample {

namespace {

// A 5 x 9 pixel font: rows 0-6 stand on the base line, rows 7-8 hold descenders.
struct Glyph {
  char c;
  const char* rows[9];
};

// clang-format off
const Glyph kGlyphs[] = {
  {' ', {".....", ".....", ".....", ".....", ".....", ".....", ".....", ".....", "....."}},
  {'.', {".....", ".....", ".....", ".....", ".....", ".##..", ".##..", ".....", "....."}},
  {',', {".....", ".....", ".....", ".....", ".....", ".##..", ".##..", "..#..", ".#..."}},
  {'\'', {"..#..", "..#..", ".#...", ".....", ".....", ".....", ".....", ".....", "....."}},
  {'!', {"..#..", "..#..", "..#..", "..#..", "..#..", ".....", "..#..", ".....", "....."}},
  {'?', {".###.", "#...#", "....#", "...#.", "..#..", ".....", "..#..", ".....", "....."}},
  {'-', {".....", ".....", ".....", ".###.", ".....", ".....", ".....", ".....", "....."}},
  {':', {".....", ".....", ".##..", ".##..", ".....", ".##..", ".##..", ".....", "....."}},
  {'0', {".###.", "#...#", "#..##", "#.#.#", "##..#", "#...#", ".###.", ".....", "....."}},
  {'1', {"..#..", ".##..", "..#..", "..#..", "..#..", "..#..", ".###.", ".....", "....."}},
  {'2', {".###.", "#...#", "....#", "...#.", "..#..", ".#...", "#####", ".....", "....."}},
  {'3', {"#####", "...#.", "..#..", "...#.", "....#", "#...#", ".###.", ".....", "....."}},
  {'4', {"...#.", "..##.", ".#.#.", "#..#.", "#####", "...#.", "...#.", ".....", "....."}},
  {'5', {"#####", "#....", "####.", "....#", "....#", "#...#", ".###.", ".....", "....."}},
  {'6', {"..##.", ".#...", "#....", "####.", "#...#", "#...#", ".###.", ".....", "....."}},
  {'7', {"#####", "....#", "...#.", "..#..", ".#...", ".#...", ".#...", ".....", "....."}},
  {'8', {".###.", "#...#", "#...#", ".###.", "#...#", "#...#", ".###.", ".....", "....."}},
  {'9', {".###.", "#...#", "#...#", ".####", "....#", "...#.", ".##..", ".....", "....."}},
  {'A', {".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#", ".....", "....."}},
  {'B', {"####.", "#...#", "#...#", "####.", "#...#", "#...#", "####.", ".....", "....."}},
  {'C', {".###.", "#...#", "#....", "#....", "#....", "#...#", ".###.", ".....", "....."}},
  {'D', {"####.", "#...#", "#...#", "#...#", "#...#", "#...#", "####.", ".....", "....."}},
  {'E', {"#####", "#....", "#....", "####.", "#....", "#....", "#####", ".....", "....."}},
  {'F', {"#####", "#....", "#....", "####.", "#....", "#....", "#....", ".....", "....."}},
  {'G', {".###.", "#...#", "#....", "#.###", "#...#", "#...#", ".####", ".....", "....."}},
  {'H', {"#...#", "#...#", "#...#", "#####", "#...#", "#...#", "#...#", ".....", "....."}},
  {'I', {".###.", "..#..", "..#..", "..#..", "..#..", "..#..", ".###.", ".....", "....."}},
  {'J', {"..###", "...#.", "...#.", "...#.", "...#.", "#..#.", ".##..", ".....", "....."}},
  {'K', {"#...#", "#..#.", "#.#..", "##...", "#.#..", "#..#.", "#...#", ".....", "....."}},
  {'L', {"#....", "#....", "#....", "#....", "#....", "#....", "#####", ".....", "....."}},
  {'M', {"#...#", "##.##", "#.#.#", "#.#.#", "#...#", "#...#", "#...#", ".....", "....."}},
  {'N', {"#...#", "#...#", "##..#", "#.#.#", "#..##", "#...#", "#...#", ".....", "....."}},
  {'O', {".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###.", ".....", "....."}},
  {'P', {"####.", "#...#", "#...#", "####.", "#....", "#....", "#....", ".....", "....."}},
  {'Q', {".###.", "#...#", "#...#", "#...#", "#.#.#", "#..#.", ".##.#", ".....", "....."}},
  {'R', {"####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#", ".....", "....."}},
  {'S', {".####", "#....", "#....", ".###.", "....#", "....#", "####.", ".....", "....."}},
  {'T', {"#####", "..#..", "..#..", "..#..", "..#..", "..#..", "..#..", ".....", "....."}},
  {'U', {"#...#", "#...#", "#...#", "#...#", "#...#", "#...#", ".###.", ".....", "....."}},
  {'V', {"#...#", "#...#", "#...#", "#...#", "#...#", ".#.#.", "..#..", ".....", "....."}},
  {'W', {"#...#", "#...#", "#...#", "#.#.#", "#.#.#", "#.#.#", ".#.#.", ".....", "....."}},
  {'X', {"#...#", "#...#", ".#.#.", "..#..", ".#.#.", "#...#", "#...#", ".....", "....."}},
  {'Y', {"#...#", "#...#", ".#.#.", "..#..", "..#..", "..#..", "..#..", ".....", "....."}},
  {'Z', {"#####", "....#", "...#.", "..#..", ".#...", "#....", "#####", ".....", "....."}},
  {'a', {".....", ".....", ".###.", "....#", ".####", "#...#", ".####", ".....", "....."}},
  {'b', {"#....", "#....", "#.##.", "##..#", "#...#", "#...#", "####.", ".....", "....."}},
  {'c', {".....", ".....", ".###.", "#....", "#....", "#...#", ".###.", ".....", "....."}},
  {'d', {"....#", "....#", ".##.#", "#..##", "#...#", "#...#", ".####", ".....", "....."}},
  {'e', {".....", ".....", ".###.", "#...#", "#####", "#....", ".###.", ".....", "....."}},
  {'f', {"..##.", ".#..#", ".#...", "###..", ".#...", ".#...", ".#...", ".....", "....."}},
  {'g', {".....", ".....", ".####", "#...#", "#...#", "#...#", ".####", "....#", ".###."}},
  {'h', {"#....", "#....", "#.##.", "##..#", "#...#", "#...#", "#...#", ".....", "....."}},
  {'i', {"..#..", ".....", ".##..", "..#..", "..#..", "..#..", ".###.", ".....", "....."}},
  {'j', {"...#.", ".....", "..##.", "...#.", "...#.", "...#.", "...#.", "#..#.", ".##.."}},
  {'k', {"#....", "#....", "#..#.", "#.#..", "##...", "#.#..", "#..#.", ".....", "....."}},
  {'l', {".##..", "..#..", "..#..", "..#..", "..#..", "..#..", ".###.", ".....", "....."}},
  {'m', {".....", ".....", "##.#.", "#.#.#", "#.#.#", "#...#", "#...#", ".....", "....."}},
  {'n', {".....", ".....", "#.##.", "##..#", "#...#", "#...#", "#...#", ".....", "....."}},
  {'o', {".....", ".....", ".###.", "#...#", "#...#", "#...#", ".###.", ".....", "....."}},
  {'p', {".....", ".....", "####.", "#...#", "#...#", "#...#", "####.", "#....", "#...."}},
  {'q', {".....", ".....", ".####", "#...#", "#...#", "#...#", ".####", "....#", "....#"}},
  {'r', {".....", ".....", "#.##.", "##..#", "#....", "#....", "#....", ".....", "....."}},
  {'s', {".....", ".....", ".####", "#....", ".###.", "....#", "####.", ".....", "....."}},
  {'t', {".#...", ".#...", "###..", ".#...", ".#...", ".#..#", "..##.", ".....", "....."}},
  {'u', {".....", ".....", "#...#", "#...#", "#...#", "#..##", ".##.#", ".....", "....."}},
  {'v', {".....", ".....", "#...#", "#...#", "#...#", ".#.#.", "..#..", ".....", "....."}},
  {'w', {".....", ".....", "#...#", "#...#", "#.#.#", "#.#.#", ".#.#.", ".....", "....."}},
  {'x', {".....", ".....", "#...#", ".#.#.", "..#..", ".#.#.", "#...#", ".....", "....."}},
  {'y', {".....", ".....", "#...#", "#...#", "#...#", "#...#", ".####", "....#", ".###."}},
  {'z', {".....", ".....", "#####", "...#.", "..#..", ".#...", "#####", ".....", "....."}},
};
// clang-format on

const Glyph* glyphFor(QChar c) {
  for (const Glyph& g : kGlyphs)
    if (QChar::fromLatin1(g.c) == c) return &g;
  return &kGlyphs[0];
}

constexpr int kGlyphW = 5, kGlyphH = 9, kAdvance = 6;
constexpr uchar kTextIndex = 240, kShadowIndex = 241;

struct SceneLook {
  QColor top, bottom, glow;
  int clouds = 0;
  bool sun = false;
  QStringList lines;
  double textCentreY = 0.5;  // share of the height
  double pixelAspect = 1.0;  // displayed width of a pixel over its height
};

SceneLook lookOf(Scene scene, int width, int height) {
  SceneLook l;
  // On a 4:3 screen a picture of width x height pixels has pixels this much wider than high.
  l.pixelAspect = (4.0 / width) / (3.0 / height);
  switch (scene) {
    case Scene::Starting:
      l.top = QColor(8, 36, 132);
      l.bottom = QColor(132, 188, 244);
      l.glow = QColor(255, 255, 255);
      l.clouds = 7;
      l.lines = {QStringLiteral("Windows 95 is starting")};
      l.textCentreY = 0.86;
      break;
    case Scene::ShutDown:
      l.top = QColor(24, 12, 72);
      l.bottom = QColor(236, 128, 64);
      l.glow = QColor(255, 226, 176);
      l.clouds = 3;
      l.sun = true;
      l.lines = {QStringLiteral("Please wait while your"), QStringLiteral("computer shuts down.")};
      l.textCentreY = 0.42;
      break;
    case Scene::SafeToOff:
      l.top = QColor(0, 0, 0);
      l.bottom = QColor(28, 14, 0);
      l.glow = QColor(255, 140, 0);
      l.lines = {QStringLiteral("It's now safe to turn off"), QStringLiteral("your computer.")};
      l.textCentreY = 0.5;
      break;
    case Scene::Clouds:
      l.top = QColor(16, 64, 168);
      l.bottom = QColor(150, 200, 248);
      l.glow = QColor(255, 255, 255);
      l.clouds = 9;
      l.pixelAspect = 1.0;
      break;
  }
  return l;
}

QColor mix(const QColor& a, const QColor& b, double t) {
  return QColor(int(std::lround(a.red() + (b.red() - a.red()) * t)), int(std::lround(a.green() + (b.green() - a.green()) * t)),
                int(std::lround(a.blue() + (b.blue() - a.blue()) * t)));
}

// Soft clouds: rows of overlapping puffs with flattened undersides, laid out by a fixed
// pseudo-random sequence, in a 640 x 480 display space shared by every picture size.
struct Puff {
  double x, y, r;
};

QList<Puff> cloudPuffs(int clouds) {
  QList<Puff> puffs;
  quint32 s = 0x5EED1E55u;
  auto next = [&](double lo, double hi) {
    s = s * 1664525u + 1013904223u;
    return lo + (hi - lo) * double(s >> 8) / double(1u << 24);
  };
  for (int c = 0; c < clouds; ++c) {
    const double cx = next(-40, 680), cy = next(40, 300), size = next(18, 42);
    const int n = int(next(3, 7));
    for (int i = 0; i < n; ++i)
      puffs.append({cx + (i - n / 2.0) * size * 0.9 + next(-8, 8), cy - next(0, size * 0.5), size * next(0.8, 1.3)});
  }
  return puffs;
}

double cloudDensity(const QList<Puff>& puffs, double x, double y) {
  double clear = 1.0;
  for (const Puff& p : puffs) {
    const double dx = (x - p.x) / (p.r * 1.6);
    double dy = (y - p.y) / p.r;
    if (dy > 0) dy *= 2.2;  // flat undersides
    const double d2 = dx * dx + dy * dy;
    if (d2 < 6) clear *= 1.0 - 0.9 * std::exp(-d2 * 1.4);
  }
  return 1.0 - clear;
}

const int kBayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};

int dither(double level, int x, int y, int top) {
  const int v = int(std::floor(level + (kBayer[y & 3][x & 3] + 0.5) / 16.0));
  return qBound(0, v, top);
}

}  // namespace

bool parseScene(const QString& name, Scene* out) {
  static const std::map<QString, Scene> names = {
      {QStringLiteral("starting"), Scene::Starting},
      {QStringLiteral("shutdown"), Scene::ShutDown},
      {QStringLiteral("safetooff"), Scene::SafeToOff},
      {QStringLiteral("clouds"), Scene::Clouds},
  };
  const auto it = names.find(name.trimmed().toLower());
  if (it == names.end()) return false;
  *out = it->second;
  return true;
}

QImage drawScene(Scene scene, int width, int height) {
  const SceneLook look = lookOf(scene, width, height);
  QImage img(width, height, QImage::Format_Indexed8);
  // Palette: 16 sky shades x 15 steps towards the glow colour (index = sky * 15 + glow),
  // then the text colour and its shadow, so that text pixels are told apart by index.
  QList<QRgb> palette;
  palette.reserve(256);
  for (int s = 0; s < 16; ++s) {
    const QColor sky = mix(look.top, look.bottom, s / 15.0);
    for (int a = 0; a < 15; ++a) palette.append(mix(sky, look.glow, a / 14.0).rgb());
  }
  palette.append(look.glow.rgb());                            // kTextIndex
  palette.append(mix(look.top, QColor(0, 0, 0), 0.5).rgb());  // kShadowIndex
  while (palette.size() < 256) palette.append(qRgb(0, 0, 0));
  img.setColorTable(palette);

  const QList<Puff> puffs = cloudPuffs(look.clouds);
  const double sx = 640.0 / width, sy = 480.0 / height;
  for (int y = 0; y < height; ++y) {
    uchar* line = img.scanLine(y);
    const double skyLevel = 15.0 * y / qMax(1, height - 1);
    for (int x = 0; x < width; ++x) {
      const double X = (x + 0.5) * sx, Y = (y + 0.5) * sy;
      double glow = puffs.isEmpty() ? 0.0 : cloudDensity(puffs, X, Y);
      if (look.sun) {
        const double dx = (X - 420) / 150, dy = (Y - 330) / 110;
        glow = 1.0 - (1.0 - glow) * (1.0 - 0.75 * std::exp(-(dx * dx + dy * dy)));
      }
      line[x] = uchar(dither(skyLevel, x, y, 15) * 15 + dither(14.0 * qBound(0.0, glow, 1.0), x, y, 14));
    }
  }

  // Text in the glow colour over a shadow in the darkest sky shade. The pixel font is
  // scaled so that its pixels come out roughly square on the screen.
  if (!look.lines.isEmpty()) {
    const int scaleX = width >= 300 ? 2 : 1;
    const int scaleY = qMax(1, int(std::lround(scaleX * look.pixelAspect)));
    const int lineHeight = (kGlyphH + 3) * scaleY;
    const int blockHeight = int(look.lines.size()) * lineHeight;
    int top = int(height * look.textCentreY) - blockHeight / 2;
    for (const QString& text : look.lines) {
      const int textWidth = (int(text.size()) * kAdvance - 1) * scaleX;
      const int left = (width - textWidth) / 2;
      for (int pass = 0; pass < 2; ++pass) {
        const uchar colour = pass == 0 ? kShadowIndex : kTextIndex;
        const int ox = pass == 0 ? scaleX : 0, oy = pass == 0 ? scaleY : 0;
        for (int i = 0; i < text.size(); ++i) {
          const Glyph* g = glyphFor(text[i]);
          for (int row = 0; row < kGlyphH; ++row)
            for (int col = 0; col < kGlyphW; ++col) {
              if (g->rows[row][col] != '#') continue;
              for (int py = 0; py < scaleY; ++py)
                for (int px = 0; px < scaleX; ++px) {
                  const int x = left + (i * kAdvance + col) * scaleX + px + ox;
                  const int y = top + row * scaleY + py + oy;
                  if (x >= 0 && x < width && y >= 0 && y < height) img.scanLine(y)[x] = colour;
                }
            }
        }
      }
      top += lineHeight;
    }
  }
  return img;
}

QByteArray bitmapFile(const QImage& picture) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  if (!picture.save(&buffer, "BMP")) return {};
  return bytes;
}

}  // namespace vt::sample
