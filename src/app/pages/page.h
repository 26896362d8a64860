// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a section's page of the main window stands on: the machine and the operations on it,
// the loaded form, the state the sections share, and the few things a page asks of the
// window around it. Each page owns its section's objects and binds its handlers to the
// form's controls by name from one table; the handlers keep the names the form and the
// help give them.
#include "app/controls/explorerbutton.h"
#include "app/formloader.h"
#include "backup/backups.h"
#include "diagnosis/osinfo.h"
#include "sysaccess/dialogs.h"
#include "sysaccess/files.h"
#include "sysaccess/ini.h"
#include "sysaccess/options.h"
#include "sysaccess/reg.h"
#include "sysaccess/state.h"

#include <QStackedWidget>
#include <QString>
#include <QWidget>

#include <initializer_list>
#include <span>

namespace vt {

class Machine;

inline constexpr const char* kProgramKey = "SOFTWARE\\Tarvo\\Vantrel";

// A button of the form and the page's handler for its click.
template <typename P>
struct Click {
  const char* button;
  void (P::*handler)();
};

// What a page asks of the window: the two page containers, the section start pages it
// returns to, and the window-wide steps that are not any one section's.
class PageHost {
 public:
  virtual QStackedWidget* Notebook1() const = 0;
  virtual QStackedWidget* Notebook2() const = 0;
  virtual void CleanUp() = 0;
  virtual void Diagnose() = 0;
  virtual void Backup() = 0;
  // Takes the options page's boxes into the flags.
  virtual void SETFLAGS() = 0;
  // True once the window is closing; a long action it cancelled has nobody left to tell.
  virtual bool ending() const = 0;
  // The Device-Manager guide, which the multimedia page owns and a diagnosis repair shows.
  virtual void showDeviceManagerGuide() = 0;

 protected:
  ~PageHost() = default;
};

// The directories start-up learns from the machine; empty until then.
struct Directories {
  QString windows, system, fonts, program;
};

// Everything a page is built with. The window owns all of it and outlives its pages.
struct PageContext {
  QWidget& window;  // the receiver of the pages' connections
  PageHost& host;
  Machine& machine;
  DialogService& dialogs;
  EventPump& pump;
  SharedState& state;
  const TOSInfo& os;
  RegAccess& reg;
  IniAccess& ini;
  FileAccess& files;
  backup::Backups& backups;
  const Form& form;
  const OptionFlags& flags;
  const Directories& directories;
};

class Page {
 protected:
  explicit Page(const PageContext& c)
      : window_(c.window),
        host_(c.host),
        machine_(c.machine),
        dialogs_(c.dialogs),
        pump_(c.pump),
        state_(c.state),
        osInfo_(c.os),
        reg_(c.reg),
        ini_(c.ini),
        files_(c.files),
        backups_(c.backups),
        form_(c.form),
        flags_(c.flags),
        windowsDirectory_(c.directories.windows),
        systemDirectory_(c.directories.system),
        fontsDirectory_(c.directories.fonts),
        programDirectory_(c.directories.program) {}
  ~Page() = default;

  template <typename T>
  T* get(const char* name) const {
    return form_.get<T>(QString::fromLatin1(name));
  }
  QString text(const char* german, const char* english) const { return QString::fromUtf8(state_.pick(german, english)); }
  QStackedWidget* notebook1() const { return host_.Notebook1(); }
  QStackedWidget* notebook2() const { return host_.Notebook2(); }

  // Connects each named button's click to the page's handler; a name the form lacks is
  // passed over (the binding test keeps the tables to the form's names).
  template <typename P>
  void connectClicks(P& page, std::span<const Click<P>> table) const {
    for (const Click<P>& c : table)
      if (auto* b = get<TExplorerButton>(c.button))
        QObject::connect(b, &TExplorerButton::clicked, &window_, [&page, h = c.handler] { (page.*h)(); });
  }
  // Shows one page of a section's sub-pages; its own button is disabled, the group's others enabled.
  void showSubSection(int page, const char* own, std::initializer_list<const char*> group) const {
    if (QStackedWidget* n = notebook1()) n->setCurrentIndex(page);
    for (const char* name : group)
      if (auto* b = get<TExplorerButton>(name)) b->setEnabled(qstrcmp(name, own) != 0);
  }

  QWidget& window_;
  PageHost& host_;
  Machine& machine_;
  DialogService& dialogs_;
  EventPump& pump_;
  SharedState& state_;
  const TOSInfo& osInfo_;
  RegAccess& reg_;
  IniAccess& ini_;
  FileAccess& files_;
  backup::Backups& backups_;
  const Form& form_;
  const OptionFlags& flags_;
  const QString& windowsDirectory_;
  const QString& systemDirectory_;
  const QString& fontsDirectory_;
  const QString& programDirectory_;
};

// The main window's page containers behind a section's view interface (`View` derives from
// PageView); the section's own controls are the subclass's.
template <typename View>
class FormPages : public View {
 public:
  FormPages(PageHost& host, const Form& form) : host_(host), form_(form) {}
  int currentPage() const override { return host_.Notebook1() ? host_.Notebook1()->currentIndex() : -1; }
  void showPage(int page) override {
    if (host_.Notebook1()) host_.Notebook1()->setCurrentIndex(page);
  }
  void showStrip(int strip) override {
    if (!host_.Notebook2()) return;
    host_.Notebook2()->setCurrentIndex(strip);
    host_.Notebook2()->setVisible(true);
  }
  void hideStrips() override {
    if (host_.Notebook2()) host_.Notebook2()->setVisible(false);
  }

 protected:
  template <typename T>
  T* get(const char* name) const {
    return form_.get<T>(QString::fromLatin1(name));
  }

  PageHost& host_;
  const Form& form_;
};

}  // namespace vt
