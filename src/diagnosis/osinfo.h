// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The operating-system facts the program needs, gathered once when the main window is
// created: where Windows lives, the user's shell folders, platform, processor, screen.
#include <QString>

namespace vt {

class Machine;

class TOSInfo {
 public:
  explicit TOSInfo(Machine& machine);

  const QString& WindowsDirectory() const { return windowsDirectory_; }
  const QString& SystemDirectory() const { return systemDirectory_; }
  int ScreenWidth() const { return screenWidth_; }
  int ScreenHeight() const { return screenHeight_; }
  int ColorDepth() const { return colorDepth_; }
  const QString& UserName() const { return userName_; }
  const QString& ComputerName() const { return computerName_; }
  const QString& Platform() const { return platform_; }    // "Win95", "WinNT", "Win32" or empty
  const QString& Processor() const { return processor_; }  // "386", "486", "Pentium" or "x"

  // The shell folders of the current user; a missing value gives the empty text.
  const QString& Programs() const { return programs_; }
  const QString& Recent() const { return recent_; }
  const QString& StartMenu() const { return startMenu_; }
  const QString& StartUp() const { return startUp_; }
  const QString& Desktop() const { return desktop_; }
  const QString& Fonts() const { return fonts_; }
  const QString& NetHood() const { return netHood_; }
  const QString& Personal() const { return personal_; }
  const QString& SendTo() const { return sendTo_; }

  // The processor text for a processor type number (586 and later Intel types report 586).
  static QString processorText(int type);

 private:
  QString windowsDirectory_, systemDirectory_;
  int screenWidth_ = 0, screenHeight_ = 0, colorDepth_ = 0;
  QString userName_, computerName_, platform_, processor_;
  QString programs_, recent_, startMenu_, startUp_, desktop_, fonts_, netHood_, personal_, sendTo_;
};

}  // namespace vt
