#include "sysaccess/lettered.h"

#include "platform/text.h"

namespace vt {

LetteredSection readLetteredSection(const std::optional<QByteArray>& file, QChar letter) {
  LetteredSection s;
  if (!file) return s;
  const QByteArray header = QByteArray("[") + char(letter.toLatin1()) + ']';
  const QList<QByteArray> lines = splitLines(*file);
  qsizetype i = 0;
  while (i < lines.size() && lines[i] != header) ++i;
  if (i == lines.size()) {
    s.status = LetteredSection::NoHeader;
    return s;
  }
  for (++i; i < lines.size(); ++i) {
    if (lines[i].startsWith('[')) {
      s.status = LetteredSection::Complete;
      return s;
    }
    s.lines << fromAnsi(lines[i]);
  }
  s.status = LetteredSection::NoEnd;
  return s;
}

}  // namespace vt
