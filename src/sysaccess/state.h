// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The few process-wide values every section shares: the language of the texts, and the
// flags and counter of the long actions (the file search and its directory count).
namespace vt {

enum Language { German = 0, English = 1 };

struct SharedState {
  int language = German;
  unsigned char cancel = 0;  // set by the cancel buttons of long actions
  unsigned char busy = 0;    // 1 while the file search runs; section buttons are inert
  int directoryCounter = 0;  // the file search's progress bar maximum, raised by its count

  // The German or the English text, by the language flag.
  const char* pick(const char* german, const char* english) const { return language == English ? english : german; }
};

}  // namespace vt
