// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/pages/machinepage.h"

#include "app/controls/tarvolabel.h"
#include "diskimage/diskimage.h"

#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QProgressBar>

namespace vt {

namespace {

constexpr Click<MachinePage> kClicks[] = {
    {"Knopf_Maschine", &MachinePage::Knopf_MaschineClick},
    {"Knopf_Zurueckschreiben", &MachinePage::Knopf_ZurueckschreibenClick},
};

// A path as the user would write it: the home folder as "~".
QString shown(const QString& path) {
  const QString home = QDir::homePath();
  const QString abs = QFileInfo(path).absoluteFilePath();
  return abs.startsWith(home + QLatin1Char('/')) ? QLatin1Char('~') + abs.mid(home.size()) : abs;
}

}  // namespace

std::span<const Click<MachinePage>> MachinePage::clicks() { return kClicks; }

void MachinePage::PrepareMachine(const MachineChoice& choice) {
  choice_ = choice;
  connectClicks<MachinePage>(*this, kClicks);
  showMachine();
}

void MachinePage::showMachine() {
  QString what;
  if (choice_.sample)
    what = text("Maschine: die mitgelieferte Beispielmaschine", "Machine: the built-in sample machine");
  else if (!choice_.image.isEmpty())
    what = text("Disk-Image: %1", "Disk image: %1").arg(shown(choice_.image));
  else
    what = text("Maschine: %1", "Machine: %1").arg(shown(choice_.folder));
  if (auto* label = get<TTarvoLabel>("TarvoLabel_Maschine")) {
    label->setText(what);
    label->setToolTip(choice_.image.isEmpty() ? QString() : shown(choice_.folder));
  }
  if (auto* b = get<TExplorerButton>("Knopf_Zurueckschreiben")) b->setVisible(!choice_.image.isEmpty());
  window_.setWindowTitle(QStringLiteral("Vantrel pro by Kestrin - ") + what);
}

void MachinePage::Knopf_MaschineClick() {
  delete menu_;
  menu_ = new QMenu(&window_);
  menu_->setObjectName(QStringLiteral("Menu_Maschine"));
  for (const QString& target : recentMachines()) {
    QAction* a = menu_->addAction(shown(target));
    a->setData(target);
    QObject::connect(a, &QAction::triggered, &window_, [this, target] { openMachine(target); });
  }
  if (!menu_->isEmpty()) menu_->addSeparator();
  QObject::connect(menu_->addAction(text("Maschinenordner…", "Machine folder…")), &QAction::triggered, &window_, [this] {
    const QString t = dialogs_.chooseMachine(false);
    if (!t.isEmpty()) openMachine(t);
  });
  QObject::connect(menu_->addAction(text("Disk-Image…", "Disk image…")), &QAction::triggered, &window_, [this] {
    const QString t = dialogs_.chooseMachine(true);
    if (!t.isEmpty()) openMachine(t);
  });
  QWidget* under = get<TExplorerButton>("Knopf_Maschine");
  menu_->popup(under ? under->mapToGlobal(QPoint(0, under->height())) : window_.mapToGlobal(QPoint(0, 0)));
}

void MachinePage::openMachine(const QString& target) {
  // The window ends first, asking about changes not written back, as on any close.
  if (restart) restart(target, false);
}

void MachinePage::Knopf_ZurueckschreibenClick() { writeBack(false); }

bool MachinePage::writeBack(bool quiet) {
  if (choice_.image.isEmpty()) return true;
  QString why;
  disk::ExportSummary summary;
  disk::Refusal refusal = disk::Refusal::None;
  // The export opens the machine folder itself; what this window holds of the machine is
  // on disk already, since every change is saved as it is made.
  auto* bar = get<QProgressBar>("ProgressBar_Image");
  const auto shown = [bar](int done, int toDo) {
    bar->setVisible(true);
    bar->setMaximum(toDo);
    bar->setValue(done);
    bar->repaint();
  };
  const bool written = disk::exportImage(choice_.folder, choice_.image, 0, &why, &summary, &refusal,
                                         bar ? disk::Progress(shown) : disk::Progress());
  if (bar) bar->setVisible(false);
  if (!written) {
    const QString image = QFileInfo(choice_.image).fileName();
    switch (refusal) {
      case disk::Refusal::ImageChanged:
        if (dialogs_.confirm(text("Das Disk-Image %1 wurde seit dem Import verändert (wurde es in einem Emulator gestartet?) "
                                  "und bleibt, wie es ist.\rDie Maschine jetzt neu aus dem Disk-Image importieren? Was hier "
                                  "geändert und nicht zurückgeschrieben wurde, geht dabei verloren.",
                                  "The disk image %1 changed since the import (was it started in an emulator?) and was left "
                                  "as it is.\rImport the machine afresh from the disk image now? What was changed here and "
                                  "not written back is lost then.")
                                 .arg(image)) &&
            restart) {
          // Nothing can go back into this image any more; the new import replaces the changes.
          refreshing_ = true;
          restart(choice_.image, true);
        }
        return false;
      case disk::Refusal::InUse:
        dialogs_.warning(text("Das Disk-Image %1 ist in Gebrauch (läuft ein Emulator damit?) und wurde nicht geändert.\r%2",
                              "The disk image %1 is in use (is an emulator running it?) and was not changed.\r%2")
                             .arg(image, why));
        return false;
      case disk::Refusal::NoRoom:
        dialogs_.warning(text("Die Änderungen passen nicht auf das Laufwerk im Disk-Image %1; es wurde nicht geändert.\r%2",
                              "The changes do not fit on the drive in the disk image %1; it was not changed.\r%2")
                             .arg(image, why));
        return false;
      case disk::Refusal::WriteProtected:
        dialogs_.warning(text("Das Disk-Image %1 ist schreibgeschützt und wurde nicht geändert.",
                              "The disk image %1 is write-protected and was not changed.")
                             .arg(image));
        return false;
      default:
        dialogs_.warning(
            text("Das Disk-Image %1 wurde nicht geändert:\r%2", "The disk image %1 was not changed:\r%2").arg(image, why));
        return false;
    }
  }
  if (quiet) return true;
  if (summary.nothingChanged())
    dialogs_.information(text("Seit dem letzten Zurückschreiben hat sich nichts geändert; das Disk-Image blieb unberührt.",
                              "Nothing changed since the last write-back; the disk image was not touched."));
  else
    dialogs_.information(text("Das Disk-Image wurde geschrieben: %1 Dateien geschrieben, %2 entfernt, %3 Ordner angelegt.",
                              "The disk image was written: %1 files written, %2 removed, %3 folders made.")
                             .arg(summary.written)
                             .arg(summary.removed)
                             .arg(summary.folders));
  return true;
}

bool MachinePage::mayClose() {
  if (choice_.image.isEmpty() || refreshing_) return true;
  disk::ExportSummary pending;
  QString why;
  if (!disk::pendingChanges(choice_.folder, &pending, &why) || pending.nothingChanged()) return true;
  if (!dialogs_.confirm(text("Die Änderungen an dieser Maschine sind noch nicht im Disk-Image %1.\rJetzt zurückschreiben?",
                             "The changes to this machine are not in the disk image %1 yet.\rWrite them back now?")
                            .arg(QFileInfo(choice_.image).fileName())))
    return true;
  return writeBack(true);
}

}  // namespace vt
