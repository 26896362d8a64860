#pragma once
// Shortcut files (.LNK) in the shell link format of Windows 95: the 4Ch-byte header,
// the link information naming the target by volume and local path, and ANSI string
// data. Written for the sample machine's Start menu and desktop; read back by the tests
// and by "vantrel-machine lnk".
#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <optional>

namespace vt::sample {

struct ShellLink {
  QString target;          // full Windows path, e.g. C:\WINDOWS\NOTEPAD.EXE, or a root "A:\"
  QString workingDir;
  QString arguments;
  QString description;
  QString iconLocation;
  int iconIndex = 0;
  int showCommand = 1;     // SW_SHOWNORMAL
  // Where the shortcut lies (Windows path); the writer stores the target relative to it.
  QString linkPath;
  QString relativePath;    // as read back

  // Facts about the target's volume and the target itself, as Windows records them when
  // the shortcut is made.
  quint32 driveType = 3;   // DRIVE_FIXED
  quint32 volumeSerial = 0;
  QString volumeLabel;
  quint32 targetAttributes = 0x20;
  quint32 targetSize = 0;
  QDateTime targetTime;    // UTC; invalid: zero times
};

QByteArray writeShellLink(const ShellLink& link);
// Reads what writeShellLink writes (and any Windows 95 shortcut that names its target
// through link information with a local path); nullopt for anything else.
std::optional<ShellLink> readShellLink(const QByteArray& bytes);

}  // namespace vt::sample
