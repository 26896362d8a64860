#include "sample/samplemachine.h"

namespace vt::sample {

bool createSampleMachine(const QString&, QString* error) {
  if (error) *error = QStringLiteral("not implemented");
  return false;
}

}  // namespace vt::sample
