// SPDX-License-Identifier: GPL-3.0-or-later
// report: the system report the diagnosis section shows on its three pages, as text or as
// one JSON document. It only reads the machine.
#include "commands.h"
#include "session.h"

#include "diagnosis/report.h"

#include <QJsonArray>
#include <QJsonObject>

namespace vt::tool {

const char* const kHelpReport =
    "Usage: vantrel-machine --machine DIR report [--json]\n"
    "\n"
    "The system report, as the diagnosis section shows it:\n"
    "processor, memory, BIOS, graphics and sound card,\n"
    "printer, modem, keyboard and mouse; every drive with its\n"
    "type, volume name, file system and size; the installed\n"
    "Windows updates. The texts follow --lang. Changes nothing.\n"
    "\n"
    "  --json   one JSON document instead of text\n";

namespace {

const char* const kDriveTypes[] = {"removable", "fixed", "cdrom", "network"};

}  // namespace

int cmdReport(Machine& m, const QStringList& args, Io& io) {
  Options options(args);
  const bool json = options.flag("json");
  int code = Ok;
  if (!options.finish("report", io, &code)) return code;

  Session h(m, io);
  const diagnosis::SystemReport r = diagnosis::Create_Report(m, h.reg, h.files, h.os, h.state);
  const std::pair<const char*, const QString*> facts[] = {
      {"cpu", &r.cpu},         {"ram", &r.ram},     {"bios", &r.bios},         {"graphics", &r.graphics}, {"sound", &r.sound},
      {"printer", &r.printer}, {"modem", &r.modem}, {"keyboard", &r.keyboard}, {"mouse", &r.mouse},
  };

  if (json) {
    QJsonObject doc;
    for (const auto& [name, value] : facts) doc.insert(QLatin1String(name), *value);
    QJsonArray drives;
    for (const diagnosis::DriveItem& d : r.drives) {
      const QString root = d.lines[0].right(3);
      drives.append(QJsonObject{{QStringLiteral("root"), root},
                                {QStringLiteral("type"), QLatin1String(kDriveTypes[std::clamp(d.icon, 0, 3)])},
                                {QStringLiteral("lines"), QJsonArray{d.lines[0], d.lines[1], d.lines[2]}}});
    }
    doc.insert(QStringLiteral("drives"), drives);
    doc.insert(QStringLiteral("updates"), QJsonArray::fromStringList(r.updates));
    io.json(doc);
    return Ok;
  }

  // The captions of the report's first page; the plain ones exist in one language only.
  const auto pick = [&h](const char* german, const char* english) { return QString::fromUtf8(h.state.pick(german, english)); };
  const QString captions[] = {
      QStringLiteral("CPU-Typ:"),        QStringLiteral("RAM:"),
      QStringLiteral("BIOS:"),           pick("Grafikkarte:", "Graphic-card:"),
      pick("Soundkarte:", "Soundcard:"), pick("Drucker:", "Printer:"),
      QStringLiteral("Modem:"),          pick("Tastatur:", "Keyboard:"),
      pick("Maus:", "Mouse:"),
  };
  io.out << "System-Report\n\n";
  for (size_t i = 0; i < std::size(facts); ++i) io.out << captions[i].leftJustified(15) << *facts[i].second << '\n';
  io.out << '\n' << pick("Installierte Laufwerke:", "Installed drives:") << '\n';
  for (const diagnosis::DriveItem& d : r.drives) {
    io.out << "  " << d.lines[0] << '\n';
    for (int i = 1; i < 3; ++i)
      if (!d.lines[i].isEmpty()) io.out << "    " << d.lines[i] << '\n';
  }
  io.out << '\n' << pick("Installierte Windows-Updates:", "Installed Windows-Updates:") << '\n';
  for (const QString& u : r.updates) io.out << "  " << u << '\n';
  return Ok;
}

}  // namespace vt::tool
