#include "diagnosis/analysis.h"

#include "diagnosis/diagnosis_fixture.h"

#include <QCryptographicHash>
#include <QDirIterator>

#include <gtest/gtest.h>

#include <functional>

namespace vt::diagnosis {
namespace {

using namespace Qt::Literals::StringLiterals;
using test::dword;
using test::HealthyPc;

struct Case {
  const char* name;
  std::function<void(HealthyPc&)> plant;
  const char* problems;
  QStringList details;  // of the one letter found
  const char* machineKeys = "";
  const char* extraIni = "";
};

void setIni(HealthyPc& pc, const char* file, const QByteArray& bytes) { pc.file(pc.w + QLatin1Char('\\') + QLatin1String(file), bytes); }

// Every check, each with a fault it must find and the nearest thing it must let pass.
TEST(Analysis, EachCheckRecordsItsLetterExactlyOnItsCondition) {
  const std::vector<Case> cases = {
      {"healthy", [](HealthyPc&) {}, "", {}},
      {"A: 8 MB less one byte", [](HealthyPc&) {}, "A", {}, "PhysicalMemory=8388607"},
      {"A: 8 MB", [](HealthyPc&) {}, "", {}, "PhysicalMemory=8388608"},
      {"B: 19.99 MB free", [](HealthyPc&) {}, "B", {}, "WindowsDirectory=E:\\WINDOWS", "[Drive E]\r\nFreeBytes=20971519\r\n"},
      {"B: 20 MB free", [](HealthyPc&) {}, "", {}, "WindowsDirectory=E:\\WINDOWS", "[Drive E]\r\nFreeBytes=20971520\r\n"},
      {"C: a missing .386 with a drive path",
       [](HealthyPc& pc) { setIni(pc, "SYSTEM.INI", "[386Enh]\r\ndevice=c:\\windows\\system\\foo.386\r\ndevice=*vshare\r\n"); },
       "C", {"DEVICE=C:\\WINDOWS\\SYSTEM\\FOO.386"}},
      {"C: present .386, built-in and other drivers",
       [](HealthyPc& pc) {
         pc.file(u"C:\\WINDOWS\\SYSTEM\\FOO.386"_s);
         setIni(pc, "SYSTEM.INI", "[386Enh]\r\ndevice=c:\\windows\\system\\foo.386 /x\r\ndevice=*vshare\r\ndevice=C:\\GONE\\X.VXD\r\n");
       },
       "", {}},
      {"D: one of two load programs missing",
       [](HealthyPc& pc) {
         pc.file(u"C:\\TOOLS\\B.EXE"_s);
         setIni(pc, "WIN.INI", "[windows]\r\nload=C:\\TOOLS\\A.EXE C:\\TOOLS\\B.EXE\r\n");
       },
       "D", {"C:\\TOOLS\\A.EXE"}},
      {"D: both present, one without a path",
       [](HealthyPc& pc) {
         pc.file(u"C:\\TOOLS\\A.EXE"_s);
         setIni(pc, "WIN.INI", "[windows]\r\nload=C:\\TOOLS\\A.EXE NOTEPAD.EXE\r\n");
       },
       "", {}},
      {"E: missing run programs, small and capital extension",
       [](HealthyPc& pc) { setIni(pc, "WIN.INI", "[windows]\r\nrun=c:\\x\\y.exe C:\\X\\Z.EXE\r\n"); }, "E",
       {"c:\\x\\y.exe", "C:\\X\\Z.EXE"}},
      {"E: present run program",
       [](HealthyPc& pc) {
         pc.file(u"C:\\X\\Z.EXE"_s);
         setIni(pc, "WIN.INI", "[windows]\r\nrun=C:\\X\\Z.EXE\r\n");
       },
       "", {}},
      {"F: programs gone, a folder of that name does not count",
       [](HealthyPc& pc) {
         pc.tm.fs().createDirectories(u"C:\\TOOLS\\RUN");
         pc.file(u"C:\\Autoexec.bat"_s, "c:\\mouse\\mouse /y\r\nC:\\TOOLS\\RUN\r\nC:\\DOS\\GONE.COM\r\n");
       },
       "F", {"C:\\MOUSE\\MOUSE /Y", "C:\\TOOLS\\RUN", "C:\\DOS\\GONE.COM"}},
      {"F: found with an extension, or by the one it carries",
       [](HealthyPc& pc) {
         pc.file(u"C:\\MOUSE\\MOUSE.COM"_s);
         pc.file(u"C:\\DOS\\DOSKEY.COM"_s);
         pc.file(u"C:\\Autoexec.bat"_s, "C:\\MOUSE\\MOUSE /Y\r\nC:\\DOS\\DOSKEY.COM /INSERT\r\nSET PATH=C:\\GONE\r\nGONE.EXE\r\n");
       },
       "", {}},
      {"G: a driver gone",
       [](HealthyPc& pc) { pc.file(u"C:\\Config.sys"_s, "devicehigh=C:\\SCAN\\ASPI.SYS /D\r\nDOS=HIGH\r\n"); }, "G",
       {"DEVICEHIGH=C:\\SCAN\\ASPI.SYS /D"}},
      {"G: drivers present, one after a blank",
       [](HealthyPc& pc) {
         pc.file(u"C:\\WINDOWS\\HIMEM.SYS"_s);
         pc.file(u"C:\\WINDOWS\\EMM386.EXE"_s);
         pc.file(u"C:\\Config.sys"_s, "DEVICE=C:\\WINDOWS\\HIMEM.SYS\r\nDEVICE= C:\\WINDOWS\\EMM386.EXE NOEMS\r\nFILES=40\r\n");
       },
       "", {}},
      {"N: a Run entry points nowhere",
       [](HealthyPc& pc) { pc.key(HKey::LocalMachine, kRunKey)->setValue("FaxMaster Tray", RegSz, "C:\\FAX\\fmtray.exe /min"); },
       "N", {"FaxMaster Tray"}},
      {"N: capital extension and no drive path are not examined",
       [](HealthyPc& pc) {
         RegKey* run = pc.key(HKey::LocalMachine, kRunKey);
         run->setValue("Caps", RegSz, "C:\\X\\Y.EXE");
         run->setValue("SystemTray", RegSz, "SysTray.Exe");
       },
       "", {}},
      {"O: one library in neither folder",
       [](HealthyPc& pc) {
         pc.tm.fs().deleteFile(pc.s + u"\\GDI32.DLL"_s);
         pc.tm.fs().moveFile(pc.s + u"\\KERNEL32.DLL"_s, pc.w + u"\\KERNEL32.DLL"_s);
       },
       "O", {"gdi32.dll"}},
      {"O: a library in the Windows directory only",
       [](HealthyPc& pc) { pc.tm.fs().moveFile(pc.s + u"\\WSOCK32.DLL"_s, pc.w + u"\\WSOCK32.DLL"_s); }, "", {}},
      {"P: font files gone",
       [](HealthyPc& pc) {
         RegKey* fonts = pc.key(HKey::LocalMachine, kFontsKey);
         fonts->setValue("Bookman Old Style (TrueType)", RegSz, "BOOKOS.TTF");
         fonts->setValue("Extra (TrueType)", RegSz, "D:\\FONTS\\EXTRA.TTF");
       },
       "P", {"Bookman Old Style (TrueType)", "Extra (TrueType)"}},
      {"P: a file name in any of the three folders, a full path, an empty text",
       [](HealthyPc& pc) {
         pc.file(pc.w + u"\\W.FON"_s);
         pc.file(pc.s + u"\\S.FON"_s);
         pc.file(u"C:\\MYFONTS\\M.TTF"_s);
         RegKey* fonts = pc.key(HKey::LocalMachine, kFontsKey);
         fonts->setValue("W", RegSz, "W.FON");
         fonts->setValue("S", RegSz, "S.FON");
         fonts->setValue("M", RegSz, "C:\\MYFONTS\\M.TTF");
         fonts->setValue("Empty", RegSz, "");
       },
       "", {}},
      {"Q: troubled devices, one without a description",
       [](HealthyPc& pc) {
         RegKey* joystick = pc.key(HKey::DynData, u"Config Manager\\Enum\\C29A4AC0");
         joystick->setValue("HardWareKey", RegSz, "ISAPNP\\CTL7001\\0");
         joystick->setValue("Problem", RegBinary, dword(0x0C));
         pc.key(HKey::LocalMachine, u"Enum\\ISAPNP\\CTL7001\\0")->setValue("DeviceDesc", RegSz, "Gameport Joystick");
         RegKey* unknown = pc.key(HKey::DynData, u"Config Manager\\Enum\\C29A4BF0");
         unknown->setValue("HardWareKey", RegSz, "ROOT\\UNKNOWN\\0000");
         unknown->setValue("Problem", RegBinary, dword(1));
       },
       "Q", {"Gameport Joystick", "Unknown device"}},
      {"Q: a device key without a Problem value",
       [](HealthyPc& pc) { pc.key(HKey::DynData, u"Config Manager\\Enum\\C29A4D20")->setValue("HardWareKey", RegSz, "ROOT\\NET\\0000"); },
       "", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HealthyPc pc(QString::fromLatin1(c.machineKeys), QString::fromLatin1(c.extraIni));
    c.plant(pc);
    const Findings f = pc.analyse();
    EXPECT_EQ(f.problems, QString::fromLatin1(c.problems));
    if (!f.problems.isEmpty()) {
      EXPECT_EQ(f.detailsOf(f.problems[0]), c.details);
    }
  }
}

TEST(Analysis, FileSystemSwitchesCountOnlyTheirProblemValue) {
  for (const FileSystemSwitch& s : kFileSystemSwitches) {
    const QByteArray name = QString::fromUtf16(s.name).toLatin1();
    const struct {
      std::optional<quint32> value;
      bool problem;
    } values[] = {{s.problemValue, true}, {s.problemValue ^ 1, false}, {std::nullopt, false}};
    for (const auto& v : values) {
      SCOPED_TRACE(name.toStdString() + (v.value ? " = " + std::to_string(*v.value) : " missing"));
      HealthyPc pc;
      RegKey* key = pc.key(HKey::LocalMachine, kFileSystemKey);
      if (v.value)
        key->setValue(name, RegDword, dword(*v.value));
      else
        key->removeValue(name);
      EXPECT_EQ(pc.analyse().problems, v.problem ? QString(QLatin1Char(s.letter)) : QString());
    }
  }
}

TEST(Analysis, MissingFilesAndKeysFindNothing) {
  HealthyPc pc;
  for (const QString& f : {pc.w + u"\\SYSTEM.INI"_s, pc.w + u"\\WIN.INI"_s}) pc.tm.fs().deleteFile(f);
  for (const char16_t* k : {kFileSystemKey, kRunKey, kFontsKey}) pc.tm.registry().deleteKey(HKey::LocalMachine, k);
  pc.tm.registry().deleteKey(HKey::DynData, kConfigManagerKey);
  EXPECT_EQ(pc.analyse().problems, QString());
}

// The status line names each check as it starts; the bar moves after each but the last.
TEST(Analysis, StatusAndProgressFollowTheChecks) {
  struct Recorder : AnalysisView {
    QStringList events;
    void showStatus(const QString& text) override { events << text; }
    void showProgress(int position) override { events << QString::number(position); }
  } view;
  HealthyPc pc;
  pc.analyse(&view);
  ASSERT_EQ(view.events.size(), 1 + 17 + 16);
  EXPECT_EQ(view.events.mid(0, 3), (QStringList{"0", "Examinig RAM-capacity", "1"}));
  EXPECT_EQ(view.events.mid(view.events.size() - 3),
            (QStringList{"Examinig installed fonts", "16", "Examinig installed hardware"}));
}

QByteArray folderHash(const QString& folder) {
  QCryptographicHash h(QCryptographicHash::Sha256);
  QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
  QStringList entries;
  while (it.hasNext()) entries << it.next();
  entries.sort();
  for (const QString& path : entries) {
    const QFileInfo info(path);
    h.addData(path.toUtf8());
    h.addData(QByteArray::number(info.lastModified().toMSecsSinceEpoch()));
    h.addData(QByteArray::number(int(info.permissions())));
    QFile f(path);
    if (info.isFile() && f.open(QIODevice::ReadOnly)) h.addData(f.readAll());
  }
  return h.result();
}

TEST(Analysis, WritesNothing) {
  HealthyPc pc;
  pc.file(u"C:\\Autoexec.bat"_s, "C:\\GONE\\TSR\r\n");
  pc.file(u"C:\\Config.sys"_s, "DEVICE=C:\\GONE\\X.SYS\r\n");
  setIni(pc, "SYSTEM.INI", "[386Enh]\r\ndevice=C:\\GONE\\X.386\r\n");
  setIni(pc, "WIN.INI", "[windows]\r\nload=C:\\GONE\\A.EXE\r\nrun=C:\\GONE\\B.EXE\r\n");
  pc.tm.fs().deleteFile(pc.s + u"\\USER32.DLL"_s);
  pc.key(HKey::LocalMachine, kRunKey)->setValue("Gone", RegSz, "C:\\GONE\\C.exe");
  pc.key(HKey::LocalMachine, kFileSystemKey)->setValue("ForceRMIO", RegBinary, dword(1));
  pc.tm.machine().saveRegistry();
  const QByteArray before = folderHash(pc.tm.folder());
  EXPECT_EQ(pc.analyse().problems, u"CDEFGLNO"_s);
  EXPECT_EQ(folderHash(pc.tm.folder()), before);
}

}  // namespace
}  // namespace vt::diagnosis
