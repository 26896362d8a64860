// SPDX-License-Identifier: GPL-3.0-or-later
// The file formats the sample machine is made of: what other programs (DOS, Windows
// loaders, font and help readers, the recycle-bin reader) rely on.
#include "platform/versioninfo.h"
#include "sample/binaries.h"
#include "sample/pictures.h"
#include "support/testmachine.h"

#include <QImage>

#include <gtest/gtest.h>

// Readable failure messages.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

using namespace vt::sample;

namespace {

quint32 u16(const QByteArray& b, int at) { return quint32(uchar(b[at])) | (quint32(uchar(b[at + 1])) << 8); }
quint32 u32(const QByteArray& b, int at) { return u16(b, at) | (u16(b, at + 2) << 16); }
quint32 be16(const QByteArray& b, int at) { return (quint32(uchar(b[at])) << 8) | quint32(uchar(b[at + 1])); }
quint32 be32(const QByteArray& b, int at) { return (be16(b, at) << 16) | be16(b, at + 2); }

// The DOS loader takes the image size from the MZ header: it must cover exactly the
// DOS part (all of a plain program, up to the new header of a Windows one).
void expectMzSizeCovers(const QByteArray& b, int dosSize) {
  ASSERT_GE(b.size(), 0x20);
  EXPECT_EQ(b.left(2), QByteArray("MZ"));
  const int pages = int(u16(b, 4)), lastPage = int(u16(b, 2));
  EXPECT_EQ((pages - 1) * 512 + (lastPage ? lastPage : 512), dosSize);
}

}  // namespace

TEST(DosPrograms, ComProgramPrintsItsMessageTerminatedByDollar) {
  const QByteArray b = dosComProgram("Hello $world\n");
  // mov dx,010Ch points at the text right after the 12 bytes of code.
  EXPECT_EQ(uchar(b[0]), 0xBA);
  EXPECT_EQ(u16(b, 1), 0x10Cu);
  EXPECT_EQ(b.mid(12), QByteArray("Hello Sworld\r\n$"));
}

TEST(DosPrograms, ExeHeaderDescribesTheWholeFile) {
  const QByteArray b = dosExeProgram("ATTRIB.EXE: a stand-in");
  expectMzSizeCovers(b, int(b.size()));
  EXPECT_EQ(u16(b, 8) * 16, 0x20u);                             // header size
  EXPECT_EQ(b.mid(0x20 + 0x10, 10), QByteArray("ATTRIB.EXE"));  // mov dx,0010h
  EXPECT_TRUE(b.endsWith("\r\n$"));
}

TEST(WindowsExecutables, PeImageHasConsistentHeaders) {
  const QByteArray b = peImage("KERNEL32.DLL", PeKind::Dll, 0xBFF70000);
  const int pe = int(u32(b, 0x3C));
  expectMzSizeCovers(b, pe);
  ASSERT_EQ(b.mid(pe, 4), QByteArray("PE\0\0", 4));
  EXPECT_EQ(u16(b, pe + 4), 0x14Cu);      // i386
  EXPECT_EQ(u16(b, pe + 6), 1u);          // one section
  EXPECT_TRUE(u16(b, pe + 22) & 0x2000);  // a DLL
  const int opt = pe + 24;
  EXPECT_EQ(u16(b, opt), 0x10Bu);  // PE32
  EXPECT_EQ(u32(b, opt + 28), 0xBFF70000u);
  const int fileAlign = int(u32(b, opt + 36));
  const int headers = int(u32(b, opt + 60));
  EXPECT_LE(opt + int(u16(b, pe + 20)) + 40, headers);  // the section table fits the headers
  const int sect = opt + int(u16(b, pe + 20));
  EXPECT_EQ(b.mid(sect, 5), QByteArray(".text"));
  const int raw = int(u32(b, sect + 20)), rawSize = int(u32(b, sect + 16));
  EXPECT_EQ(raw % fileAlign, 0);
  EXPECT_EQ(raw + rawSize, b.size());
  EXPECT_TRUE(b.mid(raw, rawSize).contains("KERNEL32.DLL"));

  const QByteArray exe = peImage("NOTEPAD.EXE", PeKind::GuiExe);
  const int pe2 = int(u32(exe, 0x3C));
  EXPECT_FALSE(u16(exe, pe2 + 22) & 0x2000);
  EXPECT_EQ(u16(exe, pe2 + 24 + 68), 2u);         // GUI subsystem
  EXPECT_EQ(u32(exe, pe2 + 24 + 28), 0x400000u);  // the usual program base
}

// The version resource as the platform's reader finds it, from the whole file and from any
// head of it: a head that is too short says how much more it takes, never another answer.
TEST(WindowsExecutables, VersionResourceReadsBackFromAnyHead) {
  const struct {
    const char* name;
    QByteArray image;
    quint32 ms, ls;  // 0: no version
  } cases[] = {
      {"NE 3.10", neModule("TASKMAN", false, {}, ModuleVersion{3, 10}), 0x0003000A, 0},
      {"PE 4.00.950", peImage("TASKMAN.EXE", PeKind::GuiExe, 0, ModuleVersion{4, 0, 950}), 0x00040000, 0x03B60000},
      {"NE without", neModule("WINFILE", false), 0, 0},
      {"PE without", peImage("NOTEPAD.EXE", PeKind::GuiExe), 0, 0},
      {"DOS", dosExeProgram("ATTRIB"), 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto whole = vt::readFixedFileInfo(c.image);
    ASSERT_EQ(whole.has_value(), c.ms != 0);
    if (whole) {
      EXPECT_EQ(whole->fileVersionMS, c.ms);
      EXPECT_EQ(whole->fileVersionLS, c.ls);
    }
    for (qsizetype cut = 0; cut < c.image.size(); ++cut) {
      qint64 needed = 0;
      const auto head = vt::readFixedFileInfo(c.image.left(cut), &needed);
      if (head) {
        EXPECT_TRUE(whole && head->fileVersionMS == c.ms && head->fileVersionLS == c.ls) << cut;
      } else if (whole) {
        EXPECT_GT(needed, cut);
        EXPECT_LE(needed, c.image.size());
      }
    }
  }
  // A version that lies past the head the reader starts with is read all the same.
  QByteArray far = peImage("IEXPLORE.EXE", PeKind::GuiExe, 0, ModuleVersion{4, 70, 1155});
  const int section = int(u32(far, 0x3C)) + 24 + 0xE0 + 40, raw = int(u32(far, section + 20));
  far.insert(raw, QByteArray(100000, '\0'));
  putU32(far, section + 20, quint32(raw + 100000));
  vt::test::TestMachine tm;
  ASSERT_TRUE(tm.fs().writeFile(u"C:\\FAR.EXE", far));
  const auto version = vt::fileVersionInfo(tm.fs(), u"C:\\FAR.EXE");
  ASSERT_TRUE(version);
  EXPECT_EQ(version->fileVersionMS, 0x00040046u);
}

TEST(Fonts, TrueTypeNameTableChecksumAndNames) {
  const QByteArray b = trueTypeFont("Arial", "Arial Bold");
  EXPECT_EQ(be32(b, 0), 0x00010000u);
  EXPECT_EQ(b.mid(12, 4), QByteArray("name"));
  const int offset = int(be32(b, 20)), length = int(be32(b, 24));
  ASSERT_LE(offset + length, b.size());
  quint32 sum = 0;
  for (int i = offset; i < b.size(); i += 4) sum += be32(b, i);
  EXPECT_EQ(sum, be32(b, 16));
  const int strings = offset + int(be16(b, offset + 4));
  EXPECT_EQ(b.mid(strings), QByteArray("ArialArial Bold").leftJustified(b.size() - strings, '\0'));
}

TEST(HelpAndGroups, SignaturesTheCleanUpLooksFor) {
  const QByteArray gid = winHelpFile(3072);
  EXPECT_EQ(gid.size(), 3072);
  EXPECT_EQ(gid.left(4), QByteArray("\x3F\x5F\x03\x00", 4));

  const QByteArray grp = programManagerGroup("Accessories");
  EXPECT_EQ(grp.left(4), QByteArray("PMCC"));
  ASSERT_EQ(grp.size() % 2, 0);
  quint32 sum = 0;
  for (int i = 0; i < grp.size(); i += 2) sum += u16(grp, i);
  EXPECT_EQ(sum & 0xFFFF, 0u);
  EXPECT_EQ(grp.mid(int(u16(grp, 22)), 12), QByteArray("Accessories\0", 12));
}

TEST(Sounds, WaveHeaderMatchesTheSamples) {
  QList<Tone> tones;
  ASSERT_TRUE(parseTones(QStringLiteral("523+659+784:200, 1760:100"), &tones));
  ASSERT_EQ(tones.size(), 2);
  EXPECT_EQ(tones[0].frequencies.size(), 3);
  const QByteArray b = waveFile(tones);
  EXPECT_EQ(b.left(4), QByteArray("RIFF"));
  EXPECT_EQ(u32(b, 4), quint32(b.size() - 8));
  EXPECT_EQ(u32(b, 24), 11025u);
  EXPECT_EQ(u32(b, 40), quint32(b.size() - 44));
  EXPECT_EQ(b.size() - 44, 11025 * 200 / 1000 + 11025 * 100 / 1000);
  // The sound is audible: the samples leave the silent mid-point.
  int loudest = 0;
  for (int i = 44; i < b.size(); ++i) loudest = qMax(loudest, qAbs(int(uchar(b[i])) - 128));
  EXPECT_GT(loudest, 60);

  for (const char* bad : {"", "440", "440:", "x:100", "440:0", "0:100", "440+:x"}) {
    QList<Tone> t;
    EXPECT_FALSE(parseTones(QString::fromLatin1(bad), &t)) << bad;
  }
}

TEST(Pictures, LogoIsA256ColourBitmapOfWindowsSize) {
  Scene scene;
  ASSERT_TRUE(parseScene(QStringLiteral("Starting"), &scene));
  EXPECT_FALSE(parseScene(QStringLiteral("sunset"), &scene));
  const QByteArray b = bitmapFile(drawScene(Scene::Starting, 320, 400));
  ASSERT_EQ(b.size(), 129078);  // as Windows' own LOGO.SYS: header, 1 KB palette, pixels
  EXPECT_EQ(b.left(2), QByteArray("BM"));
  EXPECT_EQ(u32(b, 10), 0x436u);
  EXPECT_EQ(u32(b, 14), 40u);
  EXPECT_EQ(u32(b, 18), 320u);
  EXPECT_EQ(u32(b, 22), 400u);
  EXPECT_EQ(u16(b, 28), 8u);
  EXPECT_EQ(u32(b, 30), 0u);  // uncompressed
}

TEST(Pictures, ScenesShowTheirTextAndDiffer) {
  const QImage boot = drawScene(Scene::Starting, 320, 400);
  const QImage off = drawScene(Scene::SafeToOff, 320, 400);
  ASSERT_EQ(boot.format(), QImage::Format_Indexed8);
  EXPECT_EQ(boot.colorCount(), 256);
  // The text has a palette entry of its own, right after the 16 x 15 sky and glow shades.
  auto textPixels = [](const QImage& img) {
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
      for (int x = 0; x < img.width(); ++x) n += img.pixelIndex(x, y) == 240;
    return n;
  };
  EXPECT_GT(textPixels(boot), 500);
  EXPECT_GT(textPixels(off), 500);
  EXPECT_EQ(textPixels(drawScene(Scene::Clouds, 256, 192)), 0);
  EXPECT_NE(boot, off);
  EXPECT_EQ(off.color(240), qRgb(255, 140, 0));           // orange text on the last screen
  EXPECT_EQ(drawScene(Scene::Starting, 320, 400), boot);  // the same every time
}
