// SPDX-License-Identifier: GPL-3.0-or-later
// The yardstick for start-up: a Qt program that does nothing but show one frameless
// 620x400 window, the size of Vantrel's, and end once it has been handled, as Vantrel
// does under VANTREL_EXIT_WHEN_SHOWN.
#include <QApplication>
#include <QTimer>
#include <QWidget>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QWidget window(nullptr, Qt::FramelessWindowHint);
  window.resize(620, 400);
  window.show();
  QTimer::singleShot(0, &app, &QApplication::quit);
  return app.exec();
}
