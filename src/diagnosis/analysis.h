// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The system analysis: seventeen checks of a Windows 95 installation, each named by a
// letter from A to Q, run in that order. A check that finds something adds its letter to
// the problem list; nine of them also note what they found (the lines, programs, values or
// devices) for the browser to show and for AUTOFIX to work on. The analysis only reads:
// nothing on the machine changes while it runs.
#include "sysaccess/state.h"

#include <QString>
#include <QStringList>

#include <array>

namespace vt {

class Machine;
class RegAccess;
class IniAccess;

namespace diagnosis {

inline constexpr char kFirstLetter = 'A';
inline constexpr char kLastLetter = 'Q';
inline constexpr int kLetterCount = kLastLetter - kFirstLetter + 1;
// The progress bar moves once after each check but the last.
inline constexpr int kAnalysisSteps = kLetterCount - 1;

// Keys the checks read and the repairs change.
inline constexpr const char16_t* kFileSystemKey = u"System\\CurrentControlSet\\Control\\Filesystem";
inline constexpr const char16_t* kRunKey = u"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr const char16_t* kFontsKey = u"Software\\Microsoft\\Windows\\CurrentVersion\\Fonts";
inline constexpr const char16_t* kConfigManagerKey = u"Config Manager\\Enum";

// The file-system switch a letter from H to M checks, and the value that counts as the problem.
struct FileSystemSwitch {
  char letter;
  const char16_t* name;
  quint32 problemValue;
};
inline constexpr FileSystemSwitch kFileSystemSwitches[] = {
    {'H', u"SoftCompatMode", 0},  {'I', u"PreserveLongNames", 0}, {'J', u"VirtualHDIRQ", 0},
    {'K', u"AsyncFileCommit", 1}, {'L', u"ForceRMIO", 1},         {'M', u"DriveWriteBehind", 0},
};

// The libraries check O looks for, as the list names them.
inline constexpr const char* kSystemLibraries[] = {"WSOCK32.dll", "kernel32.dll", "gdi32.dll", "user32.dll", "shell32.dll"};

// The letters whose checks note what they found: C, D, E, F, G, N, O, P, Q.
bool hasDetails(QChar letter);

// What one analysis found.
struct Findings {
  QString problems;  // the letters, in the order of the checks; empty: no problem
  std::array<QStringList, kLetterCount> details;

  QStringList& detailsOf(QChar letter);
  const QStringList& detailsOf(QChar letter) const;
  void clearDetails();
};

// The analysis page: the status line and the bar of kAnalysisSteps steps.
class AnalysisView {
 public:
  virtual ~AnalysisView() = default;
  virtual void showStatus(const QString& text) = 0;
  virtual void showProgress(int position) = 0;
};

// The three folders the checks look in, as the operating-system facts give them.
struct Folders {
  QString windows;  // W
  QString system;   // S
  QString fonts;    // F, the Fonts shell folder; may be empty
};

class Analysis {
 public:
  Analysis(Machine& machine, RegAccess& reg, IniAccess& ini, const SharedState& state, Folders folders,
           AnalysisView* view = nullptr);

  Findings run();

  // The status text of a letter's check in the current language.
  QString statusText(QChar letter) const;

 private:
  bool lowMemory();
  bool lowDiskSpace();
  void oldSystemIniDrivers(QStringList& found);
  void missingWinIniPrograms(QStringView key, QStringList& found);
  void missingAutoexecPrograms(QStringList& found);
  void missingConfigSysDrivers(QStringList& found);
  bool fileSystemSwitch(const FileSystemSwitch& s);
  void missingRunPrograms(QStringList& found);
  void missingSystemLibraries(QStringList& found);
  void missingFonts(QStringList& found);
  void troubledDevices(QStringList& found);

  bool isFile(const QString& path);
  // A text file's lines in capitals; false when it does not exist or cannot be read.
  bool upperLines(const QString& path, QList<QByteArray>* lines);

  Machine& machine_;
  RegAccess& reg_;
  IniAccess& ini_;
  const SharedState& state_;
  Folders folders_;
  AnalysisView* view_;
};

}  // namespace diagnosis
}  // namespace vt
