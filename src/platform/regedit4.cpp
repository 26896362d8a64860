#include "platform/regedit4.h"

namespace vt::regedit4 {

QByteArray exportRegistry(const Registry&) { return {}; }
QByteArray exportKey(const RegKey&, const QString&) { return {}; }
bool importText(const QByteArray&, Registry&, ImportMode, QString* error) {
  if (error) *error = QStringLiteral("not implemented");
  return false;
}

}  // namespace vt::regedit4
