// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The backup store and what it is for: numbered sets of the files the other sections
// change, the automatic backup they make before changing anything, the last-state copy and
// the copy of five system libraries that the rescue disk and the repairs restore from,
// restore and deletion of sets, and the rescue floppy. Widget-free: the window hands in what
// its pages show and shows what comes back.
#include "sysaccess/dialogs.h"
#include "sysaccess/state.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>

namespace vt {

class Machine;

namespace backup {

// The six components, in the order of the creation and restore pages.
enum Component { Registry = 0, Systemfiles, Startfiles, MsdosSys, Logos, Others, kComponentCount };
using Components = std::array<bool, kComponentCount>;

// The description file's keys, in the order they are written.
inline constexpr std::array<const char*, kComponentCount> kComponentKeys = {"Registry",  "Systemfiles", "Startfiles",
                                                                            "MSDOS.SYS", "LOGOS",       "SONSTIGES"};

// What the creation page holds.
struct Choice {
  Components components{};
  QString description;
};

// One set as the list shows it.
struct SetEntry {
  QString descriptionPath;  // the set's BACKUP.nnn
  QDateTime modified;       // local time of the description file
  QString name;
};

// Kinds of automatic backup.
enum AutoKind { AutoStartfiles = 1, AutoSystemfiles = 2, AutoRegistry = 3, AutoBootOptions = 4, AutoFirstStart = 5 };

struct RescueProgress {
  std::function<void(const QString& status)> status;
  std::function<void(int position)> position;  // 0 to 3
};

class Backups {
 public:
  Backups(Machine& machine, const SharedState& state, DialogService& dialogs);

  // The three directories; they are set by the start-up before any other call.
  void setDirectories(const QString& programDirectory, const QString& windowsDirectory, const QString& systemDirectory);
  QString storeDirectory() const;  // program directory + "\BACKUP"
  QString lastDirectory() const;
  QString saveDirectory() const;

  // Called after every change to the store (creation, automatic backup, deletion), so the
  // window can rebuild its list.
  std::function<void()> onSetsChanged;

  // The lowest free set number "000".."999"; empty when all thousand are in use.
  QString NextBackupNumber(const QString& store);
  // Writes one set, its description file last and in one write. With the silent flag
  // clear, failures are told as they happen and a closing box follows. An empty
  // description becomes "No name" in `choice` too.
  // Returns the backup result flag.
  bool CreateBackupSet(Choice& choice);
  bool SaveLastState();
  bool SaveSystemDlls();
  // A set of the given kind without any message. `currentDescription` is used only by a
  // kind outside 1 to 5, which has none of its own. True only when every file was saved.
  bool AutoBackup(int kind, const QString& currentDescription = {});
  // The automatic set a section makes before it changes the system. When it cannot be made
  // the user is told, in the words of the kind (start files, system files, registry), that
  // the action is cancelled; the caller then changes nothing.
  bool BackupBeforeChange(int kind);
  // Why the last creation or restore failed, for callers that report it themselves.
  const QString& failureReason() const { return failureReason_; }

  // The sets in the store, in no particular order. Only sets with a whole description are
  // sets: the files that a set whose making was cut off left behind are removed.
  QList<SetEntry> ListSets();
  SetEntry describeSet(const QString& descriptionPath);
  // Deletes every file of the store with the set's extension, read-only and hidden ones too.
  // False when a file could not be deleted.
  bool DeleteBackupSet(const QString& descriptionPath);
  // The warning after a deletion that left files of the set behind.
  QString deletionFailedText() const {
    return text("Der Backup-Satz konnte nicht vollständig gelöscht werden.", "The backup set could not be deleted completely.");
  }
  // The components the set's description file says it holds.
  Components LoadBackupComponents(const QString& descriptionPath);
  // Puts the chosen components back, registry first, then the files in the order of the
  // restore map; tells the user of each failure and of the outcome. True when all worked.
  // The registry is replaced only by the whole export the set recorded when it was made;
  // otherwise it stays as it is, and the closing message says so.
  bool RestoreBackupSet(const QString& descriptionPath, const Components& chosen, bool replaceRegistry);

  // The generated files of the rescue floppy (CR LF lines, Windows-1252), naming every
  // file by the short path DOS reaches it by.
  QByteArray rescueAutoexec() const;
  QByteArray rescueRestoreBat() const;
  // The floppy's MSDOS.SYS made from the one it holds (empty when it has none), so that the
  // disk stops at the DOS prompt after its AUTOEXEC.BAT.
  static QByteArray rescueBootConfig(const QByteArray& current);
  // Writes the rescue floppy to drive A:, telling the user how it went. False when the
  // floppy could not be written; then no rescue files are left on it.
  bool CreateRescueDisk(const RescueProgress& progress = {});

  bool silent() const { return silent_; }
  void setSilent(bool on) { silent_ = on; }

 private:
  QString text(const char* german, const char* english) const { return QString::fromUtf8(state_.pick(german, english)); }
  // The floppy boots real-mode DOS, which sees no long names: its batches name a folder by
  // its aliases. One DOS cannot name (it does not exist, so holds nothing to restore)
  // keeps the name it was given.
  QString dosFolder(const QString& folder) const;
  bool copyComponentFile(const QString& from, const QString& to, const QString& failure);
  // `setFilesOnly`: only the files a set is made of, none the user may have put there.
  void removeSet(const QString& store, const QString& number, bool setFilesOnly = false);
  // Whether `exported` is still the whole export the set recorded. Its size is judged at
  // once; its hash is taken meanwhile and judged by `sameHash`, which waits for it and is
  // left empty for a set made before either was recorded. `exported` must outlive it.
  bool wholeRegistryExport(const QString& descriptionPath, const QString& file, const QByteArray& exported,
                           std::function<bool(QString*)>* sameHash, QString* why);
  // `keepMissing`: a source that is gone keeps the copy the folder held of it.
  bool refreshCopy(const QString& folder, const QStringList& sources, bool keepMissing = false);
  void setsChanged() {
    if (onSetsChanged) onSetsChanged();
  }

  Machine& machine_;
  const SharedState& state_;
  DialogService& dialogs_;
  QString programDirectory_, windowsDirectory_, systemDirectory_;
  bool silent_ = false;
  bool result_ = false;
  QString failureReason_;
};

}  // namespace backup
}  // namespace vt
