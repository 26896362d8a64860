// The clean-up pages of the main window: the buttons hand their step to the widget-free
// clean-up logic, which makes the automatic backup and tells the user the outcome.
#include "app/unit1.h"
#include "cleanup/optimisers.h"
#include "platform/machine.h"

namespace vt {

void TForm1::Knopf_WINiniClick() { OptimizeWinIni(); }
void TForm1::Knopf_StartdateienClick() { OptimizeStartFiles(); }

void TForm1::OptimizeWinIni() {
  cleanup::Optimiser o{machine_.files(), backups_, dialogs_, state_, windowsDirectory_};
  cleanup::OptimizeWinIni(o);
}

void TForm1::OptimizeStartFiles() {
  cleanup::Optimiser o{machine_.files(), backups_, dialogs_, state_, windowsDirectory_};
  cleanup::OptimizeStartFiles(o);
}

}  // namespace vt
