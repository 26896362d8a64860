#pragma once
// The directory search's fast path to the attribute store: only the stored DOS bits,
// without the store's own look at the host file's write permission, which the search
// already knows from the stat it made for size and time.
#include <QByteArray>

#include <optional>

namespace vt {

class AttributeStore;

// nullopt when nothing is stored. Stores other than the two built-in ones answer
// through AttributeStore::get.
std::optional<quint32> storedAttributes(AttributeStore& store, const QByteArray& hostPath);
// The same for the entry `name` of the open folder `dirFd`, read relative to it where the
// kernel allows; `hostPath` names the same entry for the stores that go by path.
std::optional<quint32> storedAttributesAt(AttributeStore& store, int dirFd, const char* name, const QByteArray& hostPath);

}  // namespace vt
