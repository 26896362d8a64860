// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/pages/multimediapage.h"

#include "app/controls/tarvocheckbox.h"
#include "app/mediaplayer.h"
#include "platform/machine.h"

#include <QLabel>
#include <QPlainTextEdit>

namespace vt {

using multimedia::Control;

void MultimediaScreen::setVisible(Control c, bool visible) {
  if (TExplorerButton* b = button(c)) b->setVisible(visible);
}
void MultimediaScreen::setEnabled(Control c, bool enabled) {
  if (TExplorerButton* b = button(c)) b->setEnabled(enabled);
}
bool MultimediaScreen::isSelected(multimedia::Kind k) const {
  const char* name = k == multimedia::Wav ? "CheckBox_WAV" : k == multimedia::Midi ? "CheckBox_MIDI" : "Checkbox_AVI";
  auto* box = get<TTarvoCheckBox>(name);
  return box && box->isChecked();
}
void MultimediaScreen::showCause(const QStringList& lines) {
  auto* memo = get<QPlainTextEdit>("Memo_MM1");
  if (!memo) return;
  memo->setPlainText(lines.join(QLatin1Char('\n')));
  memo->moveCursor(QTextCursor::Start);
  memo->ensureCursorVisible();
}

TExplorerButton* MultimediaScreen::button(Control c) const {
  static constexpr const char* names[] = {"ExplorerButton31", "Button_STOP", "ExplorerButton32", "ExplorerButton24", "MM_Check"};
  return get<TExplorerButton>(names[int(c)]);
}

namespace {

constexpr Click<MultimediaPage> kClicks[] = {
    {"Knopf_Multimedia", &MultimediaPage::Knopf_MultimediaClick},
    {"ExplorerButton25", &MultimediaPage::ExplorerButton25Click},
    {"ExplorerButton31", &MultimediaPage::ExplorerButton31Click},
    {"Button_STOP", &MultimediaPage::Button_STOPClick},
    {"ExplorerButton32", &MultimediaPage::ExplorerButton32Click},
    {"ExplorerButton24", &MultimediaPage::ExplorerButton24Click},
    {"MM_Check", &MultimediaPage::MM_CheckClick},
    {"ExplorerButton8", &MultimediaPage::ExplorerButton8Click},
    {"ExplorerButton23", &MultimediaPage::ExplorerButton23Click},
    {"ExplorerButton26", &MultimediaPage::ExplorerButton26Click},
    {"ExplorerButton27", &MultimediaPage::ExplorerButton27Click},
    {"Knopf_Manager", &MultimediaPage::Knopf_ManagerClick},
    {"ExplorerButton34", &MultimediaPage::ExplorerButton34Click},
    {"ExplorerButton12", &MultimediaPage::ExplorerButton12Click},
};

}  // namespace

MultimediaPage::MultimediaPage(const PageContext& c) : Page(c) {}
MultimediaPage::~MultimediaPage() = default;

std::span<const Click<MultimediaPage>> MultimediaPage::clicks() { return kClicks; }

void MultimediaPage::PrepareMultimedia() {
  screen_ = std::make_unique<MultimediaScreen>(host_, form_);
  mediaPlayer_ = std::make_unique<MediaPlayer>(machine_, state_, get<QLabel>("Panel_AVI"));
  multimedia_ = std::make_unique<multimedia::Sequence>(machine_, state_, dialogs_, *screen_, *mediaPlayer_);
  mediaPlayer_->notify = [this] { MediaPlayer1Notify(); };
  multimedia_->setDirectories(programDirectory_, windowsDirectory_);
  multimedia_->reset();

  if (auto* memo = get<QPlainTextEdit>("Memo_MM1")) {
    memo->setLineWrapMode(QPlainTextEdit::NoWrap);
    memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  }
  connectClicks<MultimediaPage>(*this, kClicks);
  // A section button can leave a test page while it plays; the playback ends with it.
  if (QStackedWidget* pages = notebook1())
    QObject::connect(pages, &QStackedWidget::currentChanged, &window_, [this] {
      if (multimedia_->playing()) multimedia_->leave();
    });
}

void MultimediaPage::Knopf_MultimediaClick() { multimedia_->enter(); }
void MultimediaPage::ExplorerButton25Click() { multimedia_->begin(); }
void MultimediaPage::ExplorerButton31Click() { multimedia_->startPlayback(); }
void MultimediaPage::Button_STOPClick() { multimedia_->stopPlayback(); }
void MultimediaPage::MediaPlayer1Notify() { multimedia_->playbackEnded(); }
void MultimediaPage::ExplorerButton32Click() { multimedia_->forward(); }
void MultimediaPage::ExplorerButton24Click() { multimedia_->back(); }
void MultimediaPage::MM_CheckClick() { multimedia_->check(); }
void MultimediaPage::ShowProblemSection(QChar letter) { multimedia_->showProblemSection(letter); }

void MultimediaPage::ExplorerButton8Click() {
  multimedia_->leave();
  host_.Diagnose();
}
void MultimediaPage::ExplorerButton23Click() { ExplorerButton8Click(); }
void MultimediaPage::ExplorerButton26Click() { ExplorerButton8Click(); }
void MultimediaPage::ExplorerButton27Click() { ExplorerButton8Click(); }

void MultimediaPage::Knopf_ManagerClick() {
  if (!notebook1() || !notebook2()) return;
  notebook1()->setCurrentIndex(multimedia::kManagerPage);
  notebook2()->setCurrentIndex(multimedia::kManagerStrip);
  notebook2()->setVisible(true);
}

void MultimediaPage::ExplorerButton34Click() { multimedia::startDeviceManager(machine_); }
void MultimediaPage::ExplorerButton12Click() { multimedia::startDiskCheck(machine_); }

}  // namespace vt
