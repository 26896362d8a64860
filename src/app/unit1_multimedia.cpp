// The multimedia test pages of the main window and the two launchers of the Diagnosis
// start page. The sequence itself lives in multimedia/; the handlers only forward to it.
#include "app/controls/explbtn.h"
#include "app/controls/tarvocheckbox.h"
#include "app/mediaplayer.h"
#include "app/unit1.h"
#include "multimedia/mmedia.h"
#include "platform/machine.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QStackedWidget>

namespace vt {

namespace {

using multimedia::Control;

// The controls of the multimedia pages, as the sequence sees them.
class MultimediaScreen : public FormPages<multimedia::Screen> {
 public:
  using FormPages::FormPages;

  void setVisible(Control c, bool visible) override {
    if (TExplorerButton* b = button(c)) b->setVisible(visible);
  }
  void setEnabled(Control c, bool enabled) override {
    if (TExplorerButton* b = button(c)) b->setEnabled(enabled);
  }
  bool isSelected(multimedia::Kind k) const override {
    const char* name = k == multimedia::Wav ? "CheckBox_WAV" : k == multimedia::Midi ? "CheckBox_MIDI" : "Checkbox_AVI";
    auto* box = form_.form().get<TTarvoCheckBox>(QString::fromLatin1(name));
    return box && box->isChecked();
  }
  void showCause(const QStringList& lines) override {
    auto* memo = form_.form().get<QPlainTextEdit>(QStringLiteral("Memo_MM1"));
    if (!memo) return;
    memo->setPlainText(lines.join(QLatin1Char('\n')));
    memo->moveCursor(QTextCursor::Start);
    memo->ensureCursorVisible();
  }

 private:
  TExplorerButton* button(Control c) const {
    static constexpr const char* names[] = {"ExplorerButton31", "Button_STOP", "ExplorerButton32", "ExplorerButton24", "MM_Check"};
    return form_.form().get<TExplorerButton>(QString::fromLatin1(names[int(c)]));
  }
};

}  // namespace

void TForm1::PrepareMultimedia() {
  multimediaScreen_ = std::make_unique<MultimediaScreen>(*this);
  mediaPlayer_ = std::make_unique<MediaPlayer>(machine_, state_, get<QLabel>("Panel_AVI"));
  multimedia_ = std::make_unique<multimedia::Sequence>(machine_, state_, dialogs_, *multimediaScreen_, *mediaPlayer_);
  mediaPlayer_->notify = [this] { MediaPlayer1Notify(); };
  multimedia_->setDirectories(programDirectory_, windowsDirectory_);
  multimedia_->reset();

  if (auto* memo = get<QPlainTextEdit>("Memo_MM1")) {
    memo->setLineWrapMode(QPlainTextEdit::NoWrap);
    memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  }
  connectClicks({
      {"Knopf_Multimedia", &TForm1::Knopf_MultimediaClick}, {"ExplorerButton25", &TForm1::ExplorerButton25Click},
      {"ExplorerButton31", &TForm1::ExplorerButton31Click}, {"Button_STOP", &TForm1::Button_STOPClick},
      {"ExplorerButton32", &TForm1::ExplorerButton32Click}, {"ExplorerButton24", &TForm1::ExplorerButton24Click},
      {"MM_Check", &TForm1::MM_CheckClick},                 {"ExplorerButton8", &TForm1::ExplorerButton8Click},
      {"ExplorerButton23", &TForm1::ExplorerButton23Click}, {"ExplorerButton26", &TForm1::ExplorerButton26Click},
      {"ExplorerButton27", &TForm1::ExplorerButton27Click}, {"Knopf_Manager", &TForm1::Knopf_ManagerClick},
      {"ExplorerButton34", &TForm1::ExplorerButton34Click}, {"ExplorerButton12", &TForm1::ExplorerButton12Click},
  });
  // A section button can leave a test page while it plays; the playback ends with it.
  if (notebook1_)
    connect(notebook1_, &QStackedWidget::currentChanged, this, [this] {
      if (multimedia_->playing()) multimedia_->leave();
    });
}

void TForm1::Knopf_MultimediaClick() { multimedia_->enter(); }
void TForm1::ExplorerButton25Click() { multimedia_->begin(); }
void TForm1::ExplorerButton31Click() { multimedia_->startPlayback(); }
void TForm1::Button_STOPClick() { multimedia_->stopPlayback(); }
void TForm1::MediaPlayer1Notify() { multimedia_->playbackEnded(); }
void TForm1::ExplorerButton32Click() { multimedia_->forward(); }
void TForm1::ExplorerButton24Click() { multimedia_->back(); }
void TForm1::MM_CheckClick() { multimedia_->check(); }
void TForm1::ShowProblemSection(QChar letter) { multimedia_->showProblemSection(letter); }

void TForm1::ExplorerButton8Click() {
  multimedia_->leave();
  Diagnose();
}
void TForm1::ExplorerButton23Click() { ExplorerButton8Click(); }
void TForm1::ExplorerButton26Click() { ExplorerButton8Click(); }
void TForm1::ExplorerButton27Click() { ExplorerButton8Click(); }

void TForm1::Knopf_ManagerClick() {
  if (!notebook1_ || !notebook2_) return;
  notebook1_->setCurrentIndex(multimedia::kManagerPage);
  notebook2_->setCurrentIndex(multimedia::kManagerStrip);
  notebook2_->setVisible(true);
}

void TForm1::ExplorerButton34Click() { multimedia::startDeviceManager(machine_); }
void TForm1::ExplorerButton12Click() { multimedia::startDiskCheck(machine_); }

}  // namespace vt
