// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/shelllink.h"

#include "platform/filesystem.h"
#include "platform/text.h"

#include <QtEndian>

#include <cstring>

namespace vt {

namespace {

// Link flags.
constexpr quint32 kHasIdList = 0x01;
constexpr quint32 kHasLinkInfo = 0x02;
constexpr quint32 kHasName = 0x04;
constexpr quint32 kHasRelativePath = 0x08;
constexpr quint32 kHasWorkingDir = 0x10;
constexpr quint32 kHasArguments = 0x20;
constexpr quint32 kHasIconLocation = 0x40;
constexpr quint32 kUnicode = 0x80;

// Link information flags.
constexpr quint32 kVolumeAndLocalPath = 0x01;
constexpr quint32 kNetworkLinkAndSuffix = 0x02;
constexpr quint32 kValidDevice = 0x01;  // of the network link

constexpr qsizetype kHeaderSize = 0x4C;
constexpr qsizetype kLinkInfoHeaderSize = 0x1C;
constexpr qsizetype kVolumeHeaderSize = 0x10;
constexpr qsizetype kNetworkHeaderSize = 0x14;
constexpr quint64 kFileTimeAtUnixEpoch = 116444736000000000ull;

// {00021401-0000-0000-C000-000000000046}, the shell link class, as stored.
const unsigned char kLinkClsid[16] = {0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                      0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
// {20D04FE0-3AEA-1069-A2D8-08002B30309D}, My Computer, as stored in a root item.
const unsigned char kMyComputer[16] = {0xE0, 0x4F, 0xD0, 0x20, 0xEA, 0x3A, 0x69, 0x10,
                                       0xA2, 0xD8, 0x08, 0x00, 0x2B, 0x30, 0x30, 0x9D};

// The basic section of a PIF, and the fields in it.
constexpr qsizetype kPifBasicSize = 0x171;
constexpr qsizetype kPifTitle = 0x02, kPifTitleSize = 30;
constexpr qsizetype kPifProgram = 0x24, kPifProgramSize = 63;
constexpr qsizetype kPifWorkingDir = 0x65, kPifWorkingDirSize = 64;
constexpr qsizetype kPifParameters = 0xA5, kPifParametersSize = 64;
constexpr qsizetype kPifFileSize = 0x3C7;

// Little-endian fields of bytes that may end anywhere: every read is checked by the
// caller with has() first.
class Bytes {
 public:
  explicit Bytes(QByteArrayView b) : b_(b) {}
  qsizetype size() const { return b_.size(); }
  bool has(qint64 at, qint64 n) const { return at >= 0 && n >= 0 && at <= b_.size() && n <= b_.size() - at; }
  quint16 u16(qint64 at) const { return qFromLittleEndian<quint16>(b_.data() + at); }
  quint32 u32(qint64 at) const { return qFromLittleEndian<quint32>(b_.data() + at); }
  quint64 u64(qint64 at) const { return qFromLittleEndian<quint64>(b_.data() + at); }
  QByteArrayView view(qint64 at, qint64 n) const { return b_.sliced(at, n); }
  // ANSI text from `at` to its NUL or the end.
  QString ansi(qint64 at) const {
    const QByteArrayView rest = b_.sliced(at);
    const qsizetype nul = rest.indexOf('\0');
    return fromAnsi(nul < 0 ? rest : rest.first(nul));
  }
  // UTF-16LE text from `at` to its NUL or the end.
  QString utf16(qint64 at) const { return utf16(at, (b_.size() - at) / 2, true); }
  // `count` UTF-16LE characters, kept as stored (a lone surrogate stays one).
  QString utf16(qint64 at, qint64 count, bool toNul = false) const {
    QString s;
    s.reserve(qsizetype(count));
    for (qint64 i = 0; i < count; ++i) {
      const char16_t c = qFromLittleEndian<quint16>(b_.data() + at + 2 * i);
      if (toNul && c == 0) break;
      s.append(QChar(c));
    }
    return s;
  }

 private:
  QByteArrayView b_;
};

void put16(QByteArray& b, qsizetype at, quint32 v) { qToLittleEndian<quint16>(quint16(v), b.data() + at); }
void put32(QByteArray& b, qsizetype at, quint32 v) { qToLittleEndian<quint32>(v, b.data() + at); }
void put64(QByteArray& b, qsizetype at, quint64 v) { qToLittleEndian<quint64>(v, b.data() + at); }

// A path made of a base and a suffix, with one backslash between them.
QString joinPath(const QString& base, const QString& suffix) {
  if (suffix.isEmpty() || base.isEmpty()) return base + suffix;
  if (base.endsWith(QLatin1Char('\\')) || suffix.startsWith(QLatin1Char('\\'))) return base + suffix;
  return base + QLatin1Char('\\') + suffix;
}

// Where the share's target lies below the share as the link information stores it:
// without the backslash that joinPath() puts back.
QString suffixBelow(const QString& prefix, const QString& target) {
  QString rest = target.startsWith(prefix, Qt::CaseInsensitive) ? target.mid(prefix.size()) : target;
  if (!prefix.endsWith(QLatin1Char('\\')) && rest.size() > 1 && rest[0] == QLatin1Char('\\') && rest[1] != QLatin1Char('\\'))
    rest.remove(0, 1);
  return rest;
}

// The target as the shell's item list spells it: My Computer, a drive ("C:\"), then one
// file-system item per folder and the file, each with its 8.3 name. Empty for anything
// else (other namespaces, network items, names in Unicode).
QString targetFromItemList(const Bytes& items) {
  QString drive;
  QStringList names;
  bool root = false;
  for (qint64 at = 0; items.has(at, 2);) {
    const qint64 size = items.u16(at);
    if (size == 0) break;
    if (size < 3 || !items.has(at, size)) return {};
    const Bytes item(items.view(at, size));
    at += size;
    const quint8 type = quint8(item.view(2, 1)[0]);
    if (type == 0x1F) {  // a root folder named by its class
      if (root || !drive.isEmpty() || size < 0x14 || std::memcmp(item.view(4, 16).data(), kMyComputer, 16) != 0) return {};
      root = true;
    } else if ((type & 0x70) == 0x20) {  // a drive
      const QString name = item.ansi(3);
      if (!drive.isEmpty() || name.size() < 2 || name[1] != QLatin1Char(':')) return {};
      drive = name.endsWith(QLatin1Char('\\')) ? name : name + QLatin1Char('\\');
    } else if ((type & 0x70) == 0x30) {  // a folder or file: attributes, then the short name
      if (drive.isEmpty() || (type & 0x04) || size <= 0x0E) return {};
      const QString name = item.ansi(0x0E);
      if (name.isEmpty()) return {};
      names << name;
    } else {
      return {};
    }
  }
  return drive.isEmpty() ? QString() : drive + names.join(QLatin1Char('\\'));
}

// Reads the link information into `link`; false when a part its flags name is not there.
bool readLinkInfo(const Bytes& info, ShellLink* link, QString* local, QString* suffix) {
  const qint64 headerSize = info.u32(4);
  if (headerSize < kLinkInfoHeaderSize || !info.has(0, headerSize)) return false;
  const quint32 flags = info.u32(8);
  const qint64 volumeAt = info.u32(12), baseAt = info.u32(16), networkAt = info.u32(20), suffixAt = info.u32(24);
  // Later Windows versions add the two paths in UTF-16 after a longer header.
  const bool wide = headerSize >= 0x24;
  const qint64 wideBaseAt = wide ? info.u32(0x1C) : 0, wideSuffixAt = wide ? info.u32(0x20) : 0;
  auto text = [&](qint64 at, qint64 wideAt, QString* out) {
    if (wideAt > 0) {
      if (!info.has(wideAt, 0)) return false;
      *out = info.utf16(wideAt);
      return true;
    }
    if (!info.has(at, 1)) return false;
    *out = info.ansi(at);
    return true;
  };
  if (suffixAt != 0 && !text(suffixAt, wideSuffixAt, suffix)) return false;

  link->hasLocalPath = flags & kVolumeAndLocalPath;
  if (link->hasLocalPath) {
    if (!info.has(volumeAt, kVolumeHeaderSize) || !text(baseAt, wideBaseAt, local)) return false;
    link->driveType = info.u32(volumeAt + 4);
    link->volumeSerial = info.u32(volumeAt + 8);
    const qint64 labelAt = volumeAt + info.u32(volumeAt + 12);
    if (info.u32(volumeAt + 12) == 0x14) {  // the label in UTF-16
      if (!info.has(volumeAt, 0x14)) return false;
      const qint64 wideLabelAt = volumeAt + info.u32(volumeAt + 0x10);
      if (!info.has(wideLabelAt, 0)) return false;
      link->volumeLabel = info.utf16(wideLabelAt);
    } else {
      if (!info.has(labelAt, 0)) return false;
      link->volumeLabel = info.ansi(labelAt);
    }
  }
  if (flags & kNetworkLinkAndSuffix) {
    if (!info.has(networkAt, kNetworkHeaderSize)) return false;
    const quint32 netFlags = info.u32(networkAt + 4);
    const qint64 nameOffset = info.u32(networkAt + 8), deviceOffset = info.u32(networkAt + 12);
    qint64 wideNameAt = 0, wideDeviceAt = 0;
    if (nameOffset > kNetworkHeaderSize) {
      if (!info.has(networkAt, kNetworkHeaderSize + 8)) return false;
      const qint64 wideName = info.u32(networkAt + 0x14), wideDevice = info.u32(networkAt + 0x18);
      wideNameAt = wideName ? networkAt + wideName : 0;
      wideDeviceAt = wideDevice ? networkAt + wideDevice : 0;
    }
    if (!text(networkAt + nameOffset, wideNameAt, &link->netName)) return false;
    if ((netFlags & kValidDevice) && !text(networkAt + deviceOffset, wideDeviceAt, &link->deviceName)) return false;
  }
  return true;
}

QDateTime fromFileTime(quint64 ft) {
  if (ft < kFileTimeAtUnixEpoch) return {};
  const QDateTime t = QDateTime::fromMSecsSinceEpoch(qint64((ft - kFileTimeAtUnixEpoch) / 10000), Qt::UTC);
  return t.isValid() && t.date().year() <= 9999 ? t : QDateTime();
}

quint64 toFileTime(const QDateTime& t) {
  if (!t.isValid()) return 0;
  const qint64 ms = t.toMSecsSinceEpoch();
  return ms < 0 ? 0 : quint64(ms) * 10000ull + kFileTimeAtUnixEpoch;
}

// The target as seen from the folder holding the shortcut ("..\\NOTEPAD.EXE"), which
// Windows stores beside the absolute path; empty when the two lie on different drives.
QString relativeTo(const QString& linkPath, const QString& target) {
  if (linkPath.size() < 3 || target.size() < 3 || !winEqualNoCase(linkPath.left(2), target.left(2))) return {};
  QStringList from = linkPath.mid(3).split(QLatin1Char('\\'), Qt::SkipEmptyParts);
  if (!from.isEmpty()) from.removeLast();  // the shortcut's own name
  const QStringList to = target.mid(3).split(QLatin1Char('\\'), Qt::SkipEmptyParts);
  if (to.isEmpty()) return {};
  qsizetype common = 0;
  while (common < from.size() && common < to.size() - 1 && winEqualNoCase(from[common], to[common])) ++common;
  QStringList parts;
  for (qsizetype i = common; i < from.size(); ++i) parts << QStringLiteral("..");
  if (parts.isEmpty()) parts << QStringLiteral(".");
  for (qsizetype i = common; i < to.size(); ++i) parts << to[i];
  return parts.join(QLatin1Char('\\'));
}

QByteArray ansiZ(const QString& s) { return toAnsi(s) + '\0'; }

}  // namespace

QByteArray writeShellLink(const ShellLink& link) {
  const QString relative = link.relativePath.isEmpty() ? relativeTo(link.linkPath, link.target) : link.relativePath;
  const bool network = !link.netName.isEmpty();
  quint32 flags = link.unicode ? kUnicode : 0;
  if (link.hasLocalPath || network) flags |= kHasLinkInfo;
  if (!link.description.isEmpty()) flags |= kHasName;
  if (!relative.isEmpty()) flags |= kHasRelativePath;
  if (!link.workingDir.isEmpty()) flags |= kHasWorkingDir;
  if (!link.arguments.isEmpty()) flags |= kHasArguments;
  if (!link.iconLocation.isEmpty()) flags |= kHasIconLocation;

  QByteArray b(kHeaderSize, '\0');
  put32(b, 0, kHeaderSize);
  std::memcpy(b.data() + 4, kLinkClsid, 16);
  put32(b, 0x14, flags);
  put32(b, 0x18, link.targetAttributes);
  const quint64 ft = toFileTime(link.targetTime);
  put64(b, 0x1C, ft);  // created
  put64(b, 0x24, ft);  // accessed
  put64(b, 0x2C, ft);  // written
  put32(b, 0x34, link.targetSize);
  put32(b, 0x38, quint32(link.iconIndex));
  put32(b, 0x3C, quint32(link.showCommand));
  put16(b, 0x40, link.hotKey);

  if (flags & kHasLinkInfo) {
    // Header, then the volume and local path, the share, and the common suffix.
    QByteArray info(kLinkInfoHeaderSize, '\0');
    quint32 infoFlags = 0;
    QString suffix;
    if (link.hasLocalPath) {
      infoFlags |= kVolumeAndLocalPath;
      QByteArray volume(kVolumeHeaderSize, '\0');
      put32(volume, 4, link.driveType);
      put32(volume, 8, link.volumeSerial);
      put32(volume, 12, kVolumeHeaderSize);
      volume += ansiZ(link.volumeLabel);
      put32(volume, 0, quint32(volume.size()));
      put32(info, 12, quint32(info.size()));
      info += volume;
      put32(info, 16, quint32(info.size()));
      info += ansiZ(link.target);
    }
    if (network) {
      infoFlags |= kNetworkLinkAndSuffix;
      const bool device = !link.deviceName.isEmpty();
      QByteArray share(kNetworkHeaderSize, '\0');
      put32(share, 4, device ? kValidDevice : 0);
      put32(share, 8, kNetworkHeaderSize);
      share += ansiZ(link.netName);
      if (device) {
        put32(share, 12, quint32(share.size()));
        share += ansiZ(link.deviceName);
      }
      put32(share, 0, quint32(share.size()));
      put32(info, 20, quint32(info.size()));
      info += share;
      if (!link.hasLocalPath) suffix = suffixBelow(device ? link.deviceName : link.netName, link.target);
    }
    put32(info, 24, quint32(info.size()));
    info += ansiZ(suffix);
    while (info.size() % 4) info += '\0';
    put32(info, 0, quint32(info.size()));
    put32(info, 4, kLinkInfoHeaderSize);
    put32(info, 8, infoFlags);
    b += info;
  }

  auto counted = [&](const QString& s) {
    QByteArray c(2, '\0');
    if (link.unicode) {
      const QString t = s.left(0xFFFF);
      put16(c, 0, quint32(t.size()));
      for (QChar ch : t) {
        c += char(ch.unicode() & 0xFF);
        c += char(ch.unicode() >> 8);
      }
    } else {
      const QByteArray a = toAnsi(s).left(0xFFFF);
      put16(c, 0, quint32(a.size()));
      c += a;
    }
    b += c;
  };
  if (flags & kHasName) counted(link.description);
  if (flags & kHasRelativePath) counted(relative);
  if (flags & kHasWorkingDir) counted(link.workingDir);
  if (flags & kHasArguments) counted(link.arguments);
  if (flags & kHasIconLocation) counted(link.iconLocation);
  b += QByteArray(4, '\0');  // no extra data
  return b;
}

std::optional<ShellLink> readShellLink(const QByteArray& bytes) {
  const Bytes b(bytes);
  if (!b.has(0, kHeaderSize) || b.u32(0) != kHeaderSize || std::memcmp(bytes.constData() + 4, kLinkClsid, 16) != 0)
    return std::nullopt;
  ShellLink link;
  const quint32 flags = b.u32(0x14);
  link.unicode = flags & kUnicode;
  link.targetAttributes = b.u32(0x18);
  link.targetTime = fromFileTime(b.u64(0x2C));
  link.targetSize = b.u32(0x34);
  link.iconIndex = int(b.u32(0x38));
  link.showCommand = int(b.u32(0x3C));
  link.hotKey = b.u16(0x40);

  qint64 at = kHeaderSize;
  QString fromItems;
  if (flags & kHasIdList) {
    if (!b.has(at, 2)) return std::nullopt;
    const qint64 size = b.u16(at);
    if (!b.has(at + 2, size)) return std::nullopt;
    fromItems = targetFromItemList(Bytes(b.view(at + 2, size)));
    at += 2 + size;
  }
  link.hasLocalPath = false;
  QString local, suffix;
  if (flags & kHasLinkInfo) {
    if (!b.has(at, 4)) return std::nullopt;
    const qint64 size = b.u32(at);
    if (size < kLinkInfoHeaderSize || !b.has(at, size)) return std::nullopt;
    if (!readLinkInfo(Bytes(b.view(at, size)), &link, &local, &suffix)) return std::nullopt;
    at += size;
  }
  if (link.hasLocalPath) {
    link.target = joinPath(local, suffix);
  } else if (!link.netName.isEmpty() || !link.deviceName.isEmpty()) {
    const QString& share = link.deviceName.isEmpty() ? link.netName : link.deviceName;
    link.target = joinPath(share, suffix);
    if (link.target.size() == 2 && link.target[1] == QLatin1Char(':')) link.target += QLatin1Char('\\');
  } else {
    link.target = fromItems;
  }

  auto readString = [&](QString* out) {
    if (!b.has(at, 2)) return false;
    const qint64 count = b.u16(at);
    const qint64 size = link.unicode ? 2 * count : count;
    if (!b.has(at + 2, size)) return false;
    *out = link.unicode ? b.utf16(at + 2, count) : fromAnsi(b.view(at + 2, size));
    at += 2 + size;
    return true;
  };
  if ((flags & kHasName) && !readString(&link.description)) return std::nullopt;
  if ((flags & kHasRelativePath) && !readString(&link.relativePath)) return std::nullopt;
  if ((flags & kHasWorkingDir) && !readString(&link.workingDir)) return std::nullopt;
  if ((flags & kHasArguments) && !readString(&link.arguments)) return std::nullopt;
  if ((flags & kHasIconLocation) && !readString(&link.iconLocation)) return std::nullopt;
  // Extra data blocks may follow; nothing in them changes where the link points.
  return link;
}

QByteArray writePif(const Pif& pif) {
  QByteArray b(kPifFileSize, '\0');
  auto put = [&](qsizetype at, const QByteArray& text, qsizetype field) {
    std::memcpy(b.data() + at, text.constData(), size_t(qMin(text.size(), field)));
  };
  put(kPifTitle, toAnsi(pif.title).leftJustified(kPifTitleSize, ' ', true), kPifTitleSize);
  put16(b, 0x20, 640);  // most conventional memory, KB
  put16(b, 0x22, 128);  // least
  put(kPifProgram, toAnsi(pif.program).left(kPifProgramSize - 1), kPifProgramSize);
  b[0x63] = 0x10;  // close the window on exit
  put(kPifWorkingDir, toAnsi(pif.workingDir).left(kPifWorkingDirSize - 1), kPifWorkingDirSize);
  put(kPifParameters, toAnsi(pif.parameters).left(kPifParametersSize - 1), kPifParametersSize);
  b[0xE6] = 1;           // text pages
  b[0xE8] = char(0xFF);  // last interrupt
  b[0xE9] = 25;          // rows
  b[0xEA] = 80;          // columns
  quint32 sum = 0;
  for (qsizetype i = 2; i < kPifBasicSize; ++i) sum += uchar(b[i]);
  b[1] = char(sum & 0xFF);

  auto heading = [&](qsizetype at, const char* name, quint32 next, quint32 dataOffset, quint32 dataLength) {
    put(at, QByteArray(name), 16);
    put16(b, at + 16, next);
    put16(b, at + 18, dataOffset);
    put16(b, at + 20, dataLength);
  };
  heading(0x171, "MICROSOFT PIFEX", 0x187, 0x000, 0x171);
  heading(0x187, "WINDOWS 386 3.0", 0x205, 0x19D, 0x068);
  heading(0x205, "WINDOWS VMM 4.0", 0xFFFF, 0x21B, 0x1AC);
  const qsizetype w386 = 0x19D;
  put16(b, w386 + 0x00, 640);  // memory limits, KB
  put16(b, w386 + 0x02, 128);
  put16(b, w386 + 0x04, 100);   // foreground priority
  put16(b, w386 + 0x06, 50);    // background priority
  put16(b, w386 + 0x08, 1024);  // EMS limit
  put16(b, w386 + 0x0C, 1024);  // XMS limit
  put(w386 + 0x28, toAnsi(pif.parameters).left(kPifParametersSize - 1), kPifParametersSize);
  return b;
}

std::optional<Pif> readPif(const QByteArray& bytes) {
  const Bytes b(bytes);
  if (!b.has(0, kPifBasicSize)) return std::nullopt;
  if (b.view(kPifProgram, kPifProgramSize).indexOf('\0') < 0) return std::nullopt;
  // Since Windows 3.0 the extension headings follow the basic section, the first always
  // "MICROSOFT PIFEX"; a longer file without it is something else named .PIF.
  if (b.size() > kPifBasicSize &&
      (!b.has(kPifBasicSize, 16) || std::memcmp(bytes.constData() + kPifBasicSize, "MICROSOFT PIFEX", 16) != 0))
    return std::nullopt;
  auto field = [&](qsizetype at, qsizetype size) {
    const QByteArrayView f = b.view(at, size);
    const qsizetype nul = f.indexOf('\0');
    return fromAnsi(nul < 0 ? f : f.first(nul));
  };
  Pif pif;
  pif.title = field(kPifTitle, kPifTitleSize);
  while (pif.title.endsWith(QLatin1Char(' '))) pif.title.chop(1);
  pif.program = field(kPifProgram, kPifProgramSize);
  // The last byte of these fields is their terminator even where a writer left no NUL:
  // Windows reads 63 characters, and a re-written file keeps all of them.
  pif.workingDir = field(kPifWorkingDir, kPifWorkingDirSize - 1);
  pif.parameters = field(kPifParameters, kPifParametersSize - 1);
  return pif;
}

std::optional<ShellLink> readShortcut(const QByteArray& bytes) {
  if (auto link = readShellLink(bytes)) return link;
  const auto pif = readPif(bytes);
  if (!pif) return std::nullopt;
  ShellLink link;
  link.target = pif->program;
  link.workingDir = pif->workingDir;
  link.arguments = pif->parameters;
  link.description = pif->title;
  return link;
}

// --- TShellLink ---------------------------------------------------------------------------

namespace {

// No shortcut comes near this; a larger file is not read into memory to find that out.
constexpr qint64 kMaxShortcutSize = 1 << 20;

// What the shell hands back in the 260-character buffers the reader passes it.
QString buffered(const QString& s) { return s.left(kMaxWinPathLength); }

}  // namespace

void TShellLink::setUpdate(bool) {
  load(path_);
  update_ = true;
}

void TShellLink::load(const QString& winPath) {
  success_ = false;
  std::optional<ShellLink> link;
  const qint64 size = fs_.fileSize(winPath);
  if (size >= 0 && size <= kMaxShortcutSize && !fs_.isDirectory(winPath)) {
    if (const auto bytes = fs_.readFile(winPath)) link = readShortcut(*bytes);
  }
  if (!link) {
    if (!quiet_ && onError) onError(QStringLiteral("!! Error !!"), QStringLiteral("File not found (or not link)"));
    return;
  }
  path_ = winPath;
  target_ = buffered(link->target);
  workingDir_ = buffered(link->workingDir);
  description_ = buffered(link->description);
  arguments_ = buffered(link->arguments);
  iconLocation_ = buffered(link->iconLocation);
  hotKey_ = link->hotKey;
  showCmd_ = link->showCommand;
  iconNumber_ = link->iconIndex;
  success_ = true;
}

}  // namespace vt
