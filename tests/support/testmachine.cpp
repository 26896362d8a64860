// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/testmachine.h"

#include "platform/creghive.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace vt::test {

TestMachine::TestMachine(const QString& machineKeys, const QString& extraIni) {
  // The first of two equal keys wins, so the caller's keys go before the defaults.
  QString ini = QStringLiteral("[Machine]\r\n") + machineKeys;
  if (!machineKeys.isEmpty() && !machineKeys.endsWith(QLatin1String("\n"))) ini += QStringLiteral("\r\n");
  ini += QStringLiteral(
      "Platform=Win95\r\nProcessor=586\r\nPhysicalMemory=33554432\r\nColorDepth=16\r\n"
      "ScreenWidth=800\r\nScreenHeight=600\r\nUserName=Tester\r\nComputerName=TESTPC\r\n");
  ini += QStringLiteral(
      "\r\n[Drive A]\r\nType=removable\r\nReady=0\r\n"
      "\r\n[Drive C]\r\nType=fixed\r\nLabel=TESTDISK\r\nFileSystem=FAT\r\nTotalBytes=524288000\r\n"
      "BytesPerSector=512\r\nSectorsPerCluster=16\r\n"
      "\r\n[Drive D]\r\nType=cdrom\r\nLabel=CDROM\r\nFileSystem=CDFS\r\nTotalBytes=681574400\r\nFreeBytes=0\r\n");
  ini += extraIni;
  QDir(dir_.path()).mkpath(QStringLiteral("drives/C/WINDOWS/SYSTEM"));
  QDir(dir_.path()).mkpath(QStringLiteral("drives/D"));
  QFile f(dir_.path() + QStringLiteral("/machine.ini"));
  if (!f.open(QIODevice::WriteOnly)) ADD_FAILURE() << "cannot write machine.ini";
  f.write(ini.toLatin1());
  f.close();
  reopen();
}

QStringList TestMachine::launchedCommands() const {
  QFile f(folder() + QStringLiteral("/launch.log"));
  QStringList commands;
  if (f.open(QIODevice::ReadOnly))
    for (const QByteArray& line : f.readAll().split('\n'))
      if (!line.isEmpty()) commands << QString::fromUtf8(line.mid(line.indexOf('\t') + 1));
  return commands;
}

void TestMachine::writeRegistryFiles() {
  for (const QString& hive : {machine_->systemDatPath(), machine_->userDatPath()}) {
    if (machine_->files().exists(hive)) continue;
    RegKey empty;
    if (!machine_->files().writeFile(hive, creg::writeHive(empty, nullptr))) ADD_FAILURE() << "cannot write the registry";
  }
}

void TestMachine::reopen() {
  machine_.reset();
  QString error;
  machine_ = Machine::open(dir_.path(), &error, MachineOpen::BeingBuilt);
  if (!machine_) {
    ADD_FAILURE() << "machine did not open: " << error.toStdString();
    std::abort();
  }
}

QString TestMachine::host(const QString& drive, const QString& relative) const {
  QString p = dir_.path() + QStringLiteral("/drives/") + drive;
  if (!relative.isEmpty()) p += QLatin1Char('/') + relative;
  return p;
}

void TestMachine::putHostFile(const QString& drive, const QString& relative, const QByteArray& bytes) const {
  const QString p = host(drive, relative);
  QDir().mkpath(QFileInfo(p).absolutePath());
  QFile f(p);
  if (!f.open(QIODevice::WriteOnly)) ADD_FAILURE() << "cannot write " << p.toStdString();
  f.write(bytes);
}

QByteArray TestMachine::hostFile(const QString& drive, const QString& relative) const {
  QFile f(host(drive, relative));
  if (!f.open(QIODevice::ReadOnly)) return {};
  return f.readAll();
}

QString testDataDir() {
  const QString dir = QStringLiteral(VANTREL_TESTDATA_DIR);
  return QFileInfo::exists(dir + QStringLiteral("/creg/SYSTEM.DAT")) ? dir : QString();
}

}  // namespace vt::test
