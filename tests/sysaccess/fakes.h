// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Test doubles for the dialog service and the event pump.
#include "sysaccess/dialogs.h"

#include <QStringList>

#include <functional>

namespace vt::test {

class RecordingDialogs : public DialogService {
 public:
  void information(const QString& text) override { shown << QStringLiteral("info: ") + text; }
  void warning(const QString& text) override { shown << QStringLiteral("warning: ") + text; }
  bool confirm(const QString& text) override {
    shown << QStringLiteral("confirm: ") + text;
    return answer;
  }
  QString choosePicture() override {
    shown << QStringLiteral("choose picture");
    return picture;
  }
  void openWebLink(const QString& url) override { shown << QStringLiteral("web: ") + url; }
  QStringList shown;
  bool answer = true;
  QString picture;  // what the picture dialog returns; empty: cancelled
};

class CallbackPump : public EventPump {
 public:
  void processPendingEvents() override {
    ++calls;
    if (onPump) onPump(calls);
  }
  int calls = 0;
  std::function<void(int)> onPump;
};

}  // namespace vt::test
