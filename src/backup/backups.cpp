// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/backups.h"

#include "backup/sha256.h"
#include "platform/launcher.h"
#include "platform/machine.h"
#include "platform/profile.h"
#include "platform/text.h"
#include "sysaccess/files.h"

#include <QFile>

#include <bitset>
#include <future>

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

// What the description file records of the registry export, so that a restore can tell the
// export it replaces the registry with is still the whole file that was made.
constexpr QStringView kRegistrySizeKey = u"RegistrySize";
constexpr QStringView kRegistryHashKey = u"RegistrySHA256";

QString sha256Hex(const QByteArray& bytes) { return QString::fromLatin1(sha256(bytes).toHex()); }

// The stems of the files a set is made of, the description's among them.
bool isSetStem(QStringView stem) {
  if (stem.compare(u"BACKUP", Qt::CaseInsensitive) == 0 || stem.compare(u"REGISTRY", Qt::CaseInsensitive) == 0) return true;
  for (const FileRow& row : fileRows(QString()))
    if (stem.compare(QLatin1String(row.stem), Qt::CaseInsensitive) == 0) return true;
  return false;
}

// The description is written last and in one piece, so one without all its component keys
// belongs to a set whose making was cut off (or to one made before that was so).
bool wholeDescription(const IniDocument& doc) {
  for (const char* key : kComponentKeys)
    if (!doc.value(kSection, QString::fromLatin1(key))) return false;
  return true;
}

}  // namespace

Backups::Backups(Machine& machine, const SharedState& state, DialogService& dialogs)
    : machine_(machine), state_(state), dialogs_(dialogs) {}

void Backups::setDirectories(const QString& programDirectory, const QString& windowsDirectory, const QString& systemDirectory) {
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
  if (failureReason_.isEmpty()) failureReason_ = QStringLiteral("%1: %2").arg(from, describe(machine_.files().lastError()));
  if (!silent_) dialogs_.warning(failure);
  return false;
}

void Backups::removeSet(const QString& store, const QString& number, bool setFilesOnly) {
  FileSystem& fs = machine_.files();
  for (const QString& name : filesMatching(fs, store + QStringLiteral("\\*.") + number)) {
    if (setFilesOnly && !isSetStem(QStringView(name).left(name.lastIndexOf(QLatin1Char('.'))))) continue;
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

  // Files a set of this number left when its making was cut off would otherwise join it.
  removeSet(store, number, true);
  QString registrySize, registryHash;
  if (choice.components[Registry]) {
    const QString file = store + QStringLiteral("\\REGISTRY") + ext;
    QString why;
    std::optional<QByteArray> exported;
    if (runRegistryEditor(machine_, QStringLiteral("/e ") + file, &why) && (exported = fs.readFile(file))) {
      registrySize = QString::number(exported->size());
      registryHash = sha256Hex(*exported);
    } else {
      if (why.isEmpty()) why = QStringLiteral("%1: %2").arg(file, describe(fs.lastError()));
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
  if (silent_ && !result_) {
    // Nobody is told to delete an automatic set that is incomplete, and it would look like a
    // good one in the list: it goes.
    removeSet(store, number);
    return false;
  }

  // The description comes last and in one write: a set the list shows is a whole one.
  IniDocument description;
  description.setValue(kSection, u"Name", choice.description);
  for (int c = 0; c < kComponentCount; ++c)
    description.setValue(kSection, QString::fromLatin1(kComponentKeys[size_t(c)]), choice.components[size_t(c)] ? u"1" : u"0");
  if (!registrySize.isEmpty()) {
    description.setValue(kSection, kRegistrySizeKey, registrySize);
    description.setValue(kSection, kRegistryHashKey, registryHash);
  }
  if (!fs.writeFile(store + QStringLiteral("\\BACKUP") + ext, description.toBytes())) {
    const QString why = describe(fs.lastError());
    removeSet(store, number);
    return refuse(text("Die Beschreibung des Backups konnte nicht geschrieben werden:\r%1\rEs wurde kein Backup angefertigt.",
                       "The backup's description could not be written:\r%1\rNo backup was made.")
                      .arg(why));
  }

  if (silent_) return true;
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
      {{Startfiles, Systemfiles, Registry, Logos, MsdosSys}, "AUTO-Backup : 1.Start von Vantrel", "AUTO-Backup : 1.Start of VTR"},
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
  FileSystem& fs = machine_.files();
  QList<SetEntry> sets;
  const QString store = storeDirectory();
  std::bitset<1000> described;
  for (const QString& name : filesMatching(fs, store + QStringLiteral("\\BACKUP.*"))) {
    const int n = setNumber(QStringView(name).mid(7));
    if (n < 0) continue;
    const QString path = store + QLatin1Char('\\') + name;
    // A description that cannot be read now is no proof of an unfinished set: it stays.
    const auto bytes = fs.readFile(path);
    const IniDocument doc(bytes.value_or(QByteArray()));
    if (bytes && !wholeDescription(doc)) continue;
    described.set(size_t(n));
    // Described from the bytes just read rather than by reading the file again.
    sets.append({path, fs.lastWriteTime(path).toLocalTime(), doc.value(kSection, u"Name").value_or(QString())});
  }
  for (const QString& name : filesMatching(fs, store + QStringLiteral("\\*.*"))) {
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const int n = dot < 0 ? -1 : setNumber(QStringView(name).mid(dot + 1));
    if (n < 0 || described.test(size_t(n)) || !isSetStem(QStringView(name).left(dot))) continue;
    const QString path = store + QLatin1Char('\\') + name;
    fs.setAttributes(path, 0);
    fs.deleteFile(path);
  }
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
  QString registryWhy;
  if (chosen[Registry]) {
    const QString file = dir + QStringLiteral("\\REGISTRY") + ext;
    // Read once: the bytes checked against the description are the ones imported.
    const std::optional<QByteArray> exported = fs.readFile(file);
    bool done = bool(exported);
    if (!done) registryWhy = QStringLiteral("cannot read %1: %2").arg(file, describe(fs.lastError()));
    std::function<bool(QString*)> sameExport;
    if (done && replaceRegistry) done = wholeRegistryExport(descriptionPath, file, *exported, &sameExport, &registryWhy);
    if (done) done = importRegistryText(machine_, file, *exported, replaceRegistry, &registryWhy, sameExport);
    // A changed export is refused as such, also when its text no longer reads.
    if (!done && sameExport) sameExport(&registryWhy);
    if (!done) {
      ok = false;
      if (registryWhy.isEmpty()) registryWhy = file;
      failureReason_ = registryWhy;
    }
  }
  bool filesOk = true, filesChosen = false;
  for (const FileRow& row : fileRows(windowsDirectory_)) {
    if (!chosen[row.component]) continue;
    filesChosen = true;
    const QString saved = dir + QLatin1Char('\\') + QLatin1String(row.stem) + ext;
    if (row.optional && !fs.exists(saved)) continue;
    const quint32 attrs = fs.attributes(row.live);
    if (attrs != kInvalidAttributes) fs.setAttributes(row.live, 0);
    if (fs.copyFile(saved, row.live, false)) continue;
    // The file the copy could not replace keeps its attributes too.
    if (failureReason_.isEmpty()) failureReason_ = QStringLiteral("%1: %2").arg(row.live, describe(fs.lastError()));
    if (attrs != kInvalidAttributes) fs.setAttributes(row.live, attrs & AttrSettable);
    ok = filesOk = false;
    dialogs_.warning(failure);
  }
  if (ok)
    dialogs_.information(
        text("Restore erfolgreich.\rBitte Computer neu starten!", "Restore successful.\rPlease restart your computer!"));
  else if (!registryWhy.isEmpty())
    // The last word on the restore, after any box about a file, so that a restore that
    // put the files back is not taken for a whole one.
    dialogs_.warning(text("Die Registry wurde nicht wiederhergestellt und ist unverändert:\r%1",
                          "The registry was not restored and is unchanged:\r%1")
                         .arg(registryWhy) +
                     (filesChosen && filesOk
                          ? text("\rDie übrigen gewählten Teile wurden wiederhergestellt.\rBitte Computer neu starten!",
                                 "\rThe other chosen parts were restored.\rPlease restart your computer!")
                          : QString()));
  return ok;
}

bool Backups::wholeRegistryExport(const QString& descriptionPath, const QString& file, const QByteArray& exported,
                                  std::function<bool(QString*)>* sameHash, QString* why) {
  Profile profile(machine_.files());
  const QString size = profile.getString(descriptionPath, kSection, kRegistrySizeKey);
  const QString hash = profile.getString(descriptionPath, kSection, kRegistryHashKey);
  // Sets made before their export was recorded can only be judged by the import itself.
  if (size.isEmpty() && hash.isEmpty()) return true;
  if (QString::number(exported.size()) != size.trimmed()) {
    *why = text("%1 ist nicht mehr der ganze Export des Backups: %2 Bytes statt %3.",
                "%1 is no longer the whole export the backup made: %2 bytes instead of %3.")
               .arg(file)
               .arg(exported.size())
               .arg(size.trimmed());
    return false;
  }
  // Hashing the export takes a sixth as long as importing it; the second core does it while
  // the import reads the text. Where no thread can be started, it is done when first asked.
  const std::shared_future<QString> digest =
      std::async(std::launch::async | std::launch::deferred, [&exported] { return sha256Hex(exported); }).share();
  *sameHash = [digest, recorded = hash.trimmed(),
               changed = text("%1 ist nicht mehr der Export, den das Backup angefertigt hat: sein Inhalt hat sich geändert.",
                              "%1 is no longer the export the backup made: its contents have changed.")
                             .arg(file)](QString* why) {
    if (digest.get().compare(recorded, Qt::CaseInsensitive) == 0) return true;
    *why = changed;
    return false;
  };
  return true;
}

QString Backups::dosFolder(const QString& folder) const { return dosPath(machine_.files(), folder).value_or(folder); }

QByteArray Backups::rescueAutoexec() const {
  const QString w = dosFolder(windowsDirectory_);
  const QString p = dosFolder(programDirectory_);
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
                            QStringLiteral("C:\\config.sys"),   QStringLiteral("C:\\Autoexec.bat")};
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
  return toAnsi(QStringLiteral("copy ") + dosFolder(programDirectory_) + QStringLiteral("\\SAVE\\*.* ") +
                dosFolder(windowsDirectory_) + QStringLiteral("\\SYSTEM\r\n"));
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

  // A disk image takes the whole disk in one replacement, so a kill or a failure leaves the
  // earlier files as they were, byte for byte. A folder drive takes each file as it comes;
  // there, what was written goes again when the disk cannot be finished.
  fs.holdImage(QLatin1Char('A'));
  QStringList written;
  auto undo = [&](WinError error) {
    if (!fs.releaseImage(QLatin1Char('A'), false) && error == WinError::Success) error = fs.lastError();
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
  const bool image = !a->image.isEmpty();
  // A file of an earlier rescue disk may be read-only; writing the disk again replaces it.
  auto put = [&](const QString& target, const QByteArray& bytes) {
    if (fs.exists(target)) fs.setAttributes(target, 0);
    if (!fs.writeFile(target, bytes)) return false;
    if (!image) written << target;
    return true;
  };
  auto copy = [&](const QString& from, const QString& target) {
    if (!fs.exists(from)) return true;  // nothing to copy is not a failure of the disk
    if (fs.exists(target)) fs.setAttributes(target, 0);
    if (!fs.copyFile(from, target, false)) return false;
    if (!image) written << target;
    return true;
  };

  position(0);
  status("Erstelle Startdateien", "Creating startfiles");
  if (!put(QStringLiteral("a:\\autoexec.bat"), rescueAutoexec())) return undo(fs.lastError());
  // The help files the program directory holds, or where it has none (the window puts
  // them there, the command line does not) the copies built into the program.
  auto help = [&](const QString& name, const QString& target) {
    const QString from = programDirectory_ + QLatin1Char('\\') + name;
    if (fs.exists(from)) return copy(from, target);
    QFile builtIn(QStringLiteral(":/rescue/") + name);
    return !builtIn.open(QIODevice::ReadOnly) || put(target, builtIn.readAll());
  };
  if (!help(QStringLiteral("HELP.bat"), QStringLiteral("A:\\help.bat")) ||
      !help(text("HELP.de", "HELP.eng"), QStringLiteral("A:\\help.txt")))
    return undo(fs.lastError());
  if (!put(QStringLiteral("a:\\restore.bat"), rescueRestoreBat())) return undo(fs.lastError());
  // A DOS 7 boot floppy's MSDOS.SYS is its boot configuration; an older DOS keeps its kernel
  // under that name, which is left alone. It comes after the files an undo takes away, so
  // the floppy never loses the MSDOS.SYS it boots with.
  const QString boot = QStringLiteral("A:\\MSDOS.SYS");
  const quint32 bootAttributes = fs.attributes(boot);
  const std::optional<QByteArray> bootConfig = bootAttributes == kInvalidAttributes ? QByteArray() : fs.readFile(boot);
  if (bootConfig && !bootConfig->contains('\0')) {
    const bool ok = put(boot, rescueBootConfig(*bootConfig));
    const WinError error = fs.lastError();
    written.removeAll(boot);  // the floppy boots with it: no undo takes it away
    const quint32 kept =
        bootAttributes == kInvalidAttributes ? AttrReadOnly | AttrHidden | AttrSystem : bootAttributes & AttrSettable;
    fs.setAttributes(boot, ok ? kept | AttrArchive : kept);
    if (!ok) return undo(error);
  }
  if (!fs.heldImageFits(QLatin1Char('A'))) return undo(WinError::DiskFull);

  position(1);
  status("Kopiere Systemtools", "Copying systemtools");
  const QString tools = windowsDirectory_ + QStringLiteral("\\command\\");
  QStringList missing;
  const char* batches[2][4] = {{"chkdsk.exe", "attrib.exe", "edit.com", "fdisk.exe"},
                               {"scandisk.exe", "scandisk.ini", "sys.com", "format.com"}};
  for (int b = 0; b < 2; ++b) {
    for (const char* tool : batches[b]) {
      const QString target = QStringLiteral("A:\\") + QLatin1String(tool);
      if (!copy(tools + QLatin1String(tool), target)) {
        missing << QLatin1String(tool);
      } else if (!fs.heldImageFits(QLatin1Char('A'))) {
        fs.deleteFile(target);
        missing << QLatin1String(tool);
      }
    }
    position(2 + b);
  }
  if (!fs.releaseImage(QLatin1Char('A'), true)) return undo(fs.lastError());
  // The disk restores without the tools; the user learns which ones did not fit.
  if (!missing.isEmpty())
    dialogs_.warning(text("Diese Programme konnten nicht auf die Diskette kopiert werden:\r%1",
                          "These programs could not be copied to the disk:\r%1")
                         .arg(missing.join(QStringLiteral(", "))));
  dialogs_.information(
      text("Rettungsdiskette erstellt.Warten Sie bis die LED ihres Diskettenlaufwerkes ausgeht und "
           "entnehmen Sie dann die Diskette.",
           "Safety-disk created.Wait until the LED of your diskdrive turns off and then remove the disk."));
  return true;
}

}  // namespace vt::backup
