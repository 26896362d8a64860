// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/regedit4.h"

#include "platform/creghive.h"

#include <gtest/gtest.h>

#include <cctype>

namespace vt {
namespace {

using regedit4::ImportMode;

QByteArray dword(quint32 v) {
  const char b[4] = {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
  return QByteArray(b, 4);
}

QByteArray bytesUpTo(int n) {
  QByteArray b;
  for (int i = 0; i < n; ++i) b.append(char(i));
  return b;
}

// Same names, order, types and data all the way down.
void expectSameTree(const RegKey& a, const RegKey& b, const QByteArray& where = "(top)") {
  ASSERT_EQ(a.name(), b.name()) << where.constData();
  ASSERT_EQ(a.valueCount(), b.valueCount()) << where.constData();
  for (int i = 0; i < a.valueCount(); ++i) {
    const RegValue& x = a.values()[size_t(i)];
    const RegValue& y = b.values()[size_t(i)];
    EXPECT_EQ(x.name, y.name) << where.constData();
    EXPECT_EQ(x.type, y.type) << where.constData() << " value " << x.name.constData();
    EXPECT_EQ(x.data, y.data) << where.constData() << " value " << x.name.constData();
  }
  ASSERT_EQ(a.subkeyCount(), b.subkeyCount()) << where.constData();
  for (int i = 0; i < a.subkeyCount(); ++i) expectSameTree(*a.subkey(i), *b.subkey(i), where + '\\' + a.subkey(i)->name());
}

bool import(const QByteArray& text, Registry& reg, ImportMode mode = ImportMode::Merge) {
  QString error;
  const bool ok = regedit4::importText(text, reg, mode, &error);
  EXPECT_TRUE(ok) << error.toStdString();
  return ok;
}

TEST(Regedit4Export, WritesTheExactRegeditLayout) {
  Registry reg;
  RegKey* software = reg.localMachine().addSubkey("SOFTWARE");
  RegKey* app = software->addSubkey("Vantrel");
  app->setValue("", RegSz, "Default");
  app->setValue("Path", RegSz, "C:\\WIN \"q\"");
  app->setValue("Count", RegDword, dword(0x2a));
  app->setValue("Blob", RegBinary, bytesUpTo(64));
  app->setValue("Exp", RegExpandSz, QByteArray("%windir%\0", 9));
  app->setValue("Multi", RegMultiSz, QByteArray("a\0b\0\0", 5));
  app->setValue("None", RegNone, {});
  app->setValue("Short", RegDword, QByteArray("\x01\x02", 2));
  app->setValue("Term", RegSz, QByteArray("x\0", 2));   // terminator only: still text
  app->setValue("Lines", RegSz, QByteArray("a\r\nb"));  // can't be a quoted line
  app->setValue("Tail", RegSz, QByteArray("a\0b", 3));  // bytes past the NUL matter
  app->addSubkey("Sub");
  software->addSubkey("Zeta");
  reg.users().addSubkey(".DEFAULT");

  const QByteArray expected =
      "REGEDIT4\r\n"
      "\r\n"
      "[HKEY_LOCAL_MACHINE]\r\n"
      "\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE]\r\n"
      "\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vantrel]\r\n"
      "@=\"Default\"\r\n"
      "\"Path\"=\"C:\\\\WIN \\\"q\\\"\"\r\n"
      "\"Count\"=dword:0000002a\r\n"
      "\"Blob\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,\\\r\n"
      "  16,17,18,19,1a,1b,1c,1d,1e,1f,20,21,22,23,24,25,26,27,28,29,2a,2b,2c,2d,2e,\\\r\n"
      "  2f,30,31,32,33,34,35,36,37,38,39,3a,3b,3c,3d,3e,3f\r\n"
      "\"Exp\"=hex(2):25,77,69,6e,64,69,72,25,00\r\n"
      "\"Multi\"=hex(7):61,00,62,00,00\r\n"
      "\"None\"=hex(0):\r\n"
      "\"Short\"=hex(4):01,02\r\n"
      "\"Term\"=\"x\"\r\n"
      "\"Lines\"=hex(1):61,0d,0a,62\r\n"
      "\"Tail\"=hex(1):61,00,62\r\n"
      "\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vantrel\\Sub]\r\n"
      "\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zeta]\r\n"
      "\r\n"
      "[HKEY_USERS]\r\n"
      "\r\n"
      "[HKEY_USERS\\.DEFAULT]\r\n"
      "\r\n";
  EXPECT_EQ(regedit4::exportRegistry(reg), expected);
}

TEST(Regedit4Export, HexListsFillEachLineToTheWrapColumn) {
  for (int nameLength : {1, 8, 9, 10, 60, 75, 90}) {
    for (int size : {0, 1, 20, 21, 22, 23, 24, 47, 48, 49, 50, 300}) {
      RegKey key;
      const QByteArray name(nameLength, 'n');
      key.setValue(name, RegBinary, QByteArray(size, '\xab'));
      const QByteArray text = regedit4::exportKey(key, "HKEY_DYN_DATA");
      SCOPED_TRACE(testing::Message() << "name " << nameLength << ", " << size << " bytes");

      const QList<QByteArray> lines = text.split('\n');
      qsizetype first = 0;
      while (!lines[first].startsWith('"')) ++first;
      QByteArray joined;
      for (qsizetype i = first;; ++i) {
        QByteArray line = lines[i].chopped(1);  // the CR
        const bool more = line.endsWith('\\');
        if (i > first) {
          ASSERT_TRUE(line.startsWith("  ")) << line.constData();
          ASSERT_NE(line[2], ' ');
        }
        if (more) {
          line.chop(1);
          ASSERT_TRUE(line.endsWith(',')) << line.constData();
          // Full: no room for one more "xx," - unless the line holds just one byte.
          const bool oneByte = line.count(',') == 1;
          EXPECT_TRUE(line.size() + 3 > 77 || oneByte) << line.constData();
          EXPECT_TRUE(line.size() <= 77 || oneByte) << line.constData();
        } else {
          EXPECT_LE(line.size(), 76 + (i == first ? nameLength : 0)) << line.constData();
        }
        joined += line;
        if (!more) break;
      }
      EXPECT_EQ(joined.count("ab"), size);

      Registry back;
      ASSERT_TRUE(import(text, back));
      ASSERT_NE(back.dynData().findValue(name), nullptr);
      EXPECT_EQ(back.dynData().findValue(name)->data, QByteArray(size, '\xab'));
    }
  }
}

// Every value type, odd names and empty data: what goes out must come back unchanged.
void fillOddTree(Registry& reg) {
  RegKey& hklm = reg.localMachine();
  RegKey* classes = hklm.createPath("SOFTWARE\\Classes");
  classes->addSubkey(".txt")->setValue("", RegSz, "txtfile");
  RegKey* odd = hklm.createPath("SOFTWARE\\Odd \xc4\xd6\xfc\xdf \"quoted\" [x] br]");
  odd->setValue("", RegBinary, QByteArray("\x01\x02", 2));
  odd->setValue("quote\"back\\slash", RegSz, "\\\\server\\share \"x\" \\");
  odd->setValue(
      "Gr\xfc\xdf"
      "e",
      RegSz, "M\xfcnchen \x80 \xff");
  odd->setValue("@", RegSz, "not the default");
  odd->setValue("empty string", RegSz, {});
  odd->setValue("empty binary", RegBinary, {});
  odd->setValue("empty dword", RegDword, {});
  odd->setValue("semi;colon = sign", RegSz, "; not a comment");
  odd->setValue(QByteArray(300, 'L'), RegSz, QByteArray(2000, 'v'));
  odd->setValue("long binary", RegBinary, bytesUpTo(256).repeated(4));
  odd->setValue("crlf", RegSz, "one\r\ntwo\rthree\n");
  odd->setValue("after nul", RegSz, QByteArray("a\0\0b", 4));
  for (quint32 type : {0u, 1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u, 0x10u, 0xabcu, 0xffffffffu})
    odd->setValue("type " + QByteArray::number(type), type, QByteArray("\0\x7f\x80\xff", 4));
  odd->setValue("dword", RegDword, dword(0xdeadbeef));
  odd->setValue("big dword", RegDword, QByteArray(8, '\x11'));
  hklm.createPath("Config\\0001\\Display");
  hklm.createPath("Enum\\Root\\*PNP0C01\\0000")->setValue("Class", RegSz, "System");
  RegKey* user = reg.users().createPath(".DEFAULT\\Control Panel\\Desktop");
  user->setValue("Wallpaper", RegSz, "C:\\WINDOWS\\Wolken.bmp");
  reg.users().createPath(".DEFAULT\\Software");
}

TEST(Regedit4RoundTrip, ExportImportExportIsIdentical) {
  Registry a;
  fillOddTree(a);
  const QByteArray first = regedit4::exportRegistry(a);

  for (ImportMode mode : {ImportMode::Merge, ImportMode::Replace}) {
    Registry b;
    b.localMachine().createPath("Stale\\Key")->setValue("gone", RegSz, "x");
    if (mode == ImportMode::Merge) b.localMachine().clear();
    ASSERT_TRUE(import(first, b, mode));
    expectSameTree(a.localMachine(), b.localMachine());
    expectSameTree(a.users(), b.users());
    EXPECT_EQ(regedit4::exportRegistry(b), first);
  }
}

TEST(Regedit4RoundTrip, DynDataSurvivesAsItsOwnFile) {
  Registry a;
  RegKey& dyn = a.dynData();
  RegKey* stats = dyn.createPath("PerfStats\\StatData");
  stats->setValue("KERNEL\\CPUUsage", RegBinary, dword(17));
  stats->setValue("VFAT\\DirtyData", RegDword, dword(0));
  dyn.createPath("Config Manager\\Enum\\C29A3B10")->setValue("HardWareKey", RegSz, "ROOT\\PCI\\0000");
  dyn.createPath("Security\\Provider");

  const QByteArray text = regedit4::exportKey(dyn, "HKEY_DYN_DATA");
  EXPECT_TRUE(text.startsWith("REGEDIT4\r\n\r\n[HKEY_DYN_DATA]\r\n\r\n[HKEY_DYN_DATA\\PerfStats]\r\n"));
  Registry b;
  ASSERT_TRUE(import(text, b));
  EXPECT_EQ(b.localMachine().subkeyCount(), 0);
  EXPECT_EQ(b.users().subkeyCount(), 0);
  expectSameTree(a.dynData(), b.dynData());
  EXPECT_EQ(regedit4::exportKey(b.dynData(), "HKEY_DYN_DATA"), text);

  Registry empty;
  const QByteArray none = regedit4::exportKey(empty.dynData(), "HKEY_DYN_DATA");
  EXPECT_EQ(none, QByteArray("REGEDIT4\r\n\r\n[HKEY_DYN_DATA]\r\n\r\n"));
  ASSERT_TRUE(import(none, empty));
  EXPECT_EQ(empty.dynData().subkeyCount(), 0);
}

TEST(Regedit4Import, MergeCreatesKeysAndReplacesValuesInPlace) {
  Registry reg;
  RegKey* app = reg.localMachine().createPath("SOFTWARE\\Vantrel");
  app->setValue("x", RegSz, "1");
  app->setValue("Y", RegSz, "2");
  app->setValue("gone", RegSz, "3");
  reg.localMachine().createPath("SOFTWARE\\Other\\Doomed\\Deeper");
  reg.localMachine().createPath("SOFTWARE\\Other\\Kept")->setValue("k", RegSz, "v");
  reg.users().createPath(".DEFAULT")->setValue("u", RegSz, "user");

  const QByteArray text =
      "REGEDIT4\n"
      "; a comment, and blank lines below\n"
      "\n"
      "\n"
      "[hkey_local_machine\\software\\VANTREL]\n"
      "\"y\" = dword:0000000A\n"
      "\"z\"=\"new\"\n"
      "\"GONE\"=-\n"
      "\"never there\"=-\n"
      "@=HEX(3):01,02,\\\n"
      "    03 , 04\n"
      "\n"
      "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Other\\Doomed]\n"
      "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Not\\There]\n"
      "[HKEY_CLASSES_ROOT\\.txt]\n"
      "@=\"txtfile\"\n"
      "[HKEY_CURRENT_USER\\Control Panel\\]\n"
      "\"c\"=\"p\"\n"
      "[HKEY_CURRENT_CONFIG\\Display\\Settings]\n"
      "[HKEY_DYN_DATA\\PerfStats]\n";
  ASSERT_TRUE(import(text, reg));

  ASSERT_EQ(app->valueCount(), 4);
  EXPECT_EQ(app->values()[0].name, QByteArray("x"));
  EXPECT_EQ(app->values()[0].data, QByteArray("1"));
  EXPECT_EQ(app->values()[1].name, QByteArray("Y"));  // in place, with its own case
  EXPECT_EQ(app->values()[1].type, quint32(RegDword));
  EXPECT_EQ(app->values()[1].data, dword(10));
  EXPECT_EQ(app->values()[2].name, QByteArray("z"));
  EXPECT_EQ(app->values()[3].name, QByteArray());
  EXPECT_EQ(app->values()[3].type, quint32(RegBinary));
  EXPECT_EQ(app->values()[3].data, QByteArray("\x01\x02\x03\x04"));
  EXPECT_EQ(reg.localMachine().subkey(0)->name(), QByteArray("SOFTWARE"));
  EXPECT_EQ(reg.localMachine().findPath("SOFTWARE\\Other\\Doomed"), nullptr);
  EXPECT_NE(reg.localMachine().findPath("SOFTWARE\\Other\\Kept"), nullptr);
  EXPECT_EQ(reg.localMachine().findPath("SOFTWARE\\Not"), nullptr);

  RegKey* txt = reg.localMachine().findPath("SOFTWARE\\Classes\\.txt");
  ASSERT_NE(txt, nullptr);
  EXPECT_EQ(txt->findValue("")->data, QByteArray("txtfile"));
  RegKey* cp = reg.users().findPath(".DEFAULT\\Control Panel");
  ASSERT_NE(cp, nullptr);
  EXPECT_EQ(cp->findValue("c")->data, QByteArray("p"));
  EXPECT_EQ(reg.users().findPath(".DEFAULT")->findValue("u")->data, QByteArray("user"));
  EXPECT_NE(reg.localMachine().findPath("Config\\0001\\Display\\Settings"), nullptr);
  EXPECT_NE(reg.dynData().findPath("PerfStats"), nullptr);
}

TEST(Regedit4Import, ReplaceMakesTheMachineAndUserTreesExactlyTheFile) {
  Registry reg;
  reg.localMachine().createPath("SOFTWARE\\Old")->setValue("o", RegSz, "old");
  reg.localMachine().createPath("SOFTWARE\\Classes\\.old");
  reg.users().createPath("Someone\\Else");
  reg.dynData().createPath("PerfStats")->setValue("s", RegDword, dword(1));

  const QByteArray text =
      "REGEDIT4\r\n"
      "\r\n"
      "[HKEY_CLASSES_ROOT\\.new]\r\n"
      "@=\"newfile\"\r\n"
      "\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\New]\r\n"
      "\"n\"=\"new\"\r\n"
      "\r\n"
      "[HKEY_CURRENT_USER\\Software]\r\n"
      "\r\n";
  const quint64 dynGeneration = reg.dynData().generation();
  ASSERT_TRUE(import(text, reg, ImportMode::Replace));

  const QByteArray expected =
      "REGEDIT4\r\n"
      "\r\n[HKEY_LOCAL_MACHINE]\r\n"
      "\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE]\r\n"
      "\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes]\r\n"
      "\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\.new]\r\n"
      "@=\"newfile\"\r\n"
      "\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\New]\r\n"
      "\"n\"=\"new\"\r\n"
      "\r\n[HKEY_USERS]\r\n"
      "\r\n[HKEY_USERS\\.DEFAULT]\r\n"
      "\r\n[HKEY_USERS\\.DEFAULT\\Software]\r\n"
      "\r\n";
  EXPECT_EQ(regedit4::exportRegistry(reg), expected);
  // Dynamic data belongs to the running machine, not to the saved registry.
  EXPECT_EQ(reg.dynData().generation(), dynGeneration);
  EXPECT_NE(reg.dynData().findPath("PerfStats"), nullptr);
}

struct BadFile {
  const char* what;
  bool afterGoodSection;  // the text follows a valid key and value, which must not land
  QByteArray body;
  int line;
  const char* message;
};

// The good section ahead of the bad line covers lines 1-4.
const QByteArray kGoodStart =
    "REGEDIT4\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\Staged]\r\n"
    "\"ok\"=\"1\"\r\n";

const BadFile kBadFiles[] = {
    {"bad header", false, "REGEDIT5\r\n\r\n[HKEY_LOCAL_MACHINE\\A]\r\n", 1, "REGEDIT4"},
    {"header not first", false, "\r\nREGEDIT4\r\n", 1, "REGEDIT4"},
    {"later Windows header", false, "Windows Registry Editor Version 5.00\r\n", 1, "REGEDIT4"},
    {"unicode file", false, QByteArray("\xff\xfeR\0E\0", 6), 1, "Unicode"},
    {"empty file", false, "", 1, "empty"},
    {"unterminated string", true, "\"a\"=\"abc\r\n", 5, "string has no closing quote"},
    {"string ends in a lone backslash", true, "\"a\"=\"abc\\\r\n", 5, "string has no closing quote"},
    {"unterminated name", true, "\"abc=1\r\n", 5, "value name has no closing quote"},
    {"bad escape", true, "\"a\"=\"C:\\windows\"\r\n", 5, "unknown escape \\w"},
    {"bad escape in a name", true, "\"a\\tb\"=\"x\"\r\n", 5, "unknown escape \\t"},
    {"text after the string", true, "\"a\"=\"b\" c\r\n", 5, "after the closing quote"},
    {"no equals sign", true, "\"a\" \"b\"\r\n", 5, "followed by ="},
    {"no data", true, "\"a\"=\r\n", 5, "no data"},
    {"unknown data form", true, "\"a\"=binary:00\r\n", 5, "not a value"},
    {"short dword", true, "\"a\"=dword:123\r\n", 5, "dword value needs eight hex digits"},
    {"long dword", true, "\"a\"=dword:000000001\r\n", 5, "dword value needs eight hex digits"},
    {"non-hex dword", true, "\"a\"=dword:0000000g\r\n", 5, "dword value needs eight hex digits"},
    {"bad hex byte", true, "\"a\"=hex:01,zz,03\r\n", 5, "\"zz\" is not a hex byte"},
    {"three-digit hex byte", true, "\"a\"=hex:01,002\r\n", 5, "\"002\" is not a hex byte"},
    {"bad hex byte on a continuation", true, "\"a\"=hex:01,\\\r\n  02,0x\r\n", 6, "\"0x\" is not a hex byte"},
    {"hex bytes without comma", true, "\"a\"=hex:01 02\r\n", 5, "separated by commas"},
    {"empty hex entry", true, "\"a\"=hex:01,,02\r\n", 5, "two commas"},
    {"backslash inside hex", true, "\"a\"=hex:01,\\02\r\n", 5, "only end the line"},
    {"bad hex type", true, "\"a\"=hex(z):01\r\n", 5, "hex(N)"},
    {"unclosed hex type", true, "\"a\"=hex(2:01\r\n", 5, "hex(N)"},
    {"dangling continuation at the end", true, "\"a\"=hex:01,\\\r\n", 5, "no hex data follows"},
    {"dangling continuation before a blank", true, "\"a\"=hex:01,\\\r\n\r\n\"b\"=\"x\"\r\n", 5, "no hex data follows"},
    {"dangling continuation before a key", true, "\"a\"=hex:01,\\\r\n[HKEY_USERS\\X]\r\n", 5, "no hex data follows"},
    {"value before key", false, "REGEDIT4\r\n\r\n\"a\"=\"b\"\r\n[HKEY_USERS\\X]\r\n", 3, "value line before any [key] line"},
    {"value under a deleted key", true, "[-HKEY_USERS\\X]\r\n\"a\"=\"b\"\r\n", 6, "deleted"},
    {"unknown root", true, "\r\n[HKEY_LOCAL_MACHIN\\X]\r\n", 6, "unknown root key \"HKEY_LOCAL_MACHIN\""},
    {"abbreviated root", true, "[HKLM\\X]\r\n", 5, "unknown root key \"HKLM\""},
    {"unbalanced bracket", true, "[HKEY_LOCAL_MACHINE\\X\r\n", 5, "no closing ]"},
    {"deleting a root key", true, "[-HKEY_USERS]\r\n", 5, "cannot be deleted"},
    {"deleting an alias root", true, "[-HKEY_CLASSES_ROOT\\]\r\n", 5, "cannot be deleted"},
    {"stray line", true, "Wallpaper=none\r\n", 5, "not a key, value or comment line"},
    {"vertical tab before a value", true, "\v\"a\"=\"b\"\r\n", 5, "not a key, value or comment line"},
};

class Regedit4BadFile : public testing::TestWithParam<BadFile> {};

TEST_P(Regedit4BadFile, IsRefusedWithItsLineAndChangesNothing) {
  const BadFile& bad = GetParam();
  const QByteArray text = bad.afterGoodSection ? kGoodStart + bad.body : bad.body;
  for (ImportMode mode : {ImportMode::Merge, ImportMode::Replace}) {
    Registry reg;
    reg.localMachine().createPath("SOFTWARE\\Keep")->setValue("v", RegSz, "1");
    reg.users().createPath(".DEFAULT")->setValue("u", RegDword, dword(2));
    const QByteArray before = regedit4::exportRegistry(reg);
    const quint64 g1 = reg.localMachine().generation(), g2 = reg.users().generation(), g3 = reg.dynData().generation();

    QString error;
    EXPECT_FALSE(regedit4::importText(text, reg, mode, &error));
    const QString prefix = QStringLiteral("line %1: ").arg(bad.line);
    EXPECT_TRUE(error.startsWith(prefix)) << error.toStdString();
    EXPECT_TRUE(error.contains(QLatin1String(bad.message))) << error.toStdString();

    EXPECT_EQ(reg.localMachine().generation(), g1);
    EXPECT_EQ(reg.users().generation(), g2);
    EXPECT_EQ(reg.dynData().generation(), g3);
    EXPECT_EQ(regedit4::exportRegistry(reg), before);
  }
}

INSTANTIATE_TEST_SUITE_P(All, Regedit4BadFile, testing::ValuesIn(kBadFiles), [](const testing::TestParamInfo<BadFile>& info) {
  std::string name;
  for (const char* p = info.param.what; *p; ++p) name += std::isalnum(uchar(*p)) ? *p : '_';
  return name;
});

// A replacement keeps nothing the file lacks, so a file cut short must not replace; merging
// the same file only adds what it holds and is still allowed.
TEST(Regedit4Replace, RefusesAFileThatIsNoWholeExport) {
  Registry source;
  source.localMachine().createPath("SOFTWARE\\A")->setValue("a", RegSz, "1");
  source.localMachine().createPath("SOFTWARE\\B");
  source.users().createPath(".DEFAULT\\Control Panel")->setValue("Bits", RegBinary, "\x01\x02\x03");
  const QByteArray whole = regedit4::exportRegistry(source);
  const struct {
    const char* what;
    QByteArray text;
    bool replaces;
  } cases[] = {
      {"whole export", whole, true},
      {"cut at a key line in HKEY_LOCAL_MACHINE", whole.left(whole.indexOf("[HKEY_LOCAL_MACHINE\\SOFTWARE\\B]")), false},
      {"cut before HKEY_USERS", whole.left(whole.indexOf("[HKEY_USERS]")), false},
      {"cut inside the last line", whole.left(whole.indexOf("01,02,03") + 5), false},
      {"without the last line break", whole.left(whole.lastIndexOf("03") + 2), false},
      {"only HKEY_USERS", "REGEDIT4\r\n\r\n[HKEY_USERS\\.DEFAULT]\r\n", false},
      {"the two parts under alias names", "REGEDIT4\r\n\r\n[HKEY_CLASSES_ROOT\\.txt]\r\n\r\n[HKEY_CURRENT_USER\\X]\r\n", true},
  };
  for (const auto& c : cases) {
    Registry reg;
    reg.localMachine().createPath("SOFTWARE\\Keep");
    reg.users().createPath(".DEFAULT\\Keep");
    const QByteArray before = regedit4::exportRegistry(reg);
    QString error;
    EXPECT_EQ(regedit4::importText(c.text, reg, ImportMode::Replace, &error), c.replaces) << c.what;
    if (!c.replaces) {
      EXPECT_EQ(regedit4::exportRegistry(reg), before) << c.what;
      EXPECT_TRUE(error.contains(QLatin1String("not a whole export"))) << c.what << ": " << error.toStdString();
    }
    Registry merged;
    EXPECT_TRUE(regedit4::importText(c.text, merged, ImportMode::Merge, &error)) << c.what << ": " << error.toStdString();
  }
}

// Speed is measured by bench/registry_bench; this checks that a registry of many keys
// and values comes back whole.
// Keys the file fills from nothing keep their values as a hive would, except where the file
// itself changes them again: a name given twice, a key named twice, a value deleted.
TEST(Regedit4Import, AKeyFilledFromNothingHoldsWhatTheFileLeavesInIt) {
  const QByteArray big(70000, 'b');
  const struct {
    const char* what;
    QByteArray section;
    std::vector<std::pair<QByteArray, QByteArray>> values;  // name, data (all REG_SZ)
  } cases[] = {
      {"plain", "\"a\"=\"1\"\r\n@=\"d\"\r\n", {{"a", "1"}, {"", "d"}}},
      {"a name twice", "\"a\"=\"1\"\r\n\"b\"=\"2\"\r\n\"A\"=\"3\"\r\n", {{"a", "3"}, {"b", "2"}}},
      {"the key twice",
       "\"a\"=\"1\"\r\n[HKEY_LOCAL_MACHINE\\Other]\r\n[HKEY_LOCAL_MACHINE\\K]\r\n\"A\"=\"2\"\r\n\"c\"=\"3\"\r\n",
       {{"a", "2"}, {"c", "3"}}},
      {"a value deleted", "\"a\"=\"1\"\r\n\"b\"=\"2\"\r\n\"a\"=-\r\n", {{"b", "2"}}},
      {"data past 64 KiB", "\"a\"=\"" + big + "\"\r\n\"b\"=\"2\"\r\n", {{"a", big}, {"b", "2"}}},
  };
  for (const auto& c : cases) {
    for (const ImportMode mode : {ImportMode::Merge, ImportMode::Replace}) {
      Registry reg;
      ASSERT_TRUE(import("REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\K]\r\n" + c.section + "[HKEY_USERS\\U]\r\n", reg, mode)) << c.what;
      const RegKey* k = reg.localMachine().findPath("K");
      ASSERT_NE(k, nullptr) << c.what;
      ASSERT_EQ(k->valueCount(), int(c.values.size())) << c.what;
      for (size_t i = 0; i < c.values.size(); ++i) {
        EXPECT_EQ(k->values()[i].name, c.values[i].first) << c.what;
        EXPECT_EQ(k->values()[i].data, c.values[i].second) << c.what;
      }
      // What a hive can hold is written and read back the same.
      if (c.values[0].second.size() > 0xFFFF) continue;
      Registry fresh;
      ASSERT_TRUE(import("REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\K]\r\n" + c.section, fresh)) << c.what;
      RegKey back;
      ASSERT_TRUE(creg::readHive(creg::writeHive(fresh.localMachine()), back, nullptr)) << c.what;
      expectSameTree(back, *k->parent());
    }
  }
}

TEST(Regedit4Import, ALargeRegistryRoundTrips) {
  Registry a;
  for (int k = 0; k < 500; ++k) {
    RegKey* key = a.localMachine().createPath("SOFTWARE\\Bulk\\Key" + QByteArray::number(k));
    for (int v = 0; v < 60; ++v) {
      const QByteArray name = "Value" + QByteArray::number(v);
      if (v % 3 == 0)
        key->setValue(name, RegSz, "some string data " + name);
      else if (v % 3 == 1)
        key->setValue(name, RegDword, dword(quint32(v * k)));
      else
        key->setValue(name, RegBinary, QByteArray(40, char(v)));
    }
  }
  const QByteArray text = regedit4::exportRegistry(a);
  Registry b;
  ASSERT_TRUE(import(text, b));
  EXPECT_EQ(b.localMachine().findPath("SOFTWARE\\Bulk")->subkeyCount(), 500);
  EXPECT_EQ(regedit4::exportRegistry(b), text);
}

}  // namespace
}  // namespace vt
