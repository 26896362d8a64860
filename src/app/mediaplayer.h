// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// MediaPlayer1: plays the test files through Qt Multimedia (GStreamer as Debian ships it;
// MIDI through its General MIDI synthesizer). Video frames are drawn on the display label,
// so the picture also reaches screenshots of a window without a screen. A file whose
// decoder is missing from GStreamer (the MIDI synthesizer, the AVI's video decoder) is
// refused with the name of the Debian package that brings it.
#include "multimedia/mmedia.h"
#include "sysaccess/state.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>

class QAudioOutput;
class QLabel;
class QMediaPlayer;
class QVideoSink;

namespace vt {

class Machine;

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
  QString text(const char* german, const char* english) const { return QString::fromUtf8(state_.pick(german, english)); }

  Machine& machine_;
  const SharedState& state_;
  QPointer<QLabel> display_;
  QString fileName_;
  QObject context_;  // owns the backend objects and their connections
  QMediaPlayer* player_ = nullptr;
  QAudioOutput* audio_ = nullptr;
  QVideoSink* sink_ = nullptr;
  bool playing_ = false;
  int frames_ = 0;
};

}  // namespace vt
