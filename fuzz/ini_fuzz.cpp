// SPDX-License-Identifier: GPL-3.0-or-later
// INI files of the machine (WIN.INI, SYSTEM.INI, DESKTOP.INI, MSDOS.SYS): an untouched
// document writes back byte for byte; one write changes exactly the key it names, which
// then reads back as written, and every other key keeps its value.
#include "fuzzcheck.h"
#include "platform/profile.h"
#include "platform/text.h"

#include <vector>

namespace {

struct Entry {
  QString section, key, value;
};

std::vector<Entry> everything(const vt::IniDocument& doc) {
  std::vector<Entry> out;
  for (const QString& s : doc.sections())
    for (const QString& k : doc.keys(s)) out.push_back({s, k, doc.value(s, k).value_or(QStringLiteral("<missing>"))});
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vt;
  if (size < 3) return 0;
  // Three bytes choose the write; the rest is the file.
  const uint8_t pickSection = data[0], pickKey = data[1], valueLength = data[2];
  const QByteArray bytes(reinterpret_cast<const char*>(data + 3), qsizetype(size - 3));

  IniDocument doc(bytes);
  FUZZ_CHECK(doc.toBytes() == bytes);
  const std::vector<Entry> before = everything(doc);

  // The write names an existing section and key where there are some, or new ones; the
  // value is plain text, which reads back exactly as written.
  const QStringList sections = doc.sections();
  QString section = QStringLiteral("NewSection");
  if (!sections.isEmpty() && pickSection < 200) section = sections[pickSection % sections.size()];
  const QStringList keys = doc.keys(section);
  QString key = QStringLiteral("NewKey");
  if (!keys.isEmpty() && pickKey < 200) key = keys[pickKey % keys.size()];
  QString value;
  for (int i = 0; i < valueLength % 40; ++i) value += QChar(u'a' + (i * 7 + valueLength) % 26);

  doc.setValue(section, key, value);
  const IniDocument reread(doc.toBytes());
  const bool addressable = !toAnsi(section).trimmed().isEmpty() && !toAnsi(key).trimmed().isEmpty();
  if (!addressable) {
    FUZZ_CHECK(doc.toBytes() == bytes);
    return 0;
  }
  FUZZ_CHECK(reread.value(section, key) == value, (section + QLatin1Char('/') + key).toStdString());
  for (const Entry& e : before) {
    if (winEqualNoCase(e.section, section) && winEqualNoCase(e.key, key)) continue;
    FUZZ_CHECK(reread.value(e.section, e.key) == e.value, (e.section + QLatin1Char('/') + e.key).toStdString());
  }
  return 0;
}
