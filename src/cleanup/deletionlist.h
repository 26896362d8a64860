// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the clean-up proposes for removal before the user chooses: the lines of the list
// page, their marks, and for registry proposals the key each line stands for. Three fillers
// share it (the file search, the uninstall scan, the file-type scan); `kind` says which one
// filled it last, and Delete hands the marked lines to that filler's removal.
#include <QString>
#include <QStringList>

#include <vector>

namespace vt::cleanup {

enum class ListKind { None = 0, Uninstall = 1, Files = 2, FileTypes = 3 };

struct DeletionList {
  ListKind kind = ListKind::None;
  QStringList entries;  // the lines shown, in the order the filler added them
  QStringList keys;     // uninstall sub-key or extension key per line; empty for files
  std::vector<bool> marked;

  void clear() {
    entries.clear();
    keys.clear();
    marked.clear();
  }
  void add(const QString& text, const QString& key = {}) {
    entries << text;
    keys << key;
    marked.push_back(false);
  }
  void markAll() { marked.assign(entries.size(), true); }
  bool anyMarked() const {
    for (bool m : marked)
      if (m) return true;
    return false;
  }
  int size() const { return int(entries.size()); }
};

}  // namespace vt::cleanup
