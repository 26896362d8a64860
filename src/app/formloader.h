// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Builds the window's components from its form description (data/form/form.json): a flat
// list in creation order, each naming its class, its parent and its properties. The
// generic walks (language switch, skin, tuning switches) visit components in this order.
#include <QByteArray>
#include <QHash>
#include <QImage>
#include <QList>
#include <QObject>
#include <QString>

class QWidget;

namespace vt {

struct Form {
  QList<QObject*> components;  // creation order
  QHash<QString, QObject*> byName;

  QObject* find(const QString& name) const { return byName.value(name); }
  template <typename T>
  T* get(const QString& name) const {
    return qobject_cast<T*>(find(name));
  }
};

// Creates every component under `window` (named "Form1" in the description). On a
// description that cannot be used (bad JSON, an unknown class or parent, a duplicate
// name) nothing is kept: false with the reason in `error`.
bool loadForm(const QByteArray& json, QWidget* window, Form* form, QString* error);

// The skin picture of that name, null when there is none. Read as the PNG it is: left to
// guess, Qt would load every image plug-in it has to ask each whether it reads the file.
QImage skinPicture(const QString& name);
// Loads the window's font and decodes the skin's pictures on a thread of their own while
// the window is built on this one; skinPicture then waits for them. Made once the
// QApplication and its font are set, and ended before the application goes, since the
// decoder uses its plug-in loader: the end waits for the thread.
class WindowPreload {
 public:
  WindowPreload();
  ~WindowPreload();
  WindowPreload(const WindowPreload&) = delete;
  WindowPreload& operator=(const WindowPreload&) = delete;
};

}  // namespace vt
