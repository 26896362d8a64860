// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/winpath.h"

#include <gtest/gtest.h>

namespace vt {
namespace {

// The path as parsed ("C:\a\b", or "C:\a\b|pattern" when a pattern was asked for), or the
// error: no host folder is needed to judge any of it.
QString parsed(const QString& currentDir, const QString& in, bool withPattern) {
  WinPath p;
  WinError err = WinError::Success;
  QString pattern;
  if (!parseWinPath(currentDir, in, &p, &err, withPattern ? &pattern : nullptr))
    return QStringLiteral("error %1").arg(unsigned(err));
  QString out = QString(p.drive) + QStringLiteral(":\\") + p.parts.join(QLatin1Char('\\'));
  return withPattern ? out + QLatin1Char('|') + pattern : out;
}

TEST(WinPath, ParsingFoldsRefusesAndMeasuresAsWindows95) {
  const QString a100(100, QLatin1Char('a')), n255(255, QLatin1Char('n')), n256(256, QLatin1Char('n'));
  struct Case {
    QString cur, in;
    bool pattern;
    QString out;
  } cases[] = {
      {"C:\\WIN", "x\\..\\y", false, "C:\\WIN\\y"},
      {"C:\\WIN", "c:SYS", false, "C:\\WIN\\SYS"},  // relative to the current folder of its drive
      {"C:\\WIN", "D:SYS", false, "D:\\SYS"},
      {"", "x", false, "error 3"},
      {"", "\\x", false, "error 3"},
      {"C:\\", "\\\\.\\C:", false, "error 161"},
      {"C:\\", "C:\\a\\*.TXT", true, "C:\\a|*.TXT"},
      {"C:\\", "C:\\a\\", true, "C:\\a|"},
      {"C:\\", "C:\\a\\readme.", true, "C:\\a|readme."},  // a pattern keeps its trailing point
      {"C:\\", "C:\\a*\\b", true, "error 123"},           // wildcards only in the last name
      {"C:\\", "C:\\a\\b|c", true, "error 123"},
      {"C:\\", "C:\\" + n255 + "..", false, "C:\\" + n255},
      {"C:\\", "C:\\" + n256, false, "error 123"},
      {"C:\\", "C:\\" + n256, true, "error 123"},
      {"C:\\", "C:\\" + n255, true, "C:\\|" + n255},
      {"C:\\", "C:\\" + a100 + "\\" + QString(155, QLatin1Char('p')), true, "C:\\" + a100 + "|" + QString(155, QLatin1Char('p'))},
      {"C:\\", "C:\\" + a100 + "\\" + QString(156, QLatin1Char('p')), true, "error 206"},
      {"C:\\", "C:\\" + a100 + "\\" + a100 + "\\" + QString(54, QLatin1Char('f')), false,
       "C:\\" + a100 + "\\" + a100 + "\\" + QString(54, QLatin1Char('f'))},
      {"C:\\", "C:\\" + a100 + "\\" + a100 + "\\" + QString(55, QLatin1Char('f')), false, "error 206"},
      // Devices, whatever the extension or blanks before it; only COM1 to COM9 and LPT1 to LPT9.
      {"C:\\", "C:\\WIN\\com1 .txt", false, "error 5"},
      {"C:\\", "C:\\clock$.x", false, "error 5"},
      {"C:\\", "C:\\COM0", false, "C:\\COM0"},
      {"C:\\", "C:\\LPT10", false, "C:\\LPT10"},
      {"C:\\", "C:\\CONFIG.SYS", false, "C:\\CONFIG.SYS"},
  };
  for (const Case& c : cases) EXPECT_EQ(parsed(c.cur, c.in, c.pattern), c.out) << c.in.toStdString();
}

TEST(WinPath, RootPathsNameTheirDrive) {
  struct Case {
    const char* cur;
    const char* root;
    char letter;
  } cases[] = {
      {"C:\\WIN", "d:", 'D'},      {"C:\\WIN", "e:/x", 'E'}, {"D:\\", "\\", 'D'}, {"D:\\", "", 'D'}, {"C:\\", "D", 0},
      {"C:\\", "\\\\srv\\x\\", 0}, {"C:\\", "//srv/x/", 0},  {"C:\\", "1:\\", 0}, {"", "\\", 0},
  };
  for (const Case& c : cases) {
    QChar letter;
    const bool named = driveLetterOf(QString::fromLatin1(c.cur), QString::fromLatin1(c.root), &letter);
    EXPECT_EQ(named ? letter.toLatin1() : 0, c.letter) << c.root;
  }
}

}  // namespace
}  // namespace vt
