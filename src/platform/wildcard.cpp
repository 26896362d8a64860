// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/wildcard.h"

namespace vt {

bool namesEqualNoCase(QStringView a, QStringView b) {
  if (a.size() != b.size()) return false;
  for (qsizetype i = 0; i < a.size(); ++i) {
    const char16_t x = a[i].unicode(), y = b[i].unicode();
    if (x != y && foldNameChar(x) != foldNameChar(y)) return false;
  }
  return true;
}

WildcardPattern::WildcardPattern(QStringView pattern) {
  QString p;
  p.reserve(pattern.size());
  for (QChar c : pattern) p.append(QChar(foldNameChar(c.unicode())));
  wild_ = p.contains(QLatin1Char('*')) || p.contains(QLatin1Char('?'));
  if (p == QLatin1String("*") || p == QLatin1String("*.*")) {
    matchAll_ = true;
    return;
  }
  if (p.size() > 1 && p.endsWith(QLatin1Char('.')) && p != QLatin1String("..")) {
    while (p.endsWith(QLatin1Char('.'))) p.chop(1);
    noExtension_ = true;
  } else if (p.endsWith(QLatin1String(".*"))) {
    withoutExt_ = p.left(p.size() - 2);
    extStar_ = true;
  }
  pattern_ = p;
}

bool WildcardPattern::glob(QStringView p, QStringView n) {
  qsizetype pi = 0, ni = 0, starP = -1, starN = 0;
  while (ni < n.size()) {
    if (pi < p.size()) {
      const char16_t pc = p[pi].unicode();
      if (pc == '*') {
        starP = pi++;
        starN = ni;
        continue;
      }
      if (pc == '?' || pc == foldNameChar(n[ni].unicode())) {
        ++pi;
        ++ni;
        continue;
      }
    }
    if (starP < 0) return false;
    pi = starP + 1;
    ni = ++starN;
  }
  while (pi < p.size() && p[pi] == QLatin1Char('*')) ++pi;
  return pi == p.size();
}

bool WildcardPattern::matches(QStringView name) const {
  if (matchAll_) return true;
  if (noExtension_) {
    const bool dots = name == QLatin1String(".") || name == QLatin1String("..");
    if (!dots && name.contains(QLatin1Char('.'))) return false;
    return glob(pattern_, name);
  }
  if (glob(pattern_, name)) return true;
  return extStar_ && glob(withoutExt_, name);
}

}  // namespace vt
