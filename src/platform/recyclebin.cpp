#include "platform/recyclebin.h"

namespace vt {

bool RecycleBin::recycle(QStringView) { return false; }
QList<RecycledItem> RecycleBin::list() { return {}; }
bool RecycleBin::restore(QChar, quint32, QString*) { return false; }
bool RecycleBin::empty(QChar) { return false; }

}  // namespace vt
