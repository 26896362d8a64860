// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/mediaplayer.h"

#include "platform/machine.h"

#include <QAudioDevice>
#include <QAudioOutput>
#include <QEventLoop>
#include <QLabel>
#include <QMediaDevices>
#include <QMediaPlayer>
#include <QPixmap>
#include <QTimer>
#include <QUrl>
#include <QVideoFrame>
#include <QVideoSink>

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
  playing_ = false;
  frames_ = 0;
  if (display_) display_->clear();
  for (QObject* o : {static_cast<QObject*>(player_), static_cast<QObject*>(audio_), static_cast<QObject*>(sink_)}) {
    if (!o) continue;
    QObject::disconnect(o, nullptr, nullptr, nullptr);
    o->deleteLater();
  }
  if (player_) player_->stop();
  player_ = nullptr;
  audio_ = nullptr;
  sink_ = nullptr;
}

bool MediaPlayer::open(QString* error) {
  close();
  const std::optional<QString> host = machine_.files().hostPath(fileName_);
  if (!host) {
    *error = text("Die Datei ist nicht vorhanden.", "The file does not exist.");
    return false;
  }
  // Without any sound output a sound test cannot be heard; say so rather than pretend to play.
  const bool sound = !fileName_.endsWith(QLatin1String(".avi"), Qt::CaseInsensitive);
  const bool haveOutput = !QMediaDevices::audioOutputs().isEmpty();
  if (sound && !haveOutput) {
    *error = text("Es ist kein Gerät für die Tonausgabe vorhanden.", "There is no sound output device.");
    return false;
  }

  player_ = new QMediaPlayer(&context_);
  if (haveOutput) {
    audio_ = new QAudioOutput(&context_);
    player_->setAudioOutput(audio_);
  }
  sink_ = new QVideoSink(&context_);
  player_->setVideoSink(sink_);
  QObject::connect(sink_, &QVideoSink::videoFrameChanged, &context_, [this](const QVideoFrame& frame) {
    if (!display_ || !frame.isValid()) return;
    QImage picture = frame.toImage();
    if (picture.isNull()) return;
    // Shown at its own size as on the panel it was made for; only a larger film is shrunk.
    const QSize room = display_->contentsRect().size();
    if (picture.width() > room.width() || picture.height() > room.height())
      picture = picture.scaled(room, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    display_->setPixmap(QPixmap::fromImage(picture));
    ++frames_;
  });

  // The backend loads asynchronously; the caller needs to know now whether the file plays.
  QEventLoop loop;
  QTimer timeout;
  timeout.setSingleShot(true);
  QObject::connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
  QObject::connect(player_, &QMediaPlayer::mediaStatusChanged, &loop, [&loop](QMediaPlayer::MediaStatus s) {
    if (s != QMediaPlayer::LoadingMedia) loop.quit();
  });
  QObject::connect(player_, &QMediaPlayer::errorOccurred, &loop, &QEventLoop::quit);
  player_->setSource(QUrl::fromLocalFile(*host));
  if (player_->mediaStatus() == QMediaPlayer::LoadingMedia && player_->error() == QMediaPlayer::NoError) {
    timeout.start(kOpenTimeoutMs);
    loop.exec(QEventLoop::ExcludeUserInputEvents);  // a second click must not reopen meanwhile
  }
  const QMediaPlayer::MediaStatus status = player_->mediaStatus();
  if (player_->error() != QMediaPlayer::NoError ||
      (status != QMediaPlayer::LoadedMedia && status != QMediaPlayer::BufferedMedia)) {
    const QString why = player_->errorString();
    for (const Decoder& d : kDecoders) {
      if (!fileName_.endsWith(QLatin1String(d.suffix), Qt::CaseInsensitive) || gstreamerCanDecode(d.elements)) continue;
      *error = QString::fromUtf8(state_.pick("Für den %1-Test fehlt das GStreamer-Plug-in (Paket %2).",
                                             "The %1 test needs the GStreamer plug-in (package %2)."))
                   .arg(QLatin1String(d.kind), QLatin1String(d.package));
      close();
      return false;
    }
    *error = !why.isEmpty() ? why
             : status == QMediaPlayer::LoadingMedia
                 ? text("Das Abspielgerät hat die Datei nicht rechtzeitig geöffnet.", "The player did not open the file in time.")
                 : text("Das Abspielgerät kann diese Datei nicht öffnen.", "The player cannot open this file.");
    close();
    return false;
  }

  auto ended = [this] {
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
  QObject::connect(player_, &QMediaPlayer::playbackStateChanged, &context_, [ended](QMediaPlayer::PlaybackState s) {
    if (s == QMediaPlayer::StoppedState) ended();
  });
  QObject::connect(player_, &QMediaPlayer::errorOccurred, &context_, ended);
  return true;
}

void MediaPlayer::play() {
  if (!player_) return;
  playing_ = true;
  player_->play();
}

void MediaPlayer::stop() {
  if (player_) player_->stop();
}

}  // namespace vt
