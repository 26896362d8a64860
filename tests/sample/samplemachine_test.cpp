// SPDX-License-Identifier: GPL-3.0-or-later
// The built-in sample machine: that it is made (and refused) as documented, that it holds
// what every part of Vantrel reads, and that exactly the planted faults are there, so that
// a slip in the hand-written data neither hides a fault nor adds one nobody meant.
#include "platform/atomicfile.h"
#include "platform/filesystem.h"
#include "platform/machine.h"
#include "platform/profile.h"
#include "platform/recyclebin.h"
#include "platform/shelllink.h"
#include "platform/text.h"
#include "platform/versioninfo.h"
#include "sample/samplemachine.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

// Readable failure messages.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

#include <functional>
#include <memory>

using namespace vt;

namespace {

quint32 u16(const QByteArray& b, int at) { return quint32(uchar(b[at])) | (quint32(uchar(b[at + 1])) << 8); }
quint32 u32(const QByteArray& b, int at) { return u16(b, at) | (u16(b, at + 2) << 16); }

class SampleMachine : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new QTemporaryDir;
    QString why;
    folder_ = dir_->path() + QStringLiteral("/atelier");
    created_ = sample::createSampleMachine(folder_, &why);
    createError_ = why;
    if (created_) machine_ = Machine::open(folder_, &why).release();
    openError_ = why;
  }
  static void TearDownTestSuite() {
    delete machine_;
    machine_ = nullptr;
    delete dir_;
  }
  void SetUp() override {
    ASSERT_TRUE(created_) << createError_.toStdString();
    ASSERT_TRUE(machine_) << openError_.toStdString();
  }

  static FileSystem& fs() { return machine_->files(); }
  static Registry& reg() { return machine_->registry(); }
  static QByteArray file(const QString& winPath) { return fs().readFile(winPath).value_or(QByteArray()); }
  static QString text(const QString& winPath) { return fromAnsi(file(winPath)); }
  static QStringList lines(const QString& winPath) {
    QStringList out;
    for (const QByteArray& l : splitLines(file(winPath))) out << fromAnsi(l);
    return out;
  }
  static const RegValue* value(HKey root, const char* key, const char* name) {
    RegKey* k = reg().openKey(root, QString::fromLatin1(key));
    return k ? k->findValue(name) : nullptr;
  }
  static QString string(HKey root, const char* key, const char* name) {
    const RegValue* v = value(root, key, name);
    if (!v) return QStringLiteral("<missing>");
    QByteArray d = v->data;
    if (d.endsWith('\0')) d.chop(1);
    return fromAnsi(d);
  }
  // A 4-byte value as the registry helpers read it (REG_DWORD or 4 raw bytes).
  static qint64 number(HKey root, const char* key, const char* name) {
    const RegValue* v = value(root, key, name);
    if (!v || v->data.size() != 4) return -1;
    return u32(v->data, 0);
  }
  static bool fileExists(const QString& winPath) { return fs().exists(winPath) && !fs().isDirectory(winPath); }

  static QTemporaryDir* dir_;
  static QString folder_, createError_, openError_;
  static bool created_;
  static Machine* machine_;
};

QTemporaryDir* SampleMachine::dir_ = nullptr;
QString SampleMachine::folder_, SampleMachine::createError_, SampleMachine::openError_;
bool SampleMachine::created_ = false;
Machine* SampleMachine::machine_ = nullptr;

const char* const kCurrentVersion = "Software\\Microsoft\\Windows\\CurrentVersion";

// --- Making the machine -----------------------------------------------------------------

TEST(SampleMachineCreation, RefusesAFolderThatHoldsAnything) {
  QTemporaryDir dir;
  QFile keep(dir.filePath(QStringLiteral("notes.txt")));
  ASSERT_TRUE(keep.open(QIODevice::WriteOnly));
  keep.write("mine");
  keep.close();
  QString why;
  EXPECT_FALSE(sample::createSampleMachine(dir.path(), &why));
  EXPECT_TRUE(why.contains(QLatin1String("not empty"))) << why.toStdString();
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
            QStringList{QStringLiteral("notes.txt")});

  QTemporaryDir hidden;
  QFile dot(hidden.filePath(QStringLiteral(".hidden")));
  ASSERT_TRUE(dot.open(QIODevice::WriteOnly));
  dot.close();
  EXPECT_FALSE(sample::createSampleMachine(hidden.path(), &why));
}

TEST(SampleMachineCreation, RefusesAFileInPlaceOfTheFolder) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("machine"));
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.close();
  QString why;
  EXPECT_FALSE(sample::createSampleMachine(path, &why));
  EXPECT_FALSE(why.isEmpty());
  EXPECT_TRUE(QFileInfo(path).isFile());
}

TEST(SampleMachineCreation, CreatesMissingParentsAndTakesAnEmptyFolder) {
  QTemporaryDir dir;
  QString why;
  EXPECT_TRUE(sample::createSampleMachine(dir.filePath(QStringLiteral("a/b/machine")), &why)) << why.toStdString();
  EXPECT_TRUE(QFile::exists(dir.filePath(QStringLiteral("a/b/machine/machine.ini"))));
  ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("empty")));
  EXPECT_TRUE(sample::createSampleMachine(dir.filePath(QStringLiteral("empty")), &why)) << why.toStdString();
}

TEST(SampleMachineCreation, AFailureRemovesWhatItMade) {
  QTemporaryDir dir;
  QString why;
  // The disk fills up while the registry files are written.
  setAtomicWriteFailureAfter(100);
  const bool made = sample::createSampleMachine(dir.filePath(QStringLiteral("new")), &why);
  ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("existing")));
  const bool madeInExisting = sample::createSampleMachine(dir.filePath(QStringLiteral("existing")), &why);
  setAtomicWriteFailureAfter(-1);
  EXPECT_FALSE(made);
  EXPECT_FALSE(madeInExisting);
  EXPECT_FALSE(why.isEmpty());
  EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("new"))));
  // A folder the user gave stays, emptied again.
  EXPECT_TRUE(QFileInfo(dir.filePath(QStringLiteral("existing"))).isDir());
  EXPECT_TRUE(QDir(dir.filePath(QStringLiteral("existing"))).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
}

// --- The machine as Vantrel sees it -------------------------------------------------------

TEST_F(SampleMachine, FactsAndDrives) {
  const MachineFacts& f = machine_->facts();
  EXPECT_EQ(f.platform, QStringLiteral("Win95"));
  EXPECT_EQ(f.windowsDirectory, QStringLiteral("C:\\WINDOWS"));
  EXPECT_EQ(f.systemDirectory, QStringLiteral("C:\\WINDOWS\\SYSTEM"));
  EXPECT_GE(f.physicalMemory, 8ull * 1024 * 1024);
  EXPECT_GE(f.colorDepth, 5);  // not the 16-colour fallback
  EXPECT_EQ(fs().driveType(u"A:\\"), DriveType::Removable);
  EXPECT_FALSE(fs().drive(QLatin1Char('A'))->ready);
  EXPECT_EQ(fs().driveType(u"C:\\"), DriveType::Fixed);
  EXPECT_EQ(fs().driveType(u"D:\\"), DriveType::CdRom);
  EXPECT_EQ(fs().driveType(u"E:\\"), DriveType::NoRootDir);
  quint32 spc = 0, bps = 0, freeClusters = 0, totalClusters = 0;
  ASSERT_TRUE(fs().diskFreeSpace(u"C:\\", &spc, &bps, &freeClusters, &totalClusters));
  EXPECT_EQ(spc * bps, 16384u);
  qint64 free = 0, total = 0;
  ASSERT_TRUE(fs().diskFreeSpaceEx(u"C:\\", &free, &total));
  EXPECT_GT(free / (1024 * 1024), 20);  // no low-disk-space problem on the Windows drive
  QString label, system;
  ASSERT_TRUE(fs().volumeInformation(u"D:\\", &label, &system));
  EXPECT_EQ(label, QStringLiteral("SHAREWARE97"));
  EXPECT_TRUE(fileExists(QStringLiteral("D:\\AUTORUN.INF")));
}

TEST_F(SampleMachine, ProgramKeyAsTheInstallerLeavesIt) {
  EXPECT_EQ(string(HKey::LocalMachine, "SOFTWARE\\Tarvo\\Vantrel", "Start"), QStringLiteral("0"));
  EXPECT_EQ(string(HKey::LocalMachine, "SOFTWARE\\Tarvo\\Vantrel", "Sprache"), QStringLiteral("0"));
}

TEST_F(SampleMachine, WindowsVersionAndUser) {
  EXPECT_EQ(string(HKey::LocalMachine, kCurrentVersion, "ProductName"), QStringLiteral("Microsoft Windows 95"));
  EXPECT_TRUE(string(HKey::LocalMachine, kCurrentVersion, "VersionNumber").startsWith(QLatin1String("4.00.")));
  EXPECT_EQ(string(HKey::LocalMachine, kCurrentVersion, "SystemRoot"), QStringLiteral("C:\\WINDOWS"));
  EXPECT_EQ(string(HKey::LocalMachine, kCurrentVersion, "RegisteredOwner"), QStringLiteral("Martina Holzer"));
  EXPECT_FALSE(string(HKey::LocalMachine, kCurrentVersion, "RegisteredOrganization").isEmpty());
  EXPECT_EQ(string(HKey::LocalMachine, "System\\CurrentControlSet\\control\\ComputerName\\ComputerName", "ComputerName"),
            machine_->facts().computerName);
}

TEST_F(SampleMachine, TuningSwitchesHaveTheirValues) {
  const char* desktop = "Control Panel\\desktop";
  const char* metrics = "Control Panel\\Desktop\\WindowMetrics";
  EXPECT_EQ(string(HKey::CurrentUser, desktop, "MenuShowDelay"), QStringLiteral("400"));
  EXPECT_EQ(string(HKey::CurrentUser, desktop, "FontSmoothing"), QStringLiteral("0"));
  EXPECT_EQ(string(HKey::CurrentUser, desktop, "DragFullWindows"), QStringLiteral("0"));
  EXPECT_EQ(string(HKey::CurrentUser, metrics, "MinAnimate"), QStringLiteral("1"));
  EXPECT_EQ(string(HKey::CurrentUser, metrics, "Shell Icon BPP"), QStringLiteral("16"));
  EXPECT_TRUE(value(HKey::ClassesRoot, "Piffile", "IsShortCut"));
  EXPECT_TRUE(value(HKey::ClassesRoot, "Lnkfile", "IsShortCut"));
  const QString bmpClass = string(HKey::ClassesRoot, ".bmp", "");
  ASSERT_NE(bmpClass, QStringLiteral("<missing>"));
  EXPECT_TRUE(reg().openKey(HKey::ClassesRoot, bmpClass + QStringLiteral("\\DefaultIcon")));
  const char* policies = "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer";
  EXPECT_EQ(number(HKey::CurrentUser, policies, "NoDriveTypeAutoRun"), 0x95);
  EXPECT_NE(number(HKey::CurrentUser, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer", "link"), 0);
  EXPECT_FALSE(string(HKey::ClassesRoot, "Clsid\\{21EC2020-3AEA-1069-A2DD-08002B30309D}", "").isEmpty());
  EXPECT_FALSE(string(HKey::ClassesRoot, "Clsid\\{2227A280-3AEA-1069-A2DE-08002B30309D}", "").isEmpty());
  EXPECT_FALSE(reg().openKey(HKey::ClassesRoot, u"*\\Quickview"));  // Quick View for all: off

  Profile ini(fs());
  EXPECT_EQ(ini.getString(u"C:\\msdos.sys", u"Options", u"BootGUI"), QStringLiteral("1"));
  EXPECT_EQ(ini.getString(u"C:\\msdos.sys", u"Paths", u"WinDir"), QStringLiteral("C:\\WINDOWS"));
  EXPECT_EQ(ini.getString(u"C:\\WINDOWS\\system.ini", u"386Enh", u"LocalLoadHigh"), QStringLiteral("1"));
}

TEST_F(SampleMachine, ShellFoldersExistOnDriveC) {
  const char* key = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
  for (const char* name : {"Programs", "Recent", "Start Menu", "StartUp", "Desktop", "Fonts", "NetHood", "Personal", "SendTo"}) {
    const QString path = string(HKey::CurrentUser, key, name);
    EXPECT_TRUE(path.startsWith(QLatin1String("C:\\"))) << name;
    EXPECT_TRUE(fs().isDirectory(path)) << name << " " << path.toStdString();
  }
}

TEST_F(SampleMachine, ReportFindsEveryDevice) {
  // The devices the system report looks up by class, last match in enumeration order.
  std::map<QString, QString> lastByClass;
  std::map<QString, bool> hasLogConfig;
  RegKey* en = reg().openKey(HKey::LocalMachine, u"Enum");
  ASSERT_TRUE(en);
  for (int b = 0; b < en->subkeyCount(); ++b)
    for (int d = 0; d < en->subkey(b)->subkeyCount(); ++d) {
      RegKey* instance = en->subkey(b)->subkey(d)->subkey(0);
      if (!instance || !instance->findValue("Class")) continue;
      const QString cls = winUpper(fromAnsi(instance->findValue("Class")->data));
      const RegValue* desc = instance->findValue(cls == QLatin1String("SYSTEM") ? "BIOSVersion" : "DeviceDesc");
      if (!desc) continue;
      lastByClass[cls] = fromAnsi(desc->data);
      hasLogConfig[cls] = instance->findSubkey("LogConfig") != nullptr;
    }
  EXPECT_EQ(lastByClass[QStringLiteral("SYSTEM")], QStringLiteral("Award Modular BIOS v4.51PG"));
  EXPECT_EQ(lastByClass[QStringLiteral("DISPLAY")], QStringLiteral("S3 Trio32/64 PCI"));
  EXPECT_TRUE(hasLogConfig[QStringLiteral("DISPLAY")]);
  EXPECT_TRUE(hasLogConfig[QStringLiteral("KEYBOARD")]);
  EXPECT_EQ(lastByClass[QStringLiteral("MEDIA")], QStringLiteral("Creative Labs Sound Blaster 16 Plug and Play"));
  EXPECT_FALSE(lastByClass[QStringLiteral("MOUSE")].isEmpty());
  EXPECT_FALSE(lastByClass[QStringLiteral("MODEM")].isEmpty());
  EXPECT_EQ(string(HKey::CurrentConfig, "System\\CurrentControlSet\\Control\\Print\\Printers", "Default"),
            QStringLiteral("HP LaserJet 4L"));
  RegKey* updates = reg().openKey(HKey::LocalMachine, QStringLiteral("%1\\Setup\\Updates").arg(QLatin1String(kCurrentVersion)));
  ASSERT_TRUE(updates);
  EXPECT_GE(updates->subkeyCount(), 3);
  for (int i = 0; i < updates->subkeyCount(); ++i) EXPECT_TRUE(updates->subkey(i)->findValue("")) << i;
  RegKey* tips = reg().openKey(HKey::LocalMachine, QStringLiteral("%1\\Explorer\\Tips").arg(QLatin1String(kCurrentVersion)));
  ASSERT_TRUE(tips);
  for (int i = 0; i < 48; ++i) EXPECT_TRUE(tips->findValue(QByteArray::number(i))) << "tip " << i;
  EXPECT_EQ(number(HKey::CurrentUser, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Tips", "Show"), 1);
}

// --- Files as Windows 95 keeps them ----------------------------------------------------------

TEST_F(SampleMachine, BootFilesCarryWindowsAttributes) {
  const quint32 rhs = AttrReadOnly | AttrHidden | AttrSystem;
  EXPECT_EQ(fs().attributes(u"C:\\MSDOS.SYS") & AttrSettable, rhs);
  EXPECT_EQ(fs().attributes(u"C:\\IO.SYS") & AttrSettable, rhs);
  EXPECT_EQ(fs().attributes(u"C:\\WINDOWS\\SYSTEM.DAT") & rhs, rhs);
  EXPECT_EQ(fs().attributes(u"C:\\WINDOWS\\USER.DAT") & rhs, rhs);
  EXPECT_EQ(fs().attributes(u"C:\\RECYCLED") & (AttrHidden | AttrSystem | AttrDirectory),
            AttrHidden | AttrSystem | AttrDirectory);
  EXPECT_EQ(fs().attributes(u"C:\\CONFIG.SYS") & AttrSettable, quint32(AttrArchive));
  EXPECT_EQ(fs().attributes(u"D:\\SETUP.EXE") & AttrReadOnly, quint32(AttrReadOnly));  // a CD
  // Windows keeps copies of the registry files it last started with.
  EXPECT_EQ(file(QStringLiteral("C:\\WINDOWS\\SYSTEM.DA0")), file(QStringLiteral("C:\\WINDOWS\\SYSTEM.DAT")));
}

TEST_F(SampleMachine, MsdosSysIsPaddedPastOneKilobyte) {
  const QByteArray b = file(QStringLiteral("C:\\MSDOS.SYS"));
  EXPECT_GT(b.size(), 1024);
  EXPECT_TRUE(b.startsWith("[Paths]\r\n"));
}

TEST_F(SampleMachine, TextFilesAreWindowsText) {
  for (const char* p : {"C:\\MSDOS.SYS", "C:\\CONFIG.SYS", "C:\\AUTOEXEC.BAT", "C:\\WINDOWS\\WIN.INI", "C:\\WINDOWS\\SYSTEM.INI",
                        "C:\\WINDOWS\\PROTOCOL.INI", "C:\\My Documents\\Einkaufsliste.txt"}) {
    const QByteArray b = file(QString::fromLatin1(p));
    ASSERT_FALSE(b.isEmpty()) << p;
    EXPECT_EQ(b.count('\n'), b.count("\r\n")) << p << ": a line ends without CR";
    EXPECT_TRUE(b.endsWith("\r\n")) << p;
  }
  // Umlauts as single Windows-1252 bytes (0xF6 is ö), not UTF-8.
  const QByteArray list = file(QStringLiteral("C:\\My Documents\\Einkaufsliste.txt"));
  EXPECT_TRUE(list.contains("Br\xF6tchen"));
  EXPECT_FALSE(list.contains("\xC3\xB6"));
}

TEST_F(SampleMachine, LogosAre320By400With256Colours) {
  for (const char* p : {"C:\\LOGO.SYS", "C:\\WINDOWS\\LOGOW.SYS", "C:\\WINDOWS\\LOGOS.SYS"}) {
    const QByteArray b = file(QString::fromLatin1(p));
    ASSERT_GE(b.size(), 54) << p;
    EXPECT_EQ(b.left(2), QByteArray("BM")) << p;
    EXPECT_EQ(u32(b, 2), quint32(b.size())) << p;
    EXPECT_EQ(u32(b, 18), 320u) << p;
    EXPECT_EQ(u32(b, 22), 400u) << p;
    EXPECT_EQ(u16(b, 28), 8u) << p;
    EXPECT_EQ(u32(b, 30), 0u) << p;
    EXPECT_EQ(u32(b, 10), 0x436u) << p;  // 256-colour palette before the pixels
    EXPECT_FALSE(QImage::fromData(b, "BMP").isNull()) << p;
  }
  EXPECT_NE(file(QStringLiteral("C:\\WINDOWS\\LOGOW.SYS")), file(QStringLiteral("C:\\WINDOWS\\LOGOS.SYS")));
}

TEST_F(SampleMachine, SystemLibrariesArePeImages) {
  for (const char* name : {"kernel32.dll", "gdi32.dll", "user32.dll", "shell32.dll", "wsock32.dll"}) {
    const QByteArray b = file(QStringLiteral("C:\\WINDOWS\\SYSTEM\\") + QLatin1String(name));
    ASSERT_GT(b.size(), 0x100) << name;
    EXPECT_EQ(b.left(2), QByteArray("MZ")) << name;
    const int pe = int(u32(b, 0x3C));
    ASSERT_LT(pe + 24, b.size()) << name;
    EXPECT_EQ(b.mid(pe, 4), QByteArray("PE\0\0", 4)) << name;
    EXPECT_TRUE(u16(b, pe + 22) & 0x2000) << name << " is not marked as a DLL";
  }
  for (const char* tool : {"ATTRIB.EXE", "SCANDISK.EXE", "EDIT.COM", "MSCDEX.EXE", "KEYB.COM"})
    EXPECT_TRUE(fileExists(QStringLiteral("C:\\WINDOWS\\COMMAND\\") + QLatin1String(tool))) << tool;
}

TEST_F(SampleMachine, FilesHaveTheirHistoricalDates) {
  const QDateTime release(QDate(1996, 8, 24), QTime(11, 11));
  EXPECT_EQ(fs().lastWriteTime(u"C:\\WINDOWS\\SYSTEM\\KERNEL32.DLL").toLocalTime(), release);
  EXPECT_EQ(fs().lastWriteTime(u"C:\\CONFIG.SYS").toLocalTime(), QDateTime(QDate(1998, 2, 21), QTime(19, 5, 12)));
}

// --- The planted faults, one test each ------------------------------------------------------

TEST_F(SampleMachine, SystemIniLoadsOneMissingDriver) {
  QStringList missing;
  for (const QString& l : lines(QStringLiteral("C:\\WINDOWS\\SYSTEM.INI"))) {
    const QString up = winUpper(l);
    if (!up.startsWith(QLatin1String("DEVICE=")) || up.mid(8, 2) != QLatin1String(":\\")) continue;
    const QString path = up.mid(7);
    if (path.contains(QLatin1String(".386")) && !fileExists(path.left(path.indexOf(QLatin1String(".386")) + 4))) missing << up;
  }
  EXPECT_EQ(missing, QStringList{QStringLiteral("DEVICE=C:\\SCANNER\\SCANCTL.386")});
}

TEST_F(SampleMachine, WinIniLoadAndRunNameMissingPrograms) {
  Profile ini(fs());
  const QString load = ini.getString(u"C:\\WINDOWS\\win.ini", u"windows", u"load");
  const QString run = ini.getString(u"C:\\WINDOWS\\win.ini", u"windows", u"run");
  EXPECT_EQ(load, QStringLiteral("C:\\DESKMATE\\DMCLOCK.EXE"));
  EXPECT_EQ(run, QStringLiteral("C:\\FAXMSTR\\faxwatch.exe"));
  EXPECT_FALSE(fileExists(load));
  EXPECT_FALSE(fileExists(run));
  // The optimiser drops [Extensions] entries whose program is gone: only .pxw.
  QStringList gone;
  for (const QString& key : ini.sectionKeys(u"C:\\WINDOWS\\win.ini", u"Extensions")) {
    QString v = ini.getString(u"C:\\WINDOWS\\win.ini", u"Extensions", key);
    v = v.left(v.indexOf(QLatin1String(" ^"))).remove(QLatin1Char('"'));
    if (v.size() > 1 && v[1] == QLatin1Char(':') && !fileExists(v)) gone << key;
  }
  EXPECT_EQ(gone, QStringList{QStringLiteral("pxw")});
}

TEST_F(SampleMachine, StartFilesNameOneMissingDriverAndProgram) {
  QStringList missingDrivers;
  for (const QString& l : lines(QStringLiteral("C:\\CONFIG.SYS"))) {
    const QString up = winUpper(l);
    if (!up.startsWith(QLatin1String("DEVICE"))) continue;
    QString path = up.mid(up.indexOf(QLatin1Char('=')) + 1);
    path = path.left(path.indexOf(QLatin1Char('.')) + 4);
    if (!fileExists(path)) missingDrivers << up;
  }
  EXPECT_EQ(missingDrivers, QStringList{QStringLiteral("DEVICE=C:\\SCANNER\\ASPISCAN.SYS /D")});

  QStringList missingPrograms;
  for (const QString& l : lines(QStringLiteral("C:\\AUTOEXEC.BAT"))) {
    const QString up = winUpper(l);
    if (up.mid(1, 2) != QLatin1String(":\\")) continue;
    const QString name = up.section(QLatin1Char(' '), 0, 0);
    if (!fileExists(name + QStringLiteral(".EXE")) && !fileExists(name + QStringLiteral(".COM")) &&
        !fileExists(name + QStringLiteral(".BAT")))
      missingPrograms << up;
  }
  EXPECT_EQ(missingPrograms, QStringList{QStringLiteral("C:\\SCANNER\\SCANINIT /Q")});
}

TEST_F(SampleMachine, OneFileSystemSwitchIsWrong) {
  const char* key = "System\\CurrentControlSet\\Control\\Filesystem";
  EXPECT_EQ(number(HKey::LocalMachine, key, "AsyncFileCommit"), 1);  // the fault
  EXPECT_EQ(number(HKey::LocalMachine, key, "SoftCompatMode"), 1);
  EXPECT_EQ(number(HKey::LocalMachine, key, "PreserveLongNames"), 1);
  EXPECT_EQ(number(HKey::LocalMachine, key, "VirtualHDIRQ"), 1);
  EXPECT_EQ(number(HKey::LocalMachine, key, "ForceRMIO"), 0);
  EXPECT_NE(number(HKey::LocalMachine, key, "DriveWriteBehind"), 0);
}

TEST_F(SampleMachine, OneRunEntryPointsNowhere) {
  RegKey* run = reg().openKey(HKey::LocalMachine, QStringLiteral("%1\\Run").arg(QLatin1String(kCurrentVersion)));
  ASSERT_TRUE(run);
  QStringList broken;
  for (const RegValue& v : run->values()) {
    const QString t = fromAnsi(v.data);
    if (t.mid(1, 2) != QLatin1String(":\\") || !t.contains(QLatin1String(".exe"))) continue;
    if (!fileExists(t.left(t.indexOf(QLatin1Char('.')) + 4))) broken << fromAnsi(v.name);
  }
  EXPECT_EQ(broken, QStringList{QStringLiteral("FaxMaster Tray")});
}

TEST_F(SampleMachine, OneRegisteredFontIsMissing) {
  RegKey* fonts = reg().openKey(HKey::LocalMachine, QStringLiteral("%1\\Fonts").arg(QLatin1String(kCurrentVersion)));
  ASSERT_TRUE(fonts);
  QStringList missing;
  for (const RegValue& v : fonts->values()) {
    const QString name = fromAnsi(v.data);
    if (!fileExists(QStringLiteral("C:\\WINDOWS\\FONTS\\") + name)) missing << fromAnsi(v.name);
  }
  EXPECT_EQ(missing, QStringList{QStringLiteral("Bookman Old Style (TrueType)")});
}

TEST_F(SampleMachine, OneDeviceHasAProblem) {
  RegKey* en = reg().openKey(HKey::DynData, u"Config Manager\\Enum");
  ASSERT_TRUE(en);
  QStringList troubled;
  for (int i = 0; i < en->subkeyCount(); ++i) {
    RegKey* dev = en->subkey(i);
    const RegValue* problem = dev->findValue("Problem");
    ASSERT_TRUE(problem && problem->data.size() == 4) << i;
    const QString hw = fromAnsi(dev->findValue("HardWareKey")->data);
    RegKey* hwKey = reg().openKey(HKey::LocalMachine, QStringLiteral("Enum\\") + hw);
    EXPECT_TRUE(hwKey) << hw.toStdString();
    if (u32(problem->data, 0) != 0 && hwKey) troubled << fromAnsi(hwKey->findValue("DeviceDesc")->data);
  }
  EXPECT_EQ(troubled, QStringList{QStringLiteral("Gameport Joystick")});
}

TEST_F(SampleMachine, UninstallEntriesOfRemovedPrograms) {
  RegKey* un = reg().openKey(HKey::LocalMachine, QStringLiteral("%1\\Uninstall").arg(QLatin1String(kCurrentVersion)));
  ASSERT_TRUE(un);
  QStringList orphans;
  for (int i = 0; i < un->subkeyCount(); ++i) {
    RegKey* e = un->subkey(i);
    ASSERT_TRUE(e->findValue("UninstallString")) << i;
    QString s = winUpper(fromAnsi(e->findValue("UninstallString")->data));
    s = s.contains(QLatin1String(".EXE")) ? s.left(s.indexOf(QLatin1String(".EXE")) + 4) : s.left(3);
    if (s.startsWith(QLatin1Char('"'))) s.remove(0, 1);
    const RegValue* name = e->findValue("DisplayName");
    if (s.mid(1, 2) == QLatin1String(":\\") && !fileExists(s)) orphans << fromAnsi(name ? name->data : e->name());
  }
  orphans.sort();
  EXPECT_EQ(orphans, (QStringList{QStringLiteral("Fotoarchiv 2.0"), QStringLiteral("PixelWerk 3.1"), QStringLiteral("ScanCtl"),
                                  QStringLiteral("Tank Battle"), QStringLiteral("XYZ Viewer 2.1")}));
}

TEST_F(SampleMachine, FileTypesWhoseProgramIsGone) {
  RegKey* classes = reg().root(HKey::ClassesRoot);
  ASSERT_TRUE(classes);
  QStringList orphans;
  for (int i = 0; i < classes->subkeyCount(); ++i) {
    RegKey* ext = classes->subkey(i);
    if (!ext->name().startsWith('.')) continue;
    const RegValue* type = ext->findValue("");
    RegKey* base = type && !type->data.isEmpty() ? classes->findSubkey(type->data) : ext;
    RegKey* cmd = base ? base->findPath("shell\\open\\command") : nullptr;
    const RegValue* v = cmd ? cmd->findValue("") : nullptr;
    if (!v) continue;
    QString c = winUpper(fromAnsi(v->data)).remove(QLatin1Char('"'));
    if (!c.contains(QLatin1String(".EXE"))) continue;
    c = c.left(c.indexOf(QLatin1String(".EXE")) + 4);
    if (c.mid(1, 2) == QLatin1String(":\\") && !fileExists(c)) orphans << fromAnsi(ext->name());
  }
  orphans.sort();
  // .atl opens with a program of another CD; .lwv names its class by CLSID.
  EXPECT_EQ(orphans,
            (QStringList{QStringLiteral(".atl"), QStringLiteral(".fta"), QStringLiteral(".pxw"), QStringLiteral(".xyz")}));
}

// "Program Files" came first, so the short paths of the registry and the INI files name
// it as PROGRA~1 and "Programme Alt" as PROGRA~2.
TEST_F(SampleMachine, TheTwoProgramFoldersHaveTheAliasesTheRegistryUses) {
  EXPECT_EQ(fs().shortPathName(u"C:\\Program Files\\Internet Explorer\\IEXPLORE.EXE"),
            QStringLiteral("C:\\PROGRA~1\\INTERN~1\\IEXPLORE.EXE"));
  EXPECT_EQ(fs().longPathName(u"C:\\PROGRA~2\\KALENDER\\KALTIMER.386"),
            QStringLiteral("C:\\Programme Alt\\Kalender\\KALTIMER.386"));
}

TEST_F(SampleMachine, UselessFilesLieWhereTheSearchLooks) {
  EXPECT_TRUE(fileExists(QStringLiteral("C:\\WINDOWS\\TEMP\\~DF3C41.TMP")));
  EXPECT_TRUE(fileExists(QStringLiteral("C:\\WINDOWS\\TEMP\\PKG4F2.TMP")));  // found by the extended search only
  EXPECT_TRUE(fileExists(QStringLiteral("C:\\WINDOWS\\TEMP\\SETUP.$$$")));
  EXPECT_TRUE(fileExists(QStringLiteral("C:\\FILE0000.CHK")));
  EXPECT_EQ(fs().fileSize(u"C:\\Program Files\\ZipCase\\MSCREATE.DIR"), 0);
  const QByteArray gid = file(QStringLiteral("C:\\WINDOWS\\HELP\\WINDOWS.GID"));
  EXPECT_EQ(gid.left(4), QByteArray("\x3F\x5F\x03\x00", 4));
  EXPECT_TRUE(fs().attributes(u"C:\\WINDOWS\\HELP\\WINDOWS.GID") & AttrHidden);
  EXPECT_EQ(file(QStringLiteral("C:\\WINDOWS\\MAIN.GRP")).mid(1, 3), QByteArray("MCC"));
  EXPECT_TRUE(fileExists(QStringLiteral("C:\\WINDOWS\\TASKMAN.EXE")));
  // Windows 3.1's Task Manager and File Manager, not Windows 95's (4.0).
  for (const char* program : {"C:\\WINDOWS\\TASKMAN.EXE", "C:\\WINDOWS\\WINFILE.EXE"}) {
    const auto version = fileVersionInfo(fs(), QString::fromLatin1(program));
    ASSERT_TRUE(version) << program;
    EXPECT_EQ(version->fileVersionMS, 0x0003000Au) << program;
  }
  // Beside them, what the search must pass over: a non-empty MSCREATE.DIR, a cut-off
  // help index, and a hidden folder that holds a temporary file.
  EXPECT_GT(fs().fileSize(u"C:\\Program Files\\Common Files\\MSCREATE.DIR"), 0);
  EXPECT_EQ(file(QStringLiteral("C:\\Program Files\\ZipCase\\ZIPCASE.GID")), QByteArray("\x3F\x5F\x03\x00", 4));
  EXPECT_EQ(fs().attributes(u"C:\\WINDOWS\\TEMP\\ZCX0001") & (AttrHidden | AttrDirectory), AttrHidden | AttrDirectory);
  EXPECT_TRUE(fileExists(QStringLiteral("C:\\WINDOWS\\TEMP\\ZCX0001\\~ZC0042.TMP")));
}

TEST_F(SampleMachine, ShortcutsPointWhereTheyShould) {
  // Every shortcut under C:\WINDOWS is readable; the broken ones are exactly the planted ones.
  QStringList broken, elsewhere;
  std::function<void(const QString&)> walk = [&](const QString& folder) {
    FindData fd;
    auto search = fs().findFirst(folder + QStringLiteral("\\*.*"), AttrAnyFile, &fd);
    if (!search) return;
    QStringList subs;
    do {
      if (fd.name == QLatin1String(".") || fd.name == QLatin1String("..")) continue;
      const QString path = folder + QLatin1Char('\\') + fd.name;
      if (fd.attributes & AttrDirectory) {
        subs << path;
        continue;
      }
      if (!fd.name.endsWith(QLatin1String(".lnk"), Qt::CaseInsensitive) &&
          !fd.name.endsWith(QLatin1String(".pif"), Qt::CaseInsensitive))
        continue;
      const auto link = readShortcut(file(path));
      ASSERT_TRUE(link) << path.toStdString();
      const QString target = link->target;
      const QString rel = path.mid(QStringLiteral("C:\\WINDOWS\\").size());
      if (target.size() <= 3) continue;
      if (fs().driveType(target.left(3)) != DriveType::Fixed)
        elsewhere << rel;
      else if (!fileExists(target))
        broken << rel;
    } while (fs().findNext(*search, &fd));
    for (const QString& s : subs) walk(s);
  };
  walk(QStringLiteral("C:\\WINDOWS"));
  broken.sort();
  elsewhere.sort();
  EXPECT_EQ(broken, (QStringList{QStringLiteral("Desktop\\PixelWerk 3.1.lnk"), QStringLiteral("Recent\\Old letter.lnk"),
                                 QStringLiteral("Start Menu\\Programs\\Fotoarchiv.lnk"),
                                 QStringLiteral("Start Menu\\Programs\\Games\\Tank Battle.pif"),
                                 QStringLiteral("Start Menu\\Programs\\PixelWerk 3.1\\PixelWerk.lnk"),
                                 QStringLiteral("Start Menu\\Programs\\PixelWerk 3.1\\Uninstall PixelWerk.lnk"),
                                 QStringLiteral("Start Menu\\Programs\\Scanned Images.lnk")}));
  EXPECT_EQ(elsewhere,
            (QStringList{QStringLiteral("Desktop\\Install Scanner Driver.lnk"), QStringLiteral("Recent\\Rechnung Mai.lnk"),
                         QStringLiteral("Start Menu\\Programs\\Games\\Tank Battle (CD).pif"),
                         QStringLiteral("Start Menu\\Programs\\Shareware 97\\Picture Viewer.lnk"),
                         QStringLiteral("Start Menu\\Programs\\World Atlas 97.lnk")}));
}

TEST_F(SampleMachine, RecycleBinHoldsTheOldLetter) {
  RecycleBin bin(fs());
  const QList<RecycledItem> items = bin.list();
  ASSERT_EQ(items.size(), 1);
  EXPECT_EQ(items[0].originalPath, QStringLiteral("C:\\My Documents\\Old letter.doc"));
  EXPECT_EQ(items[0].driveNumber, 2);
  EXPECT_EQ(items[0].index, 0u);
  EXPECT_EQ(items[0].sizeOnDisk, 16384u);  // one cluster of drive C:
  EXPECT_TRUE(winEqualNoCase(items[0].storedPath, u"C:\\RECYCLED\\DC0.DOC"));
  EXPECT_EQ(items[0].deleted.toLocalTime(), QDateTime(QDate(1998, 5, 11), QTime(16, 42, 10)));
}

}  // namespace
