#include "commands.h"

namespace vt::tool {

const char* const kHelpTune = "(not built yet)\n";
int cmdTune(Machine&, const QStringList&, Io& io) { return io.fail(Failed, QStringLiteral("not built yet")); }

}  // namespace vt::tool
