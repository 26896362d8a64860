// SPDX-License-Identifier: GPL-3.0-or-later
#include "sample/binaries.h"

#include <QDate>
#include <QTime>

#include <cmath>

namespace vt::sample {

void putU16(QByteArray& b, int offset, quint32 v) {
  b[offset] = char(v & 0xFF);
  b[offset + 1] = char((v >> 8) & 0xFF);
}

void putU32(QByteArray& b, int offset, quint32 v) {
  putU16(b, offset, v & 0xFFFF);
  putU16(b, offset + 2, v >> 16);
}

void putU64(QByteArray& b, int offset, quint64 v) {
  putU32(b, offset, quint32(v));
  putU32(b, offset + 4, quint32(v >> 32));
}

namespace {

void putBe16(QByteArray& b, int offset, quint32 v) {
  b[offset] = char((v >> 8) & 0xFF);
  b[offset + 1] = char(v & 0xFF);
}

void putBe32(QByteArray& b, int offset, quint32 v) {
  putBe16(b, offset, v >> 16);
  putBe16(b, offset + 2, v & 0xFFFF);
}

void putText(QByteArray& b, int offset, const QByteArray& text, int field) {
  for (int i = 0; i < field && i < text.size(); ++i) b[offset + i] = text[i];
}

// Text for INT 21h function 9: CR LF line ends and the terminating '$' (which the text
// itself therefore cannot hold).
QByteArray dollarText(const QByteArray& message) {
  QByteArray t = message;
  t.replace('$', 'S');
  t.replace("\r\n", "\n");
  t.replace("\n", "\r\n");
  if (!t.endsWith("\r\n")) t += "\r\n";
  return t + '$';
}

// The moment the sample's Windows files carry (the release build of the disks).
quint32 releaseTimestamp() { return quint32(QDateTime(QDate(1996, 8, 24), QTime(11, 11), Qt::UTC).toSecsSinceEpoch()); }

// 16-bit real-mode code shared by the MZ programs and the stubs of the Windows formats:
//   mov ax,cs / mov ds,ax / mov dx,0010h / mov ah,09h / int 21h / mov ax,4C01h / int 21h
// The message follows at offset 10h of the code segment.
QByteArray printAndExitCode() {
  static const unsigned char code[] = {0x8C, 0xC8, 0x8E, 0xD8, 0xBA, 0x10, 0x00, 0xB4,
                                       0x09, 0xCD, 0x21, 0xB8, 0x01, 0x4C, 0xCD, 0x21};
  return QByteArray(reinterpret_cast<const char*>(code), sizeof code);
}

// MZ header with a 64-byte header (so the code starts at file offset 40h) whose
// e_lfanew points at `newHeader`; the DOS part prints `stubMessage`.
QByteArray mzWithStub(const QByteArray& stubMessage, int* newHeaderOffset) {
  QByteArray b(0x40, '\0');
  b += printAndExitCode();
  b += dollarText(stubMessage);
  while (b.size() % 16) b += '\0';
  const int dosSize = int(b.size());
  b[0] = 'M';
  b[1] = 'Z';
  putU16(b, 0x02, dosSize % 512);
  putU16(b, 0x04, (dosSize + 511) / 512);
  putU16(b, 0x06, 0);                      // relocations
  putU16(b, 0x08, 4);                      // header paragraphs
  putU16(b, 0x0A, 0x10);                   // minimum extra paragraphs: the stack
  putU16(b, 0x0C, 0xFFFF);                 // maximum extra paragraphs
  putU16(b, 0x0E, (dosSize - 0x40) / 16);  // SS just after the code
  putU16(b, 0x10, 0x100);                  // SP
  putU16(b, 0x18, 0x40);                   // relocation table offset: marks a new-format executable
  putU32(b, 0x3C, quint32(dosSize));
  *newHeaderOffset = dosSize;
  return b;
}

}  // namespace

quint64 toFileTime(const QDateTime& when) { return quint64(when.toMSecsSinceEpoch()) * 10000ull + 116444736000000000ull; }

QByteArray dosComProgram(const QByteArray& message) {
  // mov dx,010Ch / mov ah,09h / int 21h / mov ax,4C00h / int 21h, message at 010Ch.
  static const unsigned char code[] = {0xBA, 0x0C, 0x01, 0xB4, 0x09, 0xCD, 0x21, 0xB8, 0x00, 0x4C, 0xCD, 0x21};
  return QByteArray(reinterpret_cast<const char*>(code), sizeof code) + dollarText(message);
}

QByteArray dosExeProgram(const QByteArray& message) {
  QByteArray body = printAndExitCode() + dollarText(message);
  const int header = 0x20;
  QByteArray b(header, '\0');
  b += body;
  const int size = int(b.size());
  const int loadParagraphs = (int(body.size()) + 15) / 16;
  b[0] = 'M';
  b[1] = 'Z';
  putU16(b, 0x02, size % 512);
  putU16(b, 0x04, (size + 511) / 512);
  putU16(b, 0x06, 0);
  putU16(b, 0x08, header / 16);
  putU16(b, 0x0A, 0x10);
  putU16(b, 0x0C, 0xFFFF);
  putU16(b, 0x0E, loadParagraphs);
  putU16(b, 0x10, 0x100);
  putU16(b, 0x14, 0);  // IP
  putU16(b, 0x16, 0);  // CS
  putU16(b, 0x18, 0x1C);
  return b;
}

QByteArray peImage(const QString& name, PeKind kind, quint32 imageBase, std::optional<ModuleVersion> version) {
  int pe = 0;
  QByteArray b = mzWithStub("This program needs Microsoft Windows.", &pe);
  const bool dll = kind == PeKind::Dll;
  if (imageBase == 0) imageBase = dll ? 0x10000000u : 0x00400000u;
  const int fileAlign = 0x200;
  b.resize(fileAlign * 2, '\0');

  putText(b, pe, QByteArray("PE\0\0", 4), 4);
  const int coff = pe + 4;
  putU16(b, coff + 0, 0x014C);  // i386
  putU16(b, coff + 2, 1);       // sections
  putU32(b, coff + 4, releaseTimestamp());
  putU16(b, coff + 16, 0xE0);  // optional header size
  putU16(b, coff + 18, dll ? 0x210E : 0x010F);

  const int opt = coff + 20;
  putU16(b, opt + 0, 0x010B);
  b[opt + 2] = 3;
  b[opt + 3] = 10;
  putU32(b, opt + 4, fileAlign);  // size of code
  putU32(b, opt + 16, 0x1000);    // entry point
  putU32(b, opt + 20, 0x1000);    // base of code
  putU32(b, opt + 24, 0x2000);    // base of data
  putU32(b, opt + 28, imageBase);
  putU32(b, opt + 32, 0x1000);  // section alignment
  putU32(b, opt + 36, fileAlign);
  putU16(b, opt + 40, 4);          // operating system 4.0
  putU16(b, opt + 44, 4);          // image 4.0
  putU16(b, opt + 48, 4);          // subsystem 4.0
  putU32(b, opt + 56, 0x2000);     // size of image
  putU32(b, opt + 60, fileAlign);  // size of headers
  putU16(b, opt + 68, kind == PeKind::ConsoleExe ? 3 : 2);
  putU32(b, opt + 72, 0x100000);
  putU32(b, opt + 76, 0x1000);
  putU32(b, opt + 80, 0x100000);
  putU32(b, opt + 84, 0x1000);
  putU32(b, opt + 92, 16);  // data directories

  QByteArray code;
  if (dll) {
    static const unsigned char entry[] = {0xB8, 0x01, 0x00, 0x00, 0x00, 0xC2, 0x0C, 0x00};  // mov eax,1 / ret 12
    code = QByteArray(reinterpret_cast<const char*>(entry), sizeof entry);
  } else {
    static const unsigned char entry[] = {0x33, 0xC0, 0xC3};  // xor eax,eax / ret
    code = QByteArray(reinterpret_cast<const char*>(entry), sizeof entry);
  }
  code += '\0';
  code += name.toLatin1() + " - Windows 95 sample machine, made by Vantrel";
  code += '\0';

  const int sect = opt + 0xE0;
  putText(b, sect, ".text", 8);
  putU32(b, sect + 8, quint32(code.size()));
  putU32(b, sect + 12, 0x1000);
  putU32(b, sect + 16, fileAlign);
  putU32(b, sect + 20, fileAlign);
  putU32(b, sect + 36, 0x60000020);  // code, execute, read
  putText(b, fileAlign, code, int(code.size()));
  if (!version) return b;

  // A resource section holding only the version: the directory of types, of names and of
  // languages, one entry each, then the data entry and the data.
  QByteArray rsrc(0x58, '\0');
  const quint32 rva = 0x2000;
  putU16(rsrc, 0x0E, 1);
  putU32(rsrc, 0x10, 16);  // RT_VERSION
  putU32(rsrc, 0x14, 0x80000000u | 0x18);
  putU16(rsrc, 0x18 + 0x0E, 1);
  putU32(rsrc, 0x18 + 0x10, 1);
  putU32(rsrc, 0x18 + 0x14, 0x80000000u | 0x30);
  putU16(rsrc, 0x30 + 0x0E, 1);
  putU32(rsrc, 0x30 + 0x10, 0x409);  // U.S. English
  putU32(rsrc, 0x30 + 0x14, 0x48);
  const QByteArray data = versionResource(*version, true);
  putU32(rsrc, 0x48, rva + 0x58);
  putU32(rsrc, 0x4C, quint32(data.size()));
  rsrc += data;
  const int rawSize = (int(rsrc.size()) + fileAlign - 1) / fileAlign * fileAlign;
  putU16(b, coff + 2, 2);
  putU32(b, opt + 56, 0x3000);
  putU32(b, opt + 112, rva);
  putU32(b, opt + 116, quint32(rsrc.size()));
  const int second = sect + 40;
  putText(b, second, ".rsrc", 8);
  putU32(b, second + 8, quint32(rsrc.size()));
  putU32(b, second + 12, rva);
  putU32(b, second + 16, quint32(rawSize));
  putU32(b, second + 20, quint32(b.size()));
  putU32(b, second + 36, 0x40000040);  // initialised data, read
  rsrc.resize(rawSize, '\0');
  b += rsrc;
  return b;
}

QByteArray versionResource(const ModuleVersion& v, bool wide) {
  static const char key[] = "VS_VERSION_INFO";
  QByteArray b(wide ? 6 : 4, '\0');
  if (wide) putU16(b, 4, 0);  // binary value
  for (const char c : key) {
    b += c;
    if (wide) b += '\0';
  }
  while (b.size() % 4) b += '\0';
  const int fixed = int(b.size());
  b += QByteArray(52, '\0');
  putU32(b, fixed, 0xFEEF04BD);
  putU32(b, fixed + 4, 0x00010000);  // structure version 1.0
  putU32(b, fixed + 8, (quint32(v.major) << 16) | v.minor);
  putU32(b, fixed + 12, (quint32(v.build) << 16) | v.revision);
  putU32(b, fixed + 16, (quint32(v.major) << 16) | v.minor);
  putU32(b, fixed + 20, (quint32(v.build) << 16) | v.revision);
  putU32(b, fixed + 24, 0x3F);                     // flags mask
  putU32(b, fixed + 32, wide ? 0x00040004 : 0x1);  // VOS_NT_WINDOWS32 / VOS__WINDOWS16
  putU32(b, fixed + 36, 1);                        // VFT_APP
  putU16(b, 0, quint32(b.size()));
  putU16(b, 2, 52);
  return b;
}

QByteArray neModule(const QString& moduleName, bool library, const QByteArray& description,
                    std::optional<ModuleVersion> version) {
  int ne = 0;
  QByteArray b = mzWithStub("This program needs Microsoft Windows.", &ne);
  const QByteArray module = moduleName.toUpper().toLatin1().left(8);
  // The resource table: alignment shift, one type (RT_VERSION) of one entry, the end mark.
  const int resources = 0x40;
  QByteArray resourceTable(version ? 2 + 8 + 12 + 2 : 0, '\0');
  QByteArray tables;
  const int resident = resources + int(resourceTable.size());
  tables += char(module.size());
  tables += module;
  tables += QByteArray(2, '\0');  // ordinal 0: the module name
  tables += '\0';
  const int moduleRefs = resident + int(tables.size());
  const int imported = moduleRefs;
  tables += '\0';
  const int entries = resident + int(tables.size());
  tables += QByteArray(2, '\0');

  QByteArray header(0x40, '\0');
  header[0] = 'N';
  header[1] = 'E';
  header[2] = 5;
  header[3] = 10;
  putU16(header, 0x04, entries);
  putU16(header, 0x06, 2);
  putU16(header, 0x0C, library ? 0x8301 : 0x0302);
  putU16(header, 0x10, library ? 0 : 0x1000);  // heap
  putU16(header, 0x12, library ? 0 : 0x2000);  // stack
  putU16(header, 0x22, resources);             // segment table (empty)
  putU16(header, 0x24, resources);             // resource table (empty unless a version)
  putU16(header, 0x26, resident);
  putU16(header, 0x28, moduleRefs);
  putU16(header, 0x2A, imported);
  putU16(header, 0x32, 4);       // alignment shift
  header[0x36] = 2;              // Windows
  putU16(header, 0x3E, 0x030A);  // expects Windows 3.10

  QByteArray nonResident;
  const QByteArray desc = description.isEmpty() ? module : description.left(255);
  nonResident += char(desc.size());
  nonResident += desc;
  nonResident += QByteArray(2, '\0');
  nonResident += '\0';
  const int nonResidentOffset = ne + 0x40 + int(resourceTable.size()) + int(tables.size());
  putU16(header, 0x20, int(nonResident.size()));
  putU32(header, 0x2C, quint32(nonResidentOffset));
  b += header;
  b += resourceTable;
  b += tables;
  b += nonResident;
  if (version) {
    const QByteArray data = versionResource(*version, false);
    while (b.size() % 16) b += '\0';
    const int at = ne + resources;
    putU16(b, at, 4);
    putU16(b, at + 2, 0x8000 | 16);  // RT_VERSION
    putU16(b, at + 4, 1);
    putU16(b, at + 10, quint32(b.size() / 16));
    putU16(b, at + 12, quint32((data.size() + 15) / 16));
    putU16(b, at + 14, 0x0030);      // moveable, pure
    putU16(b, at + 16, 0x8000 | 1);  // resource 1
    b += data;
    while (b.size() % 16) b += '\0';
  }
  return b;
}

QByteArray leVxd(const QString& deviceName) {
  int le = 0;
  QByteArray b = mzWithStub("This is a Windows 95 virtual device driver.", &le);
  QByteArray header(0xC4, '\0');
  header[0] = 'L';
  header[1] = 'E';
  putU16(header, 0x08, 2);           // 80386
  putU16(header, 0x0A, 4);           // Windows 386
  putU32(header, 0x10, 0x00038000);  // virtual device driver
  putU32(header, 0x58, 0xC4);        // resident names
  const QByteArray name = deviceName.toUpper().toLatin1().left(8);
  header += char(name.size());
  header += name;
  header += QByteArray(3, '\0');
  b += header;
  return b;
}

QByteArray dosDeviceDriver(const QString& deviceName) {
  QByteArray b(0x12, '\0');
  putU32(b, 0, 0xFFFFFFFF);  // last driver in the chain
  putU16(b, 4, 0x8000);      // character device
  b += QByteArray(4, '\0');  // request header pointer, at 0012h
  const int strategy = int(b.size());
  // mov cs:[0012h],bx / mov cs:[0014h],es / retf
  static const unsigned char strat[] = {0x2E, 0x89, 0x1E, 0x12, 0x00, 0x2E, 0x8C, 0x06, 0x14, 0x00, 0xCB};
  b += QByteArray(reinterpret_cast<const char*>(strat), sizeof strat);
  const int interrupt = int(b.size());
  // push ds / push bx / lds bx,cs:[0012h] / status := 810Ch (done, general failure)
  // break address := cs:0000 (nothing stays resident) / pop bx / pop ds / retf
  static const unsigned char intr[] = {0x1E, 0x53, 0x2E, 0xC5, 0x1E, 0x12, 0x00, 0xC7, 0x47, 0x03, 0x0C, 0x81,
                                       0xC7, 0x47, 0x0E, 0x00, 0x00, 0x8C, 0x4F, 0x10, 0x5B, 0x1F, 0xCB};
  b += QByteArray(reinterpret_cast<const char*>(intr), sizeof intr);
  putU16(b, 6, strategy);
  putU16(b, 8, interrupt);
  QByteArray name = deviceName.toUpper().toLatin1().left(8);
  name = name.leftJustified(8, ' ');
  putText(b, 10, name, 8);
  b += "\r\n" + deviceName.toUpper().toLatin1() + " - driver of the Windows 95 sample machine, made by Vantrel.\r\n";
  b += '\x1A';
  return b;
}

QByteArray trueTypeFont(const QString& family, const QString& fullName) {
  const QByteArray fam = family.toLatin1();
  const QByteArray full = fullName.toLatin1();
  QByteArray name(6 + 2 * 12, '\0');
  putBe16(name, 0, 0);
  putBe16(name, 2, 2);
  putBe16(name, 4, 6 + 2 * 12);
  // Macintosh platform, Roman encoding, English: family (1) and full name (4).
  const int rec1 = 6, rec2 = 18;
  putBe16(name, rec1 + 0, 1);
  putBe16(name, rec1 + 6, 1);
  putBe16(name, rec1 + 8, quint32(fam.size()));
  putBe16(name, rec1 + 10, 0);
  putBe16(name, rec2 + 0, 1);
  putBe16(name, rec2 + 6, 4);
  putBe16(name, rec2 + 8, quint32(full.size()));
  putBe16(name, rec2 + 10, quint32(fam.size()));
  name += fam + full;
  const int length = int(name.size());
  while (name.size() % 4) name += '\0';
  quint32 sum = 0;
  for (int i = 0; i < name.size(); i += 4)
    sum += (quint32(uchar(name[i])) << 24) | (quint32(uchar(name[i + 1])) << 16) | (quint32(uchar(name[i + 2])) << 8) |
           quint32(uchar(name[i + 3]));

  QByteArray b(12 + 16, '\0');
  putBe32(b, 0, 0x00010000);
  putBe16(b, 4, 1);   // tables
  putBe16(b, 6, 16);  // search range
  putBe16(b, 8, 0);
  putBe16(b, 10, 0);
  putText(b, 12, "name", 4);
  putBe32(b, 16, sum);
  putBe32(b, 20, 28);
  putBe32(b, 24, quint32(length));
  return b + name;
}

QByteArray rasterFont(const QString& moduleName, const QString& description) {
  return neModule(moduleName, true, description.toLatin1());
}

QByteArray winHelpFile(int size) {
  QByteArray b(qMax(size, 16), '\0');
  putU32(b, 0, 0x00035F3F);
  putU32(b, 4, 16);          // internal directory
  putU32(b, 8, 0xFFFFFFFF);  // no free blocks
  putU32(b, 12, quint32(b.size()));
  // Smaller than its header: an index whose writing was cut short.
  return b.left(qMax(size, 0));
}

QByteArray programManagerGroup(const QString& title) {
  QByteArray b(34, '\0');
  putText(b, 0, "PMCC", 4);
  putU16(b, 6, 0);    // group size, set below
  putU16(b, 8, 7);    // shown minimised
  putU16(b, 10, 40);  // normal rectangle
  putU16(b, 12, 40);
  putU16(b, 14, 440);
  putU16(b, 16, 300);
  putU16(b, 18, 0xFFFF);  // icon position: let Program Manager choose
  putU16(b, 20, 0xFFFF);
  putU16(b, 22, 34);  // the name follows the header
  putU16(b, 24, 96);
  putU16(b, 26, 96);
  b[28] = 8;         // bits per pixel of the icons
  b[29] = 1;         // planes
  putU16(b, 32, 0);  // items
  b += title.toLatin1();
  b += '\0';
  if (b.size() % 2) b += '\0';
  putU16(b, 6, quint32(b.size()));
  // Windows 3.1 tag data: the "PMCC" tag and the end tag.
  QByteArray tags(10 + 6, '\0');
  putU16(tags, 0, 0x8000);
  putU16(tags, 2, 0xFFFF);
  putU16(tags, 4, 10);
  putText(tags, 6, "PMCC", 4);
  putU16(tags, 10, 0xFFFF);
  putU16(tags, 12, 0xFFFF);
  putU16(tags, 14, 0);
  b += tags;
  quint32 sum = 0;
  for (int i = 0; i < b.size(); i += 2) sum += quint32(uchar(b[i])) | (quint32(uchar(b[i + 1])) << 8);
  putU16(b, 4, (0x10000 - (sum & 0xFFFF)) & 0xFFFF);
  return b;
}

bool parseTones(const QString& text, QList<Tone>* out) {
  QList<Tone> tones;
  for (const QString& part : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
    const QStringList fm = part.split(QLatin1Char(':'));
    if (fm.size() != 2) return false;
    Tone t;
    bool ok = false;
    t.ms = fm[1].trimmed().toInt(&ok);
    if (!ok || t.ms <= 0 || t.ms > 10000) return false;
    for (const QString& f : fm[0].split(QLatin1Char('+'), Qt::SkipEmptyParts)) {
      const double hz = f.trimmed().toDouble(&ok);
      if (!ok || hz <= 0 || hz > 5000) return false;
      t.frequencies.append(hz);
    }
    if (t.frequencies.isEmpty()) return false;
    tones.append(t);
  }
  if (tones.isEmpty()) return false;
  *out = tones;
  return true;
}

QByteArray waveFile(const QList<Tone>& tones) {
  constexpr int rate = 11025;
  constexpr double pi = 3.14159265358979323846;
  QByteArray samples;
  for (const Tone& t : tones) {
    const int n = rate * t.ms / 1000;
    const double decay = t.ms / 1000.0 / 3.0;
    for (int i = 0; i < n; ++i) {
      const double s = double(i) / rate;
      const double attack = qMin(1.0, s / 0.005);
      const double env = attack * std::exp(-s / decay);
      double v = 0;
      for (double f : t.frequencies) v += std::sin(2 * pi * f * s) + 0.3 * std::sin(4 * pi * f * s);
      v /= 1.3 * double(t.frequencies.size());
      samples += char(qBound(0, int(std::lround(128 + 110 * env * v)), 255));
    }
  }
  QByteArray b(44, '\0');
  putText(b, 0, "RIFF", 4);
  putU32(b, 4, quint32(36 + samples.size()));
  putText(b, 8, "WAVEfmt ", 8);
  putU32(b, 16, 16);
  putU16(b, 20, 1);  // PCM
  putU16(b, 22, 1);  // mono
  putU32(b, 24, rate);
  putU32(b, 28, rate);  // bytes per second
  putU16(b, 32, 1);     // block align
  putU16(b, 34, 8);     // bits per sample
  putText(b, 36, "data", 4);
  putU32(b, 40, quint32(samples.size()));
  return b + samples;
}

QByteArray junkBytes(int size, quint32 seed, const QByteArray& textHint) {
  QByteArray b(qMax(size, 0), '\0');
  quint32 x = seed ? seed : 0x9E3779B9u;
  for (int i = 0; i < b.size(); ++i) {
    x = x * 1664525u + 1013904223u;
    // Mostly zero runs with bursts of data, as half-written files are.
    const quint32 r = x >> 24;
    b[i] = char((i / 512) % 3 == 0 ? r : (r < 40 ? r : 0));
  }
  if (!textHint.isEmpty()) {
    for (int at = 64; at + textHint.size() < b.size(); at += 1536)
      for (int j = 0; j < textHint.size(); ++j) b[at + j] = textHint[j];
  }
  return b;
}

}  // namespace vt::sample
