// SPDX-License-Identifier: GPL-3.0-or-later
#include "cleanup/registryclean.h"

#include "backup/backups.h"
#include "platform/filesystem.h"
#include "platform/text.h"
#include "sysaccess/options.h"
#include "sysaccess/reg.h"

namespace vt::cleanup {

namespace {

constexpr auto kTips = u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Tips";
constexpr auto kUninstall = u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

// The enumeration buffers: a longer name ends the enumeration, as the query for it fails.
constexpr qsizetype kUninstallNameMax = 99;
constexpr qsizetype kClassNameMax = 511;

// Compared on their first four characters, so ".EXE2" or ".DLL_" count as well.
constexpr const char16_t* kSystemExtensions[] = {
    u".SYS", u".DLL", u".EXE", u".COM", u".BAT", u".VXD", u".386", u".PIF", u".LNK", u".DRV", u".SCR",
    u".FON", u".CUR", u".ANI", u".GRP", u".ICO", u".INF", u".CMD", u".CPL", u".HLP", u".SHS",
};

QString text(const SharedState& state, const char* german, const char* english) {
  return QString::fromUtf8(state.pick(german, english));
}

// A folder of the program's name is no program.
bool fileExists(FileSystem& fs, const QString& path) { return fs.isFile(path); }

bool isSystemExtension(const QString& extension) {
  const QString head = winUpper(QStringView(extension).first(std::min<qsizetype>(extension.size(), 4)));
  for (const char16_t* e : kSystemExtensions)
    if (head == QStringView(e)) return true;
  return false;
}

// An uninstall command counts only when it names its program with a drive letter; one
// found along the search path (RUNDLL32 ...) cannot be judged from here.
bool uninstallerGone(FileSystem& fs, const QString& command) {
  const QString upper = winUpper(command);
  const qsizetype exe = upper.indexOf(QLatin1String(".EXE"));
  QString program;
  if (exe >= 0) {
    program = upper.left(exe + 4);
    if (program.startsWith(QLatin1Char('"'))) program.remove(0, 1);
  } else if (upper.startsWith(QLatin1Char('"'))) {
    // An uninstaller of another kind (UNINST.BAT, a .COM): the quoted path, or the first word.
    program = upper.mid(1).section(QLatin1Char('"'), 0, 0);
  } else {
    program = upper.section(QLatin1Char(' '), 0, 0);
  }
  if (program.mid(1, 2) != QLatin1String(":\\")) return false;
  // A bare drive root names no program at all.
  if (program.size() <= 3) return false;
  return !fileExists(fs, program);
}

// `program` is upper case and begins with "X:\". Drives that come and go are not looked
// at: a diskette or CD that is not in, or a share that is not connected, proves nothing,
// so the options decide whether their programs count as gone.
bool fileTypeProgramGone(FileSystem& fs, const QString& program, const OptionFlags& options) {
  switch (fs.driveType(QStringView(program).first(3))) {
    case DriveType::Fixed: return !fileExists(fs, program);
    case DriveType::Removable: return options.floppyShortcuts != 0;
    case DriveType::CdRom: return options.cdromShortcuts != 0;
    case DriveType::Remote: return options.networkShortcuts != 0;
    default: return false;
  }
}

bool isMarked(const DeletionList& list, int i) { return i < int(list.marked.size()) && list.marked[size_t(i)]; }

}  // namespace

bool DeleteWindowsTips(RegistryCleaner& c) {
  if (!c.backups.BackupBeforeChange(backup::AutoRegistry)) return false;
  c.reg.WriteRegDword(HKEY_CURRENT_USER, kTips, u"Show", 0);
  c.reg.WriteRegDword(HKEY_CURRENT_USER, kTips, u"Next", 0);
  qint64 bytes = 0;
  if (c.reg.RegKeyExists(HKEY_LOCAL_MACHINE, kTips) && !c.reg.DeleteAllRegValues(HKEY_LOCAL_MACHINE, kTips, &bytes)) {
    c.dialogs.warning(text(c.state,
                           "Fehler: Die Windows-Tips konnten nicht gelöscht werden, da die Registry nicht gespeichert werden "
                           "konnte. Die Tips blieben erhalten.",
                           "Error: Unable to delete the Windows-tips because the registry could not be saved. The tips were "
                           "left as they were."));
    return false;
  }
  const QString total = QString::number(bytes);
  c.dialogs.information(text(c.state, "Die Windows-Tips wurden gelöscht.\r", "The Windows-tips have been deleted.\r") + total +
                        text(c.state, " Bytes wurden gelöscht.", " Bytes have been deleted."));
  return true;
}

QList<std::pair<QString, qint64>> StoredWindowsTips(RegistryCleaner& c) { return c.reg.ValueSizes(HKEY_LOCAL_MACHINE, kTips); }

bool ScanUninstallEntries(RegistryCleaner& c, DeletionList& list) {
  list.clear();
  if (!c.reg.RegKeyExists(HKEY_LOCAL_MACHINE, kUninstall)) return false;
  list.kind = ListKind::Uninstall;
  const QString base = QString::fromUtf16(kUninstall) + QLatin1Char('\\');
  for (const QString& name : c.reg.SubKeyNames(HKEY_LOCAL_MACHINE, kUninstall)) {
    if (name.size() > kUninstallNameMax) break;
    // A path cannot name a nameless key: it would name the uninstall key itself.
    if (name.isEmpty()) continue;
    const QString entry = base + name;
    const std::optional<QString> command = c.reg.ReadWholeRegString(HKEY_LOCAL_MACHINE, entry, u"UninstallString");
    if (!command || !uninstallerGone(c.fs, *command)) continue;
    const std::optional<QString> shownName = c.reg.ReadWholeRegString(HKEY_LOCAL_MACHINE, entry, u"DisplayName");
    if (!shownName) continue;
    list.add(*shownName, name);
  }
  list.markAll();
  return true;
}

bool RemoveUninstallEntries(RegistryCleaner& c, DeletionList& list) {
  if (!c.reg.RegKeyExists(HKEY_LOCAL_MACHINE, kUninstall)) return false;
  if (!c.backups.BackupBeforeChange(backup::AutoRegistry)) return false;
  const QString base = QString::fromUtf16(kUninstall) + QLatin1Char('\\');
  bool ok = true;
  for (int i = 0; i < list.size(); ++i) {
    if (!isMarked(list, i)) continue;
    const QString key = list.keys.value(i);
    // An empty key would name the uninstall key and take every entry with it.
    if (key.isEmpty() || !c.reg.DeleteRegKey(HKEY_LOCAL_MACHINE, base + key)) ok = false;
  }
  if (ok)
    c.dialogs.information(
        text(c.state, "Die markierten Uninstall-Einträge wurden entfernt!", "The specified Uninstall-items have been erased!"));
  else
    c.dialogs.warning(text(c.state, "Beim Löschen der Uninstall-Einträge trat ein Fehler auf!",
                           "An error occured during cleaning up the registry!"));
  list.clear();
  return ok;
}

bool ScanFileTypes(RegistryCleaner& c, DeletionList& list, const OptionFlags& options) {
  list.clear();
  list.kind = ListKind::FileTypes;
  if (!c.reg.RegKeyExists(HKEY_CLASSES_ROOT, u"")) return false;
  for (const QString& extension : c.reg.SubKeyNames(HKEY_CLASSES_ROOT, u"")) {
    if (extension.size() > kClassNameMax) break;
    if (!extension.startsWith(QLatin1Char('.'))) continue;
    const QString type = c.reg.ReadRegString(HKEY_CLASSES_ROOT, extension, u"");
    // A COM class opens these; there is no program path to check.
    if (winUpper(type).startsWith(QLatin1String("CLSID"))) continue;
    if (isSystemExtension(extension)) continue;

    const QString commandKey = (type.isEmpty() ? extension : type) + QStringLiteral("\\shell\\open\\command");
    QString program = c.reg.ReadRegString(HKEY_CLASSES_ROOT, commandKey, u"");
    program.remove(QLatin1Char('"'));
    program = winUpper(program);
    const qsizetype exe = program.indexOf(QLatin1String(".EXE"));
    if (exe < 0) continue;
    program.truncate(exe + 4);
    if (program.mid(1, 2) != QLatin1String(":\\")) continue;
    if (!fileTypeProgramGone(c.fs, program, options)) continue;
    list.add(extension + QStringLiteral(" - ") + program, extension);
  }
  list.markAll();
  return true;
}

bool RemoveFileTypes(RegistryCleaner& c, DeletionList& list) {
  if (!c.backups.BackupBeforeChange(backup::AutoRegistry)) return false;
  c.backups.SaveLastState();
  bool ok = true;
  for (int i = 0; i < list.size(); ++i) {
    if (!isMarked(list, i)) continue;
    const QString extension = list.keys.value(i);
    // An empty key names HKEY_CLASSES_ROOT itself, whose default value is no file type.
    if (extension.isEmpty()) {
      ok = false;
      continue;
    }
    const QString type = c.reg.ReadRegString(HKEY_CLASSES_ROOT, extension, u"");
    // The type may be missing already; only the extension's own key decides the outcome.
    if (!type.isEmpty()) c.reg.DeleteRegKey(HKEY_CLASSES_ROOT, type);
    if (!c.reg.DeleteRegKey(HKEY_CLASSES_ROOT, extension)) ok = false;
  }
  if (ok)
    c.dialogs.information(text(c.state,
                               "Die markierten File-Formate wurden aus der Registry entfernt. Die alte Registry wurden als "
                               "Backup gesichert.",
                               "The marked file-formats have been erased from your registry. The old registry has been "
                               "saved as backup."));
  else
    c.dialogs.warning(text(c.state,
                           "Ein Fehler trat auf! Ein oder mehrere Einträge konnten nicht gelöscht werden! Die alte Registry "
                           "wurden als Backup gesichert.",
                           "An error occured! One or more items could not been deleted! The old registry has been saved as "
                           "backup."));
  list.clear();
  return ok;
}

}  // namespace vt::cleanup
