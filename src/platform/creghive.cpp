#include "platform/creghive.h"

namespace vt::creg {

bool readHive(const QByteArray&, RegKey&, QString* error) {
  if (error) *error = QStringLiteral("not implemented");
  return false;
}

QByteArray writeHive(const RegKey&) { return {}; }

}  // namespace vt::creg
