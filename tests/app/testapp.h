// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The one QApplication a window test program needs, made on first use, and the built-in
// sample machine started in the main window as a user would start it the first time.
#include "app/controls/explorerbutton.h"
#include "app/unit1.h"
#include "platform/machine.h"
#include "sample/samplemachine.h"
#include "sysaccess/fakes.h"

#include <QApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace vt::test {

inline QApplication* windowApp() {
  static int argc = 1;
  static char name[] = "vantrel_window_test";
  static char* argv[] = {name, nullptr};
  static QApplication* instance = new QApplication(argc, argv);
  return instance;
}

struct SampleWindow {
  QTemporaryDir dir;
  std::unique_ptr<Machine> machine;
  RecordingDialogs dialogs;
  CallbackPump pump;
  std::unique_ptr<TForm1> form;

  explicit SampleWindow(int language = German) {
    windowApp();
    QString error;
    EXPECT_TRUE(sample::createSampleMachine(dir.path(), &error)) << error.toStdString();
    machine = Machine::open(dir.path(), &error);
    form = std::make_unique<TForm1>(*machine, dialogs, pump, language);
    EXPECT_TRUE(form->Starten());
  }
  template <typename T>
  T* get(const char* name) {
    return form->form().get<T>(QString::fromLatin1(name));
  }
  void click(const char* button) { get<TExplorerButton>(button)->click(); }
  FileSystem& fs() { return machine->files(); }
};

}  // namespace vt::test
