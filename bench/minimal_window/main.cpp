// SPDX-License-Identifier: GPL-3.0-or-later
// The yardstick for start-up: a Qt program that does nothing but show one frameless
// 620x400 window, the size of Vantrel's, and end once it has been handled, as Vantrel
// does under VANTREL_EXIT_WHEN_SHOWN. With --label the window shows one line of text in
// Vantrel's font, so that the reference also loads a font, as any window with text must.
#include <QApplication>
#include <QLabel>
#include <QTimer>
#include <QWidget>

#include <cstring>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QWidget window(nullptr, Qt::FramelessWindowHint);
  window.resize(620, 400);
  if (argc > 1 && std::strcmp(argv[1], "--label") == 0) {
    QFont font(QStringLiteral("Arial"));
    font.setBold(true);
    font.setPointSize(9);
    QApplication::setFont(font);
    auto* label = new QLabel(QStringLiteral("Vantrel"), &window);
    label->adjustSize();  // lays the text out, as showing it would
  }
  window.show();
  QTimer::singleShot(0, &app, &QApplication::quit);
  return app.exec();
}
