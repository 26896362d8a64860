#pragma once
// The one QApplication a window test program needs, made on first use.
#include <QApplication>

namespace vt::test {

inline QApplication* windowApp() {
  static int argc = 1;
  static char name[] = "vantrel_window_test";
  static char* argv[] = {name, nullptr};
  static QApplication* instance = new QApplication(argc, argv);
  return instance;
}

}  // namespace vt::test
