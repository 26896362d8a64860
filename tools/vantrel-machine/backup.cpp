#include "commands.h"

namespace vt::tool {

const char* const kHelpBackup = "(not built yet)\n";
int cmdBackup(Machine&, const QStringList&, Io& io) { return io.fail(Failed, QStringLiteral("not built yet")); }
const char* const kHelpRescueDisk = "(not built yet)\n";
int cmdRescueDisk(Machine&, const QStringList&, Io& io) { return io.fail(Failed, QStringLiteral("not built yet")); }

}  // namespace vt::tool
