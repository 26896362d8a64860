// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/attributestore.h"

#include "platform/filesystem.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/xattr.h>

namespace vt {
namespace {

class StoreTest : public ::testing::TestWithParam<bool> {
 protected:
  StoreTest() {
    QDir(dir.path()).mkpath(QStringLiteral("drives/C/SUB"));
    for (const char* f : {"drives/C/MSDOS.SYS", "drives/C/SUB/A.TXT", "drives/C/SUB/B.TXT"}) touch(QLatin1String(f));
    store = makeAttributeStore(dir.path(), GetParam());
  }
  QString path(const char* rel) const { return dir.path() + QLatin1Char('/') + QLatin1String(rel); }
  void touch(QLatin1String rel) {
    QFile f(dir.path() + QLatin1Char('/') + rel);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  }
  mode_t mode(const char* rel) const {
    struct stat st = {};
    ::stat(QFile::encodeName(path(rel)).constData(), &st);
    return st.st_mode & 07777;
  }
  QTemporaryDir dir;
  std::unique_ptr<AttributeStore> store;
};

TEST_P(StoreTest, ReadOnlyIsTheHostWritePermission) {
  // Where the temp folder refuses user.* attributes, both runs test the file store.
  if (GetParam()) {
    EXPECT_EQ(store->kind(), QStringLiteral("file"));
  }
  ::chmod(QFile::encodeName(path("drives/C/SUB/A.TXT")).constData(), 0664);
  ASSERT_TRUE(store->set(path("drives/C/SUB/A.TXT"), AttrReadOnly));
  EXPECT_EQ(mode("drives/C/SUB/A.TXT"), 0444u);
  ASSERT_TRUE(store->set(path("drives/C/SUB/A.TXT"), AttrArchive));
  const mode_t umask = ::umask(022);
  ::umask(umask);
  EXPECT_EQ(mode("drives/C/SUB/A.TXT"), mode_t(0644 | (0222 & ~umask)));
  // Nothing stored, but the host took the write permission away.
  ::chmod(QFile::encodeName(path("drives/C/SUB/B.TXT")).constData(), 0400);
  EXPECT_EQ(store->get(path("drives/C/SUB/B.TXT")).value_or(0), quint32(AttrReadOnly));
  // Folders keep their permissions whatever their attributes say.
  ASSERT_TRUE(store->set(path("drives/C/SUB"), AttrReadOnly));
  EXPECT_NE(mode("drives/C/SUB") & 0200, 0u);
}

INSTANTIATE_TEST_SUITE_P(Stores, StoreTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "File" : "Xattr"; });

TEST(XattrStore, ReadsTheFormsOtherProgramsWrite) {
  QTemporaryDir dir;
  auto store = makeAttributeStore(dir.path(), false);
  if (store->kind() != QLatin1String("xattr")) GTEST_SKIP() << "the temp folder takes no user.* attributes";
  const QString file = dir.path() + QStringLiteral("/F");
  QFile(file).open(QIODevice::WriteOnly);
  const QByteArray name = QFile::encodeName(file);
  struct Case {
    QByteArray raw;
    std::optional<quint32> attrs;
  } cases[] = {
      {"0x27", 0x27},
      {QByteArray("0x22\0\x03\0\x03\0\x22\0\0\0", 12), 0x22},  // text, NUL, then a binary record
      {"0X1", 0x01},
      {"0xa0", 0x20},  // NT bits beyond the four DOS ones are dropped
      {"garbage", std::nullopt},
      {"", std::nullopt},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(::setxattr(name.constData(), "user.DOSATTRIB", c.raw.constData(), size_t(c.raw.size()), 0), 0);
    EXPECT_EQ(store->get(file), c.attrs) << c.raw.toStdString();
  }
  ASSERT_TRUE(store->set(file, AttrHidden | AttrArchive));
  char buf[32] = {};
  const ssize_t n = ::getxattr(name.constData(), "user.DOSATTRIB", buf, sizeof buf);
  EXPECT_EQ(QByteArray(buf, int(n)), QByteArray("0x22"));
}

TEST(FileStore, KeepsOneLinePerFileAndFollowsMovesAndDeletes) {
  QTemporaryDir dir;
  auto store = makeAttributeStore(dir.path(), true);
  const QString root = dir.path() + QStringLiteral("/drives/C");
  QDir().mkpath(root + QStringLiteral("/OLD/SUB"));
  for (const char* f : {"/MSDOS.SYS", "/OLD/SUB/X", "/OLD/Y", "/OLDER"})
    QFile(root + QLatin1String(f)).open(QIODevice::WriteOnly);
  ASSERT_TRUE(store->set(root + QStringLiteral("/MSDOS.SYS"), 0x27));
  ASSERT_TRUE(store->set(root + QStringLiteral("/OLD/SUB/X"), AttrHidden));
  ASSERT_TRUE(store->set(root + QStringLiteral("/OLD/Y"), AttrSystem));
  ASSERT_TRUE(store->set(root + QStringLiteral("/OLDER"), AttrArchive));
  EXPECT_FALSE(store->set(QStringLiteral("/elsewhere/file"), AttrHidden));

  store->moved(root + QStringLiteral("/OLD"), root + QStringLiteral("/NEW"));
  store->removed(root + QStringLiteral("/NEW/Y"));
  QFile f(dir.path() + QLatin1Char('/') + QLatin1String(kAttributeFileName));
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_EQ(f.readAll(), QByteArray("0x27\tdrives/C/MSDOS.SYS\n0x2\tdrives/C/NEW/SUB/X\n0x20\tdrives/C/OLDER\n"));
  f.close();

  // Lines another run wrote are read; lines nobody could have meant are skipped.
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write("0x4\tdrives/C/OLDER\r\nnonsense\n0xZZ\tdrives/C/NEW/SUB/X\n\t\n");
  f.close();
  EXPECT_EQ(store->get(root + QStringLiteral("/OLDER")).value_or(0), quint32(AttrSystem));
  EXPECT_EQ(store->get(root + QStringLiteral("/NEW/SUB/X")), std::nullopt);

  // The last entry gone, the file goes too.
  store->removed(root + QStringLiteral("/OLDER"));
  EXPECT_FALSE(QFile::exists(f.fileName()));
}

}  // namespace
}  // namespace vt
