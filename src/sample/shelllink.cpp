#include "sample/shelllink.h"

#include "platform/text.h"
#include "sample/binaries.h"

namespace vt::sample {

namespace {

constexpr quint32 kHasLinkInfo = 0x02;
constexpr quint32 kHasName = 0x04;
constexpr quint32 kHasRelativePath = 0x08;
constexpr quint32 kHasWorkingDir = 0x10;
constexpr quint32 kHasArguments = 0x20;
constexpr quint32 kHasIconLocation = 0x40;
constexpr quint32 kUnicode = 0x80;
constexpr int kHeaderSize = 0x4C;
constexpr int kLinkInfoHeaderSize = 0x1C;

// {00021401-0000-0000-C000-000000000046}, as stored.
const unsigned char kLinkClsid[16] = {0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                      0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};

QByteArray countedString(const QString& s) {
  const QByteArray a = toAnsi(s);
  QByteArray b(2, '\0');
  putU16(b, 0, quint32(a.size()));
  return b + a;
}

quint32 u16(const QByteArray& b, qsizetype at) {
  return quint32(uchar(b[at])) | (quint32(uchar(b[at + 1])) << 8);
}

quint32 u32(const QByteArray& b, qsizetype at) { return u16(b, at) | (u16(b, at + 2) << 16); }

QByteArray cString(const QByteArray& b, qsizetype at, qsizetype end) {
  QByteArray s;
  while (at < end && b[at] != '\0') s += b[at++];
  return s;
}

// The target as seen from the folder holding the shortcut ("..\\NOTEPAD.EXE"), which
// Windows stores beside the absolute path; empty when the two lie on different drives.
QString relativePath(const QString& linkPath, const QString& target) {
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

}  // namespace

QByteArray writeShellLink(const ShellLink& link) {
  quint32 flags = kHasLinkInfo;
  const QString relative = relativePath(link.linkPath, link.target);
  if (!link.description.isEmpty()) flags |= kHasName;
  if (!relative.isEmpty()) flags |= kHasRelativePath;
  if (!link.workingDir.isEmpty()) flags |= kHasWorkingDir;
  if (!link.arguments.isEmpty()) flags |= kHasArguments;
  if (!link.iconLocation.isEmpty()) flags |= kHasIconLocation;

  QByteArray b(kHeaderSize, '\0');
  putU32(b, 0, kHeaderSize);
  for (int i = 0; i < 16; ++i) b[4 + i] = char(kLinkClsid[i]);
  putU32(b, 0x14, flags);
  putU32(b, 0x18, link.targetAttributes);
  const quint64 ft = link.targetTime.isValid() ? toFileTime(link.targetTime) : 0;
  putU64(b, 0x1C, ft);  // created
  putU64(b, 0x24, ft);  // accessed
  putU64(b, 0x2C, ft);  // written
  putU32(b, 0x34, link.targetSize);
  putU32(b, 0x38, quint32(link.iconIndex));
  putU32(b, 0x3C, quint32(link.showCommand));

  // Link information: a local volume and the full path on it; the common suffix is empty.
  QByteArray volume(0x10, '\0');
  putU32(volume, 4, link.driveType);
  putU32(volume, 8, link.volumeSerial);
  putU32(volume, 12, 0x10);
  volume += toAnsi(link.volumeLabel);
  volume += '\0';
  putU32(volume, 0, quint32(volume.size()));
  const QByteArray basePath = toAnsi(link.target) + '\0';
  QByteArray info(kLinkInfoHeaderSize, '\0');
  const int volumeOffset = kLinkInfoHeaderSize;
  const int baseOffset = volumeOffset + int(volume.size());
  const int suffixOffset = baseOffset + int(basePath.size());
  info += volume;
  info += basePath;
  info += '\0';
  while (info.size() % 4) info += '\0';
  putU32(info, 0, quint32(info.size()));
  putU32(info, 4, kLinkInfoHeaderSize);
  putU32(info, 8, 1);  // the volume id and local base path are present
  putU32(info, 12, quint32(volumeOffset));
  putU32(info, 16, quint32(baseOffset));
  putU32(info, 20, 0);
  putU32(info, 24, quint32(suffixOffset));
  b += info;

  if (flags & kHasName) b += countedString(link.description);
  if (flags & kHasRelativePath) b += countedString(relative);
  if (flags & kHasWorkingDir) b += countedString(link.workingDir);
  if (flags & kHasArguments) b += countedString(link.arguments);
  if (flags & kHasIconLocation) b += countedString(link.iconLocation);
  b += QByteArray(4, '\0');  // terminal block
  return b;
}

std::optional<ShellLink> readShellLink(const QByteArray& b) {
  if (b.size() < kHeaderSize || u32(b, 0) != kHeaderSize) return std::nullopt;
  for (int i = 0; i < 16; ++i)
    if (uchar(b[4 + i]) != kLinkClsid[i]) return std::nullopt;
  ShellLink link;
  const quint32 flags = u32(b, 0x14);
  if (flags & kUnicode) return std::nullopt;  // Windows 95 writes ANSI strings
  link.targetAttributes = u32(b, 0x18);
  const quint64 ft = quint64(u32(b, 0x2C)) | (quint64(u32(b, 0x30)) << 32);
  if (ft >= 116444736000000000ull)
    link.targetTime = QDateTime::fromMSecsSinceEpoch(qint64((ft - 116444736000000000ull) / 10000), Qt::UTC);
  link.targetSize = u32(b, 0x34);
  link.iconIndex = int(u32(b, 0x38));
  link.showCommand = int(u32(b, 0x3C));

  qsizetype at = kHeaderSize;
  if (flags & 0x01) {  // item id list: skipped, the link information names the target
    if (at + 2 > b.size()) return std::nullopt;
    at += 2 + u16(b, at);
  }
  if (!(flags & kHasLinkInfo)) return std::nullopt;
  if (at + kLinkInfoHeaderSize > b.size()) return std::nullopt;
  const qsizetype infoSize = u32(b, at);
  const qsizetype infoEnd = at + infoSize;
  if (infoSize < kLinkInfoHeaderSize || infoEnd > b.size()) return std::nullopt;
  if (!(u32(b, at + 8) & 1)) return std::nullopt;  // only local targets
  const qsizetype volume = at + u32(b, at + 12);
  const qsizetype base = at + u32(b, at + 16);
  const qsizetype suffix = at + u32(b, at + 24);
  if (volume + 0x10 > infoEnd || base >= infoEnd || suffix >= infoEnd) return std::nullopt;
  link.driveType = u32(b, volume + 4);
  link.volumeSerial = u32(b, volume + 8);
  const qsizetype labelAt = volume + u32(b, volume + 12);
  if (labelAt < infoEnd) link.volumeLabel = fromAnsi(cString(b, labelAt, infoEnd));
  link.target = fromAnsi(cString(b, base, infoEnd) + cString(b, suffix, infoEnd));
  at = infoEnd;

  auto readString = [&](QString* out) {
    if (at + 2 > b.size()) return false;
    const qsizetype n = u16(b, at);
    if (at + 2 + n > b.size()) return false;
    *out = fromAnsi(QByteArrayView(b).sliced(at + 2, n));
    at += 2 + n;
    return true;
  };
  if ((flags & kHasName) && !readString(&link.description)) return std::nullopt;
  if ((flags & kHasRelativePath) && !readString(&link.relativePath)) return std::nullopt;
  if ((flags & kHasWorkingDir) && !readString(&link.workingDir)) return std::nullopt;
  if ((flags & kHasArguments) && !readString(&link.arguments)) return std::nullopt;
  if ((flags & kHasIconLocation) && !readString(&link.iconLocation)) return std::nullopt;
  return link;
}

}  // namespace vt::sample
