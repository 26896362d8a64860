// SPDX-License-Identifier: GPL-3.0-or-later
// clean, clean-registry and optimise: the clean-up section's three pages on the command
// line. Each lists what the window would propose, and acts as the window's Delete or
// button does, through the same steps: the checks before deleting, the backup set first.
#include "commands.h"
#include "session.h"
#include "textdiff.h"

#include "cleanup/deletion.h"
#include "cleanup/filesearch.h"
#include "cleanup/optimisers.h"
#include "cleanup/registryclean.h"
#include "platform/filesystem.h"
#include "platform/machine.h"
#include "sysaccess/options.h"

#include <QJsonArray>
#include <QJsonObject>

namespace vt::tool {

const char* const kHelpClean =
    "Usage: vantrel-machine --machine DIR clean [--kinds LIST]\n"
    "         [--extended-temp] [--removable] [--cdrom]\n"
    "         [--network] [--dry-run | --delete | --recycle]\n"
    "         [--json]\n"
    "\n"
    "Searches every fixed drive for useless files, as the\n"
    "clean-up section does, and lists them with their sizes\n"
    "and the two totals: the bytes they hold and the whole\n"
    "clusters they take on disk.\n"
    "\n"
    "  --kinds LIST     what to look for, comma-separated:\n"
    "                   mscreate (empty MSCREATE.DIR files),\n"
    "                   temp (temporary files), gid (help\n"
    "                   indexes), shortcuts (shortcuts whose\n"
    "                   target is gone), win3x (Windows 3.x\n"
    "                   groups, Task and File Manager). Without\n"
    "                   it: the kinds the machine's options\n"
    "                   file ticks, or all but win3x.\n"
    "  --extended-temp  every *.TMP, not only ~*.TMP\n"
    "  --removable, --cdrom, --network\n"
    "                   shortcuts to such drives count as lost\n"
    "                   when their target is missing\n"
    "  --dry-run        only list (the default); exit 3 when\n"
    "                   something was found\n"
    "  --delete         delete what was found\n"
    "  --recycle        move it into its drive's recycle bin;\n"
    "                   with either, exit 1 when a file could\n"
    "                   not be removed (the others are gone)\n"
    "  --json           one JSON document instead of text\n";

const char* const kHelpCleanRegistry =
    "Usage: vantrel-machine --machine DIR clean-registry [--tips]\n"
    "         [--uninstall] [--file-types] [--removable]\n"
    "         [--cdrom] [--network] [--dry-run] [--json]\n"
    "\n"
    "The registry clean-ups of the clean-up section; without\n"
    "any of the first three, all three. Each makes an automatic\n"
    "registry backup set first.\n"
    "\n"
    "  --tips        switch the tips of the day off and delete\n"
    "                the stored tips\n"
    "  --uninstall   remove uninstall entries whose uninstaller\n"
    "                is gone\n"
    "  --file-types  remove file types whose program is gone\n"
    "  --removable, --cdrom, --network\n"
    "                file types of programs on such drives\n"
    "                count as gone\n"
    "  --dry-run     only list what would be removed; exit 3\n"
    "                when there is something\n"
    "  --json        one JSON document instead of text\n";

const char* const kHelpOptimise =
    "Usage: vantrel-machine --machine DIR optimise win.ini\n"
    "         [--dry-run] [--json]\n"
    "       vantrel-machine --machine DIR optimise start-files\n"
    "         [--dry-run] [--json]\n"
    "\n"
    "Rewrites WIN.INI (comments and [Extensions] entries of\n"
    "missing programs go) or CONFIG.SYS and AUTOEXEC.BAT\n"
    "(comments go, drivers and programs load high), in capitals,\n"
    "after an automatic backup set, as the clean-up section does.\n"
    "\n"
    "  --dry-run  change nothing; show the new files as a\n"
    "             unified diff; exit 3 when a file would change\n"
    "  --json     one JSON document: the files, each with its\n"
    "             name and its diff (empty when unchanged)\n";

namespace {

// The kinds by their option names, in the order the search runs them.
struct KindName {
  cleanup::SearchKind kind;
  const char* name;
  bool cleanup::SearchKinds::*ticked;
  int optionBox;  // the box of the options file
};
constexpr KindName kKinds[] = {
    {cleanup::SearchKind::MscreateDir, "mscreate", &cleanup::SearchKinds::mscreateDir, 8},
    {cleanup::SearchKind::Temp, "temp", &cleanup::SearchKinds::temp, 10},
    {cleanup::SearchKind::Gid, "gid", &cleanup::SearchKinds::gid, 9},
    {cleanup::SearchKind::Shortcuts, "shortcuts", &cleanup::SearchKinds::shortcuts, 7},
    {cleanup::SearchKind::Win3, "win3x", &cleanup::SearchKinds::win3, 11},
};

QString kindName(cleanup::SearchKind kind) {
  for (const KindName& k : kKinds)
    if (k.kind == kind) return QLatin1String(k.name);
  return {};
}

QString text(const SharedState& state, const char* german, const char* english) {
  return QString::fromUtf8(state.pick(german, english));
}

struct FoundFile {
  QString path, shortPath;
  qint64 size = 0, onDisk = 0;
  cleanup::SearchKind kind;
};

// The working page for a terminal: the pass and drive, and the folders done of those
// counted; every listed file is kept with what the list page does not show.
class TerminalSearchView : public cleanup::SearchView {
 public:
  TerminalSearchView(Io& io, FileSystem& fs) : progress_(io, "clean", "folders"), fs_(fs), step_(progress_.callback()) {}
  void showStatus(const QString& text) override {
    status_ = text;
    progress_.say(status_);
  }
  void showDrive(const QString& root) override { progress_.say(status_ + QLatin1Char(' ') + root); }
  void showProgress(int position, int maximum) override {
    // Hidden folders are walked but not counted; the bar stops at its end, as the window's does.
    if (step_ && position > 0) step_(std::min(position, maximum), maximum);
  }
  void showCounters(const cleanup::SearchCounters&) override {}
  void listed(const QString& path, qint64 size, qint64 onDisk, cleanup::SearchKind kind) override {
    found.push_back({path, fs_.shortPathName(path).value_or(path), size, onDisk, kind});
  }

  std::vector<FoundFile> found;

 private:
  TerminalProgress progress_;
  FileSystem& fs_;
  std::function<void(int, int)> step_;
  QString status_;
};

bool parseKinds(const QString& list, cleanup::SearchKinds* kinds, QString* bad) {
  *kinds = {false, false, false, false, false};
  for (const QString& item : list.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
    const KindName* known = nullptr;
    for (const KindName& k : kKinds)
      if (item.trimmed().compare(QLatin1String(k.name), Qt::CaseInsensitive) == 0) known = &k;
    if (!known) {
      *bad = item.trimmed();
      return false;
    }
    kinds->*(known->ticked) = true;
  }
  return kinds->any();
}

// The kinds the window's search page ticks for this machine: those its options file keeps,
// or the page's defaults.
cleanup::SearchKinds windowKinds(Machine& m) {
  cleanup::SearchKinds kinds;
  if (const auto boxes = readOptionsFile(m.files(), m.facts().programDirectory))
    for (const KindName& k : kKinds) kinds.*(k.ticked) = (*boxes)[size_t(k.optionBox)];
  return kinds;
}

}  // namespace

int cmdClean(Machine& m, const QStringList& args, Io& io) {
  Options options(args);
  const bool json = options.flag("json");
  const bool dryRun = options.flag("dry-run"), remove = options.flag("delete"), recycle = options.flag("recycle");
  OptionFlags flags;
  flags.extendedTempSearch = options.flag("extended-temp");
  flags.floppyShortcuts = options.flag("removable");
  flags.cdromShortcuts = options.flag("cdrom");
  flags.networkShortcuts = options.flag("network");
  const std::optional<QString> kindList = options.value("kinds");
  int code = Ok;
  if (!options.finish("clean", io, &code)) return code;
  if (int(dryRun) + int(remove) + int(recycle) > 1)
    return io.fail(Usage, QStringLiteral("clean: --dry-run, --delete and --recycle exclude each other"));
  cleanup::SearchKinds kinds = windowKinds(m);
  if (kindList) {
    QString bad;
    if (!parseKinds(*kindList, &kinds, &bad))
      return io.fail(Usage, bad.isEmpty() ? QStringLiteral("clean: --kinds names no kind (see clean --help)")
                                          : QStringLiteral("clean: unknown kind \"%1\" (see clean --help)").arg(bad));
  }
  if (!kinds.any()) return io.fail(Usage, QStringLiteral("clean: the options file ticks no kind; name them with --kinds"));

  Session h(m, io);
  h.dialogs.hold = true;
  flags.recycle = recycle;
  cleanup::DeletionList list;
  TerminalSearchView view(io, m.files());
  cleanup::SearchCounters totals;
  {
    cleanup::FileSearch search(m.files(), h.files, h.state, h.pump, flags, h.os.WindowsDirectory(), list, &view);
    search.run(kinds);
    totals = search.counters();
  }
  const bool acting = remove || recycle;
  QStringList left;
  if (acting && list.size() > 0) {
    cleanup::RegistryCleaner cleaner{h.reg, m.files(), h.backups, h.dialogs, h.state};
    cleanup::Deletion deletion{cleaner, h.files, recycle};
    list.markAll();
    left = cleanup::DeleteMarked(deletion, list).filesLeft;
  }

  const qint64 bytes = totals.bytesSaved, onDisk = totals.bytesReallySaved;
  if (json) {
    QJsonArray files;
    for (const FoundFile& f : view.found)
      files.append(QJsonObject{{QStringLiteral("path"), f.path},
                               {QStringLiteral("shortPath"), f.shortPath},
                               {QStringLiteral("size"), f.size},
                               {QStringLiteral("sizeOnDisk"), f.onDisk},
                               {QStringLiteral("kind"), kindName(f.kind)}});
    QJsonObject doc{{QStringLiteral("files"), files},
                    {QStringLiteral("count"), qint64(view.found.size())},
                    {QStringLiteral("bytes"), bytes},
                    {QStringLiteral("bytesOnDisk"), onDisk}};
    if (acting) {
      doc.insert(QStringLiteral("action"), recycle ? QStringLiteral("recycle") : QStringLiteral("delete"));
      doc.insert(QStringLiteral("left"), QJsonArray::fromStringList(left));
    }
    io.json(doc);
  } else {
    const QString verb = recycle ? QStringLiteral("recycled ") : remove ? QStringLiteral("deleted  ") : QString();
    for (const FoundFile& f : view.found) {
      const QString done = !acting ? QString() : left.contains(f.path) ? QStringLiteral("left     ") : verb;
      io.out << done << QStringLiteral("%1  %2  ").arg(f.size, 12).arg(kindName(f.kind), -9) << f.path << '\n';
    }
    // The totals in the words of the search's working page.
    io.out << text(h.state, "Gefundene Dateien: ", "Files found: ") << view.found.size() << '\n'
           << text(h.state, "Platzersparnis in Bytes: ", "Bytes saved: ") << bytes << '\n'
           << text(h.state, "Reale Erspanis in Bytes: ", "Bytes really saved: ") << onDisk << '\n';
  }
  if (acting) return left.isEmpty() ? Ok : Failed;
  return view.found.empty() ? Ok : Found;
}

// --- clean-registry --------------------------------------------------------------------------

int cmdCleanRegistry(Machine& m, const QStringList& args, Io& io) {
  Options options(args);
  const bool json = options.flag("json"), dryRun = options.flag("dry-run");
  bool tips = options.flag("tips"), uninstall = options.flag("uninstall"), fileTypes = options.flag("file-types");
  OptionFlags flags;
  flags.floppyShortcuts = options.flag("removable");
  flags.cdromShortcuts = options.flag("cdrom");
  flags.networkShortcuts = options.flag("network");
  int code = Ok;
  if (!options.finish("clean-registry", io, &code)) return code;
  if (!tips && !uninstall && !fileTypes) tips = uninstall = fileTypes = true;

  Session h(m, io);
  h.dialogs.hold = true;
  cleanup::RegistryCleaner cleaner{h.reg, m.files(), h.backups, h.dialogs, h.state};
  cleanup::Deletion deletion{cleaner, h.files, false};
  QJsonObject doc;
  bool found = false, ok = true;

  if (tips) {
    const QList<std::pair<QString, qint64>> stored = cleanup::StoredWindowsTips(cleaner);
    QJsonArray values;
    qint64 bytes = 0;
    for (const auto& [name, size] : stored) {
      values.append(QJsonObject{{QStringLiteral("name"), name}, {QStringLiteral("bytes"), size}});
      bytes += size;
    }
    found |= !stored.isEmpty();
    doc.insert(QStringLiteral("tips"), QJsonObject{{QStringLiteral("values"), values},
                                                   {QStringLiteral("count"), qint64(stored.size())},
                                                   {QStringLiteral("bytes"), bytes}});
    // Their names are only numbers; the JSON has them.
    if (!json) io.out << "Windows tips: " << stored.size() << " stored, " << bytes << " bytes\n";
    if (!dryRun) {
      ok &= cleanup::DeleteWindowsTips(cleaner);
      showHeld(io, h.dialogs, json);
    }
  }

  // The two lists, each removed as the list page's Delete removes it with every line marked.
  struct Scan {
    bool wanted;
    const char* field;
    const char* title;
    std::function<void(cleanup::DeletionList&)> fill;
    std::function<QJsonObject(const cleanup::DeletionList&, int)> entry;
  };
  const Scan scans[] = {
      {uninstall, "uninstall", "Uninstall entries", [&](cleanup::DeletionList& l) { cleanup::ScanUninstallEntries(cleaner, l); },
       [](const cleanup::DeletionList& l, int i) {
         return QJsonObject{{QStringLiteral("name"), l.entries[i]}, {QStringLiteral("key"), l.keys[i]}};
       }},
      {fileTypes, "fileTypes", "File types", [&](cleanup::DeletionList& l) { cleanup::ScanFileTypes(cleaner, l, flags); },
       [](const cleanup::DeletionList& l, int i) {
         return QJsonObject{{QStringLiteral("extension"), l.keys[i]},
                            {QStringLiteral("program"), l.entries[i].mid(l.keys[i].size() + 3)}};
       }},
  };
  for (const Scan& scan : scans) {
    if (!scan.wanted) continue;
    cleanup::DeletionList list;
    scan.fill(list);
    QJsonArray entries;
    for (int i = 0; i < list.size(); ++i) entries.append(scan.entry(list, i));
    doc.insert(QLatin1String(scan.field), entries);
    found |= list.size() > 0;
    if (!json) {
      io.out << scan.title << ": " << list.size() << '\n';
      for (const QString& e : list.entries) io.out << "  " << e << '\n';
    }
    if (!dryRun && list.size() > 0) {
      ok &= cleanup::DeleteMarked(deletion, list).ok;
      showHeld(io, h.dialogs, json);
    }
  }
  if (json) io.json(doc);
  if (!dryRun) return ok ? Ok : Failed;
  return found ? Found : Ok;
}

// --- optimise --------------------------------------------------------------------------------

int cmdOptimise(Machine& m, const QStringList& args, Io& io) {
  Options options(args);
  const bool json = options.flag("json"), dryRun = options.flag("dry-run");
  int code = Ok;
  if (!options.finish("optimise", io, &code, 1, 1)) return code;
  const QString what = options.plain().first().toLower();
  const bool winIni = what == QLatin1String("win.ini");
  if (!winIni && what != QLatin1String("start-files"))
    return io.fail(Usage, QStringLiteral("optimise: \"%1\" is neither win.ini nor start-files").arg(options.plain().first()));

  Session h(m, io);
  h.dialogs.hold = true;
  FileSystem& fs = m.files();
  const QString windows = h.os.WindowsDirectory();
  const QList<cleanup::Rewrite> plan = winIni ? cleanup::plannedWinIni(fs, windows) : cleanup::plannedStartFiles(fs);
  QJsonArray files;
  bool changes = false;
  for (const cleanup::Rewrite& r : plan) {
    if (!r.before) return io.fail(Failed, QStringLiteral("cannot read %1: %2").arg(r.file, describe(fs.lastError())));
    const QString name = fs.longPathName(r.file).value_or(r.file);
    const QString diff = unifiedDiff(name, *r.before, r.after);
    changes |= !diff.isEmpty();
    files.append(QJsonObject{{QStringLiteral("file"), name}, {QStringLiteral("diff"), diff}});
    if (dryRun && !json) io.out << diff;
  }

  if (!dryRun) {
    cleanup::Optimiser o{fs, h.backups, h.dialogs, h.state, windows};
    if (!(winIni ? cleanup::OptimizeWinIni(o) : cleanup::OptimizeStartFiles(o))) return Failed;
    showHeld(io, h.dialogs, json);
  }
  if (json) io.json(QJsonObject{{QStringLiteral("files"), files}});
  if (!dryRun) return Ok;
  return changes ? Found : Ok;
}

}  // namespace vt::tool
