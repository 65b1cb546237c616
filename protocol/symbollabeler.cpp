#include "protocol/symbollabeler.h"

#include "protocol/symbolfile.h"

#include <QDebug>

#include <algorithm>
#include <string_view>
#include <unordered_map>

namespace {
// A row's (type, address, direction) texts come from small vocabularies, so
// they are numbered: slot = (type * 257 + address code) * 3 + direction,
// with address code 256 for "--".
constexpr uint32_t kAddressCodes = 257;
constexpr uint32_t kDirections = 3;
constexpr uint32_t kSlotsPerType = kAddressCodes * kDirections;
constexpr uint32_t kSlotCount = 4 * kSlotsPerType;

uint32_t slotOf(CaptureRow::Type type, uint32_t addressCode, CaptureRow::Direction dir)
{
    return (uint32_t(type) * kAddressCodes + addressCode) * kDirections + uint32_t(dir);
}

uint32_t rowSlot(const CaptureRow &row)
{
    return slotOf(row.type, row.hasAddress ? row.address : 256u, row.direction);
}

int hexDigit(QChar c)
{
    if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
        return c.unicode() - '0';
    if (c >= QLatin1Char('A') && c <= QLatin1Char('F'))
        return c.unicode() - 'A' + 10;
    return -1;
}

// The slot whose rows carry exactly the symbol's Type, Addr and ReadWrite
// texts; false when no row can ever carry them (e.g. "5" or "a0" as address).
bool symbolSlot(const SymbolDef &s, uint32_t *slot)
{
    CaptureRow::Type type;
    if (!CaptureRow::typeFromText(s.type().toStdString(), &type))
        return false;

    uint32_t addressCode;
    const QString &a = s.addr();
    if (a == QLatin1String("--")) {
        addressCode = 256;
    } else {
        if (a.size() != 2 || hexDigit(a[0]) < 0 || hexDigit(a[1]) < 0)
            return false;
        addressCode = uint32_t(hexDigit(a[0]) * 16 + hexDigit(a[1]));
    }

    CaptureRow::Direction dir;
    if (!CaptureRow::directionFromText(s.readWrite().toStdString(), &dir))
        return false;

    *slot = slotOf(type, addressCode, dir);
    return true;
}

struct DataKey
{
    uint32_t slot;
    std::string_view data;
    bool operator==(const DataKey &o) const { return slot == o.slot && data == o.data; }
};

struct DataKeyHash
{
    size_t operator()(const DataKey &k) const
    {
        return std::hash<std::string_view>()(k.data) ^ (size_t(k.slot) * 0x9E3779B97F4A7C15ull);
    }
};
} // namespace

// Immutable once published. Yields, for a row, the matching symbols in list
// order: address symbols by slot alone, the others by slot and current data
// text, which a label appended earlier in the same pass may have changed.
struct SymbolLabeler::Index
{
    struct Entry
    {
        int32_t rows;      // converted byte position
        std::string data;  // Data text, UTF-8 (compared for non-address symbols)
        std::string label; // " [name]"
    };
    struct Range
    {
        uint32_t begin, end; // into dataItems
    };

    SymbolList symbols;
    std::vector<Entry> entries;                 // matchable symbols, in list order
    std::vector<uint32_t> addrBegin, addrItems; // per address-row slot, entry ids
    std::vector<uint8_t> slotHasData;
    std::vector<uint32_t> dataItems; // entry ids, ascending within a range
    std::unordered_map<DataKey, Range, DataKeyHash> dataRanges;

    explicit Index(const SymbolList &list);
};

SymbolLabeler::Index::Index(const SymbolList &list) : symbols(list)
{
    std::vector<uint32_t> slotOfEntry;
    entries.reserve(size_t(list.size()));
    for (const SymbolDef &s : list) {
        uint32_t slot;
        if (!symbolSlot(s, &slot))
            continue;
        entries.push_back({SymbolDef::convertBytePosition(s.bytePosition()), s.data().toStdString(),
                           labelText(s.name())});
        slotOfEntry.push_back(slot);
    }
    // entries is complete: its strings no longer move, so keys may view them.

    const uint32_t addrBase = uint32_t(CaptureRow::Type::Addr) * kSlotsPerType;
    addrBegin.assign(kSlotsPerType + 1, 0);
    slotHasData.assign(kSlotCount, 0);
    std::unordered_map<DataKey, std::vector<uint32_t>, DataKeyHash> byData;
    for (uint32_t id = 0; id < entries.size(); ++id) {
        const uint32_t slot = slotOfEntry[id];
        if (slot >= addrBase && slot < addrBase + kSlotsPerType) {
            ++addrBegin[slot - addrBase + 1];
        } else {
            slotHasData[slot] = 1;
            byData[DataKey{slot, entries[id].data}].push_back(id);
        }
    }
    for (uint32_t i = 1; i <= kSlotsPerType; ++i)
        addrBegin[i] += addrBegin[i - 1];
    addrItems.resize(addrBegin[kSlotsPerType]);
    std::vector<uint32_t> fill(addrBegin.begin(), addrBegin.end() - 1);
    for (uint32_t id = 0; id < entries.size(); ++id) {
        const uint32_t slot = slotOfEntry[id];
        if (slot >= addrBase && slot < addrBase + kSlotsPerType)
            addrItems[fill[slot - addrBase]++] = id;
    }
    for (const auto &[key, ids] : byData) {
        const uint32_t begin = uint32_t(dataItems.size());
        dataItems.insert(dataItems.end(), ids.begin(), ids.end());
        dataRanges.emplace(key, Range{begin, uint32_t(dataItems.size())});
    }
}

SymbolLabeler::SymbolLabeler() = default;
SymbolLabeler::~SymbolLabeler() = default;

void SymbolLabeler::setActiveSymbols(const SymbolList &symbols)
{
    std::shared_ptr<const Index> next = std::make_shared<const Index>(symbols);
    std::atomic_store(&m_published, std::move(next));
    // Release: a storing thread that sees the new generation finds the new
    // snapshot (or a later one) in m_published.
    m_generation.fetch_add(1, std::memory_order_release);
    qDebug() << symbols;
}

bool SymbolLabeler::loadActiveSymbols(const QString &path, QString *errorString)
{
    SymbolList symbols;
    if (!SymbolFile::read(path, &symbols, errorString))
        return false;
    setActiveSymbols(symbols);
    return true;
}

bool SymbolLabeler::loadActiveSymbols(QString *errorString)
{
    return loadActiveSymbols(SymbolFile::defaultPath(), errorString);
}

SymbolList SymbolLabeler::activeSymbols() const
{
    const std::shared_ptr<const Index> index = std::atomic_load(&m_published);
    return index ? index->symbols : SymbolList();
}

std::array<QStringList, SymbolLabeler::kAddressCount>
SymbolLabeler::addressNames(const SymbolList &symbols)
{
    std::array<QStringList, kAddressCount> names;
    for (const SymbolDef &s : symbols) {
        uint32_t slot;
        // The same test the index makes: a row of that slot gets the label.
        // An address byte always says read or write, so "--" labels none.
        if (!symbolSlot(s, &slot) || slot / kSlotsPerType != uint32_t(CaptureRow::Type::Addr) ||
            slot % kDirections == uint32_t(CaptureRow::Direction::None) ||
            SymbolDef::convertBytePosition(s.bytePosition()) != 0)
            continue;
        const uint32_t address = slot % kSlotsPerType / kDirections;
        if (address < uint32_t(kAddressCount) && !names[address].contains(s.name()))
            names[address] << s.name();
    }
    return names;
}

std::string SymbolLabeler::labelText(const QString &name)
{
    std::string label = " [";
    label += name.toStdString();
    for (size_t i = 2; i < label.size(); ++i) {
        if (label[i] == ',')
            label[i] = ';';
        else if (label[i] == '\n' || label[i] == '\r' || label[i] == '\0')
            label[i] = ' '; // a NUL, too: hand-edited files may hold one
    }
    label += ']';
    return label;
}

void SymbolLabeler::applySymbols(CaptureRow &row)
{
    const uint64_t generation = m_generation.load(std::memory_order_acquire);
    if (generation != m_currentGeneration) {
        m_current = std::atomic_load(&m_published);
        m_currentGeneration = generation;
    }
    const uint64_t now = m_rowCounter++;

    if (row.type == CaptureRow::Type::Stop && m_pendingCount != 0)
        clearPending();

    const Index *index = m_current.get();
    if (index && !index->entries.empty()) {
        const uint32_t slot = rowSlot(row);
        if (row.type == CaptureRow::Type::Addr) {
            const uint32_t s = slot - uint32_t(CaptureRow::Type::Addr) * kSlotsPerType;
            for (uint32_t i = index->addrBegin[s]; i < index->addrBegin[s + 1]; ++i) {
                const Index::Entry &e = index->entries[index->addrItems[i]];
                if (e.rows == 0)
                    row.data += e.label;
                else if (e.rows > 0)
                    addPending(now + uint64_t(e.rows), e.label);
                // A negative position would never count down to a label.
            }
        } else if (index->slotHasData[slot]) {
            // Symbols after the last one looked at, whose Data equals the
            // current data text; an immediate label changes that text.
            int64_t last = -1;
            for (bool relabelled = true; relabelled;) {
                relabelled = false;
                const auto it = index->dataRanges.find(DataKey{slot, row.data});
                if (it == index->dataRanges.end())
                    break;
                const uint32_t *begin = index->dataItems.data() + it->second.begin;
                const uint32_t *end = index->dataItems.data() + it->second.end;
                for (const uint32_t *p = std::upper_bound(
                         begin, end, last, [](int64_t v, uint32_t id) { return v < int64_t(id); });
                     p != end; ++p) {
                    const Index::Entry &e = index->entries[*p];
                    last = *p;
                    if (e.rows == 0) {
                        row.data += e.label;
                        relabelled = true;
                        break;
                    }
                    if (e.rows > 0)
                        addPending(now + uint64_t(e.rows), e.label);
                }
            }
        }
    }

    if (m_pendingCount != 0)
        firePending(row, now);
}

void SymbolLabeler::addPending(uint64_t fireAt, const std::string &label)
{
    const uint64_t seq = m_nextSeq++;
    if (fireAt - m_rowCounter < kRingSize - 1)
        m_ring[fireAt % kRingSize].push_back(Pending{seq, label});
    else
        m_far.emplace(fireAt, Pending{seq, label});
    ++m_pendingCount;
}

void SymbolLabeler::firePending(CaptureRow &row, uint64_t now)
{
    // Every earlier row was processed, so nothing due before now is left:
    // the bucket holds only entries due now, and so does the map's front.
    std::vector<Pending> &near = m_ring[now % kRingSize];
    const bool farDue = !m_far.empty() && m_far.begin()->first == now;
    if (near.empty() && !farDue)
        return;
    const auto farEnd = farDue ? m_far.upper_bound(now) : m_far.begin();

    if (row.type == CaptureRow::Type::Addr || row.type == CaptureRow::Type::Data) {
        // Both sources are in order of entry; merge them to keep list order.
        auto n = near.begin();
        auto f = m_far.begin();
        while (n != near.end() || f != farEnd) {
            if (f == farEnd || (n != near.end() && n->seq < f->second.seq))
                row.data += (n++)->label;
            else
                row.data += (f++)->second.label;
        }
    }
    m_pendingCount -= near.size() + size_t(std::distance(m_far.begin(), farEnd));
    near.clear();
    m_far.erase(m_far.begin(), farEnd);
}

void SymbolLabeler::clearPending()
{
    for (std::vector<Pending> &bucket : m_ring)
        bucket.clear();
    m_far.clear();
    m_pendingCount = 0;
}

QVector<QPair<QString, int>> SymbolLabeler::pendingLabels() const
{
    struct Item
    {
        uint64_t seq, fireAt;
        const std::string *label;
    };
    std::vector<Item> items;
    for (uint64_t at = m_rowCounter; at < m_rowCounter + kRingSize; ++at)
        for (const Pending &p : m_ring[at % kRingSize])
            items.push_back({p.seq, at, &p.label});
    for (const auto &[at, p] : m_far)
        items.push_back({p.seq, at, &p.label});
    std::sort(items.begin(), items.end(),
              [](const Item &a, const Item &b) { return a.seq < b.seq; });

    QVector<QPair<QString, int>> result;
    for (const Item &i : items) {
        // The label is " [name]"; hand back the name part.
        const std::string name = i.label->substr(2, i.label->size() - 3);
        result.append({QString::fromStdString(name), int(i.fireAt - m_rowCounter)});
    }
    return result;
}
