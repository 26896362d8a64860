// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The help viewer: one topic per help context, in German or English, read from Vantrel's
// program directory on the machine (where start-up installs them). Topics come from a
// machine folder that anyone may have made, so the viewer follows only links to its own
// topics and to web pages, and loads nothing else (no pictures or style sheets from the host).
#include <QDialog>

class QTextBrowser;

namespace vt {

class Machine;
class DialogService;

class HelpWindow : public QDialog {
  Q_OBJECT

 public:
  HelpWindow(Machine& machine, const QString& programDirectory, DialogService& dialogs, QWidget* parent = nullptr);

  void showTopic(int context, bool english);
  // The topic's text; empty when neither the machine nor the program has it.
  QString topicHtml(int context, bool english) const;
  QTextBrowser* browser() const { return browser_; }
  // What a click on a link does: shows a topic, hands a web address to the browser, or
  // nothing at all.
  void openLink(const QUrl& url);

 private:
  Machine& machine_;
  QString programDirectory_;
  DialogService& dialogs_;
  QTextBrowser* browser_;
  bool english_ = false;
};

}  // namespace vt
