// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Shortcuts as Windows 95 keeps them: shell links (.LNK) in the shell link format, and the
// program information files (.PIF) that start MS-DOS programs. A shortcut comes from the
// machine folder, so every reader takes any bytes: a damaged or cut-off file is "not a
// shortcut", never a crash, a read past the end or an allocation its size cannot justify.
#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <functional>
#include <optional>

namespace vt {

class FileSystem;

struct ShellLink {
  // The path Windows resolves the link to: the local path of the link information, else
  // the share (by the drive letter it was mapped to, else as \\SERVER\SHARE), else what
  // the shell's item list spells out (short names). Empty when none of them says.
  QString target;
  QString workingDir;
  QString arguments;
  QString description;
  QString iconLocation;
  QString relativePath;  // the target seen from the shortcut's folder ("..\NOTEPAD.EXE")
  int iconIndex = 0;
  int showCommand = 1;   // SW_SHOWNORMAL
  quint16 hotKey = 0;    // virtual key in the low byte, HOTKEYF_ modifiers in the high byte
  bool unicode = false;  // the strings are UTF-16 (Windows NT writes them so), not ANSI

  // The link information: a local volume and path, a network share, both, or neither (a
  // link that only the item list describes).
  bool hasLocalPath = true;
  quint32 driveType = 3;  // DRIVE_FIXED
  quint32 volumeSerial = 0;
  QString volumeLabel;
  QString netName;     // "\\SERVER\SHARE"; empty: no share recorded
  QString deviceName;  // the drive the share was mapped to, "N:"

  // What Windows recorded about the target when the shortcut was made.
  quint32 targetAttributes = 0x20;
  quint32 targetSize = 0;
  QDateTime targetTime;  // UTC; invalid: zero times

  // Only for writing: where the shortcut lies, to record the relative path when
  // `relativePath` is empty.
  QString linkPath;
};

// A shell link as Windows 95 writes it (no item list). A network target must lie below
// `deviceName`, or `netName` when that is empty.
QByteArray writeShellLink(const ShellLink& link);
std::optional<ShellLink> readShellLink(const QByteArray& bytes);

// The basic section of a program information file (Windows-1252 text).
struct Pif {
  QString title;       // the window title, 30 characters at most
  QString program;     // e.g. C:\GAMES\TANKS\TANKS.EXE, 62 characters at most
  QString workingDir;  // 63 at most
  QString parameters;  // 63 at most
};

// A Windows 95 program information file of 967 bytes: the basic section and the
// "MICROSOFT PIFEX", "WINDOWS 386 3.0" and "WINDOWS VMM 4.0" sections.
QByteArray writePif(const Pif& pif);
// Any file of at least the basic section (369 bytes) whose program field ends within its
// 63 bytes; a PIF has no signature before the extension headings, which Windows 3.0 did
// not write yet.
std::optional<Pif> readPif(const QByteArray& bytes);

// A shell link or, failing that, a program information file taken as a shortcut (the
// program is the target, the title the description).
std::optional<ShellLink> readShortcut(const QByteArray& bytes);

// The shortcut reader of the clean-up: a shortcut file of the machine and what it names.
// Setting Path reads the file; a file that cannot be read as a shortcut leaves every
// property as it was except Success, which turns false. Path then still names the last
// shortcut that could be read, so setting Update after a failed load reads that one
// again: a file is judged by Success as it stands right after Path was set.
class TShellLink {
 public:
  explicit TShellLink(FileSystem& fs) : fs_(fs) {}

  bool Quiet() const { return quiet_; }
  void setQuiet(bool quiet) { quiet_ = quiet; }
  const QString& Path() const { return path_; }
  void setPath(const QString& winPath) { load(winPath); }
  const QString& Target() const { return target_; }
  const QString& WorkingDir() const { return workingDir_; }
  const QString& Description() const { return description_; }
  const QString& Arguments() const { return arguments_; }
  const QString& IconLocation() const { return iconLocation_; }
  quint16 HotKey() const { return hotKey_; }
  int ShowCmd() const { return showCmd_; }
  int IconNumber() const { return iconNumber_; }
  bool Update() const { return update_; }
  // Reads Path again, whatever the value; Update is true from then on.
  void setUpdate(bool);
  bool Success() const { return success_; }

  // Called with a title and a message when a load fails and Quiet is false.
  std::function<void(const QString& title, const QString& text)> onError;

 private:
  void load(const QString& winPath);

  FileSystem& fs_;
  bool quiet_ = false;
  QString path_, target_, workingDir_, description_, arguments_, iconLocation_;
  quint16 hotKey_ = 0;
  int showCmd_ = 1;
  int iconNumber_ = 0;
  bool update_ = false;
  bool success_ = false;
};

}  // namespace vt
