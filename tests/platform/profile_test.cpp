// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/profile.h"

#include "platform/filesystem.h"
#include "support/testmachine.h"

#include <QFile>

#include <gtest/gtest.h>

#include <functional>
#include <optional>

namespace vt {
namespace {

std::optional<QString> none = std::nullopt;
QString s(const char* utf8) { return QString::fromUtf8(utf8); }

TEST(IniDocument, ReadsValuesAsWindowsDoes) {
  const QString max(kProfileValueMax, QLatin1Char('x'));
  const struct {
    QByteArray text;
    const char* section;
    const char* key;
    std::optional<QString> expected;
  } cases[] = {
      {"[SecTion]\r\nKeyName=v\r\n", "sECTION", "KEYNAME", s("v")},
      {"[\xC4rger]\r\n\xE9t\xE9=\x80\r\n", "\xC3\xA4RGER", "\xC3\x89T\xC3\x89", s("\xE2\x82\xAC")},  // Windows-1252
      {"  [  S  ]  ; note\r\n  my key \t =   two  words \t\r\n", " S ", "\tmy key ", s("two  words")},
      {"[S]\r\nk=a=b\r\n", "S", "k", s("a=b")},
      {"[S]\r\nk=\r\n", "S", "k", s("")},
      {"[S]\r\nk=first\r\nK=second\r\n", "S", "k", s("first")},
      {"[S]\r\nk=1\r\n[T]\r\n[s]\r\nk=2\r\nj=3\r\n", "s", "k", s("1")},
      {"[S]\r\nk=1\r\n[s]\r\nj=2\r\n", "S", "j", none},  // the first section shadows the second
      {"[S]\r\nk= \"a b\" \r\n", "S", "k", s("a b")},
      {"[S]\r\nk='x'\r\n", "S", "k", s("x")},
      {"[S]\r\nk=\" a \"\r\n", "S", "k", s(" a ")},
      {"[S]\r\nk=\"\"x\"\"\r\n", "S", "k", s("\"x\"")},
      {"[S]\r\nk=\"x'\r\n", "S", "k", s("\"x'")},
      {"[S]\r\nk=\"\r\n", "S", "k", s("\"")},
      {"[S]\r\n;k=1\r\n", "S", ";k", none},
      {"[S]\r\n  ; k=1\r\nk=2\r\n", "S", "k", s("2")},
      {"[S]\r\nname3\r\n", "S", "name3", none},
      {"[S]\nk=1\nj=2\n", "S", "j", s("2")},
      {"[S]\rk=1\rj=2", "S", "j", s("2")},
      {"k=1\r\n[S]\r\n", "S", "k", none},
      {"[S]\r\n[T]\r\nk=1\r\n", "S", "k", none},
      {"[S]\r\nk=1\r\n", "X", "k", none},
      {"[S]\r\nk=1\r\n", "S", "x", none},
      {"[S]\r\nk=v\x1a", "S", "k", s("v")},  // DOS's end-of-file mark after the last value
      {"[S]\r\n\vk\f=\tv\x1a\r\n\x1a", "S", "k", s("v")},
      {"[S]\r\nk=" + QByteArray(kProfileValueMax, 'x') + "\r\n", "S", "k", max},
      {"[S]\r\nk=" + QByteArray(kProfileValueMax + 40, 'x') + "\r\n", "S", "k", max},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text.left(60).toStdString());
    EXPECT_EQ(IniDocument(c.text).value(s(c.section), s(c.key)), c.expected);
  }
}

TEST(IniDocument, ListsKeysAsTheNamedLinesHoldingEqualsOfTheFirstSection) {
  const IniDocument doc(
      "[S]\r\nname1=val1\r\nname2=\r\nname3\r\n;c=1\r\n=nameless\r\n name4 = val4\r\nNAME1=dup\r\n"
      "[T]\r\nz=1\r\n[s]\r\nlate=1\r\n");
  EXPECT_EQ(doc.keys(u"s"), QStringList({"name1", "name2", "name4", "NAME1"}));
  EXPECT_EQ(doc.keys(u"missing"), QStringList());
  EXPECT_EQ(doc.sections(), QStringList({"S", "T", "s"}));
  EXPECT_TRUE(doc.hasSection(u" t "));
}

auto set(const char* sec, const char* key, const char* value) {
  return [=](IniDocument& d) { d.setValue(s(sec), s(key), s(value)); };
}
auto removeKey(const char* sec, const char* key) {
  return [=](IniDocument& d) { d.removeKey(s(sec), s(key)); };
}
auto removeSection(const char* sec) {
  return [=](IniDocument& d) { d.removeSection(s(sec)); };
}

TEST(IniDocument, EditsChangeOnlyWhatTheyMust) {
  const QByteArray mixed = "; top\n[Boot]\r\nMenuDelay = 5\r\nother=1\n\r\n[Next]\r\nx=1";
  const struct {
    QByteArray before;
    std::function<void(IniDocument&)> edit;
    QByteArray after;
  } cases[] = {
      // replace in place: name spelling, blanks before the value and every line end stay
      {mixed, set("boot", "MENUDELAY", "30"), "; top\n[Boot]\r\nMenuDelay = 30\r\nother=1\n\r\n[Next]\r\nx=1"},
      {mixed, set("Boot", "other", "22"), "; top\n[Boot]\r\nMenuDelay = 5\r\nother=22\n\r\n[Next]\r\nx=1"},
      {mixed, set("next", "X", "2"), "; top\n[Boot]\r\nMenuDelay = 5\r\nother=1\n\r\n[Next]\r\nx=2"},
      {mixed, set("Boot", "MenuDelay", "5"), mixed},
      {"[S]\r\nk=\"old\"  \r\nk=2\r\n", set("S", "k", "  new\r\n[X]"), "[S]\r\nk=new\r\nk=2\r\n"},
      // append a key after the section's last line of content
      {"[A]\r\na=1\r\n; about B\r\n\r\n[B]\r\n", set("a", "New", "3"), "[A]\r\na=1\r\nNew=3\r\n; about B\r\n\r\n[B]\r\n"},
      {"[A]\nbare\n\n[B]\n", set("A", "bare", "3"), "[A]\nbare\nbare=3\r\n\n[B]\n"},
      {"[A]\r\n\r\n[B]\r\n", set("A", "c", "3"), "[A]\r\nc=3\r\n\r\n[B]\r\n"},
      {"[A]\nx=1", set("A", "c", "3"), "[A]\nx=1\r\nc=3\r\n"},
      {"[S]\r\na=1\r\n[s]\r\nb=2\r\n", set("S", "b", "3"), "[S]\r\na=1\r\nb=3\r\n[s]\r\nb=2\r\n"},
      // append a section at the end, after one blank line
      {"", set("N", "k", "v"), "[N]\r\nk=v\r\n"},
      {"[A]\r\nx=1\r\n", set(" \xC3\x84rger ", " My Key ", "v"), "[A]\r\nx=1\r\n\r\n[\xC4rger]\r\nMy Key=v\r\n"},
      {"[A]\nx=1\n\n", set("N", "k", "v"), "[A]\nx=1\n\n[N]\r\nk=v\r\n"},
      {"[A]\nx=1", set("N", "k", "v"), "[A]\nx=1\r\n\r\n[N]\r\nk=v\r\n"},
      // delete
      {"[A]\r\nx=1\r\ny=2\n[B]\r\nx=3\r\n", removeKey("a", "X"), "[A]\r\ny=2\n[B]\r\nx=3\r\n"},
      {"[A]\r\n;x=1\r\nx\r\n", removeKey("A", ";x"), "[A]\r\n;x=1\r\nx\r\n"},
      {"[A]\r\nx=1\r\n", removeKey("B", "x"), "[A]\r\nx=1\r\n"},
      {"[A]\r\nx=1\r\n\r\n[B]\r\n;c\r\n\r\n[C]\nz=3", removeSection("b"), "[A]\r\nx=1\r\n\r\n[C]\nz=3"},
      {"[A]\r\nx=1\r\n\r\n[B]\r\ny=2", removeSection("B"), "[A]\r\nx=1\r\n\r\n"},
      {"[A]\r\nx=1\r\n[a]\r\nx=2\r\n", removeSection("A"), "[a]\r\nx=2\r\n"},
      {"[A]\r\n", removeSection("B"), "[A]\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.before.toStdString());
    IniDocument doc(c.before);
    c.edit(doc);
    EXPECT_EQ(doc.toBytes(), c.after);
  }
}

TEST(IniDocument, UntouchedTextComesBackByteForByte) {
  static const char raw[] =
      "junk before\r\n\r\n[A] ; c\r\n  k = \"v\" \t\r\nbare\n;x\r[B]\r\n\xE9=\x80\r\n\r\n \t\r\n"
      "nul\0inside=1\r\n=x\n\x1A";
  const QByteArray text(raw, sizeof raw - 1);
  IniDocument doc(text);
  EXPECT_FALSE(doc.removeKey(u"A", u"missing"));
  EXPECT_FALSE(doc.removeSection(u"C"));
  doc.setValue(u"", u"k", u"v");
  doc.setValue(u"A", u"", u"v");
  EXPECT_EQ(doc.toBytes(), text);
}

class ProfileFiles : public ::testing::Test {
 protected:
  test::TestMachine m;
  Profile profile{m.fs()};
};

TEST_F(ProfileFiles, ReadsAndEditsThroughTheFileSystem) {
  m.putHostFile("C", "WINDOWS/WIN.INI", "[windows]\nload=a.exe\n\n[Extensions]\r\ntxt=notepad.exe ^.txt\r\n");
  const QString ini = s("c:\\windows\\win.ini");
  EXPECT_EQ(profile.getString(ini, u"Windows", u"LOAD", u"dflt"), s("a.exe"));
  EXPECT_EQ(profile.getString(ini, u"windows", u"missing", u"dflt  "), s("dflt"));
  EXPECT_EQ(profile.getString(u"C:\\NOPE.INI", u"windows", u"load", u"d"), s("d"));
  EXPECT_EQ(profile.sectionKeys(ini, u"extensions"), QStringList({"txt"}));
  EXPECT_EQ(profile.sectionNames(ini), QStringList({"windows", "Extensions"}));

  EXPECT_TRUE(profile.writeString(ini, u"extensions", u"BMP", u"pbrush.exe ^.bmp"));
  EXPECT_TRUE(profile.writeString(ini, u"WINDOWS", u"Load", u"b.exe"));
  EXPECT_TRUE(profile.writeString(ini, u"extensions", u"TXT", std::nullopt));
  EXPECT_EQ(m.hostFile("C", "WINDOWS/WIN.INI"), QByteArray("[windows]\nload=b.exe\n\n[Extensions]\r\nBMP=pbrush.exe ^.bmp\r\n"));
  EXPECT_TRUE(profile.deleteSection(ini, u"Windows"));
  EXPECT_EQ(m.hostFile("C", "WINDOWS/WIN.INI"), QByteArray("[Extensions]\r\nBMP=pbrush.exe ^.bmp\r\n"));
}

TEST_F(ProfileFiles, MissingFilesAreCreatedByWritesOnly) {
  EXPECT_TRUE(profile.writeString(u"C:\\GONE.INI", u"S", u"k", std::nullopt));
  EXPECT_TRUE(profile.deleteSection(u"C:\\GONE.INI", u"S"));
  EXPECT_FALSE(QFile::exists(m.host("C", "GONE.INI")));
  EXPECT_TRUE(profile.writeString(u"C:\\NEW.INI", u"S", u"k", u"v"));
  EXPECT_EQ(m.hostFile("C", "NEW.INI"), QByteArray("[S]\r\nk=v\r\n"));
  EXPECT_FALSE(profile.writeString(u"C:\\NO\\SUCH\\DIR.INI", u"S", u"k", u"v"));
}

TEST_F(ProfileFiles, ReadOnlyFileIsRefusedAndKeptAsItWas) {
  const QByteArray text = "[Options]\r\nBootMulti=1\r\n";
  m.putHostFile("C", "MSDOS.SYS", text);
  ASSERT_TRUE(m.fs().setAttributes(u"C:\\MSDOS.SYS", AttrReadOnly | AttrHidden | AttrSystem));
  EXPECT_FALSE(profile.writeString(u"C:\\msdos.sys", u"Options", u"BootMulti", u"0"));
  EXPECT_FALSE(profile.deleteSection(u"C:\\msdos.sys", u"Options"));
  EXPECT_EQ(m.hostFile("C", "MSDOS.SYS"), text);
  // Nothing to change needs no write, so it succeeds even here.
  EXPECT_TRUE(profile.writeString(u"C:\\msdos.sys", u"Options", u"BootMulti", u"1"));
  EXPECT_TRUE(profile.writeString(u"C:\\msdos.sys", u"Options", u"Missing", std::nullopt));
}

}  // namespace
}  // namespace vt
