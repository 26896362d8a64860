#include "backup/backups.h"

#include "platform/launcher.h"
#include "platform/machine.h"
#include "platform/profile.h"
#include "platform/text.h"

#include <bitset>

namespace vt::backup {

namespace {

constexpr QStringView kSection = u"Backup";

// The files of the last-state copy, from the Windows directory (W) and from C:\.
QStringList lastStateSources(const QString& w) {
  return {w + QStringLiteral("\\system.dat"), w + QStringLiteral("\\user.dat"), w + QStringLiteral("\\win.ini"),
          w + QStringLiteral("\\system.ini"), QStringLiteral("C:\\config.sys"), QStringLiteral("C:\\Autoexec.bat")};
}

QStringList systemDllSources(const QString& s) {
  QStringList list;
  for (const char* name : {"kernel32.dll", "gdi32.dll", "user32.dll", "shell32.dll", "wsock32.dll"})
    list << s + QLatin1Char('\\') + QLatin1String(name);
  return list;
}

QString fileName(const QString& path) { return path.mid(path.lastIndexOf(QLatin1Char('\\')) + 1); }

// A set number as a store name carries it: digits only, 0 to 999.
int setNumber(QStringView extension) {
  if (extension.isEmpty() || extension.size() > 3) return -1;
  for (QChar c : extension)
    if (c < QLatin1Char('0') || c > QLatin1Char('9')) return -1;
  return extension.toInt();
}

// Names (not folders) a pattern finds with any attributes.
QStringList filesMatching(FileSystem& fs, const QString& pattern) {
  QStringList names;
  FindData fd;
  auto search = fs.findFirst(pattern, AttrAnyFile, &fd);
  if (!search) return names;
  do {
    if (!(fd.attributes & AttrDirectory)) names << fd.name;
  } while (fs.findNext(*search, &fd));
  return names;
}

// Empties a folder of its files and removes it.
void removeFolder(FileSystem& fs, const QString& folder) {
  for (const QString& name : filesMatching(fs, folder + QStringLiteral("\\*.*"))) {
    const QString path = folder + QLatin1Char('\\') + name;
    fs.setAttributes(path, 0);
    fs.deleteFile(path);
  }
  fs.removeDirectory(folder);
}

// Where each component's files are kept in a set and where they come from. `checked`
// false: copied without looking whether the source exists, so a missing one is a failure.
struct FileRow {
  Component component;
  const char* stem;
  QString live;
  bool optional;
};

QList<FileRow> fileRows(const QString& w) {
  return {
      {Systemfiles, "WIN", w + QStringLiteral("\\WIN.INI"), true},
      {Systemfiles, "SYSTEM", w + QStringLiteral("\\SYSTEM.INI"), true},
      {Startfiles, "CONFIG", QStringLiteral("C:\\CONFIG.sys"), true},
      {Startfiles, "AUTOEXEC", QStringLiteral("C:\\AUTOEXEC.bat"), true},
      {MsdosSys, "MSDOS", QStringLiteral("C:\\MSDOS.sys"), false},
      {Logos, "Logo", QStringLiteral("C:\\LOGO.sys"), true},
      {Logos, "Logow", w + QStringLiteral("\\LOGOW.sys"), true},
      {Logos, "Logos", w + QStringLiteral("\\LOGOS.sys"), true},
      {Others, "PROTOCOL", w + QStringLiteral("\\PROTOCOL.ini"), true},
  };
}

// Profile booleans: a number other than 0 is true; anything else, or nothing, is false.
bool profileBool(const QString& text) {
  bool ok = false;
  const int v = text.trimmed().toInt(&ok);
  return ok && v != 0;
}

}  // namespace

Backups::Backups(Machine& machine, const SharedState& state, DialogService& dialogs)
    : machine_(machine), state_(state), dialogs_(dialogs) {}

void Backups::setDirectories(const QString& programDirectory, const QString& windowsDirectory,
                             const QString& systemDirectory) {
  programDirectory_ = programDirectory;
  windowsDirectory_ = windowsDirectory;
  systemDirectory_ = systemDirectory;
}

QString Backups::storeDirectory() const { return programDirectory_ + QStringLiteral("\\BACKUP"); }
QString Backups::lastDirectory() const { return programDirectory_ + QStringLiteral("\\LAST"); }
QString Backups::saveDirectory() const { return programDirectory_ + QStringLiteral("\\SAVE"); }

QString Backups::NextBackupNumber(const QString& store) {
  std::bitset<1000> used;
  for (const QString& name : filesMatching(machine_.files(), store + QStringLiteral("\\BACKUP.*"))) {
    const int n = setNumber(QStringView(name).mid(7));
    if (n >= 0) used.set(size_t(n));
  }
  for (int n = 0; n < 1000; ++n)
    if (!used.test(size_t(n))) return QStringLiteral("%1").arg(n, 3, 10, QLatin1Char('0'));
  return {};
}

bool Backups::copyComponentFile(const QString& from, const QString& to, const QString& failure) {
  if (machine_.files().copyFile(from, to, false)) return true;
  result_ = false;
  if (failureReason_.isEmpty())
    failureReason_ = QStringLiteral("%1: %2").arg(from, describe(machine_.files().lastError()));
  if (!silent_) dialogs_.warning(failure);
  return false;
}

void Backups::removeSet(const QString& store, const QString& number) {
  FileSystem& fs = machine_.files();
  for (const QString& name : filesMatching(fs, store + QStringLiteral("\\*.") + number)) {
    const QString path = store + QLatin1Char('\\') + name;
    fs.setAttributes(path, 0);
    fs.deleteFile(path);
  }
}

bool Backups::CreateBackupSet(Choice& choice) {
  FileSystem& fs = machine_.files();
  failureReason_.clear();
  const QString store = storeDirectory();
  auto refuse = [&](const QString& why) {
    result_ = false;
    failureReason_ = why;
    if (!silent_) dialogs_.warning(why);
    return false;
  };
  if (!fs.isDirectory(store) && !fs.createDirectories(store))
    return refuse(text("Der Backup-Ordner %1 konnte nicht angelegt werden:\r%2\rEs wurde kein Backup angefertigt.",
                       "The backup folder %1 could not be created:\r%2\rNo backup was made.")
                      .arg(store, describe(fs.lastError())));
  const QString number = NextBackupNumber(store);
  if (number.isEmpty())
    return refuse(text("Alle 1000 Backup-Nummern sind belegt.\rBitte löschen Sie alte Backups und versuchen Sie es erneut.",
                       "All 1000 backup numbers are in use.\rPlease delete old backups and try again."));
  const QString ext = QLatin1Char('.') + number;

  result_ = true;
  const QString failure = text(
      "ACHTUNG:Während des Backups\rist ein Fehler aufgetreten!\rLöschen Sie dieses Backup, starten \rsie Windows neu "
      "und versuchen Sie es erneut.",
      "CAUTION:An Error occured\rduring backup!\rPlease delete this Backup and restart your\rWindows. Then try again.");
  if (choice.description.isEmpty()) choice.description = QStringLiteral("No name");

  Profile profile(fs);
  const QString description = store + QStringLiteral("\\BACKUP") + ext;
  bool written = profile.writeString(description, kSection, u"Name", QStringView(choice.description));
  for (int c = 0; c < kComponentCount && written; ++c)
    written = profile.writeString(description, kSection, QString::fromLatin1(kComponentKeys[size_t(c)]),
                                  choice.components[size_t(c)] ? u"1" : u"0");
  if (!written) {
    const QString why = describe(fs.lastError());
    removeSet(store, number);
    return refuse(text("Die Beschreibung des Backups konnte nicht geschrieben werden:\r%1\rEs wurde kein Backup angefertigt.",
                       "The backup's description could not be written:\r%1\rNo backup was made.")
                      .arg(why));
  }

  if (choice.components[Registry]) {
    QString why;
    if (!runRegistryEditor(machine_, QStringLiteral("/e ") + store + QStringLiteral("\\REGISTRY") + ext, &why)) {
      result_ = false;
      failureReason_ = why;
      if (!silent_) dialogs_.warning(failure);
    }
  }
  for (const FileRow& row : fileRows(windowsDirectory_)) {
    if (!choice.components[row.component]) continue;
    if (row.optional && !fs.exists(row.live)) continue;
    copyComponentFile(row.live, store + QLatin1Char('\\') + QLatin1String(row.stem) + ext, failure);
  }

  if (silent_) {
    // Nobody is told to delete an automatic set that is incomplete, and it would look like a
    // good one in the list: it goes.
    if (!result_) removeSet(store, number);
    return result_;
  }
  SaveLastState();
  SaveSystemDlls();
  if (result_) dialogs_.information(text("Backup erfolgreich.", "Backup successful."));
  return result_;
}

// Fills a fresh folder beside the copy and swaps it in only when every file that exists
// was copied, so the copy never mixes two states (a new SYSTEM.DAT with an old USER.DAT
// would not start).
bool Backups::refreshCopy(const QString& folder, const QStringList& sources, bool keepMissing) {
  FileSystem& fs = machine_.files();
  const QString fresh = folder + QStringLiteral(".NEW"), old = folder + QStringLiteral(".OLD");
  if (fs.exists(fresh)) removeFolder(fs, fresh);
  if (fs.exists(old)) removeFolder(fs, old);
  bool ok = fs.createDirectories(fresh);
  for (const QString& source : sources) {
    if (!ok) break;
    const QString target = fresh + QLatin1Char('\\') + fileName(source);
    if (!fs.exists(source)) {
      // The safe copy of a file that has gone missing is the one still worth having.
      const QString earlier = folder + QLatin1Char('\\') + fileName(source);
      if (keepMissing && fs.exists(earlier)) ok = fs.copyFile(earlier, target, false);
      continue;
    }
    ok = fs.copyFile(source, target, false);
  }
  const bool hadCopy = fs.exists(folder);
  if (ok && hadCopy) ok = fs.moveFile(folder, old);
  if (ok && !fs.moveFile(fresh, folder)) {
    if (hadCopy) fs.moveFile(old, folder);
    ok = false;
  }
  const WinError error = fs.lastError();
  if (fs.exists(fresh)) removeFolder(fs, fresh);
  if (fs.exists(old)) removeFolder(fs, old);
  if (!ok && !silent_)
    dialogs_.warning(text("%1 konnte nicht aufgefrischt werden:\r%2\rDie bisherige Kopie bleibt erhalten.",
                          "%1 could not be refreshed:\r%2\rThe earlier copy is kept.")
                         .arg(folder, describe(error)));
  return ok;
}

bool Backups::SaveLastState() { return refreshCopy(lastDirectory(), lastStateSources(windowsDirectory_)); }

bool Backups::SaveSystemDlls() { return refreshCopy(saveDirectory(), systemDllSources(systemDirectory_), true); }

bool Backups::BackupBeforeChange(int kind) {
  if (AutoBackup(kind)) return true;
  switch (kind) {
    case AutoStartfiles:
      dialogs_.warning(text("Schwerer Fehler: Konnte kein Backup der jetzigen Startdateien anfertigen! Aktion abgebrochen!",
                            "Fatal error: Unable to create backup of actual startfiles! Action canceled!"));
      break;
    case AutoSystemfiles:
      dialogs_.warning(text("Schwerer Fehler: Konnte kein Backup der jetzigen Systemdateien anfertigen! Aktion abgebrochen!",
                            "Fatal error: Unable to create backup of actual systemfiles! Action canceled!"));
      break;
    default:
      dialogs_.warning(text("Schwerer Fehler: Konnte kein Backup der Registry anfertigen! Aktion abgebrochen!",
                            "Fatal error: Unable to create backup of registry! Action canceled!"));
      break;
  }
  return false;
}

bool Backups::AutoBackup(int kind, const QString& currentDescription) {
  struct Kind {
    std::initializer_list<Component> components;
    const char* german;
    const char* english;
  };
  static const Kind kinds[] = {
      {{Startfiles}, "AUTO-Backup : Änderungen an Startdateien", "AUTO-Backup : Changes in startfiles"},
      {{Systemfiles}, "AUTO-Backup : Änderungen an Systemdateien", "AUTO-Backup : Changes in systemfiles"},
      {{Registry}, "AUTO-Backup : Änderungen an Registry", "AUTO-Backup : Changes in Registry"},
      {{MsdosSys}, "AUTO-Backup : Änderungen an Boot-Einstellungen", "AUTO-Backup : Changes in boot-options"},
      {{Startfiles, Systemfiles, Registry, Logos, MsdosSys},
       "AUTO-Backup : 1.Start von Vantrel",
       "AUTO-Backup : 1.Start of VTR"},
  };
  Choice choice;
  choice.description = currentDescription;
  if (kind >= 1 && kind <= 5) {
    const Kind& k = kinds[kind - 1];
    for (Component c : k.components) choice.components[c] = true;
    choice.description = text(k.german, k.english);
  }
  silent_ = true;
  const bool ok = CreateBackupSet(choice);
  silent_ = false;
  setsChanged();
  return ok;
}

SetEntry Backups::describeSet(const QString& descriptionPath) {
  FileSystem& fs = machine_.files();
  return {descriptionPath, fs.lastWriteTime(descriptionPath).toLocalTime(),
          Profile(fs).getString(descriptionPath, kSection, u"Name")};
}

QList<SetEntry> Backups::ListSets() {
  QList<SetEntry> sets;
  const QString store = storeDirectory();
  for (const QString& name : filesMatching(machine_.files(), store + QStringLiteral("\\BACKUP.*")))
    if (setNumber(QStringView(name).mid(7)) >= 0) sets.append(describeSet(store + QLatin1Char('\\') + name));
  return sets;
}

bool Backups::DeleteBackupSet(const QString& descriptionPath) {
  const QString number = descriptionPath.mid(descriptionPath.lastIndexOf(QLatin1Char('.')) + 1);
  // Without a number the pattern would name files of other sets, or none.
  if (!descriptionPath.contains(QLatin1Char('.')) || setNumber(number) < 0) return false;
  FileSystem& fs = machine_.files();
  const QString store = storeDirectory();
  removeSet(store, number);
  setsChanged();
  return filesMatching(fs, store + QStringLiteral("\\*.") + number).isEmpty();
}

Components Backups::LoadBackupComponents(const QString& descriptionPath) {
  // Looked up without regard to case, as written by older sets too ("Logos", "Sonstiges").
  static constexpr const char16_t* keys[] = {u"Registry", u"Systemfiles", u"Startfiles", u"MSDOS.SYS", u"Logos", u"Sonstiges"};
  Profile profile(machine_.files());
  Components c{};
  for (int i = 0; i < kComponentCount; ++i)
    c[size_t(i)] = profileBool(profile.getString(descriptionPath, kSection, QStringView(keys[i])));
  return c;
}

bool Backups::RestoreBackupSet(const QString& descriptionPath, const Components& chosen, bool replaceRegistry) {
  FileSystem& fs = machine_.files();
  const QString ext = descriptionPath.right(4);
  const QString dir = descriptionPath.left(descriptionPath.lastIndexOf(QLatin1Char('\\')));
  const QString failure = text("ACHTUNG:Während des Wiederherstellens des Backups\rist ein Fehler aufgetreten!",
                               "CAUTION:An Error occured\rduring restore of backup!");
  bool ok = true;
  failureReason_.clear();
  if (chosen[Registry]) {
    const QString file = dir + QStringLiteral("\\REGISTRY") + ext;
    QString why;
    if (!runRegistryEditor(machine_, (replaceRegistry ? QStringLiteral("/c ") : QString()) + file, &why)) {
      ok = false;
      failureReason_ = why;
      dialogs_.warning(text("Die Registry wurde nicht wiederhergestellt und ist unverändert:\r%1",
                            "The registry was not restored and is unchanged:\r%1")
                           .arg(why));
    }
  }
  for (const FileRow& row : fileRows(windowsDirectory_)) {
    if (!chosen[row.component]) continue;
    const QString saved = dir + QLatin1Char('\\') + QLatin1String(row.stem) + ext;
    if (row.optional && !fs.exists(saved)) continue;
    const quint32 attrs = fs.attributes(row.live);
    if (attrs != kInvalidAttributes) fs.setAttributes(row.live, 0);
    if (fs.copyFile(saved, row.live, false)) continue;
    // The file the copy could not replace keeps its attributes too.
    if (failureReason_.isEmpty()) failureReason_ = QStringLiteral("%1: %2").arg(row.live, describe(fs.lastError()));
    if (attrs != kInvalidAttributes) fs.setAttributes(row.live, attrs & AttrSettable);
    ok = false;
    dialogs_.warning(failure);
  }
  if (ok)
    dialogs_.information(text("Restore erfolgreich.\rBitte Computer neu starten!", "Restore successful.\rPlease restart your computer!"));
  return ok;
}

QByteArray Backups::rescueAutoexec() const {
  const QString& w = windowsDirectory_;
  const QString& p = programDirectory_;
  QStringList l;
  l << text("echo Versuche das letzte Backup wiederherzustellen. Bitte warten... ",
            "echo Trying to restore the last saved backup. Please wait...");
  // The disk is booted because C: is broken, and C:'s ATTRIB may be broken with it. DOS
  // does not rename, delete or overwrite a read-only, hidden or system file, so an ATTRIB
  // that fails leaves SYSTEM.DAT and USER.DAT as they are: the floppy's own copy comes first.
  l << QStringLiteral("set VTRATTRIB=") + w + QStringLiteral("\\command\\attrib");
  l << QStringLiteral("if exist A:\\attrib.exe set VTRATTRIB=A:\\attrib.exe");
  const QStringList live = {w + QStringLiteral("\\system.dat"), w + QStringLiteral("\\user.dat"),
                            w + QStringLiteral("\\system.ini"), w + QStringLiteral("\\win.ini"),
                            QStringLiteral("C:\\config.sys"), QStringLiteral("C:\\Autoexec.bat")};
  for (const QString& f : live) l << QStringLiteral("%VTRATTRIB% ") + f + QStringLiteral(" -r -s -h");
  l << QStringLiteral("set VTRATTRIB=");
  // DOS knows DEL, not "delete"; and REN takes the new name without drive or folder, which
  // one DOS resolves against the old name's folder and another against the current one, so
  // the batch first moves to the folder of the files it renames.
  const QStringList kept = {w + QStringLiteral("\\system.vtr"), w + QStringLiteral("\\user.vtr"),
                            w + QStringLiteral("\\win.vtr"),    w + QStringLiteral("\\systemI.vtr"),
                            QStringLiteral("C:\\config.vtr"),   QStringLiteral("C:\\Autoexec.vtr")};
  for (const QString& f : kept) l << QStringLiteral("del ") + f;
  l << w.left(2) << QStringLiteral("cd ") + w;
  l << QStringLiteral("ren ") + w + QStringLiteral("\\system.dat system.vtr");
  l << QStringLiteral("ren ") + w + QStringLiteral("\\user.dat user.vtr");
  l << QStringLiteral("ren ") + w + QStringLiteral("\\win.ini win.vtr");
  l << QStringLiteral("ren ") + w + QStringLiteral("\\system.ini systemI.vtr");
  l << QStringLiteral("C:") << QStringLiteral("cd C:\\");
  l << QStringLiteral("ren C:\\config.sys config.vtr");
  l << QStringLiteral("ren C:\\Autoexec.bat Autoexec.vtr");
  // Back on the floppy, where HELP is found.
  l << QStringLiteral("A:");
  l << QStringLiteral("copy ") + p + QStringLiteral("\\last\\system.dat ") + w + QStringLiteral("\\system.dat");
  l << QStringLiteral("copy ") + p + QStringLiteral("\\last\\user.dat ") + w + QStringLiteral("\\user.dat");
  l << QStringLiteral("copy ") + p + QStringLiteral("\\last\\win.ini ") + w + QStringLiteral("\\win.ini");
  l << QStringLiteral("copy ") + p + QStringLiteral("\\last\\system.ini ") + w + QStringLiteral("\\system.ini");
  l << QStringLiteral("copy ") + p + QStringLiteral("\\last\\config.sys C:\\config.sys");
  l << QStringLiteral("copy ") + p + QStringLiteral("\\last\\Autoexec.bat C:\\Autoexec.bat");
  // A registry file that kept its attributes was neither renamed nor overwritten, so it has
  // no .VTR copy now. Only the registry is asked after: it is always there, whereas a
  // CONFIG.SYS or AUTOEXEC.BAT that never existed has no copy either, and DOS cannot be
  // asked whether a hidden file exists.
  for (int i : {0, 1}) l << QStringLiteral("if not exist ") + kept[i] + QStringLiteral(" goto locked");
  l << QStringLiteral("goto restored") << QStringLiteral(":locked");
  l << text("echo ATTRIB konnte die Attribute nicht entfernen: Dateien ohne .VTR-Kopie sind nicht wiederhergestellt.",
            "echo ATTRIB could not clear the attributes: files without a .VTR copy were not restored.");
  l << QStringLiteral(":restored");
  l << text("echo Entnehmen Sie die Diskette und starten Sie ihren Computer neu.",
            "echo Remove the disk and reset your computer.");
  l << text("echo Sollte Ihr Computer immer noch nicht booten, so tippen Sie jetzt bitte HELP ein.",
            "echo If your computer still not boot up, then type in HELP now. ");
  return toAnsi(l.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n"));
}

QByteArray Backups::rescueBootConfig(const QByteArray& current) {
  // After AUTOEXEC.BAT, DOS 7 starts WIN.COM from the folder the boot disk's MSDOS.SYS
  // names as WinDir, and a floppy made bootable on the machine names C:\WINDOWS there: the
  // user would never reach the prompt where HELP and RESTORE are offered. BootGUI=0 alone
  // does not stop it there; pointing WinDir and WinBootDir at the floppy, which holds no
  // WIN.COM, leaves nothing to start. Every other line of the file stays as it is.
  IniDocument ini(current);
  ini.setValue(u"Paths", u"WinDir", u"A:\\");
  ini.setValue(u"Paths", u"WinBootDir", u"A:\\");
  ini.setValue(u"Paths", u"HostWinBootDrv", u"A");
  ini.setValue(u"Options", u"BootGUI", u"0");
  return ini.toBytes();
}

QByteArray Backups::rescueRestoreBat() const {
  return toAnsi(QStringLiteral("copy ") + programDirectory_ + QStringLiteral("\\SAVE\\*.* ") + windowsDirectory_ +
                QStringLiteral("\\SYSTEM\r\n"));
}

bool Backups::CreateRescueDisk(const RescueProgress& progress) {
  FileSystem& fs = machine_.files();
  auto status = [&](const char* german, const char* english) {
    if (progress.status) progress.status(text(german, english));
  };
  auto position = [&](int p) {
    if (progress.position) progress.position(p);
  };
  const DriveInfo* a = fs.drive(QLatin1Char('A'));
  if (!a) {
    dialogs_.warning(text("Dieser Computer hat kein Laufwerk A:.\rEs wurde keine Rettungsdiskette erstellt.",
                          "This computer has no drive A:.\rNo safety-disk was created."));
    return false;
  }
  if (!a->ready) {
    dialogs_.warning(text("In Laufwerk A: liegt keine Diskette.\rEs wurde keine Rettungsdiskette erstellt.",
                          "There is no disk in drive A:.\rNo safety-disk was created."));
    return false;
  }

  // What the disk is made of; if one of these cannot be written, none of them stays.
  QStringList written;
  auto undo = [&](WinError error) {
    for (const QString& f : written) {
      fs.setAttributes(f, 0);
      fs.deleteFile(f);
    }
    dialogs_.warning(text("Die Diskette in Laufwerk A: konnte nicht beschrieben werden:\r%1\rEs wurde keine "
                          "Rettungsdiskette erstellt.",
                          "The disk in drive A: could not be written:\r%1\rNo safety-disk was created.")
                         .arg(describe(error)));
    return false;
  };
  // A file of an earlier rescue disk may be read-only; writing the disk again replaces it.
  auto put = [&](const QString& target, const QByteArray& bytes) {
    if (fs.exists(target)) fs.setAttributes(target, 0);
    if (!fs.writeFile(target, bytes)) return false;
    written << target;
    return true;
  };
  auto copy = [&](const QString& from, const QString& target) {
    if (!fs.exists(from)) return true;  // nothing to copy is not a failure of the disk
    if (fs.exists(target)) fs.setAttributes(target, 0);
    if (!fs.copyFile(from, target, false)) return false;
    written << target;
    return true;
  };

  position(0);
  status("Erstelle Startdateien", "Creating startfiles");
  if (!put(QStringLiteral("a:\\autoexec.bat"), rescueAutoexec())) return undo(fs.lastError());
  if (!copy(programDirectory_ + QStringLiteral("\\HELP.bat"), QStringLiteral("A:\\help.bat")) ||
      !copy(programDirectory_ + text("\\HELP.de", "\\HELP.eng"), QStringLiteral("A:\\help.txt")))
    return undo(fs.lastError());
  if (!put(QStringLiteral("a:\\restore.bat"), rescueRestoreBat())) return undo(fs.lastError());
  // A DOS 7 boot floppy's MSDOS.SYS is its boot configuration; an older DOS keeps its kernel
  // under that name, which is left alone. It comes after the files an undo takes away, so
  // the floppy never loses the MSDOS.SYS it boots with.
  const QString boot = QStringLiteral("A:\\MSDOS.SYS");
  const quint32 bootAttributes = fs.attributes(boot);
  const std::optional<QByteArray> bootConfig =
      bootAttributes == kInvalidAttributes ? QByteArray() : fs.readFile(boot);
  if (bootConfig && !bootConfig->contains('\0')) {
    const bool ok = put(boot, rescueBootConfig(*bootConfig));
    const WinError error = fs.lastError();
    const quint32 kept = bootAttributes == kInvalidAttributes ? AttrReadOnly | AttrHidden | AttrSystem
                                                              : bootAttributes & AttrSettable;
    fs.setAttributes(boot, ok ? kept | AttrArchive : kept);
    if (!ok) return undo(error);
  }

  position(1);
  status("Kopiere Systemtools", "Copying systemtools");
  const QString tools = windowsDirectory_ + QStringLiteral("\\command\\");
  QStringList missing;
  const char* batches[2][4] = {{"chkdsk.exe", "attrib.exe", "edit.com", "fdisk.exe"},
                               {"scandisk.exe", "scandisk.ini", "sys.com", "format.com"}};
  for (int b = 0; b < 2; ++b) {
    for (const char* tool : batches[b])
      if (!copy(tools + QLatin1String(tool), QStringLiteral("A:\\") + QLatin1String(tool))) missing << QLatin1String(tool);
    position(2 + b);
  }
  // The disk restores without the tools; the user learns which ones did not fit.
  if (!missing.isEmpty())
    dialogs_.warning(text("Diese Programme konnten nicht auf die Diskette kopiert werden:\r%1",
                          "These programs could not be copied to the disk:\r%1")
                         .arg(missing.join(QStringLiteral(", "))));
  dialogs_.information(text("Rettungsdiskette erstellt.Warten Sie bis die LED ihres Diskettenlaufwerkes ausgeht und "
                            "entnehmen Sie dann die Diskette.",
                            "Safety-disk created.Wait until the LED of your diskdrive turns off and then remove the disk."));
  return true;
}

}  // namespace vt::backup
