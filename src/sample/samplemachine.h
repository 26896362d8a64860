// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The built-in sample machine: an English Windows 95 OSR2 installation with the small
// faults a real one collects over two years of use (see docs/machine.md, "What the sample
// machine holds"). Its text files, registry and list of generated files are compiled in
// from data/sample; the executables, fonts, pictures, sounds and shortcuts are made when
// the machine is created.
#include <QString>

namespace vt::sample {

// Creates the sample machine in `folder`, which must be empty or absent (an absent one
// is created). On failure `error` says why and whatever was created is removed again.
bool createSampleMachine(const QString& folder, QString* error);

}  // namespace vt::sample
