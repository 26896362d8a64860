// SPDX-License-Identifier: GPL-3.0-or-later
#include "tuning/apply.h"

#include "platform/machine.h"
#include "platform/registry.h"

namespace vt::tuning {

std::optional<ApplyFailure> applyChanges(System& sys, const Pending& pending, QStringList* changedBoxes) {
  QString why;
  if (const int panel = logos::saveChanged(sys.machine.files(), sys.windowsDirectory, pending.logos, &why))
    return ApplyFailure{ApplyStep::Logo, logos::path(panel, sys.windowsDirectory), why};

  // A delay is compared as the page shows it, so a stored value the up-down cannot show
  // (a 45 s pause, a menu delay that is no number) survives an apply that did not touch it.
  struct Delay {
    const std::optional<int>& shown;
    int (*read)(System&);
    bool (*write)(System&, int);
    ApplyStep step;
    QString place;
  };
  const Delay delays[] = {
      {pending.bootMenuDelay, &readBootMenuDelay, &writeBootMenuDelay, ApplyStep::BootMenuDelay, sys.msdosSys()},
      {pending.bootDelay, &readBootDelay, &writeBootDelay, ApplyStep::BootDelay, sys.msdosSys()},
      {pending.menuShowDelay, &readMenuShowDelay, &writeMenuShowDelay, ApplyStep::MenuShowDelay,
       QStringLiteral("HKEY_CURRENT_USER\\Control Panel\\desktop\\MenuShowDelay")},
  };
  for (const Delay& d : delays)
    if (d.shown && *d.shown != d.read(sys) && !d.write(sys, *d.shown)) return ApplyFailure{d.step, d.place, {}};

  for (const TextField& f : textFields()) {
    const auto text = pending.texts.constFind(QLatin1String(f.edit));
    if (text != pending.texts.cend() && *text != readTextField(sys, f) && !writeTextField(sys, f, *text))
      return ApplyFailure{
          ApplyStep::TextField,
          rootName(f.root) + QLatin1Char('\\') + QLatin1String(f.key) + QLatin1Char('\\') + QLatin1String(f.value),
          {}};
  }

  for (const Switch& row : catalogue()) {
    const auto checked = pending.switches.constFind(QLatin1String(row.box));
    if (checked == pending.switches.cend()) continue;
    const bool differs = row.read(sys) != *checked;
    if (!applySwitch(sys, row, *checked)) return ApplyFailure{ApplyStep::Switch, QLatin1String(row.box), {}};
    if (differs && changedBoxes) changedBoxes->append(QLatin1String(row.box));
  }
  return std::nullopt;
}

QString applyFailedText(const ApplyFailure& failure, const QString& shown, const SharedState& state) {
  if (failure.step == ApplyStep::Logo)
    return QString::fromUtf8(
               state.pick("Das Logo \"%1\" konnte nicht gespeichert werden.\rEs wurden keine weiteren Änderungen übernommen.",
                          "The logo \"%1\" could not be saved.\rNo further changes were assigned."))
        .arg(shown);
  return QString::fromUtf8(state.pick("\"%1\" konnte nicht übernommen werden.\rEs wurden keine weiteren Änderungen übernommen.",
                                      "\"%1\" could not be assigned.\rNo further changes were assigned."))
      .arg(shown);
}

}  // namespace vt::tuning
