// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Everything that talks to the user or keeps the window alive goes through these two
// interfaces, so the logic runs the same behind the real window and in tests.
#include <QString>

namespace vt {

class DialogService {
 public:
  virtual ~DialogService() = default;
  virtual void information(const QString& text) = 0;  // information box, OK
  virtual void warning(const QString& text) = 0;      // warning box, OK
  virtual bool confirm(const QString& text) = 0;      // confirmation, Yes (true) / No
  // The open-picture dialog: a host file the user picked, or empty when cancelled.
  virtual QString choosePicture() { return {}; }
  // The open-machine dialog: a machine folder (or, with `image`, a disk image file) the
  // user picked, or empty when cancelled.
  virtual QString chooseMachine(bool image) {
    (void)image;
    return {};
  }
  // Hands a web address (http or https only) to the user's browser.
  virtual void openWebLink(const QString& url) { (void)url; }
};

// The window's two page containers as a section's sequence of pages sees them: the content
// pages and the strip of buttons below them.
class PageView {
 public:
  virtual ~PageView() = default;
  virtual int currentPage() const = 0;
  virtual void showPage(int page) = 0;
  virtual void showStrip(int strip) = 0;  // also makes the strip container visible
  virtual void hideStrips() = 0;
};

class EventPump {
 public:
  virtual ~EventPump() = default;
  // Handles the window messages that are waiting (repaints, a click on Cancel).
  virtual void processPendingEvents() = 0;
};

}  // namespace vt
