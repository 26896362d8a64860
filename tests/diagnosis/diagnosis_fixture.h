// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A healthy Windows 95 machine on which every check finds nothing until a test plants a fault.
#include "diagnosis/analysis.h"
#include "platform/machine.h"
#include "platform/text.h"
#include "support/testmachine.h"
#include "sysaccess/ini.h"
#include "sysaccess/reg.h"

#include <QtEndian>

namespace vt::test {

using namespace Qt::Literals::StringLiterals;

inline QByteArray dword(quint32 v) {
  QByteArray b(4, '\0');
  qToLittleEndian(v, b.data());
  return b;
}

struct HealthyPc {
  TestMachine tm;
  SharedState state;
  RegAccess reg{tm.machine(), state};
  IniAccess ini{tm.machine()};
  QString w, s;

  explicit HealthyPc(const QString& machineKeys = {}, const QString& extraIni = {}) : tm(machineKeys, extraIni) {
    state.language = English;
    w = tm.machine().facts().windowsDirectory;
    s = tm.machine().facts().systemDirectory;
    tm.fs().createDirectories(s);
    tm.writeRegistryFiles();
    for (const char* lib : {"KERNEL32.DLL", "GDI32.DLL", "USER32.DLL", "SHELL32.DLL", "WSOCK32.DLL"})
      file(s + u'\\' + QLatin1String(lib));
    file(w + u"\\SYSTEM.INI"_s, "[386Enh]\r\ndevice=*vshare\r\n");
    file(w + u"\\FONTS\\ARIAL.TTF"_s);
    RegKey* fsKey = key(HKey::LocalMachine, diagnosis::kFileSystemKey);
    const std::pair<const char*, quint32> normal[] = {{"SoftCompatMode", 1}, {"PreserveLongNames", 1},
                                                      {"VirtualHDIRQ", 1},   {"AsyncFileCommit", 0},
                                                      {"ForceRMIO", 0},      {"DriveWriteBehind", ~0u}};
    for (const auto& [name, value] : normal) fsKey->setValue(name, RegBinary, dword(value));
    key(HKey::LocalMachine, diagnosis::kFontsKey)->setValue("Arial (TrueType)", RegSz, "ARIAL.TTF");
    RegKey* device = key(HKey::DynData, u"Config Manager\\Enum\\C29A4990");
    device->setValue("HardWareKey", RegSz, "ISAPNP\\CTL0031\\0");
    device->setValue("Problem", RegBinary, dword(0));
    key(HKey::LocalMachine, u"Enum\\ISAPNP\\CTL0031\\0")->setValue("DeviceDesc", RegSz, "Creative SB16");
    tm.machine().saveRegistry();
  }

  // Writes a file through the machine, making its folders.
  void file(const QString& winPath, const QByteArray& bytes = "MZ") {
    tm.fs().createDirectories(winPath.left(winPath.lastIndexOf(u'\\')));
    tm.fs().writeFile(winPath, bytes);
  }
  RegKey* key(HKey root, QStringView path) { return tm.registry().createKey(root, path); }
  diagnosis::Folders folders() const { return {w, s, w + u"\\FONTS"_s}; }
  diagnosis::Findings analyse() { return diagnosis::Analysis(tm.machine(), reg, ini, state, folders()).run(); }
};

}  // namespace vt::test
