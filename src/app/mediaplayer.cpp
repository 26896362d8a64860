// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/mediaplayer.h"

#include "app/media/mediabackend.h"
#include "platform/machine.h"

#include "buildinfo.h"

#include <QFileInfo>
#include <QLabel>
#include <QPixmap>

#include <array>

#include <dlfcn.h>

namespace vt {

namespace {

// The GStreamer elements a test file needs beyond the plug-ins the package depends on, and
// the Debian package that brings them.
struct Decoder {
  const char* suffix;
  std::array<const char*, 2> elements;  // any one of them will do; unused places are null
  const char* kind;
  const char* package;
};
const Decoder kDecoders[] = {
    {".mid", {"fluiddec", "wildmididec"}, "MIDI", "gstreamer1.0-plugins-bad"},
    {".avi", {"avdec_msvideo1", nullptr}, "AVI", "gstreamer1.0-libav"},
};

// Whether GStreamer would pick one of the elements to decode with. Asked of the GStreamer
// the multimedia backend has loaded (Qt has no call for it); true when there is none to ask,
// so that only GStreamer's own word can name a missing plug-in.
bool gstreamerCanDecode(const std::array<const char*, 2>& elements) {
  void* gst = dlopen("libgstreamer-1.0.so.0", RTLD_LAZY | RTLD_NOLOAD);
  if (!gst) return true;
  using Find = void* (*)(const char*);
  using Rank = unsigned (*)(void*);
  using Unref = void (*)(void*);
  const auto find = reinterpret_cast<Find>(dlsym(gst, "gst_element_factory_find"));
  const auto rank = reinterpret_cast<Rank>(dlsym(gst, "gst_plugin_feature_get_rank"));
  const auto unref = reinterpret_cast<Unref>(dlsym(gst, "gst_object_unref"));
  bool can = !find || !rank || !unref;
  for (const char* name : elements) {
    if (can || !name) break;
    if (void* factory = find(name)) {
      can = rank(factory) >= 64;  // GST_RANK_MARGINAL: the least that decodebin plugs in
      unref(factory);
    }
  }
  dlclose(gst);
  return can;
}

}  // namespace

MediaPlayer::MediaPlayer(Machine& machine, const SharedState& state, QLabel* display)
    : machine_(machine), state_(state), display_(display) {}

MediaPlayer::~MediaPlayer() { close(); }

void MediaPlayer::setFileName(const QString& windowsPath) { fileName_ = windowsPath; }

void MediaPlayer::close() {
  fileOpen_ = false;
  playing_ = false;
  frames_ = 0;
  if (display_) display_->clear();
  if (backend_) backend_->close();
}

media::Backend* MediaPlayer::backend(QString* error) {
  if (backend_) return backend_.get();
  // Loaded once and kept: the backend's code must outlive every object it made. A failed
  // load is tried again on the next open, after the user may have mended the installation.
  static media::CreateBackend create = nullptr;
  const QString module = build::mediaModule();
  if (!create) {
    if (!QFileInfo::exists(module)) {
      *error = QString::fromUtf8(state_.pick("Das Abspielmodul %1 fehlt.", "The player module %1 is missing.")).arg(module);
      return nullptr;
    }
    // Bound at once, so that a module built against another Qt fails here and not in the middle of a playback.
    void* library = dlopen(QFile::encodeName(module).constData(), RTLD_NOW | RTLD_LOCAL);
    if (!library) {
      *error = QString::fromUtf8(
                   state_.pick("Das Abspielmodul %1 kann nicht geladen werden: %2", "The player module %1 cannot be loaded: %2"))
                   .arg(module, QString::fromLocal8Bit(dlerror()));
      return nullptr;
    }
    create = reinterpret_cast<media::CreateBackend>(dlsym(library, media::kCreateBackend));
  }
  if (create) backend_.reset(create(media::kBackendInterface));
  if (!backend_) {
    *error = QString::fromUtf8(state_.pick("Das Abspielmodul %1 gehört zu einer anderen Version von Vantrel.",
                                           "The player module %1 belongs to another version of Vantrel."))
                 .arg(module);
    return nullptr;
  }
  backend_->frameShown = [this](const QImage& frame) {
    if (!display_) return;
    // Shown at its own size as on the panel it was made for; only a larger film is shrunk.
    QImage picture = frame;
    const QSize room = display_->contentsRect().size();
    if (picture.width() > room.width() || picture.height() > room.height())
      picture = picture.scaled(room, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    display_->setPixmap(QPixmap::fromImage(picture));
    ++frames_;
  };
  backend_->stopped = [this] {
    if (!playing_) return;
    playing_ = false;
    // Reported after the backend's own signal has returned: the answer to the question may
    // open another file.
    QMetaObject::invokeMethod(
        &context_,
        [this] {
          if (notify) notify();
        },
        Qt::QueuedConnection);
  };
  return backend_.get();
}

bool MediaPlayer::open(QString* error) {
  close();
  const std::optional<QString> host = machine_.files().hostPath(fileName_);
  if (!host) {
    *error = text("Die Datei ist nicht vorhanden.", "The file does not exist.");
    return false;
  }
  media::Backend* player = backend(error);
  if (!player) return false;
  // Without any sound output a sound test cannot be heard; say so rather than pretend to play.
  const bool sound = !fileName_.endsWith(QLatin1String(".avi"), Qt::CaseInsensitive);
  if (sound && !player->hasSoundOutput()) {
    *error = text("Es ist kein Gerät für die Tonausgabe vorhanden.", "There is no sound output device.");
    return false;
  }

  QString why;
  const media::Backend::Opened opened = player->open(*host, kOpenTimeoutMs, &why);
  if (opened == media::Backend::Opened::Ready) {
    fileOpen_ = true;
    return true;
  }
  close();
  for (const Decoder& d : kDecoders) {
    if (!fileName_.endsWith(QLatin1String(d.suffix), Qt::CaseInsensitive) || gstreamerCanDecode(d.elements)) continue;
    *error = QString::fromUtf8(state_.pick("Für den %1-Test fehlt das GStreamer-Plug-in (Paket %2).",
                                           "The %1 test needs the GStreamer plug-in (package %2)."))
                 .arg(QLatin1String(d.kind), QLatin1String(d.package));
    return false;
  }
  *error = !why.isEmpty() ? why
           : opened == media::Backend::Opened::TimedOut
               ? text("Das Abspielgerät hat die Datei nicht rechtzeitig geöffnet.", "The player did not open the file in time.")
               : text("Das Abspielgerät kann diese Datei nicht öffnen.", "The player cannot open this file.");
  return false;
}

void MediaPlayer::play() {
  if (!fileOpen_) return;
  playing_ = true;
  backend_->play();
}

void MediaPlayer::stop() {
  if (fileOpen_) backend_->stop();
}

}  // namespace vt
