// SPDX-License-Identifier: GPL-3.0-or-later
// Vantrel's entry: choose the machine, refuse a second instance on it, build the window
// and run it.
#include "app/formloader.h"
#include "app/machinechoice.h"
#include "app/qtdialogs.h"
#include "app/qttexts.h"
#include "app/singleinstance.h"
#include "app/unit1.h"
#include "diskimage/diskimage.h"
#include "platform/machine.h"

#include "buildinfo.h"

#include <QApplication>
#include <QFileInfo>
#include <QMessageBox>
#include <QProgressDialog>
#include <QScreen>
#include <QTimer>

#include <cstdio>
#include <optional>

namespace {

// A user who starts Vantrel from a desktop menu sees no terminal, so a refusal to start is
// shown in a box as well; scripts can keep it to stderr.
int refuseToStart(const vt::CommandLine& cl, const QString& why) {
  std::fprintf(stderr, "vantrel: %s\n", qPrintable(why));
  if (qEnvironmentVariableIsEmpty("VANTREL_NO_ERROR_BOX")) {
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Vantrel"),
                    (cl.english ? QStringLiteral("Vantrel cannot start:") : QStringLiteral("Vantrel kann nicht starten:")) +
                        QStringLiteral("\n\n") + why);
    box.exec();
  }
  return 1;
}

// --help and --version are answered before the GUI starts, so that they work without a
// display (in a terminal over ssh, in a package's build).
bool answeredWithoutDisplay(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const QLatin1String a(argv[i]);
    if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
      std::fputs(vt::kUsage, stdout);
      std::printf("The guides machine.md and disk-images.md are in %s.\n", qPrintable(vt::build::guidesFolder()));
      return true;
    }
    if (a == QLatin1String("--version") || a == QLatin1String("-V")) {
      std::printf("vantrel %s\n", vt::build::kVersion);
      return true;
    }
  }
  return false;
}

// Shown while a disk image is imported before the window can open on it.
class ImportNotice {
 public:
  ImportNotice(const vt::CommandLine& cl, const QString& image)
      : dialog_(cl.english ? QStringLiteral("Importing %1 ...").arg(QFileInfo(image).fileName())
                           : QStringLiteral("%1 wird importiert ...").arg(QFileInfo(image).fileName()),
                QString(), 0, 0) {
    dialog_.setWindowTitle(QStringLiteral("Vantrel"));
    dialog_.setCancelButton(nullptr);
    dialog_.setMinimumDuration(0);
    dialog_.show();
    QApplication::processEvents();
  }
  // Moves the bar along the files copied; it runs from busy to a count once there is one.
  vt::disk::Progress progress() {
    return [this](int done, int toDo) {
      dialog_.setMaximum(toDo);
      dialog_.setValue(done);
      QApplication::processEvents();
    };
  }

 private:
  QProgressDialog dialog_;
};

// Runs the window on `target` until it ends; `next` is set when it should start again on
// another machine (`refresh`: after importing that image afresh).
int runOn(const vt::CommandLine& cl, const QString& target, bool refresh, QString* next, bool* nextRefresh) {
  QString error;
  vt::MachineChoice choice;
  if (refresh) {
    vt::MachineChoice old;
    if (vt::resolveMachine(target, &old, &error) && !old.image.isEmpty()) {
      ImportNotice notice(cl, old.image);
      if (!vt::disk::refreshImport(old.image, old.folder, &error, nullptr, notice.progress())) return refuseToStart(cl, error);
    }
  }
  {
    std::optional<ImportNotice> notice;
    if (vt::isDiskImage(target) && !QFileInfo::exists(vt::imageMachineFolder(target) + QStringLiteral("/machine.ini")))
      notice.emplace(cl, target);
    if (!vt::resolveMachine(target, &choice, &error, notice ? notice->progress() : vt::disk::Progress()))
      return refuseToStart(cl, error);
  }
  vt::SingleInstance guard(choice.folder);
  switch (guard.acquire()) {
    case vt::SingleInstance::Acquired: break;
    case vt::SingleInstance::HeldByAnother: return 0;  // another Vantrel works on this machine: end without a word
    case vt::SingleInstance::Failed: return refuseToStart(cl, guard.error());
  }

  auto machine = vt::Machine::open(choice.folder, &error, vt::MachineOpen::Existing, vt::RegistryLoad::InBackground);
  if (!machine) return refuseToStart(cl, error);
  for (const QString& warning : machine->warnings()) {
    std::fprintf(stderr, "vantrel: %s\n", qPrintable(warning));
    if (qEnvironmentVariableIsEmpty("VANTREL_NO_ERROR_BOX"))
      QMessageBox(QMessageBox::Warning, QStringLiteral("Vantrel"), warning).exec();
  }

  vt::QtDialogService dialogs;
  vt::QtEventPump pump;
  vt::TForm1 form(*machine, dialogs, pump, cl.english ? vt::English : vt::German);
  form.setMachineChoice(choice);
  dialogs.setState(&form.state());
  QObject::connect(&form, &vt::TForm1::terminateRequested, qApp, &QApplication::quit);
  QObject::connect(&form, &vt::TForm1::restartRequested, qApp, [&](const QString& t, bool r) {
    *next = t;
    *nextRefresh = r;
  });
  if (!form.buildForm()) return 0;
  if (!machine->finishOpening(&error)) return refuseToStart(cl, error);
  if (!choice.sample) vt::rememberMachine(target);
  if (!form.Starten()) return 0;
  dialogs.setParentWindow(&form);
  if (QScreen* screen = QApplication::primaryScreen()) form.move(screen->availableGeometry().center() - form.rect().center());
  form.show();
  // For timing start-up from outside: end as soon as the shown window has been handled.
  if (qEnvironmentVariableIsSet("VANTREL_EXIT_WHEN_SHOWN")) QTimer::singleShot(0, qApp, &QApplication::quit);
  return QApplication::exec();
}

}  // namespace

int main(int argc, char** argv) {
  if (answeredWithoutDisplay(argc, argv)) return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
  QApplication app(argc, argv);
  app.setApplicationName(QStringLiteral("Vantrel pro by Kestrin"));
  app.setApplicationVersion(QLatin1String(vt::build::kVersion));
  const vt::CommandLine cl = vt::parseCommandLine(QApplication::arguments());
  if (!cl.error.isEmpty()) {
    std::fprintf(stderr, "vantrel: %s\n%s", qPrintable(cl.error), vt::kUsage);
    return 2;
  }
  // The boxes before the window (a machine that cannot be opened) speak its language too.
  vt::useQtTexts(!cl.english);
  QFont font(QStringLiteral("Arial"));
  font.setBold(true);
  font.setPointSize(9);
  QApplication::setFont(font);
  const vt::WindowPreload preload;

  // Another machine chosen in the window starts the window again, through the same start-up.
  QString target = cl.target;
  bool refresh = false;
  for (;;) {
    QString next;
    bool nextRefresh = false;
    const int rc = runOn(cl, target, refresh, &next, &nextRefresh);
    if (next.isEmpty()) return rc;
    target = next;
    refresh = nextRefresh;
  }
}
