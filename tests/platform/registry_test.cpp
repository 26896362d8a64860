// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/registry.h"

#include <gtest/gtest.h>

namespace vt {
namespace {

TEST(RegKey, NamesMatchWithoutRegardToCaseAndKeepTheirCase) {
  RegKey root;
  RegKey* k = root.createPath("Software\\Microsoft");
  EXPECT_EQ(root.findPath("SOFTWARE\\microsoft"), k);
  EXPECT_EQ(root.addSubkey("software"), root.subkey(0));
  EXPECT_EQ(root.subkey(0)->name(), QByteArray("Software"));
  EXPECT_EQ(root.findPath(""), &root);
  EXPECT_EQ(root.findPath("Software\\\\Microsoft\\"), k);
}

TEST(RegKey, SetValueReplacesInPlaceAndKeepsOrder) {
  RegKey k;
  k.setValue("b", RegSz, "1");
  k.setValue("A", RegSz, "2");
  k.setValue("B", RegDword, QByteArray("\x05\0\0\0", 4));
  ASSERT_EQ(k.valueCount(), 2);
  EXPECT_EQ(k.values()[0].name, QByteArray("b"));
  EXPECT_EQ(k.values()[0].type, quint32(RegDword));
  EXPECT_TRUE(k.removeValue("a"));
  EXPECT_FALSE(k.removeValue("a"));
  EXPECT_EQ(k.valueCount(), 1);
}

TEST(RegKey, ManySubkeysStayFindableThroughTheIndex) {
  RegKey root;
  for (int i = 0; i < 600; ++i) root.addSubkey(QByteArray(".ext") + QByteArray::number(i));
  EXPECT_EQ(root.subkeyCount(), 600);
  EXPECT_EQ(root.findSubkey(".EXT599"), root.subkey(599));
  EXPECT_TRUE(root.removeSubkey(".Ext17"));
  EXPECT_EQ(root.findSubkey(".ext17"), nullptr);
  EXPECT_EQ(root.findSubkey(".ext18"), root.subkey(17));
  EXPECT_EQ(root.addSubkey(".EXT18"), root.subkey(17));

  // Bulk removal, also across the size below which the index is dropped.
  while (root.subkeyCount() > 3) {
    const QByteArray name = root.subkey(root.subkeyCount() / 2)->name();
    EXPECT_TRUE(root.removeSubkey(name.toLower()));
    EXPECT_EQ(root.findSubkey(name), nullptr) << name.constData();
  }
  EXPECT_EQ(root.findSubkey(root.subkey(2)->name().toUpper()), root.subkey(2));
  EXPECT_EQ(root.findSubkey(".ext17"), nullptr);
}

TEST(RegKey, ManyValuesStayFindableAfterRemovals) {
  RegKey k;
  for (int i = 0; i < 300; ++i) k.setValue(QByteArray("Value") + QByteArray::number(i), RegSz, QByteArray::number(i));
  EXPECT_TRUE(k.removeValue("VALUE0"));
  EXPECT_TRUE(k.removeValue("value150"));
  ASSERT_EQ(k.valueCount(), 298);
  EXPECT_EQ(k.findValue("VALUE299")->data, QByteArray("299"));
  EXPECT_EQ(k.findValue("value151")->data, QByteArray("151"));
  EXPECT_EQ(k.findValue("Value150"), nullptr);
  k.setValue("VALUE1", RegDword, "x");
  EXPECT_EQ(k.values()[0].name, QByteArray("Value1"));
  EXPECT_EQ(k.values()[0].type, quint32(RegDword));
}

TEST(RegKey, GenerationCountsChangesAnywhereBelowTheTop) {
  RegKey root;
  RegKey* deep = root.createPath("a\\b\\c");
  const quint64 g = root.generation();
  deep->setValue("x", RegSz, "y");
  EXPECT_GT(root.generation(), g);
  EXPECT_EQ(deep->generation(), root.generation());
}

TEST(Registry, AliasesAreViewsOfTheirTargets) {
  Registry reg;
  EXPECT_EQ(reg.root(HKey::ClassesRoot), nullptr);
  RegKey* txt = reg.createKey(HKey::ClassesRoot, u".txt");
  ASSERT_NE(txt, nullptr);
  EXPECT_EQ(reg.openKey(HKey::LocalMachine, u"SOFTWARE\\Classes\\.TXT"), txt);
  RegKey* desk = reg.createKey(HKey::CurrentUser, u"Control Panel\\Desktop");
  EXPECT_EQ(reg.openKey(HKey::Users, u".DEFAULT\\Control Panel\\Desktop"), desk);
  RegKey* cfg = reg.createKey(HKey::CurrentConfig, u"Display");
  EXPECT_EQ(reg.openKey(HKey::LocalMachine, u"Config\\0001\\Display"), cfg);
}

TEST(Registry, DeleteKeyTakesTheSubtreeButNeverARoot) {
  Registry reg;
  reg.createKey(HKey::LocalMachine, u"SOFTWARE\\Tarvo\\Vantrel\\Deep");
  EXPECT_TRUE(reg.deleteKey(HKey::LocalMachine, u"software\\tarvo"));
  EXPECT_EQ(reg.openKey(HKey::LocalMachine, u"SOFTWARE\\Tarvo\\Vantrel"), nullptr);
  EXPECT_NE(reg.openKey(HKey::LocalMachine, u"SOFTWARE"), nullptr);
  EXPECT_FALSE(reg.deleteKey(HKey::LocalMachine, u""));
  reg.createKey(HKey::ClassesRoot, u".txt");
  EXPECT_FALSE(reg.deleteKey(HKey::ClassesRoot, u""));
  EXPECT_FALSE(reg.deleteKey(HKey::Users, u"missing"));
}

TEST(Registry, RootNamesParseBothWays) {
  for (HKey k : {HKey::ClassesRoot, HKey::CurrentUser, HKey::LocalMachine, HKey::Users, HKey::CurrentConfig, HKey::DynData}) {
    HKey parsed;
    ASSERT_TRUE(parseRootName(rootName(k), &parsed));
    EXPECT_EQ(parsed, k);
  }
  HKey parsed;
  EXPECT_TRUE(parseRootName(u"hklm", &parsed));
  EXPECT_EQ(parsed, HKey::LocalMachine);
  EXPECT_FALSE(parseRootName(u"HKEY_NOWHERE", &parsed));
}

}  // namespace
}  // namespace vt
