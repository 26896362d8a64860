// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/profile.h"

#include "platform/filesystem.h"
#include "platform/text.h"

namespace vt {

// How the document reads its lines:
// - lines_ holds every line with its own line end (CR LF, LF or CR), so that an edit can
//   leave every line it does not touch byte-for-byte as it was; lines the document adds
//   always end in CR LF.
// - A line whose first non-blank is "[" and which holds a "]" is a section header; the
//   name lies between the "[" and the last "]", trimmed.
// - A line whose first non-blank is ";" is a comment: never a key, whatever it holds.
// - Any other line that holds "=" is a key; the name is what precedes the first "=".
// - Lines without "=" (a bare "name3", stray text) are kept but are not keys: they are not
//   listed, they have no value, and writing such a name appends a real key line.
// - Lines before the first header belong to no section.
// - Where a section or key appears twice, every operation works on the first one only:
//   that is the one Windows reads, so deleting it makes the next one visible, as on Windows.

namespace {

constexpr char kCrLf[] = "\r\n";

bool isBlank(char c) { return vt::isBlank(c, Blanks::Profile); }
QByteArrayView trimmed(QByteArrayView s) { return vt::trimmed(s, Blanks::Profile); }

qsizetype lineEndLength(QByteArrayView line) {
  if (line.endsWith("\r\n")) return 2;
  if (line.endsWith('\n') || line.endsWith('\r')) return 1;
  return 0;
}

QByteArrayView body(QByteArrayView line) { return line.chopped(lineEndLength(line)); }

enum class LineKind { Blank, Comment, Section, Key, Other };

struct Line {
  LineKind kind = LineKind::Other;
  QByteArrayView name;       // section or key name, trimmed
  QByteArrayView value;      // key value, trimmed, quotes still on
  qsizetype valueStart = 0;  // offset of the value in the line (after "=" and its blanks)
};

Line parse(QByteArrayView line) {
  const QByteArrayView text = body(line);
  const QByteArrayView t = trimmed(text);
  Line out;
  if (t.isEmpty()) {
    out.kind = LineKind::Blank;
    return out;
  }
  if (t.front() == ';') {
    out.kind = LineKind::Comment;
    return out;
  }
  if (t.front() == '[') {
    const qsizetype close = t.lastIndexOf(']');
    if (close > 0) {
      out.kind = LineKind::Section;
      out.name = trimmed(t.sliced(1, close - 1));
      return out;
    }
  }
  const qsizetype eq = text.indexOf('=');
  if (eq < 0) return out;
  out.kind = LineKind::Key;
  out.name = trimmed(text.first(eq));
  qsizetype v = eq + 1;
  while (v < text.size() && isBlank(text[v])) ++v;
  out.valueStart = v;
  out.value = trimmed(text.sliced(v));
  return out;
}

bool isHeader(const QByteArray& line) { return parse(line).kind == LineKind::Section; }

// Index of the first header naming `section`, or -1.
qsizetype findSection(const QList<QByteArray>& lines, QByteArrayView section) {
  if (section.isEmpty()) return -1;
  for (qsizetype i = 0; i < lines.size(); ++i) {
    const Line l = parse(lines[i]);
    if (l.kind == LineKind::Section && ansiEqualNoCase(l.name, section)) return i;
  }
  return -1;
}

// One past the last line of the section whose header is at `header`.
qsizetype sectionEnd(const QList<QByteArray>& lines, qsizetype header) {
  qsizetype i = header + 1;
  while (i < lines.size() && !isHeader(lines[i])) ++i;
  return i;
}

qsizetype findKey(const QList<QByteArray>& lines, qsizetype header, QByteArrayView key) {
  if (header < 0 || key.isEmpty()) return -1;
  const qsizetype end = sectionEnd(lines, header);
  for (qsizetype i = header + 1; i < end; ++i) {
    const Line l = parse(lines[i]);
    if (l.kind == LineKind::Key && ansiEqualNoCase(l.name, key)) return i;
  }
  return -1;
}

QByteArrayView unquoted(QByteArrayView v) {
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) return v.sliced(1, v.size() - 2);
  return v;
}

QByteArray ansiName(QStringView name) { return trimmed(toAnsi(name)).toByteArray(); }

// A value as it goes into the file: a line break would split the line and turn the rest
// into a key or a section of its own, so the value ends there; leading blanks would be
// lost on reading anyway and are dropped as Windows drops them.
QByteArray ansiValue(QStringView value) {
  QByteArray v = toAnsi(value);
  for (qsizetype i = 0; i < v.size(); ++i) {
    if (v[i] == '\r' || v[i] == '\n') {
      v.truncate(i);
      break;
    }
  }
  qsizetype b = 0;
  while (b < v.size() && isBlank(v[b])) ++b;
  return v.mid(b);
}

}  // namespace

IniDocument::IniDocument(const QByteArray& bytes) {
  qsizetype start = 0;
  const qsizetype n = bytes.size();
  for (qsizetype i = 0; i < n; ++i) {
    const char c = bytes[i];
    if (c != '\n' && c != '\r') continue;
    if (c == '\r' && i + 1 < n && bytes[i + 1] == '\n') ++i;
    lines_.append(bytes.sliced(start, i + 1 - start));
    start = i + 1;
  }
  if (start < n) lines_.append(bytes.sliced(start));
  endsWithNewline_ = lines_.isEmpty() || lineEndLength(lines_.last()) > 0;
}

std::optional<QString> IniDocument::value(QStringView section, QStringView key) const {
  const qsizetype k = findKey(lines_, findSection(lines_, ansiName(section)), ansiName(key));
  if (k < 0) return std::nullopt;
  QByteArrayView v = unquoted(parse(lines_[k]).value);
  if (v.size() > kProfileValueMax) v = v.first(kProfileValueMax);
  return fromAnsi(v);
}

bool IniDocument::hasSection(QStringView section) const { return findSection(lines_, ansiName(section)) >= 0; }

QStringList IniDocument::sections() const {
  QStringList out;
  for (const QByteArray& line : lines_) {
    const Line l = parse(line);
    if (l.kind == LineKind::Section) out.append(fromAnsi(l.name));
  }
  return out;
}

QStringList IniDocument::keys(QStringView section) const {
  QStringList out;
  const qsizetype header = findSection(lines_, ansiName(section));
  if (header < 0) return out;
  const qsizetype end = sectionEnd(lines_, header);
  for (qsizetype i = header + 1; i < end; ++i) {
    const Line l = parse(lines_[i]);
    // "=value" has no name; Windows' double-NUL list could not even carry it.
    if (l.kind == LineKind::Key && !l.name.isEmpty()) out.append(fromAnsi(l.name));
  }
  return out;
}

void IniDocument::setValue(QStringView section, QStringView key, QStringView value) {
  const QByteArray s = ansiName(section);
  const QByteArray k = ansiName(key);
  if (s.isEmpty() || k.isEmpty()) return;
  const QByteArray v = ansiValue(value);

  const qsizetype header = findSection(lines_, s);
  const qsizetype found = findKey(lines_, header, k);
  if (found >= 0) {
    // Only the value changes; the name keeps its spelling and the line its line end.
    QByteArray& line = lines_[found];
    const qsizetype endLen = lineEndLength(line);
    const QByteArray lineEnd = line.right(endLen);
    line = line.first(parse(line).valueStart) + v + lineEnd;
    return;
  }

  const QByteArray newLine = k + '=' + v + kCrLf;
  // Appending after the last line requires that line to be ended first.
  auto terminateLast = [this] {
    if (!endsWithNewline_ && !lines_.isEmpty()) lines_.last().append(kCrLf);
    endsWithNewline_ = true;
  };

  if (header >= 0) {
    // After the section's last line of content, so that blank lines and comments that
    // lead into the next section stay in front of it.
    const qsizetype end = sectionEnd(lines_, header);
    qsizetype at = header + 1;
    for (qsizetype i = header + 1; i < end; ++i) {
      const LineKind kind = parse(lines_[i]).kind;
      if (kind != LineKind::Blank && kind != LineKind::Comment) at = i + 1;
    }
    if (at == lines_.size()) terminateLast();
    lines_.insert(at, newLine);
    return;
  }

  // A new section goes to the end, set off from what precedes it by one blank line.
  if (!lines_.isEmpty()) {
    const bool lastBlank = parse(lines_.last()).kind == LineKind::Blank;
    terminateLast();
    if (!lastBlank) lines_.append(kCrLf);
  }
  lines_.append('[' + s + ']' + kCrLf);
  lines_.append(newLine);
  endsWithNewline_ = true;
}

bool IniDocument::removeKey(QStringView section, QStringView key) {
  const qsizetype k = findKey(lines_, findSection(lines_, ansiName(section)), ansiName(key));
  if (k < 0) return false;
  lines_.removeAt(k);
  endsWithNewline_ = lines_.isEmpty() || lineEndLength(lines_.last()) > 0;
  return true;
}

bool IniDocument::removeSection(QStringView section) {
  // The header and everything up to the next header go, comments and blank lines included.
  const qsizetype header = findSection(lines_, ansiName(section));
  if (header < 0) return false;
  lines_.remove(header, sectionEnd(lines_, header) - header);
  endsWithNewline_ = lines_.isEmpty() || lineEndLength(lines_.last()) > 0;
  return true;
}

QByteArray IniDocument::toBytes() const {
  QByteArray out;
  qsizetype total = 0;
  for (const QByteArray& l : lines_) total += l.size();
  out.reserve(total);
  for (const QByteArray& l : lines_) out.append(l);
  return out;
}

// --- Profile ----------------------------------------------------------------------------

namespace {

enum class Load { Ok, Missing, Failed };

// A file that is not there reads as empty; any other failure to read (drive not ready,
// access denied) must not be mistaken for it, or a write would replace the file.
Load load(FileSystem& fs, QStringView file, QByteArray* bytes) {
  if (auto b = fs.readFile(file)) {
    *bytes = std::move(*b);
    return Load::Ok;
  }
  const WinError e = fs.lastError();
  return e == WinError::FileNotFound || e == WinError::PathNotFound ? Load::Missing : Load::Failed;
}

}  // namespace

QString Profile::getString(QStringView file, QStringView section, QStringView key, QStringView fallback) {
  QByteArray bytes;
  if (load(fs_, file, &bytes) == Load::Ok) {
    if (auto v = IniDocument(bytes).value(section, key)) return *v;
  }
  // Windows hands back the default without its trailing blanks.
  qsizetype n = fallback.size();
  while (n > 0 && (fallback[n - 1] == QLatin1Char(' ') || fallback[n - 1] == QLatin1Char('\t'))) --n;
  return fallback.first(n).toString();
}

bool Profile::writeString(QStringView file, QStringView section, QStringView key, std::optional<QStringView> value) {
  if (ansiName(section).isEmpty() || ansiName(key).isEmpty()) return false;
  QByteArray bytes;
  const Load state = load(fs_, file, &bytes);
  if (state == Load::Failed) return false;
  // Deleting from a file that is not there succeeds and leaves it not there.
  if (state == Load::Missing && !value) return true;

  IniDocument doc(bytes);
  if (value)
    doc.setValue(section, key, *value);
  else
    doc.removeKey(section, key);
  const QByteArray out = doc.toBytes();
  // Nothing to change is success without touching the file (nor its time stamp).
  if (state == Load::Ok && out == bytes) return true;
  return fs_.writeFile(file, out);
}

QStringList Profile::sectionKeys(QStringView file, QStringView section) {
  QByteArray bytes;
  if (load(fs_, file, &bytes) != Load::Ok) return {};
  return IniDocument(bytes).keys(section);
}

QStringList Profile::sectionNames(QStringView file) {
  QByteArray bytes;
  if (load(fs_, file, &bytes) != Load::Ok) return {};
  return IniDocument(bytes).sections();
}

bool Profile::deleteSection(QStringView file, QStringView section) {
  QByteArray bytes;
  const Load state = load(fs_, file, &bytes);
  if (state == Load::Failed) return false;
  if (state == Load::Missing) return true;
  IniDocument doc(bytes);
  if (!doc.removeSection(section)) return true;
  return fs_.writeFile(file, doc.toBytes());
}

}  // namespace vt
