#include "platform/attributestore.h"

namespace vt {

namespace {
class NullStore : public AttributeStore {
 public:
  std::optional<quint32> get(const QString&) override { return std::nullopt; }
  bool set(const QString&, quint32) override { return false; }
  void moved(const QString&, const QString&) override {}
  void removed(const QString&) override {}
  QString kind() const override { return QStringLiteral("none"); }
};
}  // namespace

std::unique_ptr<AttributeStore> makeAttributeStore(const QString&, bool) { return std::make_unique<NullStore>(); }

}  // namespace vt
