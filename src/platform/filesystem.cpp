#include "platform/filesystem.h"

#include "platform/attributestore.h"

namespace vt {

class FileSearch {};

FileSystem::FileSystem(QString machineFolder, std::map<QChar, DriveInfo> drives, std::unique_ptr<AttributeStore> attributes)
    : machineFolder_(std::move(machineFolder)), drives_(std::move(drives)), attrs_(std::move(attributes)) {}
FileSystem::~FileSystem() = default;
QString FileSystem::fullPath(QStringView) const { return {}; }
void FileSystem::setCurrentDirectory(const QString& d) { currentDirectory_ = d; }
std::optional<QString> FileSystem::hostPath(QStringView) { return std::nullopt; }
std::optional<QString> FileSystem::hostPathForCreate(QStringView) { return std::nullopt; }
const DriveInfo* FileSystem::drive(QChar letter) const {
  auto it = drives_.find(letter.toUpper());
  return it == drives_.end() ? nullptr : &it->second;
}
DriveType FileSystem::driveType(QStringView) const { return DriveType::NoRootDir; }
bool FileSystem::diskFreeSpace(QStringView, quint32*, quint32*, quint32*, quint32*) { return false; }
bool FileSystem::diskFreeSpaceEx(QStringView, qint64*, qint64*) { return false; }
bool FileSystem::volumeInformation(QStringView, QString*, QString*) { return false; }
std::unique_ptr<FileSearch> FileSystem::findFirst(QStringView, quint32, FindData*) { return nullptr; }
bool FileSystem::findNext(FileSearch&, FindData*) { return false; }
bool FileSystem::exists(QStringView) { return false; }
bool FileSystem::isDirectory(QStringView) { return false; }
quint32 FileSystem::attributes(QStringView) { return kInvalidAttributes; }
bool FileSystem::setAttributes(QStringView, quint32) { return false; }
qint64 FileSystem::fileSize(QStringView) { return -1; }
QDateTime FileSystem::lastWriteTime(QStringView) { return {}; }
bool FileSystem::setLastWriteTime(QStringView, const QDateTime&) { return false; }
std::optional<QByteArray> FileSystem::readFile(QStringView) { return std::nullopt; }
bool FileSystem::writeFile(QStringView, const QByteArray&) { return false; }
bool FileSystem::copyFile(QStringView, QStringView, bool) { return false; }
bool FileSystem::deleteFile(QStringView) { return false; }
bool FileSystem::moveFile(QStringView, QStringView) { return false; }
bool FileSystem::createDirectory(QStringView) { return false; }
bool FileSystem::createDirectories(QStringView) { return false; }
bool FileSystem::removeDirectory(QStringView) { return false; }
bool FileSystem::importHostFile(const QString&, QStringView) { return false; }
bool FileSystem::exportHostFile(QStringView, const QString&) { return false; }

}  // namespace vt
