// SPDX-License-Identifier: GPL-3.0-or-later
// What every command shares: errors on stderr, JSON on stdout, progress on a terminal, and
// the reading of its options.
#include "commands.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <unistd.h>

namespace vt::tool {

int Io::fail(int code, const QString& message) const {
  err << "vantrel-machine: " << message << '\n';
  err.flush();
  return code;
}

void Io::json(const QJsonValue& document) const {
  QJsonDocument doc;
  if (document.isArray())
    doc.setArray(document.toArray());
  else
    doc.setObject(document.toObject());
  out << QString::fromUtf8(doc.toJson(QJsonDocument::Indented));
}

TerminalProgress::TerminalProgress(Io& io, const char* command, const char* unit)
    : io_(io), command_(command), unit_(unit), terminal_(::isatty(STDERR_FILENO) != 0) {}

TerminalProgress::~TerminalProgress() {
  if (shown_) io_.err << '\n' << Qt::flush;
}

std::function<void(int, int)> TerminalProgress::callback() {
  if (!terminal_) return {};
  return [this](int done, int toDo) {
    io_.err << '\r' << QLatin1String(command_) << ": " << done << " of " << toDo << ' ' << QLatin1String(unit_) << "\x1b[K"
            << Qt::flush;
    shown_ = true;
  };
}

void TerminalProgress::say(const QString& text) {
  if (!terminal_) return;
  io_.err << '\r' << QLatin1String(command_) << ": " << text << "\x1b[K" << Qt::flush;
  shown_ = true;
}

bool Options::flag(const char* name) {
  const QString option = QStringLiteral("--") + QLatin1String(name);
  return args_.removeAll(option) > 0;
}

std::optional<QString> Options::value(const char* name) {
  const QString option = QStringLiteral("--") + QLatin1String(name);
  std::optional<QString> found;
  for (qsizetype i = 0; i < args_.size();) {
    if (args_[i] == option) {
      if (i + 1 >= args_.size() || args_[i + 1].startsWith(QLatin1String("--"))) {
        missing_ = option;
        args_.removeAt(i);
        continue;
      }
      found = args_[i + 1];
      args_.remove(i, 2);
    } else if (args_[i].startsWith(option + QLatin1Char('='))) {
      found = args_[i].mid(option.size() + 1);
      args_.removeAt(i);
    } else {
      ++i;
    }
  }
  return found;
}

bool Options::finish(const char* command, Io& io, int* code, int min, int max) {
  const QString cmd = QLatin1String(command);
  if (!missing_.isEmpty()) {
    *code = io.fail(Usage, QStringLiteral("%1: %2 needs a value (see %1 --help)").arg(cmd, missing_));
    return false;
  }
  for (const QString& a : args_) {
    if (a.startsWith(QLatin1String("--"))) {
      *code = io.fail(Usage, QStringLiteral("%1: unknown option %2 (see %1 --help)").arg(cmd, a));
      return false;
    }
  }
  if (args_.size() < min || args_.size() > max) {
    *code = io.fail(Usage, max == 0 ? QStringLiteral("%1 takes no arguments (see %1 --help)").arg(cmd)
                                    : QStringLiteral("%1: wrong number of arguments (see %1 --help)").arg(cmd));
    return false;
  }
  return true;
}

}  // namespace vt::tool
