// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/helpwindow.h"

#include "platform/machine.h"
#include "sysaccess/dialogs.h"

#include <QFile>
#include <QRegularExpression>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace vt {

namespace {

// QTextBrowser would read pictures and style sheets from any host path a topic names. An
// empty answer that is not null also keeps the document from reading the file itself.
class TopicBrowser : public QTextBrowser {
 public:
  using QTextBrowser::QTextBrowser;
  QVariant loadResource(int, const QUrl&) override { return QVariant(QByteArray()); }
};

QString topicName(int context) {
  return context == 0 ? QStringLiteral("INDEX.HTML") : QStringLiteral("%1.HTML").arg(context, 2, 10, QLatin1Char('0'));
}
}  // namespace

HelpWindow::HelpWindow(Machine& machine, const QString& programDirectory, DialogService& dialogs, QWidget* parent)
    : QDialog(parent),
      machine_(machine),
      programDirectory_(programDirectory),
      dialogs_(dialogs),
      browser_(new TopicBrowser(this)) {
  setObjectName(QStringLiteral("HelpWindow"));
  resize(520, 440);
  browser_->setOpenLinks(false);
  browser_->setOpenExternalLinks(false);
  browser_->setSearchPaths({});
  connect(browser_, &QTextBrowser::anchorClicked, this, &HelpWindow::openLink);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(browser_);
}

QString HelpWindow::topicHtml(int context, bool english) const {
  const QString lang = english ? QStringLiteral("EN") : QStringLiteral("DE");
  const QString onMachine = programDirectory_ + QStringLiteral("\\HELP\\") + lang + QLatin1Char('\\') + topicName(context);
  if (const auto bytes = machine_.files().readFile(onMachine)) return QString::fromUtf8(*bytes);
  QFile shipped(QStringLiteral(":/help/%1/%2").arg(lang.toLower(), topicName(context).toLower()));
  return shipped.open(QIODevice::ReadOnly) ? QString::fromUtf8(shipped.readAll()) : QString();
}

void HelpWindow::showTopic(int context, bool english) {
  english_ = english;
  setWindowTitle(english ? QStringLiteral("Vantrel Help") : QStringLiteral("Vantrel Hilfe"));
  const QString html = topicHtml(context, english);
  browser_->setHtml(html.isEmpty() ? (english ? QStringLiteral("<p>This help topic is missing.</p>")
                                              : QStringLiteral("<p>Dieses Hilfethema fehlt.</p>"))
                                   : html);
  show();
  raise();
}

void HelpWindow::openLink(const QUrl& url) {
  // Topics link each other as "09.html", with no folder; web pages open in the browser;
  // everything else (host files, other programs' schemes) is not followed.
  static const QRegularExpression topic(QStringLiteral("^(\\d{2}|index)\\.html$"), QRegularExpression::CaseInsensitiveOption);
  const auto m = topic.match(url.path());
  if (url.scheme().isEmpty() && url.host().isEmpty() && m.hasMatch()) {
    showTopic(m.captured(1).compare(QLatin1String("index"), Qt::CaseInsensitive) == 0 ? 0 : m.captured(1).toInt(), english_);
    return;
  }
  if ((url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https")) && !url.host().isEmpty())
    dialogs_.openWebLink(url.toString());
}

}  // namespace vt
