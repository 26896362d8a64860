#pragma once
// One Vantrel per machine: a second start on the same machine folder ends silently, while
// two different machines may be worked on side by side. The guard is a lock file named
// after the mutex "Vantrel by Kestrin" and the machine folder's real path; a lock left
// behind by a crashed run is recognised as stale and taken over.
#include <QLockFile>
#include <QString>

#include <memory>

namespace vt {

class SingleInstance {
 public:
  explicit SingleInstance(const QString& machineFolder);
  // False when another Vantrel holds this machine.
  bool acquire();
  QString lockPath() const { return path_; }

 private:
  QString path_;
  std::unique_ptr<QLockFile> lock_;
};

}  // namespace vt
