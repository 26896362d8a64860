// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/shortname.h"

#include "platform/wildcard.h"

#include <string_view>

namespace vt::shortname {

namespace {

// Characters DOS takes in a short name besides letters and digits; the rest of ASCII
// punctuation (and the blank) is what only long names may hold.
bool allowedPunctuation(char16_t c) {
  static constexpr std::string_view kAllowed = "!#$%&'()-@^_`{}~";
  return c < 0x80 && kAllowed.find(char(c)) != std::string_view::npos;
}

// The character as it would stand in a short name (upper case), or 0 when DOS's code page
// cannot hold it there. Beyond ASCII the letters of Windows-1252 have their place in the
// OEM code page Windows 95 writes short names in; symbols and the rest of Unicode do not.
char16_t shortChar(char16_t c) {
  const char16_t u = foldNameChar(c);
  if ((u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || allowedPunctuation(u)) return u;
  if (u >= 0xC0 && u <= 0xDF && u != 0xD7) return u;
  return 0;
}

bool splitFits(QStringView name, qsizetype* dot) {
  *dot = name.lastIndexOf(QLatin1Char('.'));
  const qsizetype base = *dot < 0 ? name.size() : *dot;
  const qsizetype ext = *dot < 0 ? 0 : name.size() - *dot - 1;
  if (base < 1 || base > 8 || ext > 3 || (*dot >= 0 && ext == 0)) return false;
  if (*dot >= 0 && name.first(*dot).contains(QLatin1Char('.'))) return false;
  return true;
}

}  // namespace

bool isAlias(QStringView name) {
  qsizetype dot = -1;
  if (!splitFits(name, &dot)) return false;
  for (qsizetype i = 0; i < name.size(); ++i) {
    if (i == dot) continue;
    const char16_t c = name[i].unicode();
    if (shortChar(c) != c) return false;
  }
  return true;
}

QString ownAlias(QStringView longName) {
  qsizetype dot = -1;
  if (!splitFits(longName, &dot)) return {};
  QString out(longName.size(), Qt::Uninitialized);
  for (qsizetype i = 0; i < longName.size(); ++i) {
    if (i == dot) {
      out[i] = QLatin1Char('.');
      continue;
    }
    const char16_t c = shortChar(longName[i].unicode());
    if (!c) return {};
    out[i] = QChar(c);
  }
  return out;
}

QString generate(QStringView longName, const std::function<bool(const QString&)>& taken) {
  if (const QString own = ownAlias(longName); !own.isEmpty() && !taken(own)) return own;
  // Leading points and every blank go; the extension is what follows the last point.
  QStringView name = longName;
  while (name.startsWith(QLatin1Char('.'))) name = name.mid(1);
  const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
  auto basis = [](QStringView part, qsizetype max) {
    QString out;
    for (QChar ch : part) {
      if (out.size() == max) break;
      if (ch == QLatin1Char(' ') || ch == QLatin1Char('.')) continue;
      const char16_t c = shortChar(ch.unicode());
      out.append(c ? QChar(c) : QChar(QLatin1Char('_')));
    }
    return out;
  };
  QString base = basis(dot < 0 ? name : name.first(dot), 8);
  const QString ext = dot < 0 ? QString() : basis(name.mid(dot + 1), 3);
  if (base.isEmpty()) base = QStringLiteral("_");
  for (int n = 1; n < 1000000; ++n) {
    const QString tail = QLatin1Char('~') + QString::number(n);
    const QString alias = base.left(8 - tail.size()) + tail + (ext.isEmpty() ? QString() : QLatin1Char('.') + ext);
    if (!taken(alias)) return alias;
  }
  return {};
}

}  // namespace vt::shortname
