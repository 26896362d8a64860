// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/creghive.h"

#include "platform/regedit4.h"
#include "platform/text.h"

#include "support/testmachine.h"

#include <QFile>
#include <QtEndian>

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>

namespace vt {
namespace {

quint16 get16(const QByteArray& b, qsizetype at) { return qFromLittleEndian<quint16>(b.constData() + at); }
quint32 get32(const QByteArray& b, qsizetype at) { return qFromLittleEndian<quint32>(b.constData() + at); }
void put32(QByteArray& b, qsizetype at, quint32 v) { qToLittleEndian(v, b.data() + at); }

quint32 sum32(const QByteArray& b, qsizetype at, qsizetype size) {
  quint32 s = 0;
  for (qsizetype i = 0; i + 4 <= size; i += 4) s += get32(b, at + i);
  return s;
}

// Re-seals every checksum, so that damage done on purpose is caught by the structure
// checks rather than by a checksum.
void reseal(QByteArray& h) {
  auto seal = [&](qsizetype at, qsizetype size, qsizetype field) {
    put32(h, at + field, 0);
    put32(h, at + field, 0u - sum32(h, at, size));
  };
  seal(0, 0x20, 0x0C);
  seal(0x20, get32(h, 0x24), 0x14);
  qsizetype block = get32(h, 0x08);
  for (int i = 0; i < get16(h, 0x10); ++i, block += get32(h, block + 4)) seal(block, get32(h, block + 4), 0x1C);
}

quint32 hashOf(const QByteArray& name) {
  quint32 h = 0;
  for (char ch : name)
    if (uchar(ch) < 0x80) h += uchar((ch >= 'a' && ch <= 'z') ? ch - 32 : ch);
  return h;
}

bool isEntrySlot(quint32 at) {
  if (at < 0x2000) return at >= 0x20 && (at - 0x20) % 28 == 0 && at + 28 <= 0x2000;
  return (at % 0x1000) % 28 == 0 && (at % 0x1000) / 28 < 146;
}

struct Layout {
  int blocks = 0;
  int mostKeysInABlock = 0;
  int keys = 0;
};

// Checks what Windows relies on in a hive we wrote, reading it independently of the reader.
::testing::AssertionResult checkWrittenLayout(const QByteArray& h, Layout* layout = nullptr) {
  auto bad = [](const QString& what) { return ::testing::AssertionFailure() << what.toStdString(); };
  if (h.size() < 0x40 || !h.startsWith("CREG") || h.mid(0x20, 4) != "RGKN") return bad("signatures");
  if (!(get16(h, 0x12) & 4) || sum32(h, 0, 0x20) != 0) return bad("header checksum or flag");
  const quint32 rgknSize = get32(h, 0x24);
  if (rgknSize < 0x2000 || rgknSize % 0x1000 || get32(h, 0x08) != 0x20 + rgknSize) return bad("RGKN size");
  if (!(get32(h, 0x30) & 4) || sum32(h, 0x20, rgknSize) != 0) return bad("RGKN checksum or flag");

  std::map<quint32, QByteArray> names;  // block << 16 | id -> key name
  Layout l;
  qsizetype at = get32(h, 0x08);
  for (int b = 0; b < get16(h, 0x10); ++b) {
    const quint32 size = get32(h, at + 4);
    if (h.mid(at, 4) != "RGDB" || size >= 0x10000 || size % 4 || at + size > h.size() || get16(h, at + 0x0E) != b)
      return bad(QStringLiteral("block %1 header").arg(b));
    if (!(get16(h, at + 0x0C) & 4) || sum32(h, at, size) != 0) return bad(QStringLiteral("block %1 checksum").arg(b));
    int keys = 0;
    quint32 freeBytes = 0, firstFree = 0xFFFFFFFF;
    for (quint32 pos = 0x20; pos < size;) {
      const quint32 rsize = get32(h, at + pos);
      if (rsize < 0x14 || pos + rsize > size) return bad(QStringLiteral("block %1 record size").arg(b));
      if (get32(h, at + pos + 4) == 0xFFFFFFFF) {
        freeBytes += rsize;
        if (firstFree == 0xFFFFFFFF) firstFree = pos;
      } else {
        ++keys;
        if (get16(h, at + pos + 6) != b) return bad(QStringLiteral("block %1 record block").arg(b));
        names[quint32(b) << 16 | get16(h, at + pos + 4)] = h.mid(at + pos + 0x14, get16(h, at + pos + 0x0C));
      }
      pos += rsize;
    }
    if (get32(h, at + 8) != freeBytes || get32(h, at + 0x10) != firstFree) return bad("block free space");
    if (keys > 255 || get16(h, at + 0x16) != keys) return bad(QStringLiteral("block %1 key count").arg(b));
    l.mostKeysInABlock = std::max(l.mostKeysInABlock, keys);
    ++l.blocks;
    at += size;
  }
  if (at != h.size()) return bad("blocks do not end the file");

  const QByteArray rgkn = h.mid(0x20, rgknSize);
  std::vector<quint32> todo{0x20};
  while (!todo.empty()) {
    const quint32 e = todo.back();
    todo.pop_back();
    if (!isEntrySlot(e) || ++l.keys > int(rgknSize / 28)) return bad(QStringLiteral("entry %1 placement").arg(e));
    if (e != 0x20) {
      const auto it = names.find(quint32(get16(rgkn, e + 0x1A)) << 16 | get16(rgkn, e + 0x18));
      if (it == names.end() || hashOf(it->second) != get32(rgkn, e + 4))
        return bad(QStringLiteral("entry %1 record or hash").arg(e));
    }
    for (quint32 c = get32(rgkn, e + 0x10); c != 0xFFFFFFFF; c = get32(rgkn, c + 0x14)) {
      if (get32(rgkn, c + 0x0C) != e) return bad("parent link");
      todo.push_back(c);
    }
  }
  const quint32 freeHead = get32(rgkn, 0x0C);
  if (freeHead != 0xFFFFFFFF &&
      (!isEntrySlot(freeHead) || get32(rgkn, freeHead) != 0x80000000 || freeHead + get32(rgkn, freeHead + 4) != rgknSize))
    return bad("RGKN free run");
  if (layout) *layout = l;
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult sameTree(const RegKey& a, const RegKey& b) {
  std::vector<std::pair<const RegKey*, const RegKey*>> todo{{&a, &b}};
  while (!todo.empty()) {
    auto [x, y] = todo.back();
    todo.pop_back();
    const std::string where = x->pathFromTop().toStdString();
    if (x->name() != y->name() || x->subkeyCount() != y->subkeyCount() || x->valueCount() != y->valueCount())
      return ::testing::AssertionFailure() << "differs at [" << where << "]";
    for (int i = 0; i < x->valueCount(); ++i) {
      const RegValue &v = x->values()[size_t(i)], &w = y->values()[size_t(i)];
      if (v.name != w.name || v.type != w.type || v.data != w.data)
        return ::testing::AssertionFailure() << "value " << i << " differs at [" << where << "]";
    }
    for (int i = 0; i < x->subkeyCount(); ++i) todo.push_back({x->subkey(i), y->subkey(i)});
  }
  return ::testing::AssertionSuccess();
}

QByteArray dword(quint32 v) {
  QByteArray b(4, '\0');
  qToLittleEndian(v, b.data());
  return b;
}

QByteArray roundTrip(const RegKey& tree, RegKey& back, Layout* layout = nullptr) {
  const QByteArray hive = creg::writeHive(tree);
  EXPECT_TRUE(checkWrittenLayout(hive, layout));
  QString error;
  EXPECT_TRUE(creg::readHive(hive, back, &error)) << error.toStdString();
  return hive;
}

void buildSample(RegKey& root, int keys) {
  root.setValue("", RegSz, "root default");
  for (int i = 0; i < keys; ++i) {
    RegKey* k = root.createPath(QByteArray("Group") + QByteArray::number(i % 7) + "\\Key" + QByteArray::number(i));
    k->setValue("Name", RegSz, QByteArray("value ") + QByteArray::number(i));
    k->setValue("Count", RegDword, dword(quint32(i)));
    if (i % 3 == 0) k->setValue("Blob", RegBinary, QByteArray(i % 50, char(i)));
  }
}

// --- Real hives written by Windows Me -------------------------------------------------

struct RealHive {
  const char* file;
  std::vector<QByteArray> topKeys;
};

void PrintTo(const RealHive& h, std::ostream* os) { *os << h.file; }

class RealHiveTest : public ::testing::TestWithParam<RealHive> {};

TEST_P(RealHiveTest, ReadsAndRoundTripsByteForByte) {
  if (test::testDataDir().isEmpty()) GTEST_SKIP() << "no shared test hives (creg/SYSTEM.DAT) on this machine";
  QFile f(test::testDataDir() + "/creg/" + GetParam().file);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  RegKey tree;
  QString error;
  ASSERT_TRUE(creg::readHive(f.readAll(), tree, &error)) << error.toStdString();
  for (const QByteArray& name : GetParam().topKeys) {
    const RegKey* k = tree.findSubkey(name);
    ASSERT_NE(k, nullptr) << name.toStdString();
    EXPECT_EQ(k->name(), name);
  }
  EXPECT_EQ(tree.subkeyCount(), int(GetParam().topKeys.size()));

  RegKey back;
  const QByteArray written = roundTrip(tree, back);
  EXPECT_TRUE(sameTree(tree, back));
  EXPECT_EQ(creg::writeHive(back), written) << "writing is not deterministic";
}

INSTANTIATE_TEST_SUITE_P(WindowsMe, RealHiveTest,
                         ::testing::Values(RealHive{"SYSTEM.DAT",
                                                    {"SOFTWARE", "System", "Enum", "Hardware", "Network", "Config", "Driver"}},
                                           RealHive{"USER.DAT", {".DEFAULT", "Software"}}),
                         [](const auto& info) { return std::string(info.param.file).substr(0, 4); });

// --- Hives we generate -----------------------------------------------------------------

TEST(CregWrite, EveryValueTypeAndNameShapeRoundTrips) {
  RegKey tree;
  buildSample(tree, 3000);
  RegKey* k = tree.createPath(QByteArray(255, 'L') + "\\" + QByteArray("caf\xe9 \xc4nderung"));
  k->setValue("", RegSz, "default");
  k->setValue("sz", RegSz, "C:\\WINDOWS");
  k->setValue("expand", RegExpandSz, QByteArray("%windir%\\x\0", 12));
  k->setValue("bin", RegBinary, QByteArray("\0\1\2\xff", 4));
  k->setValue("dw", RegDword, dword(0xDEADBEEF));
  k->setValue("multi", RegMultiSz, QByteArray("a\0bc\0\0", 6));
  k->setValue("odd", 0x1234, "raw bytes kept");
  k->setValue("empty", RegSz, QByteArray());
  k->setValue(QByteArray(255, 'v'), RegNone, QByteArray());
  tree.createPath("leaf without values");

  RegKey back;
  Layout layout;
  roundTrip(tree, back, &layout);
  EXPECT_TRUE(sameTree(tree, back));
  EXPECT_EQ(layout.keys, 3000 + 7 + 3 + 1);
}

// A loaded hive keeps its names and data in shared buffers; each value must still behave
// as a string of its own.
TEST(CregRead, ValuesReadBackAreIndependentStrings) {
  RegKey tree;
  RegKey* k = tree.createPath("Software\\Test");
  k->setValue("first", RegSz, "alpha");
  k->setValue("second", RegSz, "beta");
  k->setValue("empty", RegSz, QByteArray());
  auto back = std::make_unique<RegKey>();
  roundTrip(tree, *back);
  RegKey* loaded = back->findPath("Software\\Test");
  ASSERT_NE(loaded, nullptr);

  QByteArray kept = loaded->findValue("first")->data;
  const QByteArray name = loaded->findValue("second")->name;
  EXPECT_EQ(kept.constData()[kept.size()], '\0');
  kept[0] = 'A';
  kept.append("-and-more-than-fits-between-neighbours");
  EXPECT_EQ(loaded->findValue("first")->data, "alpha");
  EXPECT_EQ(loaded->findValue("second")->data, "beta");
  EXPECT_EQ(loaded->findValue("empty")->data, "");
  loaded->setValue("second", RegSz, "changed");
  EXPECT_EQ(loaded->findValue("first")->data, "alpha");

  back.reset();
  EXPECT_EQ(kept, "Alpha-and-more-than-fits-between-neighbours");
  EXPECT_EQ(name, "second");
}

// Values stay as the file holds them until asked for; a key whose file repeats a value
// name (in another case) must still read as one value, the later, in small and large keys.
TEST(CregRead, KeysReadPackedBehaveAsKeysAndWriteBackTheSame) {
  for (const int count : {3, 30}) {
    SCOPED_TRACE(count);
    RegKey tree;
    RegKey* k = tree.createPath("Soft\\Many");
    for (int i = 0; i < count; ++i) k->setValue("v" + QByteArray::number(i + 10), RegSz, "d" + QByteArray::number(i));
    tree.createPath("Soft\\Other")->setValue("kept", RegDword, QByteArray(4, '\x01'));
    tree.createPath("Soft\\KeyA")->setValue("a", RegSz, "1");
    tree.createPath("Soft\\KeyB")->setValue("b", RegSz, "2");
    tree.createPath("Soft\\KeyA\\SubA");
    tree.createPath("Soft\\KeyB\\SubB\\Deeper");
    QByteArray file = creg::writeHive(tree);

    RegKey back;
    ASSERT_TRUE(creg::readHive(file, back, nullptr));
    // Keys are built as they are first looked into; that changes nothing anyone could save.
    const quint64 unchanged = back.generation();
    EXPECT_NE(back.findPath("Soft\\KeyB\\SubB\\Deeper"), nullptr);
    EXPECT_EQ(back.generation(), unchanged);
    EXPECT_EQ(back.findPath("Soft\\Many")->valueCount(), count);
    EXPECT_EQ(creg::writeHive(back), file);
    // An export passes through the values and leaves them packed.
    EXPECT_EQ(regedit4::exportKey(back, QStringLiteral("HKEY_USERS")), regedit4::exportKey(tree, QStringLiteral("HKEY_USERS")));
    EXPECT_FALSE(back.findPath("Soft\\Many")->packedValues().isNull());
    // Asked for, then changed: the key is written from its values, the other still packed.
    back.findPath("Soft\\Many")->setValue("v10", RegSz, "new");
    RegKey again;
    ASSERT_TRUE(creg::readHive(creg::writeHive(back), again, nullptr));
    EXPECT_EQ(again.findPath("Soft\\Many")->findValue("V10")->data, "new");
    EXPECT_EQ(again.findPath("Soft\\Other")->findValue("kept")->data, QByteArray(4, '\x01'));

    // "v11" becomes "V10": the file now names one value twice.
    const qsizetype at = file.indexOf("v11d1");
    ASSERT_GT(at, 0);
    file[at] = 'V';
    file[at + 2] = '0';
    // And the key "KeyB" becomes a twin of "KeyA": one key with both keys' values.
    const qsizetype keyB = file.indexOf("KeyB");
    ASSERT_GT(keyB, 0);
    file.replace(keyB, 4, "keya");
    reseal(file);
    RegKey twice;
    {
      const QByteArray copy = file;  // the reader's slices outlive the bytes they came from
      ASSERT_TRUE(creg::readHive(copy, twice, nullptr));
    }
    file.fill('\0');
    RegKey* t = twice.findPath("Soft\\Many");
    EXPECT_EQ(t->valueCount(), count - 1);
    EXPECT_EQ(t->findValue("v10")->data, "d1");
    EXPECT_EQ(t->values().front().name, "v10");
    ASSERT_EQ(twice.findPath("Soft")->subkeyCount(), 3);
    EXPECT_EQ(twice.findPath("Soft\\KeyA")->valueCount(), 2);
    EXPECT_EQ(twice.findPath("Soft\\KeyA")->findValue("b")->data, "2");
    // The twins' sub-keys join too, each with its own sub-tree.
    EXPECT_EQ(twice.findPath("Soft\\KeyA")->subkeyCount(), 2);
    EXPECT_NE(twice.findPath("Soft\\KeyA\\SubA"), nullptr);
    EXPECT_NE(twice.findPath("Soft\\keya\\SubB\\Deeper"), nullptr);
  }
}

// Looking one key up among many builds only that one; whatever is asked next, the tree is
// the one the file holds, with the keys handed out earlier in their places.
TEST(CregRead, KeysLookedUpOneByOneJoinTheirSiblingsInStoredOrder) {
  RegKey tree;
  RegKey* many = tree.createPath("Classes");
  for (int i = 0; i < 40; ++i) many->addSubkey(".x" + QByteArray::number(i))->setValue("", RegSz, "t" + QByteArray::number(i));
  many->findSubkey(".x30")->createPath("shell\\open");
  // Two names of one case-blind hash, which only their names tell apart.
  many->addSubkey("K47199");
  many->addSubkey("K1168204");
  const QByteArray file = creg::writeHive(tree);
  const std::function<void(RegKey&)> asks[] = {
      [](RegKey& k) { EXPECT_EQ(k.subkeyCount(), 42); },
      [](RegKey& k) { EXPECT_NE(k.addSubkey(".new"), nullptr); },
      [](RegKey& k) { EXPECT_TRUE(k.removeSubkey(".X31")); },
      [](RegKey& k) { EXPECT_EQ(k.findSubkey(".missing"), nullptr); },
  };
  for (const auto& ask : asks) {
    RegKey back;
    ASSERT_TRUE(creg::readHive(file, back, nullptr));
    const quint64 unchanged = back.generation();
    RegKey* classes = back.findSubkey("CLASSES");
    RegKey* x30 = back.findPath("classes\\.X30");
    RegKey* x5 = classes->findSubkey(".x5");
    ASSERT_TRUE(x30 && x5);
    EXPECT_EQ(x30, classes->findSubkey(".x30"));
    EXPECT_EQ(x5->findValue("")->data, "t5");
    EXPECT_NE(back.findPath("Classes\\.x30\\Shell\\Open"), nullptr);
    EXPECT_EQ(back.generation(), unchanged);
    ask(*classes);
    EXPECT_EQ(classes->subkey(5), x5);
    EXPECT_EQ(classes->subkey(30), x30);
    EXPECT_EQ(classes->subkey(0)->name(), ".x0");
  }
  for (const auto& [first, second] : {std::pair("k47199", "K1168204"), std::pair("K1168204", "k47199")}) {
    RegKey back;
    ASSERT_TRUE(creg::readHive(file, back, nullptr));
    RegKey* classes = back.findSubkey("Classes");
    const RegKey* a = classes->findSubkey(first);
    const RegKey* b = classes->findSubkey(second);
    ASSERT_TRUE(a && b);
    EXPECT_TRUE(ansiEqualNoCase(a->name(), first) && ansiEqualNoCase(b->name(), second));
  }
  RegKey untouched;
  ASSERT_TRUE(creg::readHive(file, untouched, nullptr));
  untouched.findPath("Classes\\.x7");
  EXPECT_EQ(creg::writeHive(untouched), file);
}

TEST(CregWrite, EmptyAndValueOnlyRootsRoundTrip) {
  for (bool withValue : {false, true}) {
    RegKey tree, back;
    if (withValue) tree.setValue("only", RegDword, dword(1));
    roundTrip(tree, back);
    EXPECT_TRUE(sameTree(tree, back));
  }
}

TEST(CregWrite, AParentWithMoreThan255SubkeysSpansBlocksInOrder) {
  RegKey tree;
  RegKey* wide = tree.addSubkey("CLSID");
  for (int i = 799; i >= 0; --i) wide->addSubkey(QByteArray("{") + QByteArray::number(i) + "}");
  RegKey back;
  Layout layout;
  roundTrip(tree, back, &layout);
  EXPECT_TRUE(sameTree(tree, back));
  EXPECT_GE(layout.blocks, 4);
  EXPECT_EQ(layout.mostKeysInABlock, 255);
}

// A key's record must fit one block. A tree holding a key too large for that cannot be
// written at all; dropping the values that do not fit would lose them silently.
TEST(CregWrite, DataTooLargeForOneBlockIsRefusedNotDropped) {
  struct Case {
    const char* what;
    std::vector<int> sizes;
    bool fits;
  } cases[] = {
      {"16 KiB value", {16384}, true},
      {"one value nearly filling a block", {61000}, true},
      {"value over the 16-bit length", {70000, 10}, false},
      {"key whose values add up past a block", {20000, 20000, 20000, 20000, 100}, false},
  };
  for (const Case& c : cases) {
    RegKey tree;
    RegKey* k = tree.addSubkey("Big");
    for (size_t i = 0; i < c.sizes.size(); ++i)
      k->setValue(QByteArray("v") + QByteArray::number(int(i)), RegBinary, QByteArray(c.sizes[i], char('a' + i)));
    QString error;
    const QByteArray hive = creg::writeHive(tree, &error);
    if (!c.fits) {
      EXPECT_TRUE(hive.isEmpty()) << c.what;
      EXPECT_TRUE(error.contains(QLatin1String("\"Big\""))) << error.toStdString();
      continue;
    }
    RegKey back;
    roundTrip(tree, back);
    EXPECT_TRUE(sameTree(tree, back)) << c.what;
  }
}

TEST(CregWrite, DeletedKeysAndValuesAreGoneAfterRewrite) {
  RegKey tree;
  buildSample(tree, 1500);
  RegKey loaded;
  roundTrip(tree, loaded);
  for (int g = 0; g < 7; g += 2) loaded.removeSubkey(QByteArray("group") + QByteArray::number(g));
  RegKey* g1 = loaded.findSubkey("Group1");
  for (int i = 1; i < 1500; i += 7) g1->findSubkey(QByteArray("Key") + QByteArray::number(i))->removeValue("name");
  RegKey back;
  roundTrip(loaded, back);
  EXPECT_TRUE(sameTree(loaded, back));
  EXPECT_EQ(back.subkeyCount(), 3);
}

// --- Damaged hives -------------------------------------------------------------------

class DamagedHive : public ::testing::Test {
 protected:
  void SetUp() override {
    RegKey tree;
    tree.createPath("A\\A1")->setValue("x", RegSz, "1");
    tree.createPath("A\\A2");
    tree.createPath("B")->setValue("y", RegBinary, QByteArray(40, 'y'));
    good = creg::writeHive(tree);
    block0 = get32(good, 0x08);
  }
  // Entry n of the RGKN (0 = root, 1 = A, 2 = B, 3 = A1, 4 = A2), as a file offset.
  static qsizetype entry(int n) { return 0x20 + 0x20 + 28 * n; }
  QByteArray good;
  qsizetype block0 = 0;
};

TEST_F(DamagedHive, IsRefusedWithAReasonAndLeavesTheTreeAlone) {
  const qsizetype firstRecord = block0 + 0x20;   // key A, no values
  const qsizetype recordB = firstRecord + 0x15;  // key B, one 40-byte value
  struct Case {
    const char* what;
    std::function<void(QByteArray&)> damage;
    bool resealed;
    const char* expected;
  } cases[] = {
      {"empty file", [](QByteArray& h) { h.clear(); }, false, "too short"},
      {"cut inside the RGKN", [](QByteArray& h) { h.truncate(0x100); }, false, "RGKN size"},
      {"cut inside the last block", [](QByteArray& h) { h.chop(100); }, false, "past the end"},
      {"bad CREG", [](QByteArray& h) { h[0] = 'X'; }, false, "CREG"},
      {"bad RGKN", [](QByteArray& h) { h[0x21] = 'X'; }, false, "RGKN signature"},
      {"bad RGDB", [&](QByteArray& h) { h[block0] = 'X'; }, false, "RGDB signature"},
      {"flipped header byte", [](QByteArray& h) { h[0x19] = 1; }, false, "header checksum"},
      {"flipped entry hash", [](QByteArray& h) { h[entry(1) + 4] ^= 1; }, false, "RGKN checksum"},
      {"flipped value byte", [&](QByteArray& h) { h[h.size() - 0x1000 + 0x60] ^= 0x10; }, false, "block 0"},
      {"sibling loop", [](QByteArray& h) { put32(h, entry(4) + 0x14, entry(3) - 0x20); }, true, "loop"},
      {"child back to the root", [](QByteArray& h) { put32(h, entry(3) + 0x10, 0x20); }, true, "loop"},
      {"link out of range", [](QByteArray& h) { put32(h, entry(2) + 0x14, 0x7FFFFFF0); }, true, "outside"},
      {"wrong parent", [](QByteArray& h) { put32(h, entry(3) + 0x0C, entry(2) - 0x20); }, true, "parent"},
      {"two keys, one record", [](QByteArray& h) { h[entry(2) + 0x18] = 0; }, true, "shares"},
      {"id pointing nowhere", [](QByteArray& h) { h[entry(2) + 0x18] = 99; }, true, "does not exist"},
      {"record past its block", [&](QByteArray& h) { put32(h, firstRecord, 0x5000); }, true, "runs past"},
      {"value past its record", [&](QByteArray& h) { put32(h, recordB + 8, 0x30); }, true, "value 0"},
  };
  for (const Case& c : cases) {
    QByteArray h = good;
    c.damage(h);
    if (c.resealed) reseal(h);
    RegKey root;
    root.createPath("Untouched")->setValue("v", RegDword, dword(7));
    const quint64 generation = root.generation();
    QString error;
    EXPECT_FALSE(creg::readHive(h, root, &error)) << c.what;
    EXPECT_TRUE(error.contains(QLatin1String(c.expected))) << c.what << ": " << error.toStdString();
    EXPECT_EQ(root.generation(), generation) << c.what;
    ASSERT_EQ(root.subkeyCount(), 1) << c.what;
    EXPECT_EQ(root.subkey(0)->name(), QByteArray("Untouched")) << c.what;
  }
}

TEST(CregRead, RefusesTreesDeeperThanAnyRealHive) {
  RegKey tree;
  RegKey* k = &tree;
  for (int i = 0; i < 600; ++i) k = k->addSubkey("d");
  RegKey root;
  QString error;
  EXPECT_FALSE(creg::readHive(creg::writeHive(tree), root, &error));
  EXPECT_TRUE(error.contains(QLatin1String("deeper"))) << error.toStdString();
}

// Random damage to the structures with checksums switched off, so that it reaches the
// structure checks; under the sanitizers this shows that no read goes out of bounds.
TEST_F(DamagedHive, RandomDamageNeverCrashesTheReader) {
  QByteArray plain = good;
  for (qsizetype flags : {qsizetype(0x12), qsizetype(0x30), block0 + 0x0C}) plain[flags] = char(plain[flags] & ~4);
  quint32 seed = 12345;
  auto next = [&] { return (seed = seed * 1103515245u + 12345u) >> 16; };
  int refused = 0;
  for (int round = 0; round < 3000; ++round) {
    QByteArray h = plain;
    for (int flips = 1 + next() % 3; flips > 0; --flips) {
      const qsizetype at = next() % 2 ? 0x20 + next() % (0x20 + 28 * 6) : block0 + next() % 0x100;
      h[at] = char(next() % 3 == 0 ? 0xFF : next());
    }
    RegKey root;
    QString error;
    if (!creg::readHive(h, root, &error)) {
      ++refused;
      EXPECT_FALSE(error.isEmpty());
      EXPECT_EQ(root.subkeyCount(), 0);
    }
  }
  EXPECT_GT(refused, 500);
}

TEST_F(DamagedHive, ChecksumsCountOnlyWhereFlagged) {
  QByteArray h = good;
  h[0x12] = char(h[0x12] & ~4);
  h[0x30] = char(h[0x30] & ~4);
  h[block0 + 0x0C] = char(h[block0 + 0x0C] & ~4);
  put32(h, 0x0C, 0x12345678);
  put32(h, 0x34, 0x12345678);
  h[h.size() - 0x1000 + 0x60] ^= 0x10;  // inside B's value data
  RegKey root;
  QString error;
  ASSERT_TRUE(creg::readHive(h, root, &error)) << error.toStdString();
  ASSERT_NE(root.findPath("B"), nullptr);
  EXPECT_NE(root.findPath("B")->values().front().data, QByteArray(40, 'y'));
}

}  // namespace
}  // namespace vt
