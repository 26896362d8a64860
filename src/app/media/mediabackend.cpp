// SPDX-License-Identifier: GPL-3.0-or-later
// The media module: Backend over QMediaPlayer, with GStreamer underneath as Debian ships it.
#include "app/media/mediabackend.h"

#include <QAudioDevice>
#include <QAudioOutput>
#include <QEventLoop>
#include <QMediaDevices>
#include <QMediaPlayer>
#include <QTimer>
#include <QUrl>
#include <QVideoFrame>
#include <QVideoSink>

namespace vt::media {
namespace {

class QtBackend : public Backend {
 public:
  ~QtBackend() override { close(); }

  bool hasSoundOutput() override { return !QMediaDevices::audioOutputs().isEmpty(); }

  Opened open(const QString& hostPath, int timeoutMs, QString* why) override {
    close();
    player_ = new QMediaPlayer(&context_);
    if (hasSoundOutput()) {
      audio_ = new QAudioOutput(&context_);
      player_->setAudioOutput(audio_);
    }
    sink_ = new QVideoSink(&context_);
    player_->setVideoSink(sink_);
    QObject::connect(sink_, &QVideoSink::videoFrameChanged, &context_, [this](const QVideoFrame& frame) {
      if (!frame.isValid() || !frameShown) return;
      const QImage picture = frame.toImage();
      if (!picture.isNull()) frameShown(picture);
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
    player_->setSource(QUrl::fromLocalFile(hostPath));
    if (player_->mediaStatus() == QMediaPlayer::LoadingMedia && player_->error() == QMediaPlayer::NoError) {
      timeout.start(timeoutMs);
      loop.exec(QEventLoop::ExcludeUserInputEvents);  // a second click must not reopen meanwhile
    }
    const QMediaPlayer::MediaStatus status = player_->mediaStatus();
    if (player_->error() != QMediaPlayer::NoError ||
        (status != QMediaPlayer::LoadedMedia && status != QMediaPlayer::BufferedMedia)) {
      *why = player_->errorString();
      close();
      return status == QMediaPlayer::LoadingMedia ? Opened::TimedOut : Opened::Failed;
    }

    QObject::connect(player_, &QMediaPlayer::playbackStateChanged, &context_, [this](QMediaPlayer::PlaybackState s) {
      if (s == QMediaPlayer::StoppedState && stopped) stopped();
    });
    QObject::connect(player_, &QMediaPlayer::errorOccurred, &context_, [this] {
      if (stopped) stopped();
    });
    return Opened::Ready;
  }

  void play() override {
    if (player_) player_->play();
  }
  void stop() override {
    if (player_) player_->stop();
  }

  void close() override {
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

 private:
  QObject context_;  // owns the backend objects and their connections
  QMediaPlayer* player_ = nullptr;
  QAudioOutput* audio_ = nullptr;
  QVideoSink* sink_ = nullptr;
};

}  // namespace
}  // namespace vt::media

extern "C" Q_DECL_EXPORT vt::media::Backend* vantrel_media_create(int interface) {
  return interface == vt::media::kBackendInterface ? new vt::media::QtBackend : nullptr;
}
