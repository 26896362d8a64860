// SPDX-License-Identifier: GPL-3.0-or-later
#include "diagnosis/analysis.h"

#include "diagnosis/diagnosis_fixture.h"

#include <gtest/gtest.h>

#include <functional>

namespace vt::diagnosis {
namespace {

using namespace Qt::Literals::StringLiterals;
using test::dword;
using test::HealthyPc;

// One machine per letter with faults the check must find and near misses it must let pass;
// the detail list holds exactly the faults.
TEST(Analysis, EachCheckRecordsItsLetterExactlyOnItsCondition) {
  const struct {
    const char* name;
    std::function<void(HealthyPc&)> plant;
    const char* problems;
    QStringList details;
    QString machineKeys = {}, extraIni = {};
  } cases[] = {
      {"healthy", [](HealthyPc&) {}, "", {}},
      {"A: 8 MB less a byte", [](HealthyPc&) {}, "A", {}, u"PhysicalMemory=8388607"_s},
      {"A: 8 MB", [](HealthyPc&) {}, "", {}, u"PhysicalMemory=8388608"_s},
      {"B: 20 MB less a byte",
       [](HealthyPc&) {},
       "B",
       {},
       u"WindowsDirectory=E:\\WINDOWS"_s,
       u"[Drive E]\r\nFreeBytes=20971519\r\n"_s},
      {"B: 20 MB", [](HealthyPc&) {}, "", {}, u"WindowsDirectory=E:\\WINDOWS"_s, u"[Drive E]\r\nFreeBytes=20971520\r\n"_s},
      {"C",
       [](HealthyPc& pc) {
         pc.file(pc.s + u"\\THERE.386"_s);
         pc.file(pc.w + u"\\SYSTEM.INI"_s,
                 "[386Enh]\r\ndevice=c:\\windows\\system\\foo.386\r\ndevice=*vshare\r\n"
                 "device=C:\\WINDOWS\\SYSTEM\\THERE.386 /X\r\ndevice=C:\\GONE\\X.VXD\r\n");
       },
       "C",
       {"DEVICE=C:\\WINDOWS\\SYSTEM\\FOO.386"}},
      {"D",
       [](HealthyPc& pc) {
         pc.file(u"C:\\TOOLS\\B.EXE"_s);
         pc.file(u"C:\\TOOLS\\V1.0\\C.EXE"_s);  // a folder's extension is none of the file's
         pc.file(pc.w + u"\\WIN.INI"_s,
                 "[windows]\r\nload=C:\\TOOLS\\A.EXE C:\\TOOLS\\B.EXE C:\\TOOLS\\V1.0\\C.EXE NOTEPAD.EXE\r\n");
       },
       "D",
       {"C:\\TOOLS\\A.EXE"}},
      // Either case of .exe ends a run= program.
      {"E",
       [](HealthyPc& pc) {
         pc.file(u"C:\\X\\HERE.EXE"_s);
         pc.file(pc.w + u"\\WIN.INI"_s, "[windows]\r\nrun=c:\\x\\y.exe C:\\X\\HERE.EXE C:\\X\\Z.EXE\r\n");
       },
       "E",
       {"c:\\x\\y.exe", "C:\\X\\Z.EXE"}},
      // A name with its own extension is also tried as written; a folder is no program.
      {"F",
       [](HealthyPc& pc) {
         pc.file(u"C:\\MOUSE\\MOUSE.COM"_s);
         pc.file(u"C:\\DOS\\DOSKEY.COM"_s);
         pc.tm.fs().createDirectories(u"C:\\TOOLS\\RUN");
         pc.file(u"C:\\Autoexec.bat"_s,
                 "c:\\scan\\init /q\r\nC:\\TOOLS\\RUN\r\nC:\\DOS\\GONE.COM\r\nC:\\MOUSE\\MOUSE /Y\r\n"
                 "C:\\DOS\\DOSKEY.COM /INSERT\r\nSET PATH=C:\\GONE\r\nGONE.EXE\r\n");
       },
       "F",
       {"C:\\SCAN\\INIT /Q", "C:\\TOOLS\\RUN", "C:\\DOS\\GONE.COM"}},
      {"G",
       [](HealthyPc& pc) {
         pc.file(u"C:\\WINDOWS\\HIMEM.SYS"_s);
         pc.file(u"C:\\WINDOWS\\EMM386.EXE"_s);
         pc.file(u"C:\\Config.sys"_s,
                 "devicehigh=C:\\SCAN\\ASPI.SYS /D\r\nDEVICE=C:\\WINDOWS\\HIMEM.SYS\r\n"
                 "DEVICE= C:\\WINDOWS\\EMM386.EXE NOEMS\r\nFILES=40\r\n");
       },
       "G",
       {"DEVICEHIGH=C:\\SCAN\\ASPI.SYS /D"}},
      // Run entries are examined only with a drive path and a small .exe.
      {"N",
       [](HealthyPc& pc) {
         pc.file(pc.w + u"\\TASKMON.EXE"_s);
         RegKey* run = pc.key(HKey::LocalMachine, kRunKey);
         run->setValue("Fax", RegSz, "C:\\FAX\\fmtray.exe /min");
         run->setValue("TaskMonitor", RegSz, "C:\\WINDOWS\\taskmon.exe");
         run->setValue("Caps", RegSz, "C:\\X\\Y.EXE");
         run->setValue("SystemTray", RegSz, "SysTray.Exe");
         pc.file(u"C:\\NETSCA~1.5\\NETSCAPE.EXE"_s);
         run->setValue("Turbo", RegSz, "C:\\NETSCA~1.5\\netscape.exe -turbo");
       },
       "N",
       {"Fax"}},
      {"O",
       [](HealthyPc& pc) {
         pc.tm.fs().deleteFile(pc.s + u"\\GDI32.DLL"_s);
         pc.tm.fs().moveFile(pc.s + u"\\KERNEL32.DLL"_s, pc.w + u"\\KERNEL32.DLL"_s);
       },
       "O",
       {"gdi32.dll"}},
      {"P",
       [](HealthyPc& pc) {
         pc.file(pc.w + u"\\W.FON"_s);
         pc.file(pc.s + u"\\S.FON"_s);
         pc.file(u"C:\\MYFONTS\\M.TTF"_s);
         RegKey* fonts = pc.key(HKey::LocalMachine, kFontsKey);
         for (const char* name : {"W.FON", "S.FON", "C:\\MYFONTS\\M.TTF", "", "BOOKOS.TTF", "D:\\FONTS\\X.TTF"})
           fonts->setValue(name, RegSz, name);
       },
       "P",
       {"BOOKOS.TTF", "D:\\FONTS\\X.TTF"}},
      {"Q",
       [](HealthyPc& pc) {
         const std::tuple<const char*, const char*, quint32> devices[] = {{"C29A4AC0", "ISAPNP\\CTL7001\\0", 0x0C},
                                                                          {"C29A4BF0", "ROOT\\UNKNOWN\\0000", 1},
                                                                          {"C29A4D20", "ROOT\\NET\\0000", 0}};
         for (const auto& [id, hardware, problem] : devices) {
           RegKey* d = pc.key(HKey::DynData, u"Config Manager\\Enum\\"_s + QLatin1String(id));
           d->setValue("HardWareKey", RegSz, hardware);
           d->setValue("Problem", RegBinary, dword(problem));
         }
         pc.key(HKey::LocalMachine, u"Enum\\ISAPNP\\CTL7001\\0")->setValue("DeviceDesc", RegSz, "Gameport Joystick");
       },
       "Q",
       {"Gameport Joystick", "Unknown device"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    HealthyPc pc(c.machineKeys, c.extraIni);
    c.plant(pc);
    const Findings f = pc.analyse();
    EXPECT_EQ(f.problems, QLatin1String(c.problems));
    if (!f.problems.isEmpty()) {
      EXPECT_EQ(f.detailsOf(f.problems[0]), c.details);
    }
  }
}

TEST(Analysis, FileSystemSwitchesCountOnlyTheirProblemValue) {
  for (const FileSystemSwitch& s : kFileSystemSwitches) {
    const QByteArray name = QString::fromUtf16(s.name).toLatin1();
    for (const std::optional<quint32> value :
         {std::optional(s.problemValue), std::optional(s.problemValue ^ 1), std::optional<quint32>()}) {
      HealthyPc pc;
      RegKey* key = pc.key(HKey::LocalMachine, kFileSystemKey);
      value ? key->setValue(name, RegDword, dword(*value)) : void(key->removeValue(name));
      EXPECT_EQ(pc.analyse().problems, value == s.problemValue ? QString(QLatin1Char(s.letter)) : QString()) << name.data();
    }
  }
}

}  // namespace
}  // namespace vt::diagnosis
