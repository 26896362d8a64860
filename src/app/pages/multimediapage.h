// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The multimedia test pages and the launchers of the Diagnosis start page. The sequence
// itself lives in multimedia/; the handlers only forward to it.
#include "app/pages/page.h"
#include "multimedia/mmedia.h"

#include <memory>
#include <span>

namespace vt {

// The controls of the multimedia pages, as the sequence sees them.
class MultimediaScreen : public FormPages<multimedia::Screen> {
 public:
  using FormPages::FormPages;

  void setVisible(multimedia::Control c, bool visible) override;
  void setEnabled(multimedia::Control c, bool enabled) override;
  bool isSelected(multimedia::Kind k) const override;
  void showCause(const QStringList& lines) override;

 private:
  TExplorerButton* button(multimedia::Control c) const;
};

class MultimediaPage : public Page {
 public:
  explicit MultimediaPage(const PageContext& c);
  ~MultimediaPage();

  // Hands the test its controls and player and binds the pages' buttons; start-up, after
  // the options file.
  void PrepareMultimedia();
  static std::span<const Click<MultimediaPage>> clicks();
  void Knopf_MultimediaClick();
  void ExplorerButton25Click();
  void ExplorerButton31Click();
  void Button_STOPClick();
  void MediaPlayer1Notify();
  void ExplorerButton32Click();
  void ExplorerButton24Click();
  void MM_CheckClick();
  void ShowProblemSection(QChar letter);
  void ExplorerButton8Click();
  void ExplorerButton23Click();
  void ExplorerButton26Click();
  void ExplorerButton27Click();
  // The Device-Manager guide; also the repair of "devices with problems" in the diagnosis.
  void Knopf_ManagerClick();
  void ExplorerButton34Click();
  void ExplorerButton12Click();
  multimedia::Player* MediaPlayer1() const { return mediaPlayer_.get(); }
  multimedia::Sequence* multimediaTest() const { return multimedia_.get(); }

 private:
  std::unique_ptr<MultimediaScreen> screen_;
  std::unique_ptr<multimedia::Player> mediaPlayer_;
  std::unique_ptr<multimedia::Sequence> multimedia_;
};

}  // namespace vt
