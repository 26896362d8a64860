// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Qt's own texts (the buttons of message boxes and file dialogs, the file dialog's labels)
// in the window's language: Qt's German catalogue is loaded when the window speaks German
// and taken out again when it speaks English. Where the catalogue is not installed
// (qt6-translations-l10n), Qt's texts stay English; nothing else changes.

namespace vt {

// True when Qt's texts now follow `german`.
bool useQtTexts(bool german);

}  // namespace vt
