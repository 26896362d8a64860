// Vantrel's entry. Until the main window lands this shows the machine's facts and drives.
#include "app/machinechoice.h"
#include "diagnosis/osinfo.h"
#include "platform/machine.h"

#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QWidget>

#include <cstdio>

namespace {

QString driveTypeText(vt::DriveType t, bool en) {
  switch (t) {
    case vt::DriveType::Removable: return en ? QStringLiteral("removable") : QStringLiteral("Wechseldatenträger");
    case vt::DriveType::Fixed: return en ? QStringLiteral("fixed") : QStringLiteral("Festplatte");
    case vt::DriveType::CdRom: return QStringLiteral("CD-ROM");
    case vt::DriveType::Remote: return en ? QStringLiteral("network") : QStringLiteral("Netzlaufwerk");
    case vt::DriveType::RamDisk: return en ? QStringLiteral("RAM disk") : QStringLiteral("RAM-Disk");
    default: return en ? QStringLiteral("unknown") : QStringLiteral("unbekannt");
  }
}

QString megabytes(qint64 bytes) { return QStringLiteral("%1 MB").arg(double(bytes) / (1024.0 * 1024.0), 0, 'f', 1); }

}  // namespace

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
  auto machine = vt::Machine::open(folder, &error);
  if (!machine) {
    std::fprintf(stderr, "vantrel: %s\n", qPrintable(error));
    return 1;
  }
  const vt::TOSInfo os(*machine);
  const bool en = cl.english;

  QWidget window;
  window.setWindowTitle(QStringLiteral("Vantrel pro by Kestrin"));
  auto* layout = new QVBoxLayout(&window);
  auto* title = new QLabel(en ? QStringLiteral("<b>Machine</b> %1").arg(machine->folder().toHtmlEscaped())
                              : QStringLiteral("<b>Rechner</b> %1").arg(machine->folder().toHtmlEscaped()));
  layout->addWidget(title);
  auto* facts = new QTreeWidget;
  facts->setHeaderLabels({en ? QStringLiteral("Fact") : QStringLiteral("Angabe"), en ? QStringLiteral("Value") : QStringLiteral("Wert")});
  const vt::MachineFacts& f = machine->facts();
  const QList<QPair<QString, QString>> rows = {
      {en ? QStringLiteral("Platform") : QStringLiteral("Plattform"), os.Platform()},
      {en ? QStringLiteral("Processor") : QStringLiteral("Prozessor"), os.Processor()},
      {en ? QStringLiteral("Memory") : QStringLiteral("Speicher"), megabytes(qint64(f.physicalMemory))},
      {en ? QStringLiteral("Screen") : QStringLiteral("Bildschirm"),
       QStringLiteral("%1 × %2, %3 bit").arg(os.ScreenWidth()).arg(os.ScreenHeight()).arg(os.ColorDepth())},
      {en ? QStringLiteral("User") : QStringLiteral("Benutzer"), os.UserName()},
      {en ? QStringLiteral("Computer") : QStringLiteral("Computer"), os.ComputerName()},
      {QStringLiteral("Windows"), os.WindowsDirectory()},
      {QStringLiteral("System"), os.SystemDirectory()},
      {en ? QStringLiteral("Start menu") : QStringLiteral("Startmenü"), os.StartMenu()},
  };
  for (const auto& [k, v] : rows) facts->addTopLevelItem(new QTreeWidgetItem({k, v}));
  facts->setRootIsDecorated(false);
  facts->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
  layout->addWidget(facts);

  auto* drives = new QTreeWidget;
  drives->setHeaderLabels({en ? QStringLiteral("Drive") : QStringLiteral("Laufwerk"), en ? QStringLiteral("Type") : QStringLiteral("Typ"),
                           en ? QStringLiteral("Label") : QStringLiteral("Bezeichnung"), QStringLiteral("FS"),
                           en ? QStringLiteral("Size") : QStringLiteral("Größe"), en ? QStringLiteral("Free") : QStringLiteral("Frei")});
  vt::FileSystem& fs = machine->files();
  for (const auto& [letter, d] : fs.drives()) {
    const QString root = QString(letter) + QStringLiteral(":\\");
    qint64 freeBytes = 0, total = 0;
    QString label, fsName;
    const bool ready = fs.diskFreeSpaceEx(root, &freeBytes, &total) && fs.volumeInformation(root, &label, &fsName);
    const QString none = en ? QStringLiteral("no disk") : QStringLiteral("kein Datenträger");
    drives->addTopLevelItem(new QTreeWidgetItem({QString(letter) + QLatin1Char(':'), driveTypeText(d.type, en), ready ? label : none,
                                                 ready ? fsName : QString(), ready ? megabytes(total) : QString(),
                                                 ready ? megabytes(freeBytes) : QString()}));
  }
  drives->setRootIsDecorated(false);
  drives->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
  layout->addWidget(drives);
  window.resize(620, 400);
  window.show();
  return app.exec();
}
