#pragma once
#include <QString>

namespace vt::sample {

// Creates the built-in sample Windows 95 machine in `folder`, which must be empty or absent.
bool createSampleMachine(const QString& folder, QString* error);

}  // namespace vt::sample
