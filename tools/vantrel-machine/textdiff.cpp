// SPDX-License-Identifier: GPL-3.0-or-later
#include "textdiff.h"

#include "platform/text.h"

#include <QList>

#include <algorithm>
#include <vector>

namespace vt::tool {

namespace {

struct Line {
  QByteArray text;    // without its line end
  QByteArray ending;  // "\r\n", "\n", or empty for a last line without one
  bool operator==(const Line& other) const { return text == other.text && ending == other.ending; }
};

QList<Line> linesOf(const QByteArray& bytes) {
  QList<Line> lines;
  qsizetype start = 0;
  while (start < bytes.size()) {
    const qsizetype lf = bytes.indexOf('\n', start);
    if (lf < 0) {
      lines.append({bytes.mid(start), {}});
      break;
    }
    const bool cr = lf > start && bytes[lf - 1] == '\r';
    lines.append({bytes.mid(start, lf - start - (cr ? 1 : 0)), cr ? QByteArray("\r\n") : QByteArray("\n")});
    start = lf + 1;
  }
  return lines;
}

enum class Op { Same, Removed, Added };

constexpr qsizetype kMaxTable = 16 * 1024 * 1024;

// The shortest edit from a to b by the longest common subsequence; the common head and
// tail are taken off first, which is most of a file an optimiser changes in a few places.
std::vector<Op> editScript(const QList<Line>& a, const QList<Line>& b) {
  qsizetype head = 0;
  while (head < a.size() && head < b.size() && a[head] == b[head]) ++head;
  qsizetype tail = 0;
  while (tail < a.size() - head && tail < b.size() - head && a[a.size() - 1 - tail] == b[b.size() - 1 - tail]) ++tail;
  const qsizetype n = a.size() - head - tail, m = b.size() - head - tail;
  std::vector<Op> ops(size_t(head), Op::Same);
  // Past some thousands of lines on each side the table would not fit in memory; the
  // middle is then shown as gone and come, which is longer but just as true.
  if (n * m > kMaxTable) {
    ops.insert(ops.end(), size_t(n), Op::Removed);
    ops.insert(ops.end(), size_t(m), Op::Added);
    ops.insert(ops.end(), size_t(tail), Op::Same);
    return ops;
  }
  // lcs[i][j]: the common subsequence of a[head+i..] and b[head+j..].
  std::vector<int> lcs(size_t((n + 1) * (m + 1)), 0);
  auto at = [m, &lcs](qsizetype i, qsizetype j) -> int& { return lcs[size_t(i * (m + 1) + j)]; };
  for (qsizetype i = n - 1; i >= 0; --i)
    for (qsizetype j = m - 1; j >= 0; --j)
      at(i, j) = a[head + i] == b[head + j] ? at(i + 1, j + 1) + 1 : std::max(at(i + 1, j), at(i, j + 1));
  qsizetype i = 0, j = 0;
  while (i < n || j < m) {
    if (i < n && j < m && a[head + i] == b[head + j]) {
      ops.push_back(Op::Same);
      ++i, ++j;
    } else if (i < n && (j == m || at(i + 1, j) >= at(i, j + 1))) {
      // What goes is shown before what comes in its place, as diff does.
      ops.push_back(Op::Removed);
      ++i;
    } else {
      ops.push_back(Op::Added);
      ++j;
    }
  }
  ops.insert(ops.end(), size_t(tail), Op::Same);
  return ops;
}

QString range(qsizetype before, qsizetype count) {
  // An empty range names the line before it, as diff does.
  const qsizetype start = count == 0 ? before : before + 1;
  return count == 1 ? QString::number(start) : QStringLiteral("%1,%2").arg(start).arg(count);
}

}  // namespace

QString unifiedDiff(const QString& name, const QByteArray& before, const QByteArray& after) {
  if (before == after) return {};
  const QList<Line> a = linesOf(before), b = linesOf(after);
  const std::vector<Op> ops = editScript(a, b);
  constexpr size_t kContext = 3;

  // Positions in a and b before each operation.
  std::vector<qsizetype> aAt(ops.size() + 1), bAt(ops.size() + 1);
  for (size_t k = 0; k < ops.size(); ++k) {
    aAt[k + 1] = aAt[k] + (ops[k] != Op::Added ? 1 : 0);
    bAt[k + 1] = bAt[k] + (ops[k] != Op::Removed ? 1 : 0);
  }

  QString out = QStringLiteral("--- %1\n+++ %1\n").arg(name);
  auto line = [&out](QChar mark, const Line& l) {
    out += mark + fromAnsi(l.text) + QLatin1Char('\n');
    if (l.ending.isEmpty()) out += QStringLiteral("\\ No newline at end of file\n");
  };
  size_t k = 0;
  while (k < ops.size()) {
    while (k < ops.size() && ops[k] == Op::Same) ++k;
    if (k == ops.size()) break;
    // A hunk runs from its first change to the last one that follows within twice the
    // context, so two hunks never share a line.
    const size_t first = k;
    size_t last = k;
    for (size_t s = k + 1; s < ops.size() && s - last <= 2 * kContext + 1; ++s)
      if (ops[s] != Op::Same) last = s;
    const size_t from = first > kContext ? first - kContext : 0;
    const size_t to = std::min(ops.size(), last + 1 + kContext);
    out += QStringLiteral("@@ -%1 +%2 @@\n").arg(range(aAt[from], aAt[to] - aAt[from]), range(bAt[from], bAt[to] - bAt[from]));
    for (size_t s = from; s < to; ++s) {
      switch (ops[s]) {
        case Op::Same: line(QLatin1Char(' '), a[aAt[s]]); break;
        case Op::Removed: line(QLatin1Char('-'), a[aAt[s]]); break;
        case Op::Added: line(QLatin1Char('+'), b[bAt[s]]); break;
      }
    }
    k = to;
  }
  return out;
}

}  // namespace vt::tool
