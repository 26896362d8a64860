// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One Vantrel per machine: a second start on the same machine folder ends silently, while
// two different machines may be worked on side by side. The guard is a lock file named
// after the mutex "Vantrel by Kestrin" and the machine folder's real path; a lock left
// behind by a crashed run is taken over.
#include <QString>

namespace vt {

class SingleInstance {
 public:
  enum Result { Acquired, HeldByAnother, Failed };

  // The lock lives in `lockFolder`, by default the user's runtime folder (or the temporary
  // folder where there is none).
  explicit SingleInstance(const QString& machineFolder, const QString& lockFolder = {});
  ~SingleInstance();
  SingleInstance(const SingleInstance&) = delete;
  SingleInstance& operator=(const SingleInstance&) = delete;
  // Only a lock that another Vantrel holds means another copy runs; a lock that cannot
  // be made at all is Failed, with the reason in error().
  Result acquire();
  QString lockPath() const { return path_; }
  QString error() const { return error_; }

 private:
  QString path_;
  QString error_;
  int fd_ = -1;  // holds the lock while open
};

}  // namespace vt
