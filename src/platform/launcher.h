// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// WinExec on the machine. The registry editor's three command lines are carried out on
// the machine's registry; every other command line is written to the launch journal and,
// where the user's own programs.ini maps the program to a host command, that command is
// started detached. Nothing is awaited, as on Windows.
//
// The mapping is the user's, never the machine folder's: a machine someone else made must
// not be able to run programs on this host.
#include "platform/hostprograms.h"

#include <QByteArray>
#include <QString>

#include <functional>

namespace vt {

class Machine;

inline constexpr const char* kLaunchJournalName = "launch.log";

// Carries out the registry editor's arguments ("/e FILE", "/c FILE" or "FILE") on the
// machine's registry and reports whether it worked, which WinExec cannot tell its caller.
// An import is all or nothing: a file that does not parse, a replacement from a file that
// is no whole export (regedit4.h), or registry files that cannot be saved leave the registry, in
// memory and on disk, as it was. `error` says why it failed.
bool runRegistryEditor(Machine& machine, const QString& args, QString* error);
// The merge ("FILE") or, with `replace`, the replacement ("/c FILE") of REGEDIT4 text the
// caller has already read from `file`, which names it in errors. All or nothing as above.
// `verify`, when given, is asked once the text has been read and found good and before
// anything changes; false refuses the import with the reason it gives. A caller can so
// check the text by other means at the same time as it is read.
bool importRegistryText(Machine& machine, const QString& file, const QByteArray& text, bool replace, QString* error,
                        const std::function<bool(QString*)>& verify = {});

// Returns true when the command was carried out or started (WinExec's result > 31).
bool winExec(Machine& machine, const QString& commandLine, int showCmd);

}  // namespace vt
