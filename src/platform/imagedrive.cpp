// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/imagedrive.h"

#include "platform/attributestore.h"
#include "platform/hostlookup.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstring>
#include <dirent.h>
#include <sys/stat.h>

namespace vt {

ImageDrive::ImageDrive(QString machineFolder, QString image, QString workingCopy, AttributeStore& store)
    : machineFolder_(std::move(machineFolder)), image_(std::move(image)), root_(std::move(workingCopy)), store_(store) {}

std::optional<ImageDrive::Stamp> ImageDrive::stamp() const {
  struct stat st;
  if (::stat(QFile::encodeName(image_).constData(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  // A link may lead anywhere; only a disk inside the machine folder is this machine's.
  const QString real = QFileInfo(image_).canonicalFilePath(), folder = QFileInfo(machineFolder_).canonicalFilePath();
  if (real.isEmpty() || folder.isEmpty() || !real.startsWith(folder + QLatin1Char('/'))) return std::nullopt;
  return Stamp{quint64(st.st_dev), quint64(st.st_ino), qint64(st.st_size),
               qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

namespace {

// Removes a file or folder tree without following any symbolic link: a link planted in the
// machine folder must never make the removal reach the host's own files.
void removeTree(const QByteArray& path) {
  struct stat st;
  if (::lstat(path.constData(), &st) != 0) return;
  if (S_ISDIR(st.st_mode)) {
    if (DIR* d = ::opendir(path.constData())) {
      QList<QByteArray> names;
      while (const dirent* e = ::readdir(d))
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) names << QByteArray(e->d_name);
      ::closedir(d);
      for (const QByteArray& n : names) removeTree(path + '/' + n);
    }
    ::rmdir(path.constData());
  } else {
    ::unlink(path.constData());
  }
}

// True when `path` is a real folder (no link) or could be made one.
bool ownFolder(const QByteArray& path) {
  struct stat st;
  if (::lstat(path.constData(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return true;
    removeTree(path);
  }
  return ::mkdir(path.constData(), 0777) == 0;
}

}  // namespace

void ImageDrive::clearWorkingCopy() {
  store_.removed(root_);
  removeTree(QFile::encodeName(root_));
  base_.clear();
}

void ImageDrive::load(DriveInfo& d) {
  heldLost_ = held_;
  // The working copy's folder is checked first: a link in its place is removed, never
  // followed, before anything below it is cleared.
  const bool safe = ownFolder(QFile::encodeName(QFileInfo(root_).path()));
  if (safe) clearWorkingCopy();
  base_.clear();
  loaded_ = stamp();
  volume_.reset();
  d.ready = false;
  if (!safe || !loaded_) return;
  // An image that is no sound FAT volume reads as a disk Windows cannot read: no disk.
  std::vector<fat::DirEntry> entries;
  fat::Layout layout;
  QFile image(image_);
  if (image.open(QIODevice::ReadOnly)) volume_ = fat::inspect(image, 0, nullptr, &entries, &layout);
  if (!volume_ || !ownFolder(QFile::encodeName(root_))) {
    volume_.reset();
    return;
  }
  if (!imagesync::extract(image.handle(), layout, entries, root_, store_, &base_, nullptr)) {
    clearWorkingCopy();
    volume_.reset();
    return;
  }
  d.ready = true;
  d.label = volume_->label;
  d.fileSystem = volume_->fileSystemName();
  d.totalBytes = volume_->totalBytes();
  d.freeBytes = volume_->freeBytes();
  d.bytesPerSector = volume_->bytesPerSector;
  d.sectorsPerCluster = volume_->sectorsPerCluster;
}

bool ImageDrive::refresh(DriveInfo& d) {
  const auto now = stamp();
  if (looked_ && now == loaded_) return false;
  looked_ = true;
  load(d);
  return true;
}

WinError ImageDrive::writable() const { return imagesync::writeProtected(image_) ? WinError::WriteProtect : WinError::Success; }

void ImageDrive::hold() {
  held_ = true;
  heldLost_ = false;
}

bool ImageDrive::heldChangesFit() const {
  if (!volume_) return false;
  imagesync::Tree now;
  if (!imagesync::readTree(root_, store_, &now, nullptr)) return false;
  return imagesync::compare(base_, now, volume_->clusterBytes()).bytesNeeded <= volume_->freeBytes();
}

WinError ImageDrive::release(DriveInfo& d, bool write) {
  if (!held_) return WinError::Success;
  held_ = false;
  if (heldLost_) return WinError::SharingViolation;
  if (write) return commit(d);
  load(d);
  return WinError::Success;
}

WinError ImageDrive::commit(DriveInfo& d) {
  if (held_) return WinError::Success;
  if (!volume_) return WinError::NotReady;
  imagesync::Tree now;
  QString why;
  WinError result = WinError::Success;
  if (!imagesync::readTree(root_, store_, &now, &why)) {
    result = WinError::AccessDenied;
  } else {
    const imagesync::Changes changes = imagesync::compare(base_, now, volume_->clusterBytes());
    if (changes.empty()) return WinError::Success;
    imagesync::Failure kind = imagesync::Failure::None;
    // The aliases the drive's entries have had since they were first asked for, or are
    // given now as any lookup would give them.
    static const std::map<QChar, DriveInfo> kNoDrives;
    HostLookup lookup(QFile::encodeName(machineFolder_), kNoDrives, store_);
    const auto aliasOf = [&](const QString& path) {
      const QByteArray host = QFile::encodeName(root_ + QLatin1Char('/') + path);
      const qsizetype slash = host.lastIndexOf('/');
      return lookup.aliasOf(host.left(slash), host.mid(slash + 1));
    };
    if (imagesync::apply(image_, *volume_, root_, changes, now, aliasOf, &why, &kind)) {
      base_ = std::move(now);
      loaded_ = stamp();
      if (auto v = fat::inspectFile(image_, 0, nullptr)) {
        volume_ = v;
        d.freeBytes = v->freeBytes();
      }
      return WinError::Success;
    }
    switch (kind) {
      case imagesync::Failure::WriteProtected: result = WinError::WriteProtect; break;
      case imagesync::Failure::InUse: result = WinError::SharingViolation; break;
      case imagesync::Failure::NoRoom: result = WinError::DiskFull; break;
      default: result = WinError::WriteFault; break;
    }
  }
  load(d);
  return result;
}

}  // namespace vt
