#include "addressmap/addressstats.h"

#include "capture/capturestore.h"
#include "capture/healthfinding.h"
#include "capture/storedline.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {
// The only writer adds: a plain load and store, no locked instruction, so
// counting costs the capture path next to nothing.
void add(std::atomic<quint64> &counter, quint64 n)
{
    counter.store(counter.load(std::memory_order_relaxed) + n, std::memory_order_relaxed);
}

// Per-byte spacing in ns at the lower clock edge of each bin, falling.
const std::array<double, AddressStats::kClockBins> &binEdgesNs()
{
    static const std::array<double, AddressStats::kClockBins> kEdges = [] {
        std::array<double, AddressStats::kClockBins> e{};
        for (int b = 0; b < AddressStats::kClockBins; ++b)
            e[size_t(b)] = AddressStats::kClocksPerByte * 1e9 /
                           (AddressStats::kSlowestClockHz *
                            std::pow(10.0, double(b) / AddressStats::kClockBinsPerDecade));
        return e;
    }();
    return kEdges;
}

// The bin of a byte spacing: the fastest whose lower edge the byte's clock
// reaches; -1 when slower than every bin.
int clockBin(double spacingNs)
{
    const auto &edges = binEdgesNs();
    const auto past = std::partition_point(edges.begin(), edges.end(),
                                           [spacingNs](double e) { return spacingNs <= e; });
    return int(past - edges.begin()) - 1;
}

using Bins = std::array<quint64, AddressStats::kClockBins>;

// The mean clock of the bin holding the byte at fraction q of all bytes,
// slowest first; 0 while nothing is counted.
qint64 clockAt(const Bins &bytes, const Bins &spacingNs, quint64 total, double q)
{
    const auto rank = quint64(std::ceil(q * double(total))); // 1 or more: q > 0
    quint64 seen = 0;
    for (size_t b = 0; b < bytes.size(); ++b) {
        seen += bytes[b];
        // A reader may catch a bin between its two stores: skip it unfinished.
        if (seen >= rank && spacingNs[b] > 0 && bytes[b] > 0)
            return std::llround(double(AddressStats::kClocksPerByte) * 1e9 * double(bytes[b]) /
                                double(spacingNs[b]));
    }
    return 0;
}
} // namespace

int AddressStats::dataByteCount(std::string_view data)
{
    if (data.size() == 2) // one byte: the path of nearly every row
        return data != "--";
    int bytes = 0;
    bool inLabel = false;
    size_t at = 0;
    while (at < data.size()) {
        size_t end = data.find(' ', at);
        if (end == std::string_view::npos)
            end = data.size();
        const std::string_view piece = data.substr(at, end - at);
        at = end + 1;
        // Labels may hold spaces, and bytes merged after a labelled row
        // follow its label.
        if (!inLabel && !piece.empty() && piece.front() == '[')
            inLabel = true;
        if (inLabel) {
            inLabel = piece.empty() || piece.back() != ']';
            continue;
        }
        if (!piece.empty() && piece != "--")
            ++bytes;
    }
    return bytes;
}

void AddressStats::lineAdded(qint64, const CaptureRow &row)
{
    addRow(row);
}

void AddressStats::lineMerged(qint64, const CaptureRow &row)
{
    // The merged byte counts as the row it was; only the line is shared.
    addRow(row);
}

void AddressStats::addRow(const CaptureRow &row)
{
    const bool byteRow = row.type == CaptureRow::Type::Addr || row.type == CaptureRow::Type::Data;
    if (!byteRow || !row.hasAddress || row.address >= kAddressCount) {
        m_haveLastByte = false; // START or STOP: a new transfer begins
        return;
    }
    Counters &c = m_counters[row.address];
    if (c.activity.load(std::memory_order_relaxed) == 0)
        c.firstSeenNs.store(row.timeNs, std::memory_order_relaxed);
    c.lastSeenNs.store(row.timeNs, std::memory_order_relaxed);
    add(c.activity, 1);
    if (row.healthSeverities & HealthFinding::severityBit(HealthFinding::Severity::Error))
        add(c.errorRows, 1);
    if (row.type == CaptureRow::Type::Addr) {
        add(c.transfers, 1);
        if (row.response == CaptureRow::Response::Ack)
            add(c.ackedAddresses, 1);
        else if (row.response == CaptureRow::Response::Nack)
            add(c.nackedAddresses, 1);
        m_haveLastByte = true;
        m_lastByteNs = row.timeNs;
        return;
    }
    const int bytes = dataByteCount(row.data);
    if (row.direction == CaptureRow::Direction::Write)
        add(c.bytesWritten, quint64(bytes));
    else if (row.direction == CaptureRow::Direction::Read)
        add(c.bytesRead, quint64(bytes));
    if (row.response == CaptureRow::Response::Nack)
        add(c.nackedDataBytes, quint64(bytes));
    if (bytes > 0)
        addSpacing(row.address, row.timeNs, bytes);
}

void AddressStats::addSpacing(int address, qint64 timeNs, int bytes)
{
    const bool haveLast = m_haveLastByte;
    const qint64 delta = timeNs - m_lastByteNs;
    m_haveLastByte = true;
    m_lastByteNs = timeNs;
    // A row carries the time of its last byte, so a merged row of n bytes
    // lies n byte spacings after the row before it.
    if (!haveLast || delta <= 0)
        return;
    const int bin = clockBin(double(delta) / bytes);
    if (bin < 0)
        return; // a pause between bytes, not the clock
    Counters &c = m_counters[size_t(address)];
    add(c.clockBytes[size_t(bin)], quint64(bytes));
    add(c.clockSpacingNs[size_t(bin)], quint64(delta));
}

void AddressStats::storeReset()
{
    for (Counters &c : m_counters) {
        for (std::atomic<quint64> *a :
             {&c.transfers, &c.ackedAddresses, &c.nackedAddresses, &c.bytesWritten, &c.bytesRead,
              &c.nackedDataBytes, &c.activity, &c.errorRows})
            a->store(0, std::memory_order_relaxed);
        c.firstSeenNs.store(0, std::memory_order_relaxed);
        c.lastSeenNs.store(0, std::memory_order_relaxed);
        for (size_t b = 0; b < size_t(kClockBins); ++b) {
            c.clockBytes[b].store(0, std::memory_order_relaxed);
            c.clockSpacingNs[b].store(0, std::memory_order_relaxed);
        }
    }
    m_haveLastByte = false;
    m_needsRecount.store(false, std::memory_order_release);
}

void AddressStats::linesKept(qint64)
{
    // The cut lines were counted already and cannot be taken back one by one.
    m_needsRecount.store(true, std::memory_order_release);
}

void AddressStats::recount(const CaptureStore &store)
{
    storeReset();
    StoredLine stored;
    CaptureRow row;
    store.scanLines(0, [&](qint64, std::string_view text) {
        if (stored.parse(text)) {
            stored.toRow(&row); // unknown texts count as START: nothing
            addRow(row);
        }
        return true;
    });
}

AddressFigures AddressStats::figures(int address) const
{
    AddressFigures f;
    if (address < 0 || address >= kAddressCount)
        return f;
    const Counters &c = m_counters[size_t(address)];
    constexpr auto r = std::memory_order_relaxed;
    f.transfers = c.transfers.load(r);
    f.ackedAddresses = c.ackedAddresses.load(r);
    f.nackedAddresses = c.nackedAddresses.load(r);
    f.bytesWritten = c.bytesWritten.load(r);
    f.bytesRead = c.bytesRead.load(r);
    f.nackedDataBytes = c.nackedDataBytes.load(r);
    f.activity = c.activity.load(r);
    f.errorRows = c.errorRows.load(r);
    f.firstSeenNs = c.firstSeenNs.load(r);
    f.lastSeenNs = c.lastSeenNs.load(r);
    Bins bytes, spacingNs;
    quint64 total = 0;
    for (size_t b = 0; b < size_t(kClockBins); ++b) {
        bytes[b] = c.clockBytes[b].load(r);
        spacingNs[b] = c.clockSpacingNs[b].load(r);
        total += bytes[b];
    }
    if (total == 0)
        return f;
    // The median is the typical clock: a few fast or stretched bytes move it
    // no more than their share.
    f.clockHz = clockAt(bytes, spacingNs, total, 0.5);
    f.clockLowHz = clockAt(bytes, spacingNs, total, 0.1);
    f.clockHighHz = clockAt(bytes, spacingNs, total, 0.9);
    return f;
}

const char *AddressStats::summaryHeader()
{
    return "address transfers bytes_written bytes_read nacked_addresses nacked_data_bytes "
           "first_seen last_seen clock_hz";
}

std::string AddressStats::summaryText() const
{
    std::string out = summaryHeader();
    out += '\n';
    for (int a = 0; a < kAddressCount; ++a) {
        const AddressFigures f = figures(a);
        if (!f.seen())
            continue;
        char head[160];
        std::snprintf(head, sizeof head, "0x%02X %llu %llu %llu %llu %llu ", a,
                      static_cast<unsigned long long>(f.transfers),
                      static_cast<unsigned long long>(f.bytesWritten),
                      static_cast<unsigned long long>(f.bytesRead),
                      static_cast<unsigned long long>(f.nackedAddresses),
                      static_cast<unsigned long long>(f.nackedDataBytes));
        out += head;
        CaptureRow::appendTimestampText(out, f.firstSeenNs);
        out += ' ';
        CaptureRow::appendTimestampText(out, f.lastSeenNs);
        out += ' ';
        out += f.clockHz > 0 ? std::to_string(f.clockHz) : std::string("-");
        out += '\n';
    }
    return out;
}
