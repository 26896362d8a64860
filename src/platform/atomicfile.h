// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Replacing a file so that a crash or a full disk never leaves it half-written: the new
// contents go to a temporary file beside it, are flushed to disk, take over the old file's
// permissions and extended attributes, and only then replace it by rename.
#include <QByteArray>
#include <QString>

namespace vt {

// Temporary files are named with this prefix and six random letters or digits, whatever
// the target's name, so that a 255-character name still has room for its temporary file.
// Directory listings skip such names.
inline constexpr const char* kAtomicTempPrefix = ".vt~";

// True for a name an atomic write gives its temporary file.
bool isAtomicTempName(const char* name);
// Removes the temporary file at `hostPath` if it was left by a write that never finished
// (its process was killed): a write in progress holds a lock on its file, which is then
// kept. False when the file is kept.
bool removeAbandonedAtomicTemp(const char* hostPath);
// The same for the entry `name` of the open folder `dirFd`, for walks that come upon one;
// names that are not an atomic write's do nothing.
bool removeAbandonedAtomicTempAt(int dirFd, const char* name);

// Writes `bytes` to `hostPath`. On failure the old file is left whole, the temporary file
// is removed, and `errnoOut` (if given) receives the errno of the failing step.
bool writeFileAtomically(const QString& hostPath, const QByteArray& bytes, int* errnoOut = nullptr);

// The whole of `size` bytes at offset `at` of an open file, read or written in as many calls
// as the kernel takes (an interrupted call is repeated). False on an error or, reading,
// at the end of the file.
bool readAt(int fd, char* data, qint64 size, qint64 at);
bool writeAt(int fd, const char* data, qint64 size, qint64 at);

// A hook for tests: when set, the write fails after this many bytes went to the temporary
// file, as a full disk would make it.
void setAtomicWriteFailureAfter(qint64 bytes);

}  // namespace vt
