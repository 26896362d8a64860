// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// MediaPlayer1: plays the test files through Qt Multimedia (GStreamer as Debian ships it;
// MIDI through its General MIDI synthesizer). Video frames are drawn on the display label,
// so the picture also reaches screenshots of a window without a screen. A file whose
// decoder is missing from GStreamer (the MIDI synthesizer, the AVI's video decoder) is
// refused with the name of the Debian package that brings it.
//
// Qt Multimedia itself is in the media module (app/media/mediabackend.h), loaded on the
// first open; a module that cannot be loaded is refused like a missing decoder, naming it.
#include "multimedia/mmedia.h"
#include "sysaccess/state.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>

class QLabel;

namespace vt {

class Machine;
namespace media {
class Backend;
}

class MediaPlayer : public multimedia::Player {
 public:
  MediaPlayer(Machine& machine, const SharedState& state, QLabel* display);
  ~MediaPlayer() override;

  void setFileName(const QString& windowsPath) override;
  bool open(QString* error) override;
  void play() override;
  void stop() override;

  // Video frames drawn since the last open.
  int framesShown() const { return frames_; }
  // How long open waits for the backend to load a file before it gives up.
  static constexpr int kOpenTimeoutMs = 10000;

 private:
  void close();
  // The backend, made on first use; null with the reason when the module cannot be loaded.
  media::Backend* backend(QString* error);
  QString text(const char* german, const char* english) const { return QString::fromUtf8(state_.pick(german, english)); }

  Machine& machine_;
  const SharedState& state_;
  QPointer<QLabel> display_;
  QString fileName_;
  QObject context_;  // delivers the end of a playback after the backend's own signal
  std::unique_ptr<media::Backend> backend_;
  bool fileOpen_ = false;
  bool playing_ = false;
  int frames_ = 0;
};

}  // namespace vt
