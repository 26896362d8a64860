// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The operating-system facts the program needs, gathered once when the main window is
// created: where Windows lives, platform, processor, screen; the user's shell folders
// once when first asked for, as they come from the registry, which the window reads
// while it is being built.
#include <QString>

#include <optional>

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
  const QString& Programs() const { return shellFolders().programs; }
  const QString& Recent() const { return shellFolders().recent; }
  const QString& StartMenu() const { return shellFolders().startMenu; }
  const QString& StartUp() const { return shellFolders().startUp; }
  const QString& Desktop() const { return shellFolders().desktop; }
  const QString& Fonts() const { return shellFolders().fonts; }
  const QString& NetHood() const { return shellFolders().netHood; }
  const QString& Personal() const { return shellFolders().personal; }
  const QString& SendTo() const { return shellFolders().sendTo; }

  // The processor text for a processor type number (586 and later Intel types report 586).
  static QString processorText(int type);

 private:
  QString windowsDirectory_, systemDirectory_;
  int screenWidth_ = 0, screenHeight_ = 0, colorDepth_ = 0;
  QString userName_, computerName_, platform_, processor_;
  struct ShellFolders {
    QString programs, recent, startMenu, startUp, desktop, fonts, netHood, personal, sendTo;
  };
  const ShellFolders& shellFolders() const;

  Machine& machine_;
  mutable std::optional<ShellFolders> shellFolders_;
};

}  // namespace vt
