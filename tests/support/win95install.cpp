// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/win95install.h"

#include "platform/attributestore.h"
#include "platform/regedit4.h"
#include "platform/shelllink.h"
#include "sample/binaries.h"

#include <gtest/gtest.h>

namespace vt::test {

using namespace Qt::Literals::StringLiterals;

namespace {

// Key paths in brackets, value data as REGEDIT4 writes it (backslashes doubled).
const char kRegistry[] = R"reg(REGEDIT4

[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\.bmp]
@="Paint.Picture"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\.doc]
@="WordPad.Document.1"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\.exe]
@="exefile"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\.ht]
@="htfile"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\.htm]
@="htmlfile"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\.html]
@="htmlfile"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\.lnk]
@="lnkfile"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\.mcc]
@="mccfile"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\.nzt]
@="Notizen.Datei"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\.pcx]
@="Paint.Picture"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\.rtf]
@="rtffile"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\.txt]
@="txtfile"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\.wri]
@="wrifile"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\exefile\shell\open\command]
@="\"%1\" %*"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\htfile\DefaultIcon]
@="C:\\PROGRA~1\\ACCESS~1\\HYPERT~1\\HYPERTRM.EXE,0"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\htfile\shell\open\command]
@="\"C:\\PROGRA~1\\ACCESS~1\\HYPERT~1\\HYPERTRM.EXE\" /o \"%1\""
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\htmlfile\DefaultIcon]
@="C:\\PROGRA~1\\INTERN~1\\IEXPLORE.EXE,1"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\htmlfile\shell\open\command]
@="\"C:\\PROGRA~1\\INTERN~1\\IEXPLORE.EXE\" -nohome"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\lnkfile\CLSID]
@="{00021401-0000-0000-C000-000000000046}"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\mccfile\DefaultIcon]
@="C:\\Progra~1\\TheMic~1\\MOSSTUB.DLL,0"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\mccfile\shell\open\command]
@="C:\\PROGRA~1\\THEMIC~1\\MOSCP.EXE -s\"%1\""
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\Notizen.Datei\shell\open\command]
@="C:\\PROGRA~2\\NOTIZEN\\NOTIZEN.EXE %1"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\Paint.Picture\DefaultIcon]
@="C:\\PROGRA~1\\ACCESS~1\\MSPAINT.EXE,1"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\Paint.Picture\shell\open\command]
@="\"C:\\PROGRA~1\\ACCESS~1\\MSPAINT.EXE\" \"%1\""
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\rtffile\DefaultIcon]
@="C:\\Progra~1\\Access~1\\WORDPAD.EXE,1"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\rtffile\shell\open\command]
@="\"C:\\Progra~1\\Access~1\\WORDPAD.EXE\" \"%1\""
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\txtfile\shell\open\command]
@="C:\\WINDOWS\\NOTEPAD.EXE %1"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\WordPad.Document.1\DefaultIcon]
@="C:\\PROGRA~1\\ACCESS~1\\WORDPAD.EXE,1"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\WordPad.Document.1\shell\open\command]
@="\"C:\\PROGRA~1\\ACCESS~1\\WORDPAD.EXE\" \"%1\""
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\wrifile\shell\open\command]
@="C:\\Progra~1\\Access~1\\WORDPAD.EXE \"%1\""
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\CompuServe]
"DisplayName"="CompuServe 3.0"
"UninstallString"="C:\\WINDOWS\\uninst.exe -fC:\\PROGRA~1\\COMPUS~1\\CS3\\DeIsL1.isu"
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\IEXPLORE]
"DisplayName"="Microsoft Internet Explorer"
"UninstallString"="RunDll32 advpack.dll,LaunchINFSection C:\\WINDOWS\\INF\\IE.INF,DefaultUninstall"
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\MSN]
"DisplayName"="The Microsoft Network"
"UninstallString"="\"C:\\PROGRA~1\\THEMIC~1\\MSNUNINS.EXE\" /U"
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\Notizen]
"DisplayName"="Notizen 1.5"
"UninstallString"="C:\\PROGRA~2\\NOTIZEN\\UNWISE.EXE C:\\PROGRA~2\\NOTIZEN\\INSTALL.LOG"
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Run]
"SystemTray"="SysTray.Exe"
"TaskMonitor"="C:\\WINDOWS\\taskmon.exe"
"MoSearch"="C:\\PROGRA~1\\THEMIC~1\\mosearch.exe"
"Notizen Erinnerung"="C:\\PROGRA~2\\NOTIZEN\\erinner.exe /min"
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Fonts]
"Arial (TrueType)"="ARIAL.TTF"
"Courier New (TrueType)"="COUR.TTF"
"Times New Roman (TrueType)"="TIMES.TTF"
"Marlett (TrueType)"="MARLETT.TTF"
"MS Sans Serif 8,10,12,14,18,24 (VGA res)"="SSERIFE.FON"
"Notizen Symbole (TrueType)"="C:\\PROGRA~2\\NOTIZEN\\NOTIZSYM.TTF"
[HKEY_LOCAL_MACHINE\System\CurrentControlSet\Control\FileSystem]
"SoftCompatMode"=hex:01,00,00,00
"PreserveLongNames"=hex:01,00,00,00
"VirtualHDIRQ"=hex:01,00,00,00
"AsyncFileCommit"=hex:00,00,00,00
"ForceRMIO"=hex:00,00,00,00
"DriveWriteBehind"=hex:ff,ff,ff,ff
)reg";

const char kWinIni[] =
    "[windows]\r\nload=C:\\PROGRA~2\\MAUS\\MAUSWIN.EXE\r\nrun=C:\\PROGRA~2\\NOTIZEN\\NOTIZEN.EXE\r\n"
    "NullPort=None\r\n\r\n[Desktop]\r\nWallpaper=(None)\r\n\r\n[Extensions]\r\ntxt=notepad.exe ^.txt\r\n"
    "doc=C:\\PROGRA~1\\ACCESS~1\\WORDPAD.EXE ^.doc\r\nwri=C:\\PROGRA~1\\ACCESS~1\\WORDPAD.EXE ^.wri\r\n"
    "bmp=C:\\PROGRA~1\\ACCESS~1\\MSPAINT.EXE ^.bmp\r\npcx=C:\\PROGRA~1\\ACCESS~1\\MSPAINT.EXE ^.pcx\r\n"
    "htm=C:\\PROGRA~1\\INTERN~1\\IEXPLORE.EXE ^.htm\r\nnzt=C:\\PROGRA~2\\NOTIZEN\\NOTIZEN.EXE ^.nzt\r\n"
    "hlp=winhlp32.exe ^.hlp\r\n\r\n[fonts]\r\n\r\n[mci extensions]\r\nwav=waveaudio\r\nmid=sequencer\r\n";

const char kSystemIni[] =
    "[boot]\r\nshell=Explorer.exe\r\nsystem.drv=system.drv\r\ndrivers=mmsystem.dll power.drv\r\n"
    "mouse.drv=mouse.drv\r\n\r\n[386Enh]\r\nebios=*ebios\r\nmouse=*vmouse, msmouse.vxd\r\ndevice=*vshare\r\n"
    "device=*dynapage\r\ndevice=C:\\PROGRA~2\\MAUS\\MAUSVXD.386\r\nkeyboard=*vkd\r\n\r\n"
    "[drivers]\r\nwave=mmsystem.dll\r\nmidimapper=midimap.drv\r\n";

// The texts with the two folders' aliases exchanged; equal lengths keep a shortcut whole.
QByteArray inImageOrder(QByteArray text) {
  for (const char* stem : {"PROGRA~", "Progra~"}) {
    const QByteArray one = QByteArray(stem) + '1', two = QByteArray(stem) + '2', mark = QByteArray(stem) + '#';
    text.replace(one, mark).replace(two, one).replace(mark, two);
  }
  return text;
}

}  // namespace

void makeWin95Install(TestMachine& tm, ProgramFolders order) {
  FileSystem& fs = tm.fs();
  const bool imageOrder = order == ProgramFolders::ImageOrder;
  const auto put = [&](const QString& path, const QByteArray& bytes) {
    fs.createDirectories(path.left(path.lastIndexOf(QLatin1Char('\\'))));
    if (!fs.writeFile(path, imageOrder ? inImageOrder(bytes) : bytes)) ADD_FAILURE() << "cannot write " << path.toStdString();
  };
  if (imageOrder) {
    // What an import stores for the two folders, before anything gives them aliases.
    fs.createDirectories(u"C:\\Program Files"_s);
    fs.createDirectories(u"C:\\Programme Alt"_s);
    const QString c = tm.host(u"C"_s);
    fs.attributeStore().setAliases(
        {{(c + u"/Programme Alt"_s).toUtf8(), u"PROGRA~1"_s}, {(c + u"/Program Files"_s).toUtf8(), u"PROGRA~2"_s}});
  }
  const auto files = [&](const QString& folder, const char* names) {
    for (const QString& name : QString::fromLatin1(names).split(QLatin1Char(' '))) put(folder + QLatin1Char('\\') + name, "MZ");
  };
  const sample::ModuleVersion win95{4, 0, 950, 0};

  files(u"C:"_s, "IO.SYS MSDOS.SYS COMMAND.COM DRVSPACE.BIN SETUPLOG.TXT DETLOG.TXT BOOTLOG.TXT SUHDLOG.DAT");
  put(u"C:\\CONFIG.SYS"_s, "DEVICE=C:\\WINDOWS\\HIMEM.SYS\r\nDEVICEHIGH=C:\\PROGRA~2\\MAUS\\MAUSDRV.SYS /N\r\n");
  put(u"C:\\AUTOEXEC.BAT"_s, "@ECHO OFF\r\nC:\\WINDOWS\\COMMAND\\MSCDEX.EXE /D:MSCD001\r\nC:\\PROGRA~2\\MAUS\\MAUS /Q\r\n");
  // "Program Files" comes first, so that it is PROGRA~1 and "Programme Alt" PROGRA~2.
  files(u"C:\\Program Files\\Accessories"_s, "WORDPAD.EXE MSPAINT.EXE");
  files(u"C:\\Program Files\\Accessories\\HyperTerminal"_s, "HYPERTRM.EXE");
  files(u"C:\\Program Files\\Internet Explorer"_s, "IEXPLORE.EXE");
  files(u"C:\\Program Files\\The Microsoft Network"_s, "MOSSTUB.DLL MOSCP.EXE MOSEARCH.EXE MSNUNINS.EXE");
  files(u"C:\\Program Files\\CompuServe\\CS3"_s, "DeIsL1.isu CSERVE.EXE");
  fs.createDirectories(u"C:\\Program Files\\Common Files");
  files(u"C:\\Programme Alt\\Notizen"_s, "NOTIZEN.EXE ERINNER.EXE UNWISE.EXE INSTALL.LOG NOTIZSYM.TTF");
  files(u"C:\\Programme Alt\\Maus"_s, "MAUS.COM MAUSWIN.EXE MAUSDRV.SYS MAUSVXD.386");

  const QString w = u"C:\\WINDOWS"_s;
  files(w,
        "WIN.COM EXPLORER.EXE NOTEPAD.EXE REGEDIT.EXE CALC.EXE WRITE.EXE PBRUSH.EXE RUNDLL.EXE RUNDLL32.EXE "
        "TASKMON.EXE WINHLP32.EXE WINHELP.EXE UNINST.EXE HIMEM.SYS EMM386.EXE SETVER.EXE CONTROL.INI");
  // Windows 95's own Task Manager (a 32-bit program) and File Manager (still 16-bit).
  put(w + u"\\TASKMAN.EXE"_s, sample::peImage(u"TASKMAN.EXE"_s, sample::PeKind::GuiExe, 0, win95));
  put(w + u"\\WINFILE.EXE"_s, sample::neModule(u"WINFILE"_s, false, {}, win95));
  put(w + u"\\WIN.INI"_s, kWinIni);
  put(w + u"\\SYSTEM.INI"_s, kSystemIni);
  files(w + u"\\SYSTEM"_s,
        "KERNEL32.DLL GDI32.DLL USER32.DLL SHELL32.DLL WSOCK32.DLL ADVAPI32.DLL COMCTL32.DLL SYSTRAY.EXE VMM32.VXD "
        "KRNL386.EXE GDI.EXE USER.EXE MMSYSTEM.DLL SYSTEM.DRV MOUSE.DRV POWER.DRV MIDIMAP.DRV MSMOUSE.VXD");
  files(w + u"\\COMMAND"_s, "ATTRIB.EXE EDIT.COM MSCDEX.EXE XCOPY.EXE XCOPY32.EXE FORMAT.COM SCANDISK.EXE");
  files(w + u"\\FONTS"_s, "ARIAL.TTF COUR.TTF TIMES.TTF MARLETT.TTF SSERIFE.FON VGASYS.FON");
  files(w + u"\\INF"_s, "LAYOUT.INF SHELL.INF MSMOUSE.INF");
  files(w + u"\\HELP"_s, "WINDOWS.HLP NOTEPAD.HLP");
  for (const char* folder : {"TEMP", "SYSBCKUP", "CURSORS", "MEDIA", "SendTo", "Recent", "ShellNew", "Desktop"})
    fs.createDirectories(w + u'\\' + QLatin1String(folder));

  const auto link = [&](const char* where, const char* target) {
    ShellLink l;
    l.target = QString::fromLatin1(target);
    put(w + u"\\Start Menu\\Programs\\"_s + QLatin1String(where), writeShellLink(l));
  };
  link("Internet Explorer.lnk", "C:\\PROGRA~1\\INTERN~1\\IEXPLORE.EXE");
  link("The Microsoft Network.lnk", "C:\\PROGRA~1\\THEMIC~1\\MOSCP.EXE");
  link("Windows Explorer.lnk", "C:\\WINDOWS\\EXPLORER.EXE");
  link("Notizen.lnk", "C:\\PROGRA~2\\NOTIZEN\\NOTIZEN.EXE");
  link("Accessories\\WordPad.lnk", "C:\\Program Files\\Accessories\\WORDPAD.EXE");
  link("Accessories\\Paint.lnk", "C:\\Progra~1\\Access~1\\MSPAINT.EXE");
  link("Accessories\\HyperTerminal\\HyperTerminal.lnk", "C:\\PROGRA~1\\ACCESS~1\\HYPERT~1\\HYPERTRM.EXE");
  put(w + u"\\Start Menu\\Programs\\MS-DOS Prompt.pif"_s, writePif({u"MS-DOS Prompt"_s, u"C:\\WINDOWS\\COMMAND.COM"_s, w, {}}));
  files(w, "COMMAND.COM");

  QString error;
  QByteArray registry = QByteArray(kRegistry).replace("\n", "\r\n");
  if (imageOrder) registry = inImageOrder(registry);
  if (!regedit4::importText(registry, tm.registry(), regedit4::ImportMode::Merge, &error)) ADD_FAILURE() << error.toStdString();
  tm.writeRegistryFiles();
  if (!tm.machine().saveRegistry(&error)) ADD_FAILURE() << error.toStdString();
}

}  // namespace vt::test
