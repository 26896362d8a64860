// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The dialog service and event pump behind the real window: standard message boxes in
// the language of the texts, and Qt's event loop.
#include "sysaccess/dialogs.h"
#include "sysaccess/state.h"

class QWidget;

namespace vt {

class QtDialogService : public DialogService {
 public:
  // The boxes' buttons speak the language of `state` once it is set (German before).
  void setState(const SharedState* state) { state_ = state; }
  void setParentWindow(QWidget* parent) { parent_ = parent; }

  void information(const QString& text) override;
  void warning(const QString& text) override;
  bool confirm(const QString& text) override;
  QString choosePicture() override;
  QString chooseMachine(bool image) override;
  void openWebLink(const QString& url) override;

 private:
  const SharedState* state_ = nullptr;
  QWidget* parent_ = nullptr;
};

class QtEventPump : public EventPump {
 public:
  void processPendingEvents() override;
};

}  // namespace vt
