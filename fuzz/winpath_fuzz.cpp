// SPDX-License-Identifier: GPL-3.0-or-later
// Windows paths as a machine folder's registry, INI files and shortcuts hand them over:
// whatever the text, a path that parses is one Windows could name (every name valid, none
// a device, the whole within MAX_PATH), and its full form parses back to itself from any
// current folder, so a path the machine normalised once never changes meaning.
#include "fuzzcheck.h"
#include "platform/winpath.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vt;
  if (size < 1) return 0;
  const bool withPattern = data[0] & 1;
  const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
  // The text before a line break becomes the current folder, as the machine would set it.
  const qsizetype cut = text.indexOf(QLatin1Char('\n'));
  QString current = QStringLiteral("C:\\");
  WinPath p;
  WinError err = WinError::Success;
  if (cut >= 0 && parseWinPath(current, QStringView(text).first(cut), &p, &err))
    current = QString(p.drive) + QStringLiteral(":\\") + p.parts.join(QLatin1Char('\\'));
  const QStringView in = cut >= 0 ? QStringView(text).sliced(cut + 1) : QStringView(text);

  QString pattern;
  if (!parseWinPath(current, in, &p, &err, withPattern ? &pattern : nullptr, withPattern)) {
    FUZZ_CHECK(err != WinError::Success);
    return 0;
  }
  const std::string what = in.toString().toStdString();
  FUZZ_CHECK(p.drive >= QLatin1Char('A') && p.drive <= QLatin1Char('Z'), what);
  for (const QString& name : p.parts) {
    FUZZ_CHECK(!name.isEmpty() && name != QLatin1String(".") && name != QLatin1String(".."), what);
    FUZZ_CHECK(!name.contains(QLatin1Char('\\')) && !name.contains(QLatin1Char('/')) && !isDeviceName(name), what);
  }
  QString full = QString(p.drive) + QStringLiteral(":\\") + p.parts.join(QLatin1Char('\\'));
  if (withPattern) full += (p.parts.isEmpty() ? QString() : QStringLiteral("\\")) + pattern;
  FUZZ_CHECK(full.size() <= kMaxWinPathLength, what);

  WinPath again;
  QString againPattern;
  FUZZ_CHECK(
      parseWinPath(QStringLiteral("D:\\ELSEWHERE"), full, &again, &err, withPattern ? &againPattern : nullptr, withPattern),
      what);
  FUZZ_CHECK(again.drive == p.drive && again.parts == p.parts && againPattern == pattern, what);
  return 0;
}
