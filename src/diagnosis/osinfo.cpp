// SPDX-License-Identifier: GPL-3.0-or-later
#include "diagnosis/osinfo.h"

#include "platform/machine.h"
#include "platform/text.h"

namespace vt {

namespace {
// GetComputerName's buffer holds 15 characters and the NUL.
constexpr int kComputerNameMax = 15;
constexpr int kUserNameMax = 1023;
// The shell folders are read with a 200-byte buffer.
constexpr int kShellFolderMax = 199;

QString clipped(const QString& text, int maxBytes) {
  const QByteArray ansi = toAnsi(text);
  return ansi.size() <= maxBytes ? text : fromAnsi(ansi.left(maxBytes));
}
}  // namespace

QString TOSInfo::processorText(int type) {
  switch (type) {
    case 386: return QStringLiteral("386");
    case 486: return QStringLiteral("486");
    case 586: return QStringLiteral("Pentium");
    default: return QStringLiteral("x");
  }
}

TOSInfo::TOSInfo(Machine& machine) : machine_(machine) {
  const MachineFacts& f = machine.facts();
  windowsDirectory_ = clipped(f.windowsDirectory, 254);
  systemDirectory_ = clipped(f.systemDirectory, 254);
  screenWidth_ = f.screenWidth;
  screenHeight_ = f.screenHeight;
  colorDepth_ = f.colorDepth;
  userName_ = clipped(f.userName, kUserNameMax);
  // A name that does not fit the buffer makes the call fail, which leaves the fact empty.
  computerName_ = toAnsi(f.computerName).size() <= kComputerNameMax ? f.computerName : QString();
  platform_ =
      (f.platform == QLatin1String("Win95") || f.platform == QLatin1String("WinNT") || f.platform == QLatin1String("Win32"))
          ? f.platform
          : QString();
  processor_ = processorText(f.processor);
}

const TOSInfo::ShellFolders& TOSInfo::shellFolders() const {
  if (shellFolders_) return *shellFolders_;
  RegKey* folders =
      machine_.registry().openKey(HKey::CurrentUser, u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders");
  auto read = [&](const char* name) -> QString {
    if (!folders) return {};
    const RegValue* v = folders->findValue(name);
    if (!v) return {};
    QByteArray data = v->data;
    const qsizetype nul = data.indexOf('\0');
    if (nul >= 0) data.truncate(nul);
    return fromAnsi(data.left(kShellFolderMax));
  };
  ShellFolders& f = shellFolders_.emplace();
  f.programs = read("Programs");
  f.recent = read("Recent");
  f.startMenu = read("Start Menu");
  f.startUp = read("StartUp");
  f.desktop = read("Desktop");
  f.fonts = read("Fonts");
  f.netHood = read("NetHood");
  f.personal = read("Personal");
  f.sendTo = read("SendTo");
  return f;
}

}  // namespace vt
