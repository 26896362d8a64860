#pragma once
// The help viewer: one topic per help context, in German or English, read from Vantrel's
// program directory on the machine (where start-up installs them).
#include <QDialog>

class QTextBrowser;

namespace vt {

class Machine;

class HelpWindow : public QDialog {
  Q_OBJECT

 public:
  HelpWindow(Machine& machine, const QString& programDirectory, QWidget* parent = nullptr);

  void showTopic(int context, bool english);
  // The topic's text; empty when neither the machine nor the program has it.
  QString topicHtml(int context, bool english) const;
  QTextBrowser* browser() const { return browser_; }

 private:
  void openLink(const QUrl& url);

  Machine& machine_;
  QString programDirectory_;
  QTextBrowser* browser_;
  bool english_ = false;
};

}  // namespace vt
