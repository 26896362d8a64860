// SPDX-License-Identifier: GPL-3.0-or-later
#include "diskimage/imageformat.h"

#include "platform/fat/mtools.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtEndian>

#include <unistd.h>

namespace vt::disk {

namespace {

struct FormatInfo {
  Format format;
  const char* name;   // as records and qemu-img's -f/-O name it
  const char* title;  // for messages
};
constexpr FormatInfo kFormats[] = {
    {Format::Raw, "raw", "a raw image"},          {Format::FixedVhd, "vhd-fixed", "a fixed VHD"},
    {Format::DynamicVhd, "vpc", "a dynamic VHD"}, {Format::Qcow, "qcow", "a qcow image"},
    {Format::Qcow2, "qcow2", "a qcow2 image"},    {Format::Vdi, "vdi", "a VDI image"},
    {Format::Vmdk, "vmdk", "a VMDK image"},
};

const FormatInfo& infoOf(Format f) {
  for (const FormatInfo& i : kFormats)
    if (i.format == f) return i;
  return kFormats[0];
}

QString qemuImgPath() { return QStandardPaths::findExecutable(QStringLiteral("qemu-img")); }

constexpr qint64 kVhdFooter = 512;

bool isVhdFooter(const QByteArray& b) { return b.size() >= 64 && b.startsWith("conectix"); }
quint32 vhdDiskType(const QByteArray& b) { return qFromBigEndian<quint32>(b.constData() + 0x3C); }

// The extent lines of a VMDK text descriptor: "RW 4192256 SPARSE "disk-s001.vmdk"".
QStringList descriptorExtents(const QByteArray& text) {
  QStringList out;
  for (const QByteArray& raw : text.split('\n')) {
    const QByteArray line = raw.trimmed();
    if (line.startsWith("RW ") || line.startsWith("RDONLY ") || line.startsWith("NOACCESS ")) {
      const qsizetype open = line.indexOf('"'), close = line.indexOf('"', open + 1);
      out << (open >= 0 && close > open ? QString::fromUtf8(line.mid(open + 1, close - open - 1)) : QString::fromUtf8(line));
    }
  }
  return out;
}

// One qemu-img run on files reached through links in a folder of its own.
class QemuImg {
 public:
  QemuImg() = default;
  // The path qemu-img is given for `file`; empty when the link cannot be made.
  QString link(const QString& file) {
    if (!dir_.isValid()) return {};
    const QString l = dir_.filePath(QStringLiteral("image%1").arg(links_++));
    if (::symlink(QFile::encodeName(QFileInfo(file).absoluteFilePath()).constData(), QFile::encodeName(l).constData()) != 0)
      return {};
    return l;
  }
  // How a run ended, told in qemu-img's words.
  struct Result : mtools::Result {
    QString complaint() const {
      if (!started) return QStringLiteral("qemu-img could not be started (is the qemu-utils package installed?)");
      if (!ran) return QStringLiteral("qemu-img ended abnormally (it crashed or was killed)");
      const QStringList lines = QString::fromUtf8(err.trimmed().isEmpty() ? out : err).trimmed().split(u'\n', Qt::SkipEmptyParts);
      QStringList cleaned;
      for (QString l : lines.mid(0, 3)) cleaned << l.remove(QStringLiteral("qemu-img: "));
      return cleaned.isEmpty() ? QStringLiteral("qemu-img exit status %1").arg(exitCode) : cleaned.join(QStringLiteral("; "));
    }
  };
  Result run(const QStringList& args) const {
    Result r;
    const QString program = qemuImgPath();
    if (program.isEmpty() || !dir_.isValid()) return r;
    QProcessEnvironment env;
    env.insert(QStringLiteral("PATH"), QStringLiteral("/usr/bin:/bin"));
    env.insert(QStringLiteral("HOME"), dir_.path());
    env.insert(QStringLiteral("TMPDIR"), dir_.path());
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    static_cast<mtools::Result&>(r) = mtools::runProgram(program, args, env);
    return r;
  }

 private:
  QTemporaryDir dir_;
  int links_ = 0;
};

// Gives the VDI or dynamic VHD `packed` the creation UUID of `original`. Empty when done.
QString keepUuid(const QString& original, const QString& packed, Format f) {
  QFile from(original), to(packed);
  if (!from.open(QIODevice::ReadOnly) || !to.open(QIODevice::ReadWrite)) return QStringLiteral("cannot open the image");
  if (f == Format::Vdi) {
    constexpr qint64 kUuidCreate = 0x188;
    QByteArray uuid;
    if (!from.seek(kUuidCreate) || (uuid = from.read(16)).size() != 16) return QStringLiteral("the old header is short");
    if (!to.seek(kUuidCreate) || to.write(uuid) != 16) return QStringLiteral("cannot write the header");
    return {};
  }
  // A dynamic VHD keeps its footer at both ends, each with a checksum over its bytes.
  constexpr qint64 kUniqueId = 0x44, kChecksum = 0x40;
  QByteArray uuid;
  if (!from.seek(kUniqueId) || (uuid = from.read(16)).size() != 16) return QStringLiteral("the old footer is short");
  for (const qint64 at : {qint64(0), to.size() - kVhdFooter}) {
    QByteArray footer;
    if (at < 0 || !to.seek(at) || (footer = to.read(kVhdFooter)).size() != kVhdFooter || !isVhdFooter(footer))
      return QStringLiteral("the new image has no VHD footer where it should");
    footer.replace(kUniqueId, 16, uuid);
    quint32 sum = 0;
    for (qsizetype i = 0; i < footer.size(); ++i)
      if (i < kChecksum || i >= kChecksum + 4) sum += quint8(footer[i]);
    qToBigEndian<quint32>(~sum, footer.data() + kChecksum);
    if (!to.seek(at) || to.write(footer) != kVhdFooter) return QStringLiteral("cannot write the footer");
  }
  return {};
}

}  // namespace

QString formatName(Format f) { return QString::fromLatin1(infoOf(f).name); }
QString formatTitle(Format f) { return QString::fromLatin1(infoOf(f).title); }

std::optional<Format> formatFromName(const QString& name) {
  for (const FormatInfo& i : kFormats)
    if (name == QLatin1String(i.name)) return i.format;
  return std::nullopt;
}

std::optional<Probe> probeImage(const QString& image, QString* error) {
  auto fail = [&](const QString& why) -> std::optional<Probe> {
    if (error) *error = why;
    return std::nullopt;
  };
  QFile f(image);
  if (!f.open(QIODevice::ReadOnly)) return fail(QStringLiteral("cannot read %1: %2").arg(image, f.errorString()));
  const qint64 size = f.size();
  // Enough for a VMDK descriptor as well as every header.
  const QByteArray head = f.read(65536);
  QByteArray tail;
  if (size >= 2 * kVhdFooter && f.seek(size - kVhdFooter)) tail = f.read(kVhdFooter);
  Probe p;
  p.dataBytes = size;
  if (head.startsWith("vhdxfile"))
    return fail(QStringLiteral("%1 is a VHDX image, which Vantrel does not support yet: convert it to a VHD or qcow2 first "
                               "(qemu-img convert -O vpc)")
                    .arg(image));
  if (head.startsWith("QFI\xfb") && head.size() >= 8) {
    p.format = qFromBigEndian<quint32>(head.constData() + 4) == 1 ? Format::Qcow : Format::Qcow2;
    return p;
  }
  if (head.size() >= 0x44 && qFromLittleEndian<quint32>(head.constData() + 0x40) == 0xbeda107fu) {
    p.format = Format::Vdi;
    return p;
  }
  if (head.startsWith("KDMV")) {
    p.format = Format::Vmdk;
    return p;
  }
  if (head.startsWith("# Disk DescriptorFile")) {
    const QStringList extents = descriptorExtents(head);
    if (extents.size() > 1)
      return fail(QStringLiteral("%1 is a VMDK split into %2 extent files, which Vantrel does not write back: "
                                 "convert it to one file first (qemu-img convert -O vmdk)")
                      .arg(image)
                      .arg(extents.size()));
    return fail(QStringLiteral("%1 is a VMDK descriptor whose data lies in another file (%2), which Vantrel does not write "
                               "back: convert it to one file first (qemu-img convert -O vmdk)")
                    .arg(image, extents.value(0, QStringLiteral("none named"))));
  }
  const bool footerAtEnd = isVhdFooter(tail), copyAtStart = isVhdFooter(head);
  if (footerAtEnd || copyAtStart) {
    const quint32 type = vhdDiskType(footerAtEnd ? tail : head);
    if (type == 2 && footerAtEnd) {
      p.format = Format::FixedVhd;
      p.dataBytes = size - kVhdFooter;
      return p;
    }
    if (type == 3 && copyAtStart) {
      p.format = Format::DynamicVhd;
      return p;
    }
    if (type == 4) return fail(QStringLiteral("%1 is a differencing VHD: its disk lies partly in a parent image").arg(image));
    return fail(QStringLiteral("%1 has a VHD footer of disk type %2, which Vantrel does not know").arg(image).arg(type));
  }
  return p;
}

bool qemuImgAvailable(QString* why) {
  if (!qemuImgPath().isEmpty()) return true;
  if (why) *why = QStringLiteral("qemu-img not found: install the qemu-utils package to work on this kind of image");
  return false;
}

bool checkConvertible(const QString& image, Format f, QStringList* createOptions, QString* error) {
  auto fail = [&](const QString& why) {
    if (error) *error = why;
    return false;
  };
  if (!qemuImgAvailable(error)) return false;
  QemuImg q;
  const QString in = q.link(image);
  if (in.isEmpty()) return fail(QStringLiteral("cannot prepare qemu-img for %1").arg(image));
  const QString fmt = formatName(f);
  const QemuImg::Result r = q.run({QStringLiteral("info"), QStringLiteral("--output=json"), QStringLiteral("-f"), fmt, in});
  if (!r.ok()) return fail(QStringLiteral("qemu-img cannot read %1 as %2: %3").arg(image, formatTitle(f), r.complaint()));
  const QJsonObject info = QJsonDocument::fromJson(r.out).object();
  if (info.isEmpty()) return fail(QStringLiteral("qemu-img said nothing readable about %1").arg(image));
  const QString why = QStringLiteral("%1 is %2 with %3; Vantrel does not work on such an image (it would lose or flatten %4)");
  if (info.contains(QStringLiteral("backing-filename")))
    return fail(why.arg(image, formatTitle(f),
                        QStringLiteral("a backing file (%1)").arg(info.value(QStringLiteral("backing-filename")).toString()),
                        QStringLiteral("what lies in the backing file")));
  if (const QJsonArray snapshots = info.value(QStringLiteral("snapshots")).toArray(); !snapshots.isEmpty())
    return fail(
        why.arg(image, formatTitle(f), QStringLiteral("%1 snapshot(s)").arg(snapshots.size()), QStringLiteral("the snapshots")));
  const QJsonObject specific = info.value(QStringLiteral("format-specific")).toObject().value(QStringLiteral("data")).toObject();
  if (specific.contains(QStringLiteral("data-file")))
    return fail(why.arg(image, formatTitle(f), QStringLiteral("its data in a separate file"), QStringLiteral("that file")));
  if (specific.value(QStringLiteral("corrupt")).toBool())
    return fail(QStringLiteral("%1 is marked damaged; repair it first (qemu-img check -r all)").arg(image));
  const QJsonArray extents = specific.value(QStringLiteral("extents")).toArray();
  if (extents.size() > 1)
    return fail(why.arg(image, formatTitle(f), QStringLiteral("%1 extents").arg(extents.size()), QStringLiteral("the split")));
  // A sparse VMDK may carry a descriptor that names another file as its one extent.
  if (extents.size() == 1 && extents[0].toObject().value(QStringLiteral("filename")).toString() != in)
    return fail(QStringLiteral("%1 is a VMDK whose data lies in another file (%2), which Vantrel does not read")
                    .arg(image, extents[0].toObject().value(QStringLiteral("filename")).toString()));

  QStringList options;
  switch (f) {
    case Format::Qcow2: {
      if (const QString compat = specific.value(QStringLiteral("compat")).toString(); !compat.isEmpty())
        options << QStringLiteral("compat=") + compat;
      if (const qint64 cluster = info.value(QStringLiteral("cluster-size")).toInteger(); cluster > 0)
        options << QStringLiteral("cluster_size=%1").arg(cluster);
      if (const qint64 bits = specific.value(QStringLiteral("refcount-bits")).toInteger(); bits > 0)
        options << QStringLiteral("refcount_bits=%1").arg(bits);
      if (specific.value(QStringLiteral("lazy-refcounts")).toBool()) options << QStringLiteral("lazy_refcounts=on");
      if (specific.value(QStringLiteral("extended-l2")).toBool()) options << QStringLiteral("extended_l2=on");
      break;
    }
    case Format::DynamicVhd:
      // The raw copy holds the disk's exact size; qemu would otherwise round it to a geometry.
      options << QStringLiteral("subformat=dynamic") << QStringLiteral("force_size=on");
      break;
    case Format::Vdi: {
      // The header's image type: 1 grows as written, 2 is allocated in full.
      QFile file(image);
      QByteArray head;
      if (file.open(QIODevice::ReadOnly)) head = file.read(0x50);
      if (head.size() == 0x50 && qFromLittleEndian<quint32>(head.constData() + 0x4C) == 2) options << QStringLiteral("static=on");
      break;
    }
    case Format::Vmdk: {
      const QString type = specific.value(QStringLiteral("create-type")).toString();
      if (type != QLatin1String("monolithicSparse") && type != QLatin1String("streamOptimized"))
        return fail(QStringLiteral("%1 is a VMDK of the kind %2, which Vantrel does not write back").arg(image, type));
      options << QStringLiteral("subformat=") + type;
      break;
    }
    default: break;
  }
  // A damaged image is not taken; leaked clusters (exit status 3) waste room and harm nothing.
  const QemuImg::Result c = q.run({QStringLiteral("check"), QStringLiteral("-f"), fmt, in});
  if (!c.ran || (c.exitCode != 0 && c.exitCode != 3 && c.exitCode != 63))
    return fail(QStringLiteral("qemu-img check finds %1 damaged: %2").arg(image, c.complaint()));
  if (createOptions) *createOptions = options;
  return true;
}

bool convertImage(const QString& from, Format fromFormat, const QString& to, Format toFormat, const QStringList& options,
                  QString* error, const QString& identityOf) {
  auto fail = [&](const QString& why) {
    if (error) *error = why;
    return false;
  };
  if (!qemuImgAvailable(error)) return false;
  QemuImg q;
  const QString in = q.link(from), out = q.link(to);
  if (in.isEmpty() || out.isEmpty()) return fail(QStringLiteral("cannot prepare qemu-img for %1").arg(from));
  const QString inFmt = formatName(fromFormat), outFmt = formatName(toFormat);
  QStringList args{QStringLiteral("convert"), QStringLiteral("-f"), inFmt, QStringLiteral("-O"), outFmt};
  if (!options.isEmpty()) args << QStringLiteral("-o") << options.join(QLatin1Char(','));
  const QemuImg::Result r = q.run(args << in << out);
  if (!r.ok()) return fail(QStringLiteral("qemu-img convert failed: %1").arg(r.complaint()));
  if (toFormat == Format::Raw) return true;
  if (!identityOf.isEmpty() && (toFormat == Format::Vdi || toFormat == Format::DynamicVhd)) {
    if (const QString failed = keepUuid(identityOf, to, toFormat); !failed.isEmpty())
      return fail(QStringLiteral("cannot give the written image the old one's UUID: %1").arg(failed));
  }
  const QemuImg::Result c = q.run({QStringLiteral("check"), QStringLiteral("-f"), outFmt, out});
  if (!c.ran || (c.exitCode != 0 && c.exitCode != 63))
    return fail(QStringLiteral("qemu-img check finds the written image faulty: %1").arg(c.complaint()));
  const QemuImg::Result m =
      q.run({QStringLiteral("compare"), QStringLiteral("-f"), inFmt, QStringLiteral("-F"), outFmt, in, out});
  if (!m.ok()) return fail(QStringLiteral("the written image does not hold what it should: %1").arg(m.complaint()));
  return true;
}

}  // namespace vt::disk
