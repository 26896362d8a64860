// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/unit1.h"

#include "app/controls/explorerbutton.h"
#include "app/controls/tarvocheckbox.h"
#include "app/controls/tarvolabel.h"
#include "app/helpwindow.h"
#include "app/image.h"
#include "app/pages/backuppage.h"
#include "app/pages/cleanuppage.h"
#include "app/pages/diagnosispage.h"
#include "app/pages/machinepage.h"
#include "app/pages/multimediapage.h"
#include "app/pages/reportpage.h"
#include "app/pages/tuningpage.h"
#include "app/qttexts.h"
#include "platform/machine.h"
#include "platform/text.h"

#include "buildinfo.h"

#include <QDirIterator>
#include <QFile>
#include <QLabel>
#include <QCloseEvent>
#include <QMouseEvent>
#include <QStackedWidget>
#include <QStatusTipEvent>
#include <QTreeWidget>

namespace vt {

namespace {

struct Section {
  const char* button;
  int page;
  int strip;  // -1: the strip container is hidden
  const char* titleDe;
  const char* titleEn;
};

// Indexed by section number (the button's tag minus 10).
constexpr Section kSections[] = {
    {"Knopf0", 16, -1, "Vantrel - Optionen", "Vantrel V%1 - Options"},  // the build's version
    {"Knopf1", 9, 0, "Tuning", "Tuning"},
    {"Knopf2", 6, 1, "Windows aufräumen", "Clean up Windows"},
    {"Knopf3", 2, -1, "Systemdiagnose", "Systemdiagnose"},
    {"Knopf4", 18, 5, "Backup", "Backup"},
    {"Knopf5", 13, -1, "Bootmenü", "Bootmenu"},
    {"Knopf6", 14, -1, "Logos", "Logos"},
    {"Knopf7", 20, -1, "Informationen zu diesem Produkt", "Informationen zu diesem Produkt"},
};

constexpr Click<TForm1> kClicks[] = {
    // Pure return buttons.
    {"ExplorerButton28", &TForm1::Diagnose},
    {"ExplorerButton33", &TForm1::Diagnose},
};

}  // namespace

TForm1::TForm1(Machine& machine, DialogService& dialogs, EventPump& pump, int language, QWidget* parent)
    : QWidget(parent, Qt::FramelessWindowHint),
      machine_(machine),
      dialogs_(dialogs),
      pump_(pump),
      requestedLanguage_(language),
      osInfo_(machine),
      reg_(machine, state_),
      ini_(machine),
      files_(machine, state_, dialogs, pump),
      backups_(machine, state_, dialogs),
      context_{*this, *this, machine, dialogs, pump, state_, osInfo_, reg_, ini_, files_, backups_, form_, flags_, directories_},
      tuningPage_(std::make_unique<TuningPage>(context_)),
      backupPage_(std::make_unique<BackupPage>(context_)),
      cleanupPage_(std::make_unique<CleanupPage>(context_)),
      multimediaPage_(std::make_unique<MultimediaPage>(context_)),
      diagnosisPage_(std::make_unique<DiagnosisPage>(context_)),
      reportPage_(std::make_unique<ReportPage>(context_)),
      machinePage_(std::make_unique<MachinePage>(context_)) {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(QStringLiteral("Vantrel pro by Kestrin"));
  setFixedSize(620, 400);
  QFont f(QStringLiteral("Arial"));
  f.setBold(true);
  f.setPointSize(9);
  setFont(f);
}

TForm1::~TForm1() = default;

TExplorerButton* TForm1::sectionButton(int index) const {
  if (index < 0 || index >= int(std::size(kSections))) return nullptr;
  return get<TExplorerButton>(kSections[index].button);
}

// The start-up sequence: each step prepares what the later ones read, so the order matters.
bool TForm1::Starten() {
  if (!formBuilt_ && !buildForm()) return false;
  resetSharedState();
  useQtTexts(state_.language == German);
  ensureProgramKey();
  if (!runsOnWindows95()) return false;
  // Where Vantrel lives on the machine; its data files are put there when missing.
  directories_.program = machine_.facts().programDirectory;
  installDataFiles();
  if (osInfo_.ColorDepth() < 5) useSixteenColours();
  backupPage_->PrepareBackups();
  if (state_.language == English) useEnglishTexts();
  backupPage_->FirstStartBackup();
  sharePageBackgrounds();

  // Every switch shows the system's state; buttons get their faces.
  tuningPage_->BindTuning();
  ReadAllSwitches();
  AssignButtonBitmaps();
  tuningPage_->ReadBootDelays();
  tuningPage_->ReadMenuShowDelay();
  tuningPage_->ReadUserFields();
  tuningPage_->ReadLogos();

  LOAD_OPTIONS();
  multimediaPage_->PrepareMultimedia();
  diagnosisPage_->PrepareDiagnosis();
  cleanupPage_->PrepareCleanUp();
  reportPage_->PrepareReport();
  machinePage_->PrepareMachine(choice_);
  machinePage_->restart = [this](const QString& target, bool refresh) {
    if (ending_) return;
    ProgEnde();
    if (ending_) emit restartRequested(target, refresh);
  };
  // Always open on the Info section.
  if (TExplorerButton* info = get<TExplorerButton>("Knopf7")) info->click();
  return true;
}

bool TForm1::buildForm() {
  formBuilt_ = loadFormDescription();
  return formBuilt_;
}

bool TForm1::loadFormDescription() {
  QFile description(QStringLiteral(":/form/form.json"));
  QString error;
  if (!description.open(QIODevice::ReadOnly) || !loadForm(description.readAll(), this, &form_, &error)) {
    dialogs_.warning(error.isEmpty() ? QStringLiteral("The form description is missing.") : error);
    return false;
  }
  notebook1_ = get<QStackedWidget>("Notebook1");
  notebook2_ = get<QStackedWidget>("Notebook2");
  statusLabel_ = form_.get<QLabel>(QStringLiteral("Label_status"));
  // The product line shows the build's version in either language.
  if (auto* product = get<TTarvoLabel>("TarvoLabel71")) {
    product->setText(QStringLiteral("Vantrel pro V%1").arg(QLatin1String(build::kVersion)));
    product->setCaptionEng(product->text());
  }
  connectHandlers();
  return true;
}

void TForm1::resetSharedState() {
  currentSection_ = 1;
  state_.language = requestedLanguage_;  // German unless English was asked for on the command line
  directories_.windows = osInfo_.WindowsDirectory();
  directories_.system = osInfo_.SystemDirectory();
  directories_.fonts = osInfo_.Fonts();
  state_.cancel = state_.busy = 0;
}

// The program's own key, made on the first start. This one warning exists in German only.
void TForm1::ensureProgramKey() {
  if (reg_.RegKeyExists(HKEY_LOCAL_MACHINE, QString::fromLatin1(kProgramKey))) return;
  dialogs_.warning(
      QString::fromUtf8("Vantrel konnte seine Einstellungen in der Registry nicht finden!\rVerwende Standart-Einstellungen."));
  reg_.WriteRegStringCreate(HKEY_LOCAL_MACHINE, QString::fromLatin1(kProgramKey), u"Start", u"0");
  reg_.WriteRegStringCreate(HKEY_LOCAL_MACHINE, QString::fromLatin1(kProgramKey), u"Sprache", u"0");
}

bool TForm1::runsOnWindows95() {
  if (osInfo_.Platform() == QLatin1String("Win95")) return true;
  dialogs_.warning(text("Dieses Programm läuft nur unter Windows95!", "This Programm will only run under Windows95!"));
  return false;
}

// The English texts, and the hints the form keeps in German only.
void TForm1::useEnglishTexts() {
  SwitchToEnglish();
  const std::pair<const char*, const char*> hints[] = {
      {"Image3", "Quit VTR"},        {"Logo_1", "Change Bootlogo"},       {"Logo_2", "Change this logo"},
      {"Logo_3", "Change end-logo"}, {"Image_HELP", "Help on this page"},
  };
  for (const auto& [name, hint] : hints)
    if (QObject* o = form_.find(QString::fromLatin1(name))) o->setProperty("Hint", QString::fromLatin1(hint));
}

// The page backgrounds share one picture per container (none in 16 colours).
void TForm1::sharePageBackgrounds() {
  if (osInfo_.ColorDepth() < 5) return;
  const QImage page1 = get<TImage>("Image_Notebook1") ? get<TImage>("Image_Notebook1")->picture() : QImage();
  const QImage page2 = get<TImage>("Image_Notebook2") ? get<TImage>("Image_Notebook2")->picture() : QImage();
  for (int i = 1; i <= 38; ++i)
    if (auto* s = form_.get<TImage>(QStringLiteral("Seite%1").arg(i))) s->setPicture(page1);
  for (int i = 1; i <= 11; ++i)
    if (auto* s = form_.get<TImage>(QStringLiteral("SmallSeite%1").arg(i))) s->setPicture(page2);
}

void TForm1::connectHandlers() {
  for (int i = 0; i < int(std::size(kSections)); ++i)
    if (TExplorerButton* b = sectionButton(i)) connect(b, &TExplorerButton::clicked, this, [this, b] { select(b); });

  for (const auto& [name, handler] : kClicks)
    if (auto* b = get<TExplorerButton>(name)) connect(b, &TExplorerButton::clicked, this, handler);

  if (auto* close = get<TImage>("Image3")) connect(close, &TImage::clicked, this, &TForm1::ProgEnde);
  if (auto* help = get<TImage>("Image4")) connect(help, &TImage::clicked, this, &TForm1::Image4Click);
  // The warning must come before the box toggles, so the handler runs on the click itself.
  if (auto* b = get<TTarvoCheckBox>("Checkbox_Netzwerk"))
    connect(b, &TTarvoCheckBox::clicked, this, &TForm1::Checkbox_NetzwerkClick, Qt::DirectConnection);
  if (auto* b = get<TTarvoCheckBox>("CheckBox_REPLACEREG"))
    connect(b, &TTarvoCheckBox::clicked, this, &TForm1::CheckBox_REPLACEREGClick, Qt::DirectConnection);
}

std::span<const Click<TForm1>> TForm1::clicks() { return kClicks; }

// --- navigation -------------------------------------------------------------------------

void TForm1::select(TExplorerButton* sender) {
  if (state_.busy) return;
  const int index = sender->property("Tag").toInt() - 10;
  if (index < 0 || index >= int(std::size(kSections))) return;
  sender->setEnabled(false);
  if (TExplorerButton* previous = sectionButton(currentSection_); previous && previous != sender) previous->setEnabled(true);
  SETFLAGS();
  if (auto* title = form_.get<QLabel>(QStringLiteral("Label_Thema"))) {
    QString t = text(kSections[index].titleDe, kSections[index].titleEn);
    if (t.contains(QLatin1String("%1"))) t = t.arg(QLatin1String(build::kVersion));
    title->setText(t);
  }
  switch (index) {
    case 0: Optionen(); break;
    case 1: tuning(); break;
    case 2: CleanUp(); break;
    case 3: Diagnose(); break;
    case 4: Backup(); break;
    case 5: Bootmenu(); break;
    case 6: Logos(); break;
    case 7: Info(); break;
  }
  currentSection_ = index;
}

void TForm1::showSection(int page, int strip) {
  if (!notebook1_ || notebook1_->currentIndex() == page) return;
  notebook1_->setCurrentIndex(page);
  if (notebook2_) {
    if (strip >= 0) notebook2_->setCurrentIndex(strip);
    notebook2_->setVisible(strip >= 0);
  }
  notebook1_->repaint();
}

void TForm1::Optionen() { showSection(kSections[0].page, kSections[0].strip); }

void TForm1::tuning() {
  if (notebook1_ && notebook1_->currentIndex() == kSections[1].page) return;
  showSection(kSections[1].page, kSections[1].strip);
  if (auto* b = get<TExplorerButton>("ExplorerButton1")) b->click();
}

void TForm1::CleanUp() {
  if (notebook1_ && notebook1_->currentIndex() == kSections[2].page) return;
  showSection(kSections[2].page, kSections[2].strip);
  if (auto* b = get<TExplorerButton>("ExplorerButton6")) b->click();
}

void TForm1::Diagnose() { showSection(kSections[3].page, kSections[3].strip); }

void TForm1::Backup() {
  showSection(kSections[4].page, kSections[4].strip);
  if (notebook2_) notebook2_->repaint();
}

void TForm1::Bootmenu() { showSection(kSections[5].page, kSections[5].strip); }
void TForm1::Logos() { showSection(kSections[6].page, kSections[6].strip); }
void TForm1::Info() { showSection(kSections[7].page, kSections[7].strip); }

int TForm1::helpContext(int page) {
  static constexpr int contexts[38] = {
      0,  0,  12, 14, 14, 14, 9,  10, 11, 4,  5,  6,  7,  23, 24, 8,  2,  0,  18,
      13, 25, 19, 20, 22, 22, 15, 15, 15, 15, 15, 13, 13, 13, 14, 15, 15, 11, 0,
  };
  return page >= 0 && page < 38 ? contexts[page] : 0;
}

void TForm1::Image4Click() {
  if (!notebook1_) return;
  const int context = helpContext(notebook1_->currentIndex());
  if (!context) return;
  if (!help_) help_ = std::make_unique<HelpWindow>(machine_, directories_.program, dialogs_, this);
  help_->showTopic(context, state_.language == English);
}

// --- component walks ----------------------------------------------------------------------

void TForm1::SwitchToEnglish() {
  for (QObject* o : form_.components) {
    if (auto* b = qobject_cast<TExplorerButton*>(o))
      b->switchToEnglish();
    else if (auto* c = qobject_cast<TTarvoCheckBox*>(o))
      c->switchToEnglish();
    else if (auto* l = qobject_cast<TTarvoLabel*>(o))
      l->switchToEnglish();
    else if (auto* img = qobject_cast<TImage*>(o))
      img->switchToEnglish();
    else if (auto* view = qobject_cast<QTreeWidget*>(o); view && view->property("ColumnsENG").isValid())
      view->setHeaderLabels(view->property("ColumnsENG").toStringList());
  }
}

void TForm1::AssignButtonBitmaps() {
  auto picture = [this](const char* name) {
    auto* t = get<TImage>(name);
    return t ? t->picture() : QImage();
  };
  const QImage m1 = picture("Knopf_m1"), n1 = picture("Knopf_n1"), s1 = picture("Knopf_s1");
  const QImage m2 = picture("Knopf_m2"), n2 = picture("Knopf_n2"), s2 = picture("Knopf_s2");
  for (QObject* o : form_.components) {
    auto* b = qobject_cast<TExplorerButton*>(o);
    if (!b || b->height() >= 70 || b->width() == 100) continue;
    const bool large = b->width() > 100;
    b->setProperty("Bitmap", large ? m1 : m2);
    b->setProperty("NoFocusBitmap", large ? n1 : n2);
    b->setProperty("DisabledBitmap", large ? s1 : s2);
  }
}

void TForm1::ReadAllSwitches() {
  auto picture = [this](const char* name) {
    auto* t = get<TImage>(name);
    return t ? t->picture() : QImage();
  };
  const QImage noS = picture("NoHakenS"), noN = picture("NoHakenN"), yesS = picture("HakenS"), yesN = picture("HakenN");
  for (QObject* o : form_.components) {
    auto* c = qobject_cast<TTarvoCheckBox*>(o);
    if (!c) continue;
    c->setProperty("Bitmap", noS);
    c->setProperty("BitmapNoFocus", noN);
    c->setProperty("BitmapCHECKED", yesS);
    c->setProperty("BitmapNoFocusCHECKED", yesN);
    if (c->hasSwitchHandler()) c->runSwitch(SwitchMode::Read);
  }
}

void TForm1::WriteAllSwitches() {
  for (QObject* o : form_.components)
    if (auto* c = qobject_cast<TTarvoCheckBox*>(o); c && c->hasSwitchHandler()) c->runSwitch(SwitchMode::Write);
}

// 16 colours or fewer (a Windows started in safe mode): the plain skin, and the user is told.
void TForm1::useSixteenColours() {
  auto copy = [this](const char* from, std::initializer_list<const char*> to) {
    auto* source = get<TImage>(from);
    if (!source) return;
    for (const char* name : to)
      if (auto* t = get<TImage>(name)) t->setPicture(source->picture());
  };
  copy("Image_16col", {"Image1"});
  copy("BKnopf_16col", {"Knopf_n1", "Knopf_m1", "Knopf_s1"});
  copy("SKnopf_16col", {"Knopf_n2", "Knopf_m2", "Knopf_s2"});
  copy("Haken1_16col", {"NoHakenN", "NoHakenS"});
  copy("Haken2_16col", {"HakenN", "HakenS"});
  dialogs_.warning(
      text("Sie nutzen derzeit nur den 16-Farben Modus!\rVermutlich haben Sie Windows im abgesicherten "
           "Modus gestartet.\rAlle Grafiken werden abgeschaltet!",
           "You are currently running Windows in 16-color mode!\rPerhaps you have started Windows in "
           "safe-mode.\rAll graphics are disabled!"));
}

// Vantrel's data files (the help topics, the rescue disk's help, the multimedia test's
// problem texts and test media, the analysis' descriptions and solutions) are shipped
// inside the program and put into its directory on the machine where missing; files
// already there are left alone, so a user's edited copy survives.
void TForm1::installDataFiles() {
  FileSystem& fs = machine_.files();
  // Help topics keep their folders ("help/de/04.html"); the other files lie in the program
  // directory itself under their own names ("HELP.bat", "PROBWAV.de", "LSG.eng").
  const std::pair<QString, bool> sources[] = {{QStringLiteral(":/help"), true},
                                              {QStringLiteral(":/rescue"), false},
                                              {QStringLiteral(":/multimedia"), false},
                                              {QStringLiteral(":/diagnosis"), false}};
  for (const auto& [root, keepFolders] : sources) {
    QDirIterator it(root, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
      const QString resource = it.next();
      QString relative = keepFolders ? resource.mid(2).toUpper() : resource.section(QLatin1Char('/'), -1);
      relative.replace(QLatin1Char('/'), QLatin1Char('\\'));
      const QString target = directories_.program + QLatin1Char('\\') + relative;
      if (fs.exists(target)) continue;
      QFile f(resource);
      if (!f.open(QIODevice::ReadOnly)) continue;
      const QString folder = target.left(target.lastIndexOf(QLatin1Char('\\')));
      if (!fs.exists(folder) && !fs.createDirectories(folder)) continue;
      fs.writeFile(target, f.readAll());
    }
  }
}

void TForm1::showDeviceManagerGuide() { multimediaPage_->Knopf_ManagerClick(); }

// --- end ----------------------------------------------------------------------------------

void TForm1::ProgEnde() {
  if (ending_) return;
  // Changes to a machine from a disk image may still have to go back into the image.
  if (machinePage_ && !machinePage_->mayClose()) return;
  ending_ = true;
  // A file search in progress ends at its next folder instead of running on to the end.
  state_.cancel = 1;
  if (flags_.saveOptions && !SAVE_OPTIONS())
    dialogs_.warning(text("Die Optionen konnten nicht gespeichert werden:\r%1\rVantrel wird trotzdem beendet.",
                          "The options could not be saved:\r%1\rVantrel will quit anyway.")
                         .arg(describe(machine_.files().lastError())));
  emit terminateRequested();
}

// --- window behaviour ---------------------------------------------------------------------

bool TForm1::event(QEvent* e) {
  // Whatever control is under the mouse puts its hint into the status line.
  if (e->type() == QEvent::StatusTip) {
    if (statusLabel_) statusLabel_->setText(static_cast<QStatusTipEvent*>(e)->tip());
    return true;
  }
  return QWidget::event(e);
}

// The window has no caption bar; it is moved by dragging its background.
void TForm1::mousePressEvent(QMouseEvent* e) {
  if (e->button() == Qt::LeftButton) {
    dragging_ = true;
    dragOffset_ = e->globalPosition().toPoint() - frameGeometry().topLeft();
  }
}

void TForm1::mouseMoveEvent(QMouseEvent* e) {
  if (dragging_) move(e->globalPosition().toPoint() - dragOffset_);
}

void TForm1::mouseReleaseEvent(QMouseEvent*) { dragging_ = false; }

void TForm1::closeEvent(QCloseEvent* e) {
  ProgEnde();
  if (ending_)
    e->accept();
  else
    e->ignore();
}

}  // namespace vt
