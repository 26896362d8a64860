// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The part of the media player that needs Qt Multimedia, built as a module of its own
// (libvantrel-media.so) that the window loads when it first opens a test file: starting the
// window then loads neither Qt Multimedia nor what that brings (Qt Network, the backend's
// plug-ins). The module plays one host file at a time and reports the pictures and the end
// of a playback; it knows no machine and no text for the user, which stay with MediaPlayer.
// It links Qt alone, none of Vantrel's libraries, so that every global exists once.
#include <QImage>
#include <QString>

#include <functional>

namespace vt::media {

// Raised with every change of Backend, so that a module of another build is refused.
inline constexpr int kBackendInterface = 1;

class Backend {
 public:
  enum class Opened { Ready, Failed, TimedOut };
  virtual ~Backend() = default;

  virtual bool hasSoundOutput() = 0;
  // Loads a host file, closing one still open, and waits up to timeoutMs for the backend
  // while user input waits. On Failed, *why holds the backend's reason when it gave one.
  virtual Opened open(const QString& hostPath, int timeoutMs, QString* why) = 0;
  virtual void play() = 0;
  virtual void stop() = 0;
  // Lets the file go; neither callback is called for it after that.
  virtual void close() = 0;

  // Every video frame of the file open.
  std::function<void(const QImage&)> frameShown;
  // The end of a playback: stopped, run out or broken off by an error.
  std::function<void()> stopped;
};

// The module's one export: a new backend, or null when the module was built for another
// interface.
using CreateBackend = Backend* (*)(int interface);
inline constexpr const char* kCreateBackend = "vantrel_media_create";

}  // namespace vt::media
