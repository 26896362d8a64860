// SPDX-License-Identifier: GPL-3.0-or-later
// Shortcuts: files laid out byte by byte as Windows writes them (not by the writer under
// test), damaged and cut-off ones, the writers' round trips and the clean-up's reader.
#include "platform/shelllink.h"

#include "support/testmachine.h"

#include <QtEndian>

#include <cstring>

#include <gtest/gtest.h>

// Readable failure messages.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace vt {
namespace {

QByteArray le16(quint32 v) {
  QByteArray b(2, '\0');
  qToLittleEndian<quint16>(quint16(v), b.data());
  return b;
}
QByteArray le32(quint32 v) {
  QByteArray b(4, '\0');
  qToLittleEndian<quint32>(v, b.data());
  return b;
}
QByteArray z(const char* s) { return QByteArray(s) + '\0'; }

enum : quint32 { IdList = 0x01, Info = 0x02, Name = 0x04, WorkDir = 0x10, Args = 0x20, Unicode = 0x80 };

QByteArray header(quint32 flags) {
  QByteArray h = le32(0x4C) + QByteArray::fromHex("0114020000000000C000000000000046") + le32(flags) + le32(0x20);
  h += QByteArray(24, '\0');                            // three times
  h += le32(53248) + le32(0) + le32(1) + le16(0x0646);  // size, icon, SW_SHOWNORMAL, Ctrl+Shift+F
  return h + QByteArray(10, '\0');
}
QByteArray item(quint8 type, const QByteArray& data) { return le16(quint32(data.size() + 3)) + char(type) + data; }
QByteArray myComputer() { return item(0x1F, '\x50' + QByteArray::fromHex("E04FD020EA3A6910A2D808002B30309D")); }
QByteArray driveItem(const char* root) { return item(0x2F, z(root).leftJustified(22, '\0')); }
// A Windows 95 file-system item: size, DOS date and time, attributes, the 8.3 name.
QByteArray fsItem(bool folder, const char* name) {
  QByteArray d = '\0' + le32(folder ? 0 : 53248) + le16(0x2118) + le16(0x5960) + le16(folder ? 0x10 : 0x20) + z(name);
  if (d.size() % 2 == 0) d += '\0';
  return item(folder ? 0x31 : 0x32, d);
}
QByteArray itemList(const QList<QByteArray>& items) {
  const QByteArray body = items.join() + le16(0);
  return le16(quint32(body.size())) + body;
}
QByteArray volumeId(const char* label) {
  return le32(0x10 + quint32(strlen(label)) + 1) + le32(3) + le32(0x1E4F2A07) + le32(0x10) + z(label);
}
QByteArray share(const char* net, const char* device) {
  QByteArray s = le32(0) + le32(device ? 3 : 2) + le32(0x14) + le32(0) + le32(0x20000) + z(net);
  if (device) s = s.left(12) + le32(quint32(s.size())) + s.mid(16) + z(device);
  return le32(quint32(s.size())) + s.mid(4);
}
// Link information with the parts given (an empty volume or share: not there).
QByteArray linkInfo(const QByteArray& volume, const char* base, const QByteArray& net, const char* suffix) {
  QByteArray body;
  quint32 offsets[4] = {};
  auto add = [&](int i, const QByteArray& part) {
    offsets[i] = quint32(0x1C + body.size());
    body += part;
  };
  if (!volume.isEmpty()) {
    add(0, volume);
    add(1, z(base));
  }
  if (!net.isEmpty()) add(2, net);
  add(3, z(suffix));
  const quint32 flags = (volume.isEmpty() ? 0 : 1) | (net.isEmpty() ? 0 : 2);
  return le32(quint32(0x1C + body.size())) + le32(0x1C) + le32(flags) + le32(offsets[0]) + le32(offsets[1]) + le32(offsets[2]) +
         le32(offsets[3]) + body;
}
QByteArray counted(const QByteArray& ansi) { return le16(quint32(ansi.size())) + ansi; }
QByteArray countedW(const QString& s) {
  QByteArray b = le16(quint32(s.size()));
  for (QChar c : s) b += le16(c.unicode());
  return b;
}

const QByteArray kZipItems =
    itemList({myComputer(), driveItem("C:\\"), fsItem(true, "PROGRA~1"), fsItem(true, "ZIPCASE"), fsItem(false, "ZIPCASE.EXE")});
const QByteArray kZipInfo = linkInfo(volumeId("ATELIER"), "C:\\Program Files\\ZipCase\\ZIPCASE.EXE", {}, "");
const QByteArray kZipStrings = counted("ZipCase 6.2") + counted("C:\\Program Files\\ZipCase") + counted("/min");
// As Windows 95 writes a shortcut made in Explorer: item list, link information, strings,
// then an extra data block and the terminal block.
const QByteArray kZipLink = header(IdList | Info | Name | WorkDir | Args) + kZipItems + kZipInfo + kZipStrings + le32(0x10) +
                            le32(0xA0000005) + le32(0x26) + le32(0x14) + le32(0);

TEST(ShellLinkReader, RealShortcutsNameTheirTargets) {
  const struct {
    const char* what;
    QByteArray bytes;
    QString target, description;
  } cases[] = {
      {"item list and local path: the long path wins", kZipLink, "C:\\Program Files\\ZipCase\\ZIPCASE.EXE", "ZipCase 6.2"},
      {"share mapped to a drive",
       header(Info | Name) + linkInfo({}, "", share("\\\\DACHBODEN\\ARCHIV", "N:"), "1997\\BRIEF.DOC") + counted("Brief"),
       "N:\\1997\\BRIEF.DOC", "Brief"},
      {"share root mapped to a drive", header(Info) + linkInfo({}, "", share("\\\\DACHBODEN\\ARCHIV", "N:"), ""), "N:\\", ""},
      {"share alone", header(Info) + linkInfo({}, "", share("\\\\DACHBODEN\\ARCHIV", nullptr), "1997\\BRIEF.DOC"),
       "\\\\DACHBODEN\\ARCHIV\\1997\\BRIEF.DOC", ""},
      {"local path and its share",
       header(Info) + linkInfo(volumeId("ATELIER"), "C:\\ARCHIV", share("\\\\ATELIER\\ARCHIV", nullptr), "BRIEF.DOC"),
       "C:\\ARCHIV\\BRIEF.DOC", ""},
      {"Unicode strings", header(Info | Name | Unicode) + kZipInfo + countedW(QStringLiteral("Packer \u0394 \u20AC")),
       "C:\\Program Files\\ZipCase\\ZIPCASE.EXE", QStringLiteral("Packer \u0394 \u20AC")},
      {"item list alone: short names", header(IdList) + kZipItems, "C:\\PROGRA~1\\ZIPCASE\\ZIPCASE.EXE", ""},
      {"item list of a drive", header(IdList) + itemList({myComputer(), driveItem("A:\\")}), "A:\\", ""},
      {"item list of the Control Panel",
       header(IdList) + itemList({item(0x1F, '\x50' + QByteArray::fromHex("2020EC21EA3A6910A2DD08002B30309D"))}), "", ""},
      {"item list with a network item", header(IdList) + itemList({item(0x42, z("\\\\DACHBODEN\\ARCHIV"))}), "", ""},
  };
  for (const auto& c : cases) {
    const auto link = readShellLink(c.bytes);
    ASSERT_TRUE(link) << c.what;
    EXPECT_EQ(link->target, c.target) << c.what;
    EXPECT_EQ(link->description, c.description) << c.what;
  }
  const auto zip = readShellLink(kZipLink);
  EXPECT_EQ(zip->workingDir, QStringLiteral("C:\\Program Files\\ZipCase"));
  EXPECT_EQ(zip->arguments, QStringLiteral("/min"));
  EXPECT_EQ(zip->volumeLabel, QStringLiteral("ATELIER"));
  EXPECT_EQ(zip->volumeSerial, 0x1E4F2A07u);
  EXPECT_EQ(zip->hotKey, 0x0646);
}

TEST(ShellLinkReader, CutOffAnywhereReadsAllOrNothing) {
  // Up to the end of the strings nothing can be read; the extra data after them is not needed.
  const qsizetype stringsEnd = kZipLink.size() - 20;
  for (qsizetype n = 0; n <= kZipLink.size(); ++n) {
    const auto link = readShellLink(kZipLink.left(n));
    if (n < stringsEnd) {
      EXPECT_FALSE(link) << n;
    } else {
      ASSERT_TRUE(link) << n;
      EXPECT_EQ(link->arguments, QStringLiteral("/min")) << n;
    }
  }
}

TEST(ShellLinkReader, DamagedFieldsAreRefused) {
  const qsizetype info = 0x4C + kZipItems.size();
  const qsizetype strings = info + kZipInfo.size();
  const struct {
    const char* what;
    qsizetype at;
    QByteArray bytes;
  } cases[] = {
      {"header size", 0, le32(0x4D)},
      {"class", 4, QByteArray(1, '\x02')},
      {"item list size", 0x4C, le16(0xFFFF)},
      {"link information size", info, le32(0xFFFFFFF0)},
      {"link information size below its header", info, le32(0x10)},
      {"link information header size", info + 4, le32(0x7FFFFFFF)},
      {"volume offset", info + 12, le32(0xFFFFFFF0)},
      {"local path offset", info + 16, le32(quint32(kZipInfo.size()))},
      {"string length", strings, le16(0xFFFF)},
  };
  for (const auto& c : cases) {
    QByteArray b = kZipLink;
    b.replace(c.at, c.bytes.size(), c.bytes);
    EXPECT_FALSE(readShellLink(b)) << c.what;
  }
  EXPECT_FALSE(readShellLink(QByteArray(0x4C, 'x')));
}

// The fields the writer records, in one line for a readable comparison.
QString fields(const ShellLink& l) {
  return QStringList{l.target,
                     l.description,
                     l.workingDir,
                     l.arguments,
                     l.iconLocation,
                     QString::number(l.iconIndex),
                     QString::number(l.hotKey),
                     l.volumeLabel,
                     l.netName,
                     l.deviceName,
                     l.targetTime.toString(Qt::ISODate)}
      .join(QLatin1Char('|'));
}

TEST(ShellLinkWriter, WhatItWritesReadsBack) {
  ShellLink local;
  local.target = QStringLiteral("C:\\WINDOWS\\NOTEPAD.EXE");
  local.linkPath = QStringLiteral("C:\\WINDOWS\\Start Menu\\Programs\\Accessories\\Notepad.lnk");
  local.workingDir = QStringLiteral("C:\\WINDOWS");
  local.arguments = QStringLiteral("C:\\My Documents\\Einkaufsliste.txt");
  local.description = QStringLiteral("3½ Zoll – Notizen");  // Windows-1252 has ½ and the dash
  local.iconLocation = QStringLiteral("C:\\WINDOWS\\NOTEPAD.EXE");
  local.iconIndex = 2;
  local.hotKey = 0x0346;
  local.volumeLabel = QStringLiteral("ATELIER");
  local.targetTime = QDateTime(QDate(1996, 8, 24), QTime(11, 11), Qt::UTC);
  ShellLink wide = local;
  wide.unicode = true;
  wide.description = QStringLiteral("Notizen \u0394");
  ShellLink mapped;
  mapped.hasLocalPath = false;
  mapped.netName = QStringLiteral("\\\\DACHBODEN\\ARCHIV");
  mapped.deviceName = QStringLiteral("N:");
  mapped.target = QStringLiteral("N:\\1997\\BRIEF.DOC");
  ShellLink unc = mapped;
  unc.deviceName.clear();
  unc.target = QStringLiteral("\\\\DACHBODEN\\ARCHIV\\1997");
  ShellLink shareRoot = mapped, uncRoot = unc;
  shareRoot.target = QStringLiteral("N:\\");
  uncRoot.target = QStringLiteral("\\\\DACHBODEN\\ARCHIV\\");
  for (const ShellLink& in : {local, wide, mapped, unc, shareRoot, uncRoot}) {
    const auto out = readShellLink(writeShellLink(in));
    ASSERT_TRUE(out) << in.target.toStdString();
    EXPECT_EQ(fields(*out), fields(in));
  }
  EXPECT_EQ(readShellLink(writeShellLink(local))->relativePath, QStringLiteral("..\\..\\..\\NOTEPAD.EXE"));
}

TEST(ShellLinkWriter, RelativePathFromTheShortcutsFolder) {
  const struct {
    const char* link;
    const char* target;
    const char* relative;
  } cases[] = {
      {"C:\\WINDOWS\\Desktop\\ZipCase.lnk", "C:\\Program Files\\ZipCase\\ZIPCASE.EXE",
       "..\\..\\Program Files\\ZipCase\\ZIPCASE.EXE"},
      {"C:\\Program Files\\ZipCase\\Here.lnk", "C:\\Program Files\\ZipCase\\ZIPCASE.EXE", ".\\ZIPCASE.EXE"},
      {"C:\\WINDOWS\\Desktop\\Setup.lnk", "A:\\SETUP.EXE", ""},  // another drive
      {"C:\\WINDOWS\\SendTo\\Floppy.lnk", "A:\\", ""},
  };
  for (const auto& c : cases) {
    ShellLink l;
    l.linkPath = QString::fromLatin1(c.link);
    l.target = QString::fromLatin1(c.target);
    const auto out = readShellLink(writeShellLink(l));
    ASSERT_TRUE(out) << c.target;
    EXPECT_EQ(out->target, l.target);
    EXPECT_EQ(out->relativePath, QString::fromLatin1(c.relative)) << c.target;
  }
}

// --- program information files ---------------------------------------------------------

Pif tankBattle() {
  return Pif{QStringLiteral("Tank Battle"), QStringLiteral("C:\\GAMES\\TANKS\\TANKS.EXE"), QStringLiteral("C:\\GAMES\\TANKS"),
             QStringLiteral("/NOSOUND")};
}

TEST(ProgramInformationFiles, LayoutOfAWindows95Pif) {
  const QByteArray b = writePif(tankBattle());
  ASSERT_EQ(b.size(), 967);
  EXPECT_EQ(b.mid(0x02, 30), QByteArray("Tank Battle").leftJustified(30, ' '));
  EXPECT_EQ(b.mid(0x24, 25), QByteArray("C:\\GAMES\\TANKS\\TANKS.EXE\0", 25));
  EXPECT_EQ(b.mid(0x65, 15), QByteArray("C:\\GAMES\\TANKS\0", 15));
  EXPECT_EQ(b.mid(0xA5, 9), QByteArray("/NOSOUND\0", 9));
  quint32 sum = 0;
  for (int i = 2; i < 0x171; ++i) sum += uchar(b[i]);
  EXPECT_EQ(uchar(b[1]), sum & 0xFF);
  // The headings form a chain that ends with 0xFFFF, each naming data inside the file.
  QList<QByteArray> names;
  for (int at = 0x171; at != 0xFFFF && names.size() < 5;) {
    names.append(b.mid(at, 16).split('\0').first());
    EXPECT_LE(int(qFromLittleEndian<quint16>(b.constData() + at + 18) + qFromLittleEndian<quint16>(b.constData() + at + 20)),
              b.size());
    at = int(qFromLittleEndian<quint16>(b.constData() + at + 16));
  }
  EXPECT_EQ(names, (QList<QByteArray>{"MICROSOFT PIFEX", "WINDOWS 386 3.0", "WINDOWS VMM 4.0"}));
}

TEST(ProgramInformationFiles, ReadByContent) {
  const QByteArray good = writePif(tankBattle());
  QByteArray noNul = good;
  noNul.replace(0x24, 63, QByteArray(63, 'A'));
  QByteArray otherHeading = good;
  otherHeading[0x171] = 'X';
  const struct {
    const char* what;
    QByteArray bytes;
    bool read;
  } cases[] = {
      {"Windows 95", good, true},
      {"the basic section alone, as before Windows 3.0", good.left(0x171), true},
      {"cut inside the basic section", good.left(0x170), false},
      {"cut inside the first heading", good.left(0x175), false},
      {"program without its end", noNul, false},
      {"another first heading", otherHeading, false},
      {"a shell link", kZipLink, false},
  };
  for (const auto& c : cases) {
    const auto pif = readPif(c.bytes);
    ASSERT_EQ(pif.has_value(), c.read) << c.what;
    if (!pif) continue;
    EXPECT_EQ(pif->title, QStringLiteral("Tank Battle")) << c.what;
    EXPECT_EQ(pif->program, tankBattle().program) << c.what;
    EXPECT_EQ(pif->workingDir, tankBattle().workingDir) << c.what;
    EXPECT_EQ(pif->parameters, tankBattle().parameters) << c.what;
  }
  const auto asShortcut = readShortcut(good);
  ASSERT_TRUE(asShortcut);
  EXPECT_EQ(asShortcut->target, tankBattle().program);
  EXPECT_EQ(asShortcut->description, QStringLiteral("Tank Battle"));
}

// A field filled to its last byte, as some writers leave it: its 64th byte ends it, so a
// read and re-write keeps the file as it was.
TEST(ProgramInformationFiles, FullFieldsReadAsTheir63CharactersAndSurviveARewrite) {
  QByteArray b = writePif(tankBattle());
  b.replace(0x65, 64, QByteArray(63, 'W') + 'x');
  b.replace(0xA5, 64, QByteArray(63, 'P') + 'y');
  const auto pif = readPif(b);
  ASSERT_TRUE(pif);
  EXPECT_EQ(pif->workingDir, QString(63, QLatin1Char('W')));
  EXPECT_EQ(pif->parameters, QString(63, QLatin1Char('P')));
  const auto again = readPif(writePif(*pif));
  ASSERT_TRUE(again);
  EXPECT_EQ(again->workingDir, pif->workingDir);
  EXPECT_EQ(again->parameters, pif->parameters);
}

// --- the clean-up's reader -----------------------------------------------------------------

class TShellLinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ShellLink calc;
    calc.target = QStringLiteral("C:\\WINDOWS\\CALC.EXE");
    calc.workingDir = QStringLiteral("C:\\WINDOWS");
    calc.description = QStringLiteral("Calculator");
    calc.arguments = QStringLiteral("/s");
    calc.iconLocation = QStringLiteral("C:\\WINDOWS\\CALC.EXE");
    calc.iconIndex = 1;
    calc.showCommand = 7;
    calc.hotKey = 0x0643;
    put("C:\\Calc.lnk", writeShellLink(calc));
    put("C:\\Tanks.pif", writePif(tankBattle()));
    put("C:\\Notes.txt", "not a shortcut, just a few words of text");
    put("C:\\Empty.lnk", {});
    ShellLink deep;
    deep.target = QStringLiteral("C:\\") + QString(300, QLatin1Char('X'));
    put("C:\\Deep.lnk", writeShellLink(deep));
    link.onError = [this](const QString& title, const QString& text) { errors << title + QStringLiteral(": ") + text; };
  }
  void put(const char* path, const QByteArray& bytes) { ASSERT_TRUE(m.fs().writeFile(QString::fromLatin1(path), bytes)); }

  test::TestMachine m;
  TShellLink link{m.fs()};
  QStringList errors;
};

TEST_F(TShellLinkTest, ReadsLinksAndPifs) {
  link.setPath(QStringLiteral("C:\\Calc.lnk"));
  ASSERT_TRUE(link.Success());
  EXPECT_EQ(link.Path(), QStringLiteral("C:\\Calc.lnk"));
  EXPECT_EQ(link.Target(), QStringLiteral("C:\\WINDOWS\\CALC.EXE"));
  EXPECT_EQ(link.WorkingDir(), QStringLiteral("C:\\WINDOWS"));
  EXPECT_EQ(link.Description(), QStringLiteral("Calculator"));
  EXPECT_EQ(link.Arguments(), QStringLiteral("/s"));
  EXPECT_EQ(link.IconLocation(), QStringLiteral("C:\\WINDOWS\\CALC.EXE"));
  EXPECT_EQ(link.IconNumber(), 1);
  EXPECT_EQ(link.ShowCmd(), 7);
  EXPECT_EQ(link.HotKey(), 0x0643);
  link.setPath(QStringLiteral("C:\\Tanks.pif"));
  ASSERT_TRUE(link.Success());
  EXPECT_EQ(link.Target(), tankBattle().program);
  EXPECT_EQ(link.Arguments(), QStringLiteral("/NOSOUND"));
  // The shell hands the target back in a buffer of 260 characters.
  link.setPath(QStringLiteral("C:\\Deep.lnk"));
  ASSERT_TRUE(link.Success());
  EXPECT_EQ(link.Target().size(), 259);
  EXPECT_TRUE(errors.isEmpty());
}

TEST_F(TShellLinkTest, AFailedLoadKeepsThePreviousShortcut) {
  for (const bool quiet : {false, true}) {
    link.setQuiet(quiet);
    for (const char* bad : {"C:\\Missing.lnk", "C:\\Notes.txt", "C:\\Empty.lnk", "C:\\WINDOWS", "Q:\\Calc.lnk"}) {
      errors.clear();
      link.setPath(QStringLiteral("C:\\Calc.lnk"));
      ASSERT_TRUE(link.Success());
      link.setPath(QString::fromLatin1(bad));
      EXPECT_FALSE(link.Success()) << bad;
      EXPECT_EQ(link.Path(), QStringLiteral("C:\\Calc.lnk")) << bad;
      EXPECT_EQ(link.Target(), QStringLiteral("C:\\WINDOWS\\CALC.EXE")) << bad;
      EXPECT_EQ(link.Description(), QStringLiteral("Calculator")) << bad;
      EXPECT_EQ(errors, quiet ? QStringList() : QStringList{QStringLiteral("!! Error !!: File not found (or not link)")}) << bad;
    }
  }
}

TEST_F(TShellLinkTest, UpdateReadsThePathAgain) {
  link.setQuiet(true);
  EXPECT_FALSE(link.Update());
  link.setPath(QStringLiteral("C:\\Calc.lnk"));
  ShellLink moved;
  moved.target = QStringLiteral("C:\\TOOLS\\CALC.EXE");
  put("C:\\Calc.lnk", writeShellLink(moved));
  link.setUpdate(false);
  EXPECT_TRUE(link.Update());
  EXPECT_TRUE(link.Success());
  EXPECT_EQ(link.Target(), QStringLiteral("C:\\TOOLS\\CALC.EXE"));
  // After a failed load Path still names the last good shortcut, so Update reads that one.
  link.setPath(QStringLiteral("C:\\Notes.txt"));
  EXPECT_FALSE(link.Success());
  link.setUpdate(true);
  EXPECT_TRUE(link.Success());
  EXPECT_EQ(link.Path(), QStringLiteral("C:\\Calc.lnk"));
  ASSERT_TRUE(m.fs().deleteFile(u"C:\\Calc.lnk"));
  link.setUpdate(true);
  EXPECT_FALSE(link.Success());
  EXPECT_EQ(link.Target(), QStringLiteral("C:\\TOOLS\\CALC.EXE"));
}

}  // namespace
}  // namespace vt
