#include "app/helpwindow.h"

#include "platform/machine.h"

#include <QDesktopServices>
#include <QFile>
#include <QRegularExpression>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace vt {

namespace {
QString topicName(int context) {
  return context == 0 ? QStringLiteral("INDEX.HTML") : QStringLiteral("%1.HTML").arg(context, 2, 10, QLatin1Char('0'));
}
}  // namespace

HelpWindow::HelpWindow(Machine& machine, const QString& programDirectory, QWidget* parent)
    : QDialog(parent), machine_(machine), programDirectory_(programDirectory), browser_(new QTextBrowser(this)) {
  setObjectName(QStringLiteral("HelpWindow"));
  resize(520, 440);
  browser_->setOpenLinks(false);
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
  // Topics link each other as "09.html"; anything else opens outside.
  static const QRegularExpression topic(QStringLiteral("^(\\d{2}|index)\\.html$"), QRegularExpression::CaseInsensitiveOption);
  const auto m = topic.match(url.path().section(QLatin1Char('/'), -1));
  if (url.scheme().isEmpty() && m.hasMatch()) {
    showTopic(m.captured(1).compare(QLatin1String("index"), Qt::CaseInsensitive) == 0 ? 0 : m.captured(1).toInt(), english_);
    return;
  }
  QDesktopServices::openUrl(url);
}

}  // namespace vt
