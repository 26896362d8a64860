// Vantrel's entry: choose the machine, refuse a second instance on it, build the window
// and run it.
#include "app/machinechoice.h"
#include "app/qtdialogs.h"
#include "app/singleinstance.h"
#include "app/unit1.h"
#include "platform/machine.h"

#include <QApplication>
#include <QScreen>

#include <cstdio>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  app.setApplicationName(QStringLiteral("Vantrel pro by Kestrin"));
  const vt::CommandLine cl = vt::parseCommandLine(QApplication::arguments());
  if (cl.help) {
    std::fputs(vt::kUsage, stdout);
    return 0;
  }
  if (!cl.error.isEmpty()) {
    std::fprintf(stderr, "vantrel: %s\n%s", qPrintable(cl.error), vt::kUsage);
    return 2;
  }
  QString folder, error;
  if (!vt::resolveMachineFolder(cl, &folder, &error)) {
    std::fprintf(stderr, "vantrel: cannot create the sample machine: %s\n", qPrintable(error));
    return 1;
  }
  vt::SingleInstance guard(folder);
  if (!guard.acquire()) return 0;  // another Vantrel works on this machine: end without a word

  auto machine = vt::Machine::open(folder, &error);
  if (!machine) {
    std::fprintf(stderr, "vantrel: %s\n", qPrintable(error));
    return 1;
  }
  QFont font(QStringLiteral("Arial"));
  font.setBold(true);
  font.setPointSize(9);
  QApplication::setFont(font);

  vt::QtDialogService dialogs;
  vt::QtEventPump pump;
  vt::TForm1 form(*machine, dialogs, pump, cl.english ? vt::English : vt::German);
  dialogs.setState(&form.state());
  QObject::connect(&form, &vt::TForm1::terminateRequested, &app, &QApplication::quit);
  if (!form.Starten()) return 0;
  dialogs.setParentWindow(&form);
  if (QScreen* screen = QApplication::primaryScreen())
    form.move(screen->availableGeometry().center() - form.rect().center());
  form.show();
  return app.exec();
}
