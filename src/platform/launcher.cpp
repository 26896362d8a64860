#include "platform/launcher.h"

#include "platform/machine.h"

namespace vt {

bool winExec(Machine&, const QString&, int) { return false; }

}  // namespace vt
