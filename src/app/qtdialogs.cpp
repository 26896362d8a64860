// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/qtdialogs.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>

namespace vt {

namespace {
// "\r" in a message breaks the line, as it did in the boxes of the time.
QString boxText(const QString& text) {
  QString t = text;
  t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return t;
}
}  // namespace

void QtDialogService::information(const QString& text) {
  QMessageBox box(QMessageBox::Information, QStringLiteral("Vantrel"), boxText(text), QMessageBox::Ok, parent_);
  box.exec();
}

void QtDialogService::warning(const QString& text) {
  QMessageBox box(QMessageBox::Warning, QStringLiteral("Vantrel"), boxText(text), QMessageBox::Ok, parent_);
  box.exec();
}

bool QtDialogService::confirm(const QString& text) {
  QMessageBox box(QMessageBox::Question, QStringLiteral("Vantrel"), boxText(text), QMessageBox::Yes | QMessageBox::No, parent_);
  const bool english = state_ && state_->language == English;
  box.button(QMessageBox::Yes)->setText(english ? QStringLiteral("&Yes") : QStringLiteral("&Ja"));
  box.button(QMessageBox::No)->setText(english ? QStringLiteral("&No") : QStringLiteral("&Nein"));
  box.setDefaultButton(QMessageBox::No);
  return box.exec() == QMessageBox::Yes;
}

QString QtDialogService::choosePicture() {
  const bool english = state_ && state_->language == English;
  return QFileDialog::getOpenFileName(parent_, english ? QStringLiteral("Open picture") : QStringLiteral("Bild öffnen"),
                                      QString(), QStringLiteral("Bitmaps (*.bmp)"), nullptr, QFileDialog::ReadOnly);
}

QString QtDialogService::chooseMachine(bool image) {
  const bool english = state_ && state_->language == English;
  if (!image)
    return QFileDialog::getExistingDirectory(
        parent_, english ? QStringLiteral("Open machine folder") : QStringLiteral("Maschinenordner öffnen"));
  return QFileDialog::getOpenFileName(
      parent_, english ? QStringLiteral("Open disk image") : QStringLiteral("Disk-Image öffnen"), QString(),
      english
          ? QStringLiteral("Disk images (*.img *.ima *.raw *.bin *.dsk *.hdd *.vhd *.qcow2 *.qcow *.vdi *.vmdk);;All files (*)")
          : QStringLiteral(
                "Disk-Images (*.img *.ima *.raw *.bin *.dsk *.hdd *.vhd *.qcow2 *.qcow *.vdi *.vmdk);;Alle Dateien (*)"));
}

void QtEventPump::processPendingEvents() { QApplication::processEvents(); }

void QtDialogService::openWebLink(const QString& url) {
  const QUrl u(url);
  if (u.scheme() == QLatin1String("http") || u.scheme() == QLatin1String("https")) QDesktopServices::openUrl(u);
}

}  // namespace vt
