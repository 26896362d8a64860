// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/qttexts.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace vt {

bool useQtTexts(bool german) {
  // One translator for the whole run: a restart on another machine, or a window of the
  // other language in the same process, takes it out or puts it back, never a second one.
  static QTranslator qtbase;
  static bool loaded = false;
  static bool installed = false;
  if (!german) {
    if (installed) QCoreApplication::removeTranslator(&qtbase);
    installed = false;
    return true;
  }
  if (!loaded)
    loaded = qtbase.load(QLocale(QLocale::German, QLocale::Germany), QStringLiteral("qtbase"), QStringLiteral("_"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath));
  if (loaded && !installed) installed = QCoreApplication::installTranslator(&qtbase);
  return installed;
}

}  // namespace vt
