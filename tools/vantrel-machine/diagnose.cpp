#include "commands.h"

namespace vt::tool {

const char* const kHelpDiagnose = "(not built yet)\n";
int cmdDiagnose(Machine&, const QStringList&, Io& io) { return io.fail(Failed, QStringLiteral("not built yet")); }

}  // namespace vt::tool
