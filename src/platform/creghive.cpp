// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/creghive.h"

#include "platform/text.h"

#include <QtEndian>

#include <algorithm>
#include <cstring>
#include <memory>
#include <unordered_map>
#include <vector>

// A hive is three parts:
//   - a 0x20-byte file header ("CREG");
//   - the RGKN, the key tree: 28-byte entries linked by parent, first-child and
//     next-sibling offsets (relative to the RGKN start), each naming the data record of
//     its key by (id, block);
//   - RGDB blocks holding the key records: name, then the values with their data.
// Checksums make every DWORD of a structure sum to zero; a structure whose flag 0x4 is
// clear (Windows Me writes them so) carries no valid checksum.

namespace vt::creg {
namespace {

constexpr quint32 kNoOffset = 0xFFFFFFFF;
constexpr quint16 kNoId = 0xFFFF;
constexpr quint32 kFreeEntry = 0x80000000;
constexpr quint16 kChecksumValid = 0x4;

constexpr quint32 kFileHeaderSize = 0x20;
constexpr quint32 kRgknHeaderSize = 0x20;
constexpr quint32 kEntrySize = 28;
// Windows grows the RGKN by pages and never lets an entry straddle one.
constexpr quint32 kRgknFirstPage = 0x2000;
constexpr quint32 kRgknPage = 0x1000;
constexpr quint32 kEntriesInFirstPage = (kRgknFirstPage - kRgknHeaderSize) / kEntrySize;  // 291
constexpr quint32 kEntriesPerPage = kRgknPage / kEntrySize;                               // 146

constexpr quint32 kBlockHeaderSize = 0x20;
constexpr quint32 kKeyHeaderSize = 0x14;
constexpr quint32 kValueHeaderSize = 0x0C;
// Leftover space smaller than a record header is not worth a free record of its own.
constexpr quint32 kFreeRecordMin = 0x14;
// Key ids are one byte wide in practice: 0..254, with 0xFFFF marking a free record.
constexpr int kMaxKeysPerBlock = 255;
// Blocks are whole pages, as Windows allocates them; its largest blocks are 60 KiB.
constexpr quint32 kBlockGranularity = 0x1000;
constexpr quint32 kMaxBlockSize = 0xF000;
constexpr quint32 kMaxRecordSize = kMaxBlockSize - kBlockHeaderSize;

// The flag bits Windows 9x writes beside the checksum bit; kept so that our hives look
// like its own.
constexpr quint16 kHeaderFlags = 0x20 | kChecksumValid;
constexpr quint32 kRgknFlags = 0x08 | kChecksumValid;
constexpr quint16 kBlockFlags = 0x08 | kChecksumValid;

// Real hives are about a dozen levels deep; the limit only stops hostile files from
// building trees whose destruction would exhaust the stack.
constexpr int kMaxDepth = 512;

quint16 rd16(const uchar* p) { return qFromLittleEndian<quint16>(p); }
quint32 rd32(const uchar* p) { return qFromLittleEndian<quint32>(p); }
void wr16(uchar* p, quint16 v) { qToLittleEndian(v, p); }
void wr32(uchar* p, quint32 v) { qToLittleEndian(v, p); }

quint32 dwordSum(const uchar* p, quint32 size) {
  // Eight sums side by side, which the compiler turns into vector adds: every byte of a
  // hive is summed at each start.
  quint32 lanes[8] = {};
  quint32 i = 0;
  for (; i + sizeof lanes <= size; i += sizeof lanes) {
    quint32 w[8];
    std::memcpy(w, p + i, sizeof w);
    for (int k = 0; k < 8; ++k) lanes[k] += qFromLittleEndian(w[k]);
  }
  quint32 sum = 0;
  for (quint32 lane : lanes) sum += lane;
  for (; i + 4 <= size; i += 4) sum += rd32(p + i);
  return sum;
}

// Windows looks keys up by this sum before comparing names, so it must match the name.
quint32 nameHash(QByteArrayView name) {
  quint32 h = 0;
  for (char ch : name) {
    const uchar c = uchar(ch);
    if (c >= 0x80) continue;
    h += (c >= 'a' && c <= 'z') ? c - ('a' - 'A') : c;
  }
  return h;
}

QString hex(quint64 v) { return QStringLiteral("0x") + QString::number(v, 16).toUpper(); }

// ---------------------------------------------------------------------------------------
// Reading

// A key's values as the file packs them: header (type, name and data lengths), name, data.
// Names and data are copied into one buffer of their own, NUL after each as in any
// QByteArray, which the values share.
void unpackValues(const QByteArray& packed, int count, std::vector<RegValue>* out) {
  const auto* p = reinterpret_cast<const uchar*>(packed.constData());
  QByteArray store(packed.size() + 2 * count, Qt::Uninitialized);
  char* to = store.data();
  auto piece = [&](const uchar* from, quint32 length) {
    std::memcpy(to, from, length);
    to[length] = '\0';
    QByteArray::DataPointer shared = store.data_ptr();  // takes a reference on the buffer
    shared.ptr = to;
    shared.size = length;
    to += length + 1;
    return QByteArray(std::move(shared));
  };
  out->reserve(out->size() + size_t(count));
  for (int i = 0; i < count; ++i) {
    const quint32 type = rd32(p), nameLength = rd16(p + 0x08), dataLength = rd16(p + 0x0A);
    p += kValueHeaderSize;
    QByteArray name = piece(p, nameLength);
    QByteArray data = piece(p + nameLength, dataLength);
    out->push_back(RegValue{std::move(name), type, std::move(data)});
    p += nameLength + dataLength;
  }
}

// Whether two of the names are the same to Windows (any case). Names are compared only
// where their case-blind hashes agree: generated names of one length that differ in their
// last characters are common, and comparing those in full would cost more than reading.
quint32 caseBlindHash(QByteArrayView name) {
  quint32 h = 2166136261u;
  for (char c : name) h = (h ^ ansiUpper(uchar(c))) * 16777619u;
  return h;
}

bool namesRepeat(const std::vector<QByteArrayView>& names) {
  if (names.size() < 2) return false;
  constexpr size_t kCompareAll = 24;
  if (names.size() < kCompareAll) {
    quint32 hashes[kCompareAll];
    for (size_t i = 0; i < names.size(); ++i) {
      hashes[i] = caseBlindHash(names[i]);
      for (size_t j = 0; j < i; ++j)
        if (hashes[j] == hashes[i] && ansiEqualNoCase(names[i], names[j])) return true;
    }
    return false;
  }
  // A key with thousands of sub-keys (file types, classes) is checked whenever it is first
  // looked into: an open-addressed table of the hashes, at most half full, does it in one
  // pass where sorting them would take several.
  size_t size = 64;
  while (size < 2 * names.size()) size *= 2;
  struct Slot {
    quint32 hash;
    quint32 name;  // index + 1; 0 for an empty slot
  };
  std::vector<Slot> table(size, Slot{0, 0});
  for (size_t i = 0; i < names.size(); ++i) {
    const quint32 h = caseBlindHash(names[i]);
    for (size_t at = h & (size - 1);; at = (at + 1) & (size - 1)) {
      Slot& slot = table[at];
      if (slot.name == 0) {
        slot = Slot{h, quint32(i + 1)};
        break;
      }
      if (slot.hash == h && ansiEqualNoCase(names[i], names[slot.name - 1])) return true;
    }
  }
  return false;
}

// Checks the whole file when it is read, then stays with the tree as the source of the
// sub-keys nobody has asked for yet: they are built from the checked file when first
// asked for, so a large registry costs at start only what checking it costs, and reading
// them then cannot fail.
class Reader : public SubkeySource, public std::enable_shared_from_this<Reader> {
 public:
  explicit Reader(const QByteArray& bytes)
      : bytes_(bytes), d_(reinterpret_cast<const uchar*>(bytes.constData())), size_(quint64(bytes.size())) {}

  bool read(RegKey& out);
  const QString& error() const { return error_; }
  void addSubkeys(RegKey& key, quint32 firstChild) override;
  RegKey* findSubkey(RegKey& key, quint32 firstChild, QByteArrayView name) override;

 private:
  struct Entry {
    quint32 flags, parent, child, next;
    quint16 id, block;
  };
  // Every key record of the file, sorted by (block, id): looking one up is a binary search
  // at worst, and the table costs 16 bytes a record however a hostile file numbers its ids.
  struct Record {
    quint32 key;  // block << 16 | id
    bool claimed;
    quint64 offset;
  };

  bool fail(const QString& message) {
    error_ = message;
    return false;
  }
  bool readHeader();
  bool readBlocks();
  bool readEntry(quint32 offset, Entry* e);
  bool claimEntry(quint32 offset, const char* what);
  // The record the entry names; nullptr when the file has none.
  Record* recordOf(const Entry& e);
  // The key record the entry names, checked to hold its name and claimed by it; nullptr
  // on failure.
  const uchar* findRecord(quint32 entryOffset, const Entry& e);
  // Checks that the record's values lie within it; `end` receives where they end and
  // `names`, when given, their names.
  bool checkValues(const uchar* record, const Entry& e, quint32* end, std::vector<QByteArrayView>* names);
  // Gives the checked record's values to `key`.
  void loadValues(const uchar* record, const Entry& e, RegKey* key);
  // `length` bytes of the file from `at`, sharing its buffer; null when the file's bytes
  // are not a buffer of their own that a slice could keep alive.
  QByteArray slice(const uchar* at, quint32 length) {
    QByteArray::DataPointer shared = bytes_.data_ptr();
    if (!shared.d_ptr()) return QByteArray();
    shared.ptr = const_cast<char*>(reinterpret_cast<const char*>(at));
    shared.size = length;
    return QByteArray(std::move(shared));
  }

  QByteArray bytes_;
  const uchar* d_;
  quint64 size_;
  QString error_;

  quint32 rgknSize_ = 0;
  quint32 rootOffset_ = 0;
  const uchar* rgkn_ = nullptr;
  std::vector<Record> records_;
  // Where each block's records begin in records_; one more entry marks the end.
  std::vector<size_t> blockStart_;
  std::vector<bool> entrySeen_;  // while the file is checked
  // The names of every key share a few large buffers.
  ByteSlab slab_;
  std::vector<QByteArrayView> names_;  // of one key's values, while they are given to it
  // For a deferred key that was looked into by name: its sub-keys' entries by the case-blind
  // hash of their names, and those of them made so far.
  struct Lookup {
    std::vector<std::pair<quint32, quint32>> byHash;  // (hash, entry offset), sorted
    std::vector<std::pair<quint32, RegKey*>> made;    // (entry offset, key)
  };
  std::unordered_map<quint32, Lookup> lookups_;  // by the deferred key's first child
};

bool Reader::readHeader() {
  if (size_ < kFileHeaderSize) return fail(QStringLiteral("file too short for a registry hive header"));
  if (std::memcmp(d_, "CREG", 4) != 0) return fail(QStringLiteral("not a registry hive (no CREG signature)"));
  if ((rd16(d_ + 0x12) & kChecksumValid) && dwordSum(d_, kFileHeaderSize) != 0)
    return fail(QStringLiteral("file header checksum is wrong"));

  if (size_ < kFileHeaderSize + kRgknHeaderSize) return fail(QStringLiteral("file ends before the RGKN key tree header"));
  rgkn_ = d_ + kFileHeaderSize;
  if (std::memcmp(rgkn_, "RGKN", 4) != 0) return fail(QStringLiteral("bad RGKN signature at 0x20"));
  rgknSize_ = rd32(rgkn_ + 0x04);
  if (rgknSize_ < kRgknHeaderSize || kFileHeaderSize + quint64(rgknSize_) > size_)
    return fail(QStringLiteral("RGKN size %1 runs past the end of the file").arg(hex(rgknSize_)));
  const quint32 rgdbOffset = rd32(d_ + 0x08);
  if (rgdbOffset < kFileHeaderSize + quint64(rgknSize_) || rgdbOffset > size_)
    return fail(QStringLiteral("offset of the first RGDB block %1 is out of range").arg(hex(rgdbOffset)));
  if ((rd32(rgkn_ + 0x10) & kChecksumValid) && dwordSum(rgkn_, rgknSize_) != 0)
    return fail(QStringLiteral("RGKN checksum is wrong"));
  rootOffset_ = rd32(rgkn_ + 0x08);
  entrySeen_.assign(rgknSize_ / 4 + 1, false);
  return true;
}

bool Reader::readBlocks() {
  const int count = rd16(d_ + 0x10);
  quint64 offset = rd32(d_ + 0x08);
  // A hostile block count must not make us reserve more than the file could hold.
  records_.reserve(size_t(qMin<quint64>(quint64(count) * kMaxKeysPerBlock, size_ / kKeyHeaderSize)));
  blockStart_.reserve(size_t(count) + 1);
  for (int index = 0; index < count; ++index) {
    // Built only when something is wrong: formatting it for every block costs more than
    // reading the block.
    auto where = [&] { return QStringLiteral("RGDB block %1 at %2").arg(index).arg(hex(offset)); };
    if (offset + kBlockHeaderSize > size_) return fail(where() + QStringLiteral(" lies past the end of the file"));
    const uchar* b = d_ + offset;
    if (std::memcmp(b, "RGDB", 4) != 0) return fail(where() + QStringLiteral(": bad RGDB signature"));
    const quint32 blockSize = rd32(b + 0x04);
    if (blockSize < kBlockHeaderSize || offset + blockSize > size_)
      return fail(where() + QStringLiteral(": size %1 runs past the end of the file").arg(hex(blockSize)));
    if ((rd16(b + 0x0C) & kChecksumValid) && dwordSum(b, blockSize) != 0)
      return fail(where() + QStringLiteral(": checksum is wrong"));

    const size_t firstRecord = records_.size();
    blockStart_.push_back(firstRecord);
    quint32 pos = kBlockHeaderSize;
    while (pos < blockSize) {
      const quint32 left = blockSize - pos;
      if (left < 8) return fail(where() + QStringLiteral(": record at +%1 runs past the end of the block").arg(hex(pos)));
      const uchar* r = b + pos;
      const quint32 recordSize = rd32(r);
      const quint16 id = rd16(r + 4), block = rd16(r + 6);
      const bool isFree = id == kNoId && block == kNoId;
      if (recordSize > left || recordSize < (isFree ? 8 : kKeyHeaderSize))
        return fail(where() +
                    QStringLiteral(": record at +%1 with size %2 runs past the end of the block").arg(hex(pos), hex(recordSize)));
      if (!isFree) {
        if (block != index)
          return fail(where() + QStringLiteral(": record at +%1 claims to be in block %2").arg(hex(pos)).arg(block));
        records_.push_back(Record{quint32(block) << 16 | id, false, offset + pos});
      }
      pos += recordSize;
    }
    // Windows numbers a block's records in order, so this sort rarely moves anything.
    const auto byKey = [](const Record& a, const Record& b) { return a.key < b.key; };
    const auto begin = records_.begin() + qsizetype(firstRecord);
    std::sort(begin, records_.end(), byKey);
    const auto twice = std::adjacent_find(begin, records_.end(), [](const Record& a, const Record& b) { return a.key == b.key; });
    if (twice != records_.end()) return fail(where() + QStringLiteral(": key id %1 appears twice").arg(twice->key & 0xFFFF));
    offset += blockSize;
  }
  blockStart_.push_back(records_.size());
  return true;
}

bool Reader::readEntry(quint32 offset, Entry* e) {
  if (offset < kRgknHeaderSize || quint64(offset) + kEntrySize > rgknSize_)
    return fail(QStringLiteral("key tree link %1 points outside the RGKN").arg(hex(offset)));
  const uchar* p = rgkn_ + offset;
  e->flags = rd32(p);
  e->parent = rd32(p + 0x0C);
  e->child = rd32(p + 0x10);
  e->next = rd32(p + 0x14);
  e->id = rd16(p + 0x18);
  e->block = rd16(p + 0x1A);
  if (e->flags & kFreeEntry) return fail(QStringLiteral("key tree link %1 points to a free entry").arg(hex(offset)));
  return true;
}

bool Reader::claimEntry(quint32 offset, const char* what) {
  // Offsets are validated by readEntry first; entries are 28 bytes, so distinct entries
  // never share a DWORD index unless they overlap, which is damage too.
  const size_t slot = offset / 4;
  if (entrySeen_[slot])
    return fail(
        QStringLiteral("loop in the key tree: %1 link reaches entry %2 a second time").arg(QLatin1String(what), hex(offset)));
  entrySeen_[slot] = true;
  return true;
}

Reader::Record* Reader::recordOf(const Entry& e) {
  if (size_t(e.block) + 1 >= blockStart_.size()) return nullptr;
  const quint32 key = quint32(e.block) << 16 | e.id;
  Record* first = records_.data() + blockStart_[e.block];
  Record* last = records_.data() + blockStart_[size_t(e.block) + 1];
  // Windows numbers a block's records 0, 1, 2, ...: the id is nearly always the position.
  if (e.id < last - first && first[e.id].key == key) return first + e.id;
  Record* at = std::lower_bound(first, last, key, [](const Record& r, quint32 k) { return r.key < k; });
  return at != last && at->key == key ? at : nullptr;
}

const uchar* Reader::findRecord(quint32 entryOffset, const Entry& e) {
  Record* it = recordOf(e);
  if (!it) {
    fail(QStringLiteral("key entry %1 names key id %2 in block %3, which does not exist")
             .arg(hex(entryOffset))
             .arg(e.id)
             .arg(e.block));
    return nullptr;
  }
  if (it->claimed) {
    fail(QStringLiteral("key entry %1 shares its data record (id %2, block %3) with another key")
             .arg(hex(entryOffset))
             .arg(e.id)
             .arg(e.block));
    return nullptr;
  }
  it->claimed = true;
  const uchar* r = d_ + it->offset;
  const quint32 used = rd32(r + 0x08);
  if (used > rd32(r) || kKeyHeaderSize + rd16(r + 0x0C) > used) {
    fail(QStringLiteral("key record (id %1, block %2) is larger than its record").arg(e.id).arg(e.block));
    return nullptr;
  }
  return r;
}

QByteArrayView recordName(const uchar* r) {
  return QByteArrayView(reinterpret_cast<const char*>(r + kKeyHeaderSize), rd16(r + 0x0C));
}

bool Reader::checkValues(const uchar* r, const Entry& e, quint32* end, std::vector<QByteArrayView>* names) {
  const quint32 used = rd32(r + 0x08);
  const int valueCount = rd16(r + 0x0E);
  quint32 pos = kKeyHeaderSize + rd16(r + 0x0C);
  for (int i = 0; i < valueCount; ++i) {
    const uchar* v = r + pos;
    if (used - pos < kValueHeaderSize || used - pos - kValueHeaderSize < quint32(rd16(v + 0x08)) + rd16(v + 0x0A))
      return fail(
          QStringLiteral("key record (id %1, block %2): value %3 runs past the end of the record").arg(e.id).arg(e.block).arg(i));
    const quint32 nameLength = rd16(v + 0x08);
    if (names) names->push_back(QByteArrayView(reinterpret_cast<const char*>(v + kValueHeaderSize), nameLength));
    pos += kValueHeaderSize + nameLength + rd16(v + 0x0A);
  }
  *end = pos;
  return true;
}

void Reader::loadValues(const uchar* r, const Entry& e, RegKey* key) {
  const int valueCount = rd16(r + 0x0E);
  if (valueCount == 0) return;
  const quint32 first = kKeyHeaderSize + rd16(r + 0x0C);
  quint32 end = first;
  names_.clear();
  if (!checkValues(r, e, &end, &names_)) return;
  // Kept packed, as a slice of the file's own bytes, unless the file repeats a name (or a
  // key: a twin merged into its sibling already holds the sibling's values): then the values
  // are added one by one, so that the later replaces the earlier as in any other key.
  QByteArray packed = slice(r + first, end - first);
  if (packed.isNull() || key->valueCount() > 0 || namesRepeat(names_)) {
    std::vector<RegValue> values;
    unpackValues(packed.isNull() ? QByteArray(reinterpret_cast<const char*>(r + first), end - first) : packed, valueCount,
                 &values);
    key->reserveValues(valueCount);
    for (RegValue& v : values) key->adoptValue(std::move(v.name), v.type, std::move(v.data));
    return;
  }
  key->adoptPackedValues(std::move(packed), valueCount, &unpackValues);
}

bool Reader::read(RegKey& out) {
  if (!readHeader() || !readBlocks()) return false;

  Entry root;
  if (!readEntry(rootOffset_, &root) || !claimEntry(rootOffset_, "root")) return false;
  // Windows 9x gives the root entry no record (id 0xFFFF); should one be there, its
  // values belong to the root and its name means nothing.
  const uchar* rootRecord = nullptr;
  quint32 end = 0;
  if (root.id != kNoId && root.block != kNoId) {
    rootRecord = findRecord(rootOffset_, root);
    if (!rootRecord || !checkValues(rootRecord, root, &end, nullptr)) return false;
  }

  // The whole tree is checked in the order it is built in, so that damage is reported the
  // same way wherever it lies.
  struct Pending {
    quint32 offset;
    quint32 firstChild;
    int depth;
  };
  std::vector<Pending> stack{{rootOffset_, root.child, 0}};
  struct Child {
    quint32 offset;
    Entry entry;
    const uchar* record;
  };
  std::vector<Child> children;
  while (!stack.empty()) {
    const Pending p = stack.back();
    stack.pop_back();
    const char* link = "first-child";
    children.clear();
    for (quint32 at = p.firstChild; at != kNoOffset;) {
      Entry e;
      if (!readEntry(at, &e) || !claimEntry(at, link)) return false;
      link = "sibling";
      if (e.parent != p.offset)
        return fail(
            QStringLiteral("key entry %1 names %2 as its parent instead of %3").arg(hex(at), hex(e.parent), hex(p.offset)));
      if (e.id == kNoId || e.block == kNoId) return fail(QStringLiteral("key entry %1 has no data record").arg(hex(at)));
      const uchar* r = findRecord(at, e);
      if (!r) return false;
      children.push_back({at, e, r});
      at = e.next;
    }
    for (const Child& c : children) {
      if (!checkValues(c.record, c.entry, &end, nullptr)) return false;
      if (c.entry.child != kNoOffset) {
        if (p.depth + 1 >= kMaxDepth) return fail(QStringLiteral("key tree is deeper than %1 levels").arg(kMaxDepth));
        stack.push_back({c.offset, c.entry.child, p.depth + 1});
      }
    }
  }
  entrySeen_ = {};

  if (rootRecord) loadValues(rootRecord, root, &out);
  if (root.child != kNoOffset) out.deferSubkeys(shared_from_this(), root.child);
  return true;
}

RegKey* Reader::findSubkey(RegKey& key, quint32 firstChild, QByteArrayView name) {
  // A few sub-keys are built at once; so are twins, which must merge.
  constexpr size_t kLookUpOne = 24;
  auto all = [&] {
    lookups_.erase(firstChild);
    (void)key.subkeyCount();  // builds them all
    return key.findSubkey(name);
  };
  auto it = lookups_.find(firstChild);
  if (it == lookups_.end()) {
    Lookup lookup;
    for (quint32 at = firstChild; at != kNoOffset;) {
      Entry e;
      const Record* record = readEntry(at, &e) ? recordOf(e) : nullptr;
      if (!record) break;  // the file was checked: this cannot happen
      lookup.byHash.emplace_back(caseBlindHash(recordName(d_ + record->offset)), at);
      at = e.next;
    }
    if (lookup.byHash.size() < kLookUpOne) return all();
    std::sort(lookup.byHash.begin(), lookup.byHash.end());
    for (size_t i = 1; i < lookup.byHash.size(); ++i)
      if (lookup.byHash[i].first == lookup.byHash[i - 1].first) {
        std::vector<QByteArrayView> names;
        for (size_t j = i - 1; j < lookup.byHash.size() && lookup.byHash[j].first == lookup.byHash[i].first; ++j) {
          Entry e;
          readEntry(lookup.byHash[j].second, &e);
          names.push_back(recordName(d_ + recordOf(e)->offset));
        }
        if (namesRepeat(names)) return all();
      }
    it = lookups_.emplace(firstChild, std::move(lookup)).first;
  }
  Lookup& lookup = it->second;
  const quint32 hash = caseBlindHash(name);
  for (auto at = std::lower_bound(lookup.byHash.begin(), lookup.byHash.end(), std::pair(hash, quint32(0)));
       at != lookup.byHash.end() && at->first == hash; ++at) {
    Entry e;
    readEntry(at->second, &e);
    const uchar* r = d_ + recordOf(e)->offset;
    if (!ansiEqualNoCase(recordName(r), name)) continue;  // another name of the same hash
    for (const auto& [offset, made] : lookup.made)
      if (offset == at->second) return made;
    RegKey* sub = appendFound(key, slab_.copy(recordName(r)));
    loadValues(r, e, sub);
    if (e.child != kNoOffset) sub->deferSubkeys(shared_from_this(), e.child);
    lookup.made.emplace_back(at->second, sub);
    return sub;
  }
  return nullptr;
}

void Reader::addSubkeys(RegKey& key, quint32 firstChild) {
  // Keys findSubkey made already go back in their places, as they are.
  std::vector<std::unique_ptr<RegKey>> found;
  std::vector<std::pair<quint32, RegKey*>> made;
  if (auto it = lookups_.find(firstChild); it != lookups_.end()) {
    found = takeFound(key);
    made = std::move(it->second.made);
    lookups_.erase(it);
  }
  struct Child {
    quint32 offset;
    Entry entry;
    const uchar* record;
  };
  std::vector<Child> children;
  std::vector<QByteArrayView> names;
  for (quint32 at = firstChild; at != kNoOffset;) {
    Entry e;
    const Record* record = readEntry(at, &e) ? recordOf(e) : nullptr;
    if (!record) break;  // the file was checked: this cannot happen
    const uchar* r = d_ + record->offset;
    children.push_back({at, e, r});
    names.push_back(recordName(r));
    at = e.next;
  }
  // Windows never writes two siblings whose names differ only in case; should a hive hold
  // them, they merge into one key rather than one hiding the other. A key that has sub-keys
  // already is such a twin, and its sibling's sub-keys join them.
  const bool merge = key.subkeyCount() > 0 || namesRepeat(names);
  key.reserveSubkeys(int(children.size()));
  for (const Child& c : children) {
    if (!made.empty()) {
      const auto m = std::find_if(made.begin(), made.end(), [&](const auto& x) { return x.first == c.offset; });
      if (m != made.end()) {
        const auto f = std::find_if(found.begin(), found.end(), [&](const auto& k) { return k.get() == m->second; });
        putBack(key, std::move(*f));
        found.erase(f);
        made.erase(m);
        continue;
      }
    }
    const QByteArray name = slab_.copy(recordName(c.record));
    const int before = key.subkeyCount();
    RegKey* sub = merge ? key.adoptSubkey(name) : key.adoptNewSubkey(name);
    loadValues(c.record, c.entry, sub);
    if (c.entry.child == kNoOffset) continue;
    if (key.subkeyCount() == before)
      addSubkeys(*sub, c.entry.child);  // the twin's own sub-keys are built first, by its subkeyCount
    else
      sub->deferSubkeys(shared_from_this(), c.entry.child);
  }
}

// ---------------------------------------------------------------------------------------
// Writing

quint32 entryOffset(quint32 index) {
  if (index < kEntriesInFirstPage) return kRgknHeaderSize + index * kEntrySize;
  const quint32 rest = index - kEntriesInFirstPage;
  return kRgknFirstPage + (rest / kEntriesPerPage) * kRgknPage + (rest % kEntriesPerPage) * kEntrySize;
}

quint32 rgknSizeFor(quint32 entries) {
  if (entries <= kEntriesInFirstPage) return kRgknFirstPage;
  const quint32 pages = (entries - kEntriesInFirstPage + kEntriesPerPage - 1) / kEntriesPerPage;
  return kRgknFirstPage + pages * kRgknPage;
}

struct Node {
  explicit Node(const RegKey* k, quint32 parentIndex = kNoOffset) : key(k), parent(parentIndex) {}
  const RegKey* key;
  quint32 parent = kNoOffset;      // node index
  quint32 firstChild = kNoOffset;  // node index; siblings follow it contiguously
  quint32 childCount = 0;
  quint32 nameLength = 0;
  quint32 hash = 0;        // taken while the key is at hand, not in a later pass over all keys
  quint32 recordSize = 0;  // 0: no record
  quint16 id = kNoId, block = kNoId;
};

struct Block {
  quint32 used = kBlockHeaderSize;
  int keys = 0;
};

// One key's record must fit in a block, and Windows grows blocks no further than 60 KiB
// (full blocks in its own hives are exactly that size), so a key whose values exceed it
// cannot have come from Windows; such a tree comes from an import. Rather than drop
// values, the whole write is refused.
bool planRecord(Node& n) {
  const RegKey& key = *n.key;
  quint64 size = quint64(kKeyHeaderSize) + quint64(key.name().size());
  if (!key.packedValues().isNull())
    size += quint64(key.packedValues().size());
  else
    for (const RegValue& v : key.values()) size += quint64(kValueHeaderSize) + quint64(v.name.size()) + quint64(v.data.size());
  if (size > kMaxRecordSize) return false;
  n.nameLength = quint32(key.name().size());
  n.hash = n.parent == kNoOffset ? 0 : nameHash(key.name());
  n.recordSize = quint32(size);
  return true;
}

void fillRecord(uchar* r, const Node& n, quint32 recordSize) {
  wr32(r, recordSize);
  wr16(r + 0x04, n.id);
  wr16(r + 0x06, n.block);
  wr32(r + 0x08, n.recordSize);
  wr16(r + 0x0C, quint16(n.nameLength));
  wr16(r + 0x0E, quint16(n.key->valueCount()));
  std::memcpy(r + kKeyHeaderSize, n.key->name().constData(), n.nameLength);
  uchar* v = r + kKeyHeaderSize + n.nameLength;
  // Values nobody has looked at since they were read are still as this format keeps them.
  if (const QByteArray& packed = n.key->packedValues(); !packed.isNull()) {
    std::memcpy(v, packed.constData(), size_t(packed.size()));
    // The word after the type means nothing to the reader; Windows leaves whatever it
    // likes there, and a key is written the same whether its values were looked at or not.
    for (int i = 0; i < n.key->valueCount(); ++i) {
      wr32(v + 0x04, 0);
      v += kValueHeaderSize + rd16(v + 0x08) + rd16(v + 0x0A);
    }
    return;
  }
  for (const RegValue& value : n.key->values()) {
    wr32(v, value.type);
    wr16(v + 0x08, quint16(value.name.size()));
    wr16(v + 0x0A, quint16(value.data.size()));
    v += kValueHeaderSize;
    std::memcpy(v, value.name.constData(), size_t(value.name.size()));
    v += value.name.size();
    std::memcpy(v, value.data.constData(), size_t(value.data.size()));
    v += value.data.size();
  }
}

void sealChecksum(uchar* structure, quint32 size, quint32 checksumAt) {
  wr32(structure + checksumAt, 0);
  wr32(structure + checksumAt, quint32(0) - dwordSum(structure, size));
}

}  // namespace

bool packValues(const std::vector<ValueRef>& values, std::string* out) {
  std::vector<QByteArrayView> names;
  names.reserve(values.size());
  size_t size = 0;
  for (const ValueRef& v : values) {
    if (v.name.size() > 0xFFFF || v.data.size() > 0xFFFF) return false;
    names.push_back(v.name);
    size += kValueHeaderSize + size_t(v.name.size()) + size_t(v.data.size());
  }
  if (namesRepeat(names)) return false;
  const size_t start = out->size();
  out->resize(start + size);
  auto* p = reinterpret_cast<uchar*>(out->data() + start);
  for (const ValueRef& v : values) {
    wr32(p, v.type);
    wr32(p + 0x04, 0);
    wr16(p + 0x08, quint16(v.name.size()));
    wr16(p + 0x0A, quint16(v.data.size()));
    p += kValueHeaderSize;
    if (!v.name.isEmpty()) std::memcpy(p, v.name.data(), size_t(v.name.size()));
    p += v.name.size();
    if (!v.data.isEmpty()) std::memcpy(p, v.data.data(), size_t(v.data.size()));
    p += v.data.size();
  }
  return true;
}

ValueUnpacker unpacker() { return &unpackValues; }

bool readHive(const QByteArray& bytes, RegKey& root, QString* error) {
  RegKey tree;
  const auto reader = std::make_shared<Reader>(bytes);
  if (!reader->read(tree)) {
    if (error) *error = reader->error();
    return false;
  }
  root.takeContentsOf(tree);
  return true;
}

QByteArray writeHive(const RegKey& root, QString* error) {
  // Breadth-first order puts each key's sub-keys side by side, so a sibling chain is a run
  // of consecutive entries.
  std::vector<Node> nodes;
  nodes.emplace_back(&root);
  for (size_t i = 0; i < nodes.size(); ++i) {
    const RegKey* key = nodes[i].key;
    if (key->subkeyCount() == 0) continue;
    nodes[i].firstChild = quint32(nodes.size());
    nodes[i].childCount = quint32(key->subkeyCount());
    for (int c = 0; c < key->subkeyCount(); ++c) nodes.emplace_back(key->subkey(c), quint32(i));
  }

  // The root gets a record only to carry values, or to keep an empty hive from having
  // no block at all.
  std::vector<Block> blocks;
  for (size_t i = 0; i < nodes.size(); ++i) {
    Node& n = nodes[i];
    if (i == 0 && root.valueCount() == 0 && nodes.size() > 1) continue;
    if (!planRecord(n)) {
      if (error)
        *error = QStringLiteral("the key \"%1\" holds more than a registry file can keep in one key (%2 bytes)")
                     .arg(fromAnsi(n.key->pathFromTop()))
                     .arg(kMaxRecordSize);
      return {};
    }
    if (blocks.empty() || blocks.back().keys == kMaxKeysPerBlock || blocks.back().used + n.recordSize > kMaxBlockSize)
      blocks.push_back(Block{});
    Block& b = blocks.back();
    n.block = quint16(blocks.size() - 1);
    n.id = quint16(b.keys++);
    b.used += n.recordSize;
  }

  const quint32 entryCount = quint32(nodes.size());
  const quint32 rgknSize = rgknSizeFor(entryCount);
  std::vector<quint32> blockSize(blocks.size()), blockStart(blocks.size());
  quint64 total = kFileHeaderSize + rgknSize;
  for (size_t b = 0; b < blocks.size(); ++b) {
    blockSize[b] = (blocks[b].used + kBlockGranularity - 1) / kBlockGranularity * kBlockGranularity;
    blockStart[b] = quint32(total);
    total += blockSize[b];
  }

  QByteArray out(qsizetype(total), '\0');
  uchar* d = reinterpret_cast<uchar*>(out.data());

  // RGKN: the entries, then the rest of the last page as one free run.
  uchar* rgkn = d + kFileHeaderSize;
  std::memcpy(rgkn, "RGKN", 4);
  wr32(rgkn + 0x04, rgknSize);
  wr32(rgkn + 0x08, entryOffset(0));
  wr32(rgkn + 0x10, kRgknFlags);
  for (quint32 i = 0; i < entryCount; ++i) {
    const Node& n = nodes[i];
    uchar* e = rgkn + entryOffset(i);
    wr32(e, 0);
    wr32(e + 0x04, n.hash);
    wr32(e + 0x08, kNoOffset);
    wr32(e + 0x0C, n.parent == kNoOffset ? kNoOffset : entryOffset(n.parent));
    wr32(e + 0x10, n.firstChild == kNoOffset ? kNoOffset : entryOffset(n.firstChild));
    const Node* parent = n.parent == kNoOffset ? nullptr : &nodes[n.parent];
    const bool lastSibling = !parent || i + 1 == parent->firstChild + parent->childCount;
    wr32(e + 0x14, lastSibling ? kNoOffset : entryOffset(i + 1));
    wr16(e + 0x18, n.id);
    wr16(e + 0x1A, n.block);
  }
  quint32 freeHead = kNoOffset;
  const quint32 firstFree = entryOffset(entryCount);
  if (firstFree + kEntrySize <= rgknSize) {
    freeHead = firstFree;
    uchar* e = rgkn + firstFree;
    wr32(e, kFreeEntry);
    wr32(e + 0x04, rgknSize - firstFree);
    wr32(e + 0x08, kNoOffset);
    wr32(e + 0x0C, kNoOffset);
    wr32(e + 0x10, kNoOffset);
    wr32(e + 0x14, kNoOffset);
    wr16(e + 0x18, kNoId);
    wr16(e + 0x1A, kNoId);
  }
  wr32(rgkn + 0x0C, freeHead);
  sealChecksum(rgkn, rgknSize, 0x14);

  // RGDB blocks: records packed in id order; what is left of the last page becomes a free
  // record, or the last record's slack when too small to be one.
  std::vector<quint32> cursor(blocks.size(), kBlockHeaderSize);
  std::vector<const Node*> lastInBlock(blocks.size(), nullptr);
  for (const Node& n : nodes)
    if (n.block != kNoId) lastInBlock[n.block] = &n;
  for (const Node& n : nodes) {
    if (n.block == kNoId) continue;
    const quint32 b = n.block;
    quint32 size = n.recordSize;
    const quint32 spare = blockSize[b] - blocks[b].used;
    if (&n == lastInBlock[b] && spare < kFreeRecordMin) size += spare;
    fillRecord(d + blockStart[b] + cursor[b], n, size);
    cursor[b] += size;
  }
  for (size_t b = 0; b < blocks.size(); ++b) {
    uchar* h = d + blockStart[b];
    const quint32 spare = blockSize[b] - cursor[b];
    std::memcpy(h, "RGDB", 4);
    wr32(h + 0x04, blockSize[b]);
    wr32(h + 0x08, spare);
    wr16(h + 0x0C, kBlockFlags);
    wr16(h + 0x0E, quint16(b));
    wr32(h + 0x10, spare ? cursor[b] : kNoOffset);
    wr16(h + 0x14, quint16(blocks[b].keys - 1));
    wr16(h + 0x16, quint16(blocks[b].keys));
    if (spare) {
      uchar* r = h + cursor[b];
      wr32(r, spare);
      wr16(r + 0x04, kNoId);
      wr16(r + 0x06, kNoId);
      wr32(r + 0x08, kNoOffset);
    }
    sealChecksum(h, blockSize[b], 0x1C);
  }

  std::memcpy(d, "CREG", 4);
  wr16(d + 0x04, 0);
  wr16(d + 0x06, 1);
  wr32(d + 0x08, kFileHeaderSize + rgknSize);
  wr16(d + 0x10, quint16(blocks.size()));
  wr16(d + 0x12, kHeaderFlags);
  wr16(d + 0x16, 1);
  sealChecksum(d, kFileHeaderSize, 0x0C);
  return out;
}

}  // namespace vt::creg
