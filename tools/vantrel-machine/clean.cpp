#include "commands.h"

namespace vt::tool {

const char* const kHelpClean = "(not built yet)\n";
int cmdClean(Machine&, const QStringList&, Io& io) { return io.fail(Failed, QStringLiteral("not built yet")); }
const char* const kHelpCleanRegistry = "(not built yet)\n";
int cmdCleanRegistry(Machine&, const QStringList&, Io& io) { return io.fail(Failed, QStringLiteral("not built yet")); }
const char* const kHelpOptimise = "(not built yet)\n";
int cmdOptimise(Machine&, const QStringList&, Io& io) { return io.fail(Failed, QStringLiteral("not built yet")); }

}  // namespace vt::tool
