#include "platform/profile.h"

namespace vt {

IniDocument::IniDocument(const QByteArray&) {}
std::optional<QString> IniDocument::value(QStringView, QStringView) const { return std::nullopt; }
bool IniDocument::hasSection(QStringView) const { return false; }
QStringList IniDocument::sections() const { return {}; }
QStringList IniDocument::keys(QStringView) const { return {}; }
void IniDocument::setValue(QStringView, QStringView, QStringView) {}
bool IniDocument::removeKey(QStringView, QStringView) { return false; }
bool IniDocument::removeSection(QStringView) { return false; }
QByteArray IniDocument::toBytes() const { return {}; }

QString Profile::getString(QStringView, QStringView, QStringView, QStringView fallback) { return fallback.toString(); }
bool Profile::writeString(QStringView, QStringView, QStringView, std::optional<QStringView>) { return false; }
QStringList Profile::sectionKeys(QStringView, QStringView) { return {}; }
QStringList Profile::sectionNames(QStringView) { return {}; }
bool Profile::deleteSection(QStringView, QStringView) { return false; }

}  // namespace vt
