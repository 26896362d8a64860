// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Small files of the formats a Windows 95 disk holds, made from scratch for the sample
// machine: executables and drivers that carry their format's headers (and, where DOS can
// run them, a real program that says what they are), fonts, help files, Program Manager
// groups and sounds (shortcuts and program information files are written by the
// platform's shelllink.h). None of them holds bytes of the programs whose names they carry.
#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

namespace vt::sample {

// A DOS .COM program that prints `message` and ends.
QByteArray dosComProgram(const QByteArray& message);
// A DOS MZ program that prints `message` and ends with exit code 1.
QByteArray dosExeProgram(const QByteArray& message);

// The version a module's version resource gives: 4.00.950 is {4, 0, 950}.
struct ModuleVersion {
  quint16 major = 0, minor = 0, build = 0, revision = 0;
};
// A version resource holding only its fixed part: as a 16-bit module keeps it (key in
// ANSI) or as a 32-bit one does (`wide`: a type word and the key in UTF-16).
QByteArray versionResource(const ModuleVersion& version, bool wide);

enum class PeKind { GuiExe, ConsoleExe, Dll };
// A Win32 PE image: DOS header and stub, "PE\0\0", COFF and optional header, one code
// section whose entry point returns at once, and with a version a resource section that
// holds it. `imageBase` 0 picks the usual base.
QByteArray peImage(const QString& name, PeKind kind, quint32 imageBase = 0, std::optional<ModuleVersion> version = {});
// A 16-bit Windows NE module (program, library or driver) with its module name, and with
// a version a resource table that holds it.
QByteArray neModule(const QString& moduleName, bool library, const QByteArray& description = {},
                    std::optional<ModuleVersion> version = {});
// A virtual device driver in the LE format, as .386 and .VXD files are.
QByteArray leVxd(const QString& deviceName);
// A DOS device driver (.SYS) whose initialisation declines to stay resident.
QByteArray dosDeviceDriver(const QString& deviceName);

// A TrueType file holding only its naming table.
QByteArray trueTypeFont(const QString& family, const QString& fullName);
// A Windows 3.x raster font (.FON): an NE module whose description names the font
// ("FONTRES 100,96,96 : MS Sans Serif 8,10,12,14,18,24").
QByteArray rasterFont(const QString& moduleName, const QString& description);
// A WinHelp file or help index: the 3F 5F 03 00 signature and its header (cut off at
// `size` when that is smaller than the header).
QByteArray winHelpFile(int size);
// A Program Manager group (PMCC) with no items; its 16-bit words sum to 0.
QByteArray programManagerGroup(const QString& title);

// One stretch of a sound: the frequencies (Hz) sounding together for `ms` milliseconds.
struct Tone {
  QList<double> frequencies;
  int ms = 0;
};
// An 8-bit mono PCM WAVE file at 11025 Hz; each tone rings out with a soft decay.
QByteArray waveFile(const QList<Tone>& tones);
// Parses "1568:150,1319+1568:400" (frequencies joined by '+', duration after ':').
bool parseTones(const QString& text, QList<Tone>* out);

// Filler bytes that look like what a program leaves behind (deterministic per seed).
QByteArray junkBytes(int size, quint32 seed, const QByteArray& textHint = {});

// FILETIME (100-ns ticks since 1601-01-01 UTC) of a moment.
quint64 toFileTime(const QDateTime& when);

// Little-endian writers shared by the generators.
void putU16(QByteArray& b, int offset, quint32 v);
void putU32(QByteArray& b, int offset, quint32 v);
void putU64(QByteArray& b, int offset, quint64 v);

}  // namespace vt::sample
