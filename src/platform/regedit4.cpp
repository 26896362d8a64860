// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/regedit4.h"

#include "platform/creghive.h"
#include "platform/hugepages.h"
#include "platform/text.h"

#include <cstring>
#include <string>
#include <vector>

namespace vt::regedit4 {

namespace {

// ---------------------------------------------------------------------------------------
// Export
// ---------------------------------------------------------------------------------------

constexpr char kHexDigits[] = "0123456789abcdef";
// Byte lists wrap once a line (indent and prefix included) would pass this column.
constexpr qsizetype kWrapColumn = 77;

// The export's text. QByteArray's appends cost a few hundred instructions each in this Qt,
// more than the bytes most of them add; this writes through a pointer into room made in
// large steps.
class Text {
 public:
  explicit Text(QByteArrayView start) { append(start); }
  void append(char c) {
    *room(1) = c;
    ++used_;
  }
  void append(const char* p, qsizetype n) {
    if (n <= 0) return;
    std::memcpy(room(n), p, size_t(n));
    used_ += n;
  }
  void append(QByteArrayView v) { append(v.data(), v.size()); }
  qsizetype size() const { return used_; }
  // Makes room for `n` more bytes at once.
  void reserve(qsizetype n) {
    if (used_ + n <= buf_.size()) return;
    buf_.resize(used_ + n);
    adviseHugePages(buf_);
  }
  // Room for `n` more bytes at the end, which commit() then counts as written.
  char* room(qsizetype n) {
    if (used_ + n > buf_.size()) buf_.resize(std::max(buf_.size() * 2, used_ + n + 65536));
    return buf_.data() + used_;
  }
  void commit(qsizetype n) { used_ += n; }
  QByteArray take() {
    buf_.truncate(used_);
    return std::move(buf_);
  }

 private:
  QByteArray buf_;
  qsizetype used_ = 0;
};

void appendHexByte(Text& out, uchar b) {
  const char two[2] = {kHexDigits[b >> 4], kHexDigits[b & 0x0f]};
  out.append(two, 2);
}

// Runs without an escape go in whole: a registry export is mostly such text, and one
// append per run instead of one per byte is most of its cost.
void appendQuoted(Text& out, QByteArrayView text) {
  out.append('"');
  qsizetype run = 0;
  for (qsizetype i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c != '\\' && c != '"') continue;
    out.append(text.data() + run, i - run);
    out.append('\\');
    run = i;
  }
  out.append(text.data() + run, text.size() - run);
  out.append('"');
}

// A string is written as quoted text only when reading that text back gives the same
// string: no line breaks (they would end the line) and nothing but terminators after a
// NUL (the quoted form stops at the first NUL, as regedit's does).
bool quotable(QByteArrayView data) {
  qsizetype nul = -1;
  for (qsizetype i = 0; i < data.size(); ++i) {
    const char c = data[i];
    if (nul >= 0) {
      if (c != '\0') return false;
    } else if (c == '\0') {
      nul = i;
    } else if (c == '\r' || c == '\n') {
      return false;
    }
  }
  return true;
}

// At most "xx," and a line break of five bytes per byte.
void appendHexList(Text& out, qsizetype lineStart, QByteArrayView data) {
  if (data.isEmpty()) return;
  char* const start = out.room(data.size() * 8);
  char* at = start;
  const char* line = start - (out.size() - lineStart);
  for (qsizetype i = 0; i < data.size(); ++i) {
    const uchar b = uchar(data[i]);
    *at++ = kHexDigits[b >> 4];
    *at++ = kHexDigits[b & 0x0f];
    if (i + 1 == data.size()) break;
    *at++ = ',';
    // Break when the next "xx," would run past the wrap column.
    if ((at - line) + 3 > kWrapColumn) {
      std::memcpy(at, "\\\r\n  ", 5);
      at += 5;
      line = at - 2;
    }
  }
  out.commit(at - start);
}

void appendValue(Text& out, const RegValue& v) {
  const qsizetype lineStart = out.size();
  if (v.name.isEmpty())
    out.append('@');
  else
    appendQuoted(out, v.name);
  out.append('=');

  if (v.type == RegSz && quotable(v.data)) {
    const qsizetype nul = v.data.indexOf('\0');
    appendQuoted(out, nul < 0 ? QByteArrayView(v.data) : QByteArrayView(v.data).first(nul));
  } else if (v.type == RegDword && v.data.size() == 4) {
    const auto* d = reinterpret_cast<const uchar*>(v.data.constData());
    out.append("dword:", 6);
    for (int i = 3; i >= 0; --i) appendHexByte(out, d[i]);
  } else {
    if (v.type == RegBinary) {
      out.append("hex:", 4);
    } else {
      out.append("hex(", 4);
      out.append(QByteArray::number(v.type, 16));
      out.append("):", 2);
    }
    appendHexList(out, lineStart, v.data);
  }
  out.append("\r\n", 2);
}

void appendSection(Text& out, QByteArrayView path, const RegKey& key, std::vector<RegValue>* scratch) {
  out.append("\r\n[", 3);
  out.append(path);
  out.append("]\r\n", 3);
  for (const RegValue& v : key.peekValues(scratch)) appendValue(out, v);
}

// About the size of a tree's export, a little over rather than under, so the text is made
// room for once instead of copied each time it outgrows its buffer.
qsizetype estimatedSize(const RegKey& top, qsizetype pathLength) {
  qsizetype size = 0;
  std::vector<std::pair<const RegKey*, qsizetype>> stack{{&top, pathLength}};
  while (!stack.empty()) {
    const auto [key, length] = stack.back();
    stack.pop_back();
    size += length + 6;
    // Packed values are counted by their bytes, headers and all, which spares unpacking
    // them twice.
    if (const QByteArray& packed = key->packedValues(); !packed.isNull())
      size += packed.size() * 3 + packed.size() / 24 * 5;
    else
      for (const RegValue& v : key->values()) size += v.name.size() + v.data.size() * 3 + v.data.size() / 24 * 5 + 24;
    for (int i = 0; i < key->subkeyCount(); ++i) {
      const RegKey* child = key->subkey(i);
      stack.push_back({child, length + 1 + child->name().size()});
    }
  }
  return size;
}

// Depth-first, each key before its sub-keys, all in stored order. Kept iterative: a hive
// from elsewhere may nest deeper than a comfortable recursion.
void appendTree(Text& out, const RegKey& top, QByteArrayView topPath) {
  struct Frame {
    const RegKey* key;
    int next;
    size_t pathLength;
  };
  out.reserve(estimatedSize(top, topPath.size()));
  std::string path(topPath.data(), size_t(topPath.size()));
  std::vector<Frame> stack;
  std::vector<RegValue> scratch;
  appendSection(out, QByteArrayView(path.data(), qsizetype(path.size())), top, &scratch);
  stack.push_back({&top, 0, path.size()});
  while (!stack.empty()) {
    Frame& f = stack.back();
    if (f.next >= f.key->subkeyCount()) {
      stack.pop_back();
      continue;
    }
    const RegKey* child = f.key->subkey(f.next++);
    path.resize(f.pathLength);
    path.push_back('\\');
    path.append(child->name().constData(), size_t(child->name().size()));
    appendSection(out, QByteArrayView(path.data(), qsizetype(path.size())), *child, &scratch);
    stack.push_back({child, 0, path.size()});
  }
}

// ---------------------------------------------------------------------------------------
// Import
//
// Where regedit skipped a line it could not read, we refuse the whole file: a half-read
// file would leave the machine in a state nobody asked for. So the text is parsed into a
// list of operations first and applied only once every line has been read. The
// "name"=- form of later Windows versions is accepted; it can only mean one thing.
// ---------------------------------------------------------------------------------------

struct Op {
  enum Kind : quint8 { OpenKey, DeleteKey, SetValue, DeleteValue };
  Kind kind = OpenKey;
  HKey root = HKey::LocalMachine;  // key operations
  quint32 type = RegSz;            // SetValue
  QByteArray name;                 // key path below the root, or value name
  QByteArray data;                 // SetValue
};

bool isBlank(char c) { return vt::isBlank(c, Blanks::Regedit4); }
QByteArrayView trimmed(QByteArrayView s) { return vt::trimmed(s, Blanks::Regedit4); }

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Only the full names: regedit knows no abbreviations.
bool rootFromName(QByteArrayView name, HKey* out) {
  struct Entry {
    const char* name;
    HKey key;
  };
  static const Entry entries[] = {
      {"HKEY_CLASSES_ROOT", HKey::ClassesRoot},     {"HKEY_CURRENT_USER", HKey::CurrentUser},
      {"HKEY_LOCAL_MACHINE", HKey::LocalMachine},   {"HKEY_USERS", HKey::Users},
      {"HKEY_CURRENT_CONFIG", HKey::CurrentConfig}, {"HKEY_DYN_DATA", HKey::DynData},
  };
  for (const Entry& e : entries) {
    if (ansiEqualNoCase(name, e.name)) {
      *out = e.key;
      return true;
    }
  }
  return false;
}

QString shown(QByteArrayView bytes) {
  constexpr qsizetype kMax = 40;
  if (bytes.size() <= kMax) return fromAnsi(bytes);
  return fromAnsi(bytes.first(kMax)) + QStringLiteral("...");
}

class Parser {
 public:
  explicit Parser(QByteArrayView text) : text_(text) {}

  bool parse(std::vector<Op>* ops);
  const QString& error() const { return error_; }

 private:
  // Line ends as splitLines() sees them: CR LF, LF or CR.
  bool nextLine(QByteArrayView* line) {
    if (pos_ >= text_.size()) return false;
    qsizetype end = pos_;
    while (end < text_.size() && text_[end] != '\n' && text_[end] != '\r') ++end;
    *line = text_.sliced(pos_, end - pos_);
    if (end < text_.size() && text_[end] == '\r' && end + 1 < text_.size() && text_[end + 1] == '\n') ++end;
    pos_ = end + 1;
    ++lineNo_;
    return true;
  }

  bool fail(const QString& what) {
    error_ = QStringLiteral("line %1: %2").arg(lineNo_).arg(what);
    return false;
  }

  bool checkHeader();
  bool parseKeyLine(QByteArrayView line, std::vector<Op>* ops);
  bool parseValueLine(QByteArrayView line, std::vector<Op>* ops);
  // These write into scratch strings, whose appends cost a few instructions where a
  // QByteArray's cost hundreds; the slab then keeps the result.
  bool parseQuoted(QByteArrayView s, qsizetype* pos, std::string* out, const char* what);
  bool parseDword(QByteArrayView s, std::string* out);
  bool parseHexList(QByteArrayView s, std::string* out);

  QByteArrayView text_;
  qsizetype pos_ = 0;
  int lineNo_ = 0;
  QString error_;
  enum class Section { None, Key, Deleted } section_ = Section::None;
  // Names and data are read into these, then copied into the slab: a file of 200,000
  // values then costs a few dozen allocations, and the registry keeps the slab's pieces.
  std::string nameBuffer_, dataBuffer_;
  ByteSlab slab_;
};

bool Parser::checkHeader() {
  QByteArrayView first;
  if (text_.startsWith("\xff\xfe") || text_.startsWith("\xfe\xff")) {
    lineNo_ = 1;
    return fail(QStringLiteral("a Unicode registry file of a later Windows, not a REGEDIT4 file"));
  }
  if (!nextLine(&first)) {
    lineNo_ = 1;
    return fail(QStringLiteral("the file is empty; a REGEDIT4 file begins with the line REGEDIT4"));
  }
  if (!ansiEqualNoCase(trimmed(first), "REGEDIT4"))
    return fail(QStringLiteral("not a REGEDIT4 file: the first line must read REGEDIT4, not \"%1\"").arg(shown(trimmed(first))));
  return true;
}

bool Parser::parse(std::vector<Op>* ops) {
  if (!checkHeader()) return false;
  QByteArrayView raw;
  while (nextLine(&raw)) {
    const QByteArrayView line = trimmed(raw);
    if (line.isEmpty() || line[0] == ';') continue;
    bool ok;
    switch (line[0]) {
      case '[': ok = parseKeyLine(line, ops); break;
      case '"':
      case '@': ok = parseValueLine(line, ops); break;
      default: ok = fail(QStringLiteral("\"%1\" is not a key, value or comment line").arg(shown(line)));
    }
    if (!ok) return false;
  }
  return true;
}

bool Parser::parseKeyLine(QByteArrayView line, std::vector<Op>* ops) {
  // Everything up to the last bracket is the path: a key name may hold a ']' itself.
  if (line.size() < 2 || line.back() != ']') return fail(QStringLiteral("key line has no closing ]"));
  QByteArrayView inner = line.sliced(1, line.size() - 2);
  const bool remove = inner.startsWith('-');
  if (remove) inner = inner.sliced(1);

  const qsizetype slash = inner.indexOf('\\');
  const QByteArrayView rootPart = slash < 0 ? inner : inner.first(slash);
  const QByteArrayView path = slash < 0 ? QByteArrayView() : inner.sliced(slash + 1);
  Op op;
  op.kind = remove ? Op::DeleteKey : Op::OpenKey;
  if (!rootFromName(rootPart, &op.root)) return fail(QStringLiteral("unknown root key \"%1\"").arg(shown(rootPart)));
  if (remove) {
    bool hasName = false;
    for (char c : path) hasName |= c != '\\';
    if (!hasName) return fail(QStringLiteral("the predefined key %1 cannot be deleted").arg(rootName(op.root)));
  }
  op.name = slab_.copy(path);
  ops->push_back(std::move(op));
  section_ = remove ? Section::Deleted : Section::Key;
  return true;
}

// A quoted name or string starting at s[*pos] == '"'; leaves *pos after the closing quote.
// Regedit escapes only the backslash and the quote, so nothing else is an escape.
bool Parser::parseQuoted(QByteArrayView s, qsizetype* pos, std::string* out, const char* what) {
  qsizetype i = *pos + 1;
  qsizetype run = i;  // the text since the last escape goes in as one piece
  for (; i < s.size(); ++i) {
    const char c = s[i];
    if (c == '"') {
      out->append(s.data() + run, size_t(i - run));
      *pos = i + 1;
      return true;
    }
    if (c == '\\') {
      if (i + 1 >= s.size()) break;
      const char e = s[++i];
      if (e != '\\' && e != '"')
        return fail(QStringLiteral("unknown escape \\%1 in %2 (only \\\\ and \\\" are escapes)")
                        .arg(fromAnsi(QByteArrayView(&e, 1)), QLatin1String(what)));
      out->append(s.data() + run, size_t(i - 1 - run));
      run = i;
    }
  }
  return fail(QStringLiteral("%1 has no closing quote").arg(QLatin1String(what)));
}

bool Parser::parseValueLine(QByteArrayView line, std::vector<Op>* ops) {
  if (section_ == Section::None) return fail(QStringLiteral("value line before any [key] line"));
  if (section_ == Section::Deleted) return fail(QStringLiteral("value line under a key being deleted ([-...])"));

  std::string& name = nameBuffer_;
  name.clear();
  qsizetype i = 0;
  if (line[0] == '@') {
    i = 1;
  } else if (!parseQuoted(line, &i, &name, "value name")) {
    return false;
  }
  while (i < line.size() && isBlank(line[i])) ++i;
  if (i >= line.size() || line[i] != '=') return fail(QStringLiteral("value name must be followed by ="));
  ++i;
  while (i < line.size() && isBlank(line[i])) ++i;
  const QByteArrayView data = line.sliced(i);

  Op op;
  op.kind = Op::SetValue;
  op.name = slab_.copy(QByteArrayView(name.data(), qsizetype(name.size())));
  std::string& bytes = dataBuffer_;
  bytes.clear();
  if (data.isEmpty()) return fail(QStringLiteral("value has no data after ="));
  if (data == "-") {
    op.kind = Op::DeleteValue;
  } else if (data[0] == '"') {
    qsizetype p = 0;
    if (!parseQuoted(data, &p, &bytes, "string")) return false;
    if (p != data.size())
      return fail(QStringLiteral("unexpected text \"%1\" after the closing quote").arg(shown(data.sliced(p))));
    op.type = RegSz;
  } else if (ansiStartsWithNoCase(data, "dword:")) {
    op.type = RegDword;
    if (!parseDword(data.sliced(6), &bytes)) return false;
  } else if (ansiStartsWithNoCase(data, "hex:")) {
    op.type = RegBinary;
    if (!parseHexList(data.sliced(4), &bytes)) return false;
  } else if (ansiStartsWithNoCase(data, "hex(")) {
    const qsizetype close = data.indexOf("):");
    const QByteArrayView digits = close < 0 ? QByteArrayView() : data.sliced(4, close - 4);
    if (digits.isEmpty() || digits.size() > 8)
      return fail(QStringLiteral("hex(N): needs the value type N as one to eight hex digits"));
    quint32 type = 0;
    for (char c : digits) {
      const int d = hexValue(c);
      if (d < 0) return fail(QStringLiteral("hex(N): needs the value type N as one to eight hex digits"));
      type = type << 4 | quint32(d);
    }
    op.type = type;
    if (!parseHexList(data.sliced(close + 2), &bytes)) return false;
  } else {
    return fail(QStringLiteral("\"%1\" is not a value; expected \"text\", dword:, hex: or hex(N):").arg(shown(data)));
  }
  if (op.kind == Op::SetValue) op.data = slab_.copy(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
  ops->push_back(std::move(op));
  return true;
}

bool Parser::parseDword(QByteArrayView s, std::string* out) {
  s = trimmed(s);
  quint32 v = 0;
  bool ok = s.size() == 8;
  for (qsizetype i = 0; ok && i < 8; ++i) {
    const int d = hexValue(s[i]);
    ok = d >= 0;
    v = v << 4 | quint32(d);
  }
  if (!ok) return fail(QStringLiteral("dword value needs eight hex digits, not \"%1\"").arg(shown(s)));
  const char bytes[4] = {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
  out->append(bytes, 4);
  return true;
}

// Comma-separated two-digit bytes; a '\' at the end of a line carries the list on to the
// next line.
bool Parser::parseHexList(QByteArrayView s, std::string* out) {
  for (;;) {
    bool continued = false;
    qsizetype i = 0;
    // Exports write "xx,xx,...": those bytes are taken three characters at a time, and the
    // careful reading below goes on from the first that is written otherwise.
    for (int hi, lo; i + 2 < s.size() && s[i + 2] == ',' && (hi = hexValue(s[i])) >= 0 && (lo = hexValue(s[i + 1])) >= 0; i += 3)
      out->push_back(char(hi << 4 | lo));
    for (;;) {
      while (i < s.size() && isBlank(s[i])) ++i;
      if (i >= s.size()) break;
      if (s[i] == '\\') {
        if (!trimmed(s.sliced(i + 1)).isEmpty()) return fail(QStringLiteral("a \\ inside hex data may only end the line"));
        continued = true;
        break;
      }
      if (s[i] == ',') return fail(QStringLiteral("empty entry in hex data (two commas)"));
      qsizetype end = i;
      while (end < s.size() && s[end] != ',' && s[end] != '\\' && !isBlank(s[end])) ++end;
      const QByteArrayView token = s.sliced(i, end - i);
      const int hi = token.size() == 2 ? hexValue(token[0]) : -1;
      const int lo = token.size() == 2 ? hexValue(token[1]) : -1;
      if (hi < 0 || lo < 0) return fail(QStringLiteral("\"%1\" is not a hex byte (two hex digits)").arg(shown(token)));
      out->push_back(char(hi << 4 | lo));
      i = end;
      while (i < s.size() && isBlank(s[i])) ++i;
      if (i < s.size() && s[i] == ',') {
        ++i;
      } else if (i < s.size() && s[i] != '\\') {
        return fail(QStringLiteral("hex bytes must be separated by commas"));
      }
    }
    if (!continued) return true;

    const int backslashLine = lineNo_;
    QByteArrayView next;
    const bool more = nextLine(&next);
    next = trimmed(next);
    if (!more || next.isEmpty() || next[0] == '[' || next[0] == '"' || next[0] == '@' || next[0] == ';') {
      error_ = QStringLiteral("line %1: the line ends in \\ but no hex data follows").arg(backslashLine);
      return false;
    }
    s = next;
  }
}

// A path whose every component is named: no leading, trailing or doubled backslash.
bool plainPath(QByteArrayView path) {
  if (path.isEmpty()) return true;
  if (path.front() == '\\' || path.back() == '\\') return false;
  for (qsizetype i = 1; i < path.size(); ++i)
    if (path[i] == '\\' && path[i - 1] == '\\') return false;
  return true;
}

// An export lists each key after its parent and before its siblings, so the next key
// shares most of its path with the last one. Starting from their common ancestor spares
// a walk from the root, with a lookup per component, for every key of the file.
class KeyCursor {
 public:
  explicit KeyCursor(Registry& registry) : registry_(registry) {}

  RegKey* open(HKey root, QByteArrayView path) {
    if (!last_ || root != root_ || !plainPath(path)) return reset(root, path);
    qsizetype common = 0;  // bytes of whole components the two paths share
    const qsizetype n = std::min(path.size(), lastPath_.size());
    for (qsizetype i = 0; i <= n; ++i) {
      const bool endNew = i == path.size() || path[i] == '\\';
      const bool endOld = i == lastPath_.size() || lastPath_[i] == '\\';
      if (endNew && endOld) common = i;
      if (i == n || path[i] != lastPath_[i]) break;
    }
    // Up from the last key to the deepest key both paths name.
    qsizetype ups = 0;
    if (common == 0) {
      ups = lastPath_.isEmpty() ? 0 : lastPath_.count('\\') + 1;
    } else {
      for (qsizetype i = common; i < lastPath_.size(); ++i) ups += lastPath_[i] == '\\';
    }
    RegKey* k = last_;
    for (; ups > 0 && k; --ups) k = k->parent();
    if (!k) return reset(root, path);
    const QByteArrayView rest = common == 0 ? path : common == path.size() ? QByteArrayView() : path.sliced(common + 1);
    last_ = k->createPath(rest);
    lastPath_ = path;
    return last_;
  }
  void forget() { last_ = nullptr; }

 private:
  RegKey* reset(HKey root, QByteArrayView path) {
    // createKey(root, "") builds an alias's target if it is missing.
    RegKey* base = registry_.createKey(root, {});
    RegKey* k = base->createPath(path);
    root_ = root;
    last_ = plainPath(path) ? k : nullptr;
    lastPath_ = path;
    return k;
  }

  Registry& registry_;
  HKey root_ = HKey::LocalMachine;
  RegKey* last_ = nullptr;
  QByteArrayView lastPath_;
};

void applyOps(std::vector<Op>& ops, Registry& registry, ImportMode mode, Registry* replaced) {
  // HKEY_DYN_DATA is the running machine's state rather than part of the saved registry,
  // so a replacing import merges its keys like any other import.
  if (mode == ImportMode::Replace) {
    Registry dropped;
    Registry& old = replaced ? *replaced : dropped;
    old.localMachine().takeContentsOf(registry.localMachine());
    old.users().takeContentsOf(registry.users());
  }
  KeyCursor cursor(registry);
  RegKey* current = nullptr;
  std::vector<creg::ValueRef> refs;
  std::string packed;
  ByteSlab slab;
  for (size_t i = 0; i < ops.size(); ++i) {
    Op& op = ops[i];
    switch (op.kind) {
      case Op::OpenKey: {
        current = cursor.open(op.root, op.name);
        if (current->valueCount() != 0) break;
        // A key the file fills from nothing (every key of a replacement) keeps its values
        // packed as a hive holds them, as a key read from its hive does: no record a value
        // to make now or to free later, and the next save copies them as they are.
        size_t end = i + 1;
        while (end < ops.size() && ops[end].kind == Op::SetValue) ++end;
        if (end == i + 1) break;
        refs.clear();
        for (size_t j = i + 1; j < end; ++j) refs.push_back({ops[j].type, ops[j].name, ops[j].data});
        packed.clear();
        if (creg::packValues(refs, &packed)) {
          current->adoptPackedValues(slab.copy(QByteArrayView(packed.data(), qsizetype(packed.size()))), int(refs.size()),
                                     creg::unpacker());
          i = end - 1;
        } else {
          current->reserveValues(int(refs.size()));
        }
        break;
      }
      case Op::DeleteKey: {
        current = nullptr;
        cursor.forget();
        RegKey* base = registry.root(op.root);
        RegKey* k = base ? base->findPath(op.name) : nullptr;
        if (k && k != base) k->parent()->removeSubkey(k->name());
        break;
      }
      case Op::SetValue: current->adoptValue(std::move(op.name), op.type, std::move(op.data)); break;
      case Op::DeleteValue: current->removeValue(op.name); break;
    }
  }
}

// A replacement throws away whatever the file does not hold, so a file cut short (a full
// disk, a copy that broke off) would leave a registry Windows cannot start with. A whole
// export holds both HKEY_LOCAL_MACHINE and HKEY_USERS (an export writes them in this
// order, so a file cut anywhere in the first lacks the second), under their own names or
// their aliases, and its last line ends with a line break: a line cut in the middle may
// still read as a shorter hex list. Empty when the file may replace the registry.
QString incompleteReplacement(QByteArrayView text, const std::vector<Op>& ops) {
  bool machine = false, users = false;
  for (const Op& op : ops) {
    if (op.kind != Op::OpenKey) continue;
    switch (op.root) {
      case HKey::LocalMachine:
      case HKey::ClassesRoot:
      case HKey::CurrentConfig: machine = true; break;
      case HKey::Users:
      case HKey::CurrentUser: users = true; break;
      case HKey::DynData: break;
    }
  }
  if (!machine || !users)
    return QStringLiteral(
               "the file holds no keys of %1, so it is not a whole export of the registry; a replacement "
               "needs keys of both HKEY_LOCAL_MACHINE and HKEY_USERS")
        .arg(machine ? QStringLiteral("HKEY_USERS")
             : users ? QStringLiteral("HKEY_LOCAL_MACHINE")
                     : QStringLiteral("HKEY_LOCAL_MACHINE or HKEY_USERS"));
  qsizetype end = text.size();
  while (end > 0 && isBlank(text[end - 1])) --end;
  if (end == 0 || (text[end - 1] != '\n' && text[end - 1] != '\r'))
    return QStringLiteral("the file ends in the middle of a line, so it is not a whole export of the registry");
  return {};
}

}  // namespace

QByteArray exportRegistry(const Registry& registry) {
  Text out("REGEDIT4\r\n");
  appendTree(out, registry.localMachine(), QByteArrayLiteral("HKEY_LOCAL_MACHINE"));
  appendTree(out, registry.users(), QByteArrayLiteral("HKEY_USERS"));
  out.append("\r\n", 2);
  return out.take();
}

QByteArray exportKey(const RegKey& key, const QString& fullName) {
  Text out("REGEDIT4\r\n");
  appendTree(out, key, toAnsi(fullName));
  out.append("\r\n", 2);
  return out.take();
}

struct Parsed::Ops {
  std::vector<Op> list;
  ImportMode mode = ImportMode::Merge;
};

Parsed::Parsed() = default;
Parsed::Parsed(Parsed&&) noexcept = default;
Parsed& Parsed::operator=(Parsed&&) noexcept = default;
Parsed::~Parsed() = default;

bool parse(const QByteArray& text, ImportMode mode, Parsed* parsed, QString* error) {
  parsed->ops_.reset();
  auto ops = std::make_unique<Parsed::Ops>();
  ops->mode = mode;
  Parser parser(text);
  if (!parser.parse(&ops->list)) {
    if (error) *error = parser.error();
    return false;
  }
  if (mode == ImportMode::Replace) {
    const QString why = incompleteReplacement(text, ops->list);
    if (!why.isEmpty()) {
      if (error) *error = why;
      return false;
    }
  }
  parsed->ops_ = std::move(ops);
  return true;
}

void apply(Parsed& parsed, Registry& registry, Registry* replaced) {
  if (!parsed.ops_) return;
  // The values' names and data move into the registry, so the list is good for one use.
  const std::unique_ptr<Parsed::Ops> ops = std::move(parsed.ops_);
  applyOps(ops->list, registry, ops->mode, replaced);
}

bool importText(const QByteArray& text, Registry& registry, ImportMode mode, QString* error) {
  Parsed parsed;
  if (!parse(text, mode, &parsed, error)) return false;
  apply(parsed, registry);
  return true;
}

}  // namespace vt::regedit4
