// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/text.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>

namespace vt {

QString fromAnsi(QByteArrayView bytes) {
  // Making a converter looks the code page up by name, which costs more than most texts
  // take to decode; plain ASCII, as paths and registry names mostly are, needs none.
  if (std::all_of(bytes.begin(), bytes.end(), [](char c) { return uchar(c) < 0x80; })) return QString::fromLatin1(bytes);
  QStringDecoder decoder("windows-1252", QStringConverter::Flag::Stateless);
  return decoder.decode(bytes);
}

QByteArray toAnsi(QStringView text) {
  // Plain ASCII needs no converter; this keeps the hot paths (paths, registry names) cheap.
  bool ascii = true;
  for (QChar c : text) {
    if (c.unicode() >= 0x80) {
      ascii = false;
      break;
    }
  }
  if (ascii) return text.toLatin1();
  QStringEncoder encoder("windows-1252", QStringConverter::Flag::Stateless);
  QByteArray out;
  out.reserve(text.size());
  for (qsizetype i = 0; i < text.size(); ++i) {
    const QChar c = text[i];
    if (c.unicode() < 0x80) {
      out.append(char(c.unicode()));
      continue;
    }
    QByteArray one = encoder.encode(text.mid(i, 1));
    if (encoder.hasError() || one.size() != 1) {
      encoder.resetState();
      out.append('?');
    } else {
      out.append(one);
    }
  }
  return out;
}

QByteArray ansiUpper(QByteArrayView s) {
  QByteArray out(s.size(), Qt::Uninitialized);
  for (qsizetype i = 0; i < s.size(); ++i) out[i] = char(ansiUpper(uchar(s[i])));
  return out;
}

bool ansiEqualNoCase(QByteArrayView a, QByteArrayView b) {
  if (a.size() != b.size()) return false;
  // Most bytes compared are equal as they stand; only those that differ need upper-casing.
  for (qsizetype i = 0; i < a.size(); ++i)
    if (a[i] != b[i] && ansiUpper(uchar(a[i])) != ansiUpper(uchar(b[i]))) return false;
  return true;
}

bool ansiStartsWithNoCase(QByteArrayView s, QByteArrayView prefix) {
  return s.size() >= prefix.size() && ansiEqualNoCase(s.first(prefix.size()), prefix);
}

bool winEqualNoCase(QStringView a, QStringView b) {
  if (a.size() != b.size()) return false;
  return ansiEqualNoCase(toAnsi(a), toAnsi(b));
}

QString winUpper(QStringView s) { return fromAnsi(ansiUpper(toAnsi(s))); }

QList<QByteArray> splitLines(QByteArrayView bytes) {
  QList<QByteArray> lines;
  qsizetype start = 0;
  const qsizetype n = bytes.size();
  for (qsizetype i = 0; i < n; ++i) {
    const char c = bytes[i];
    if (c == '\n' || c == '\r') {
      lines.append(bytes.sliced(start, i - start).toByteArray());
      if (c == '\r' && i + 1 < n && bytes[i + 1] == '\n') ++i;
      start = i + 1;
    }
  }
  if (start < n) lines.append(bytes.sliced(start).toByteArray());
  return lines;
}

QByteArray joinLinesCrLf(const QList<QByteArray>& lines) {
  QByteArray out;
  qsizetype total = 0;
  for (const auto& l : lines) total += l.size() + 2;
  out.reserve(total);
  for (const auto& l : lines) {
    out.append(l);
    out.append("\r\n", 2);
  }
  return out;
}

bool isBlank(char c, Blanks format) {
  if (c == ' ' || c == '\t') return true;
  return format == Blanks::Profile && (c == '\v' || c == '\f' || c == '\x1a');
}

QByteArrayView trimmed(QByteArrayView s, Blanks format) {
  qsizetype b = 0, e = s.size();
  while (b < e && isBlank(s[b], format)) ++b;
  while (e > b && isBlank(s[e - 1], format)) --e;
  return s.sliced(b, e - b);
}

}  // namespace vt
