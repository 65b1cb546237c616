#include "transaction/transactionindex.h"

#include "capture/capturestore.h"
#include "capture/storedline.h"

#include <algorithm>
#include <cstring>

namespace {
int popcount(uint64_t w)
{
    return __builtin_popcountll(w);
}

// Set bits of words [0, n) and of word n up to bit `upTo` included.
qint64 bitsUpTo(const uint64_t *words, qint64 i)
{
    qint64 n = 0;
    for (qint64 w = 0; w < i >> 6; ++w)
        n += popcount(words[w]);
    const int b = int(i & 63);
    return n + popcount(words[i >> 6] & (b == 63 ? ~uint64_t(0) : (uint64_t(2) << b) - 1));
}
} // namespace

TransactionIndex::TransactionIndex(const CaptureStore &store) : m_store(store) {}

TransactionIndex::~TransactionIndex() = default;

void TransactionIndex::lineAdded(qint64 line, const CaptureRow &row)
{
    const qint64 inBlock = line & (kBlockLines - 1);
    if (inBlock == 0) {
        const qint64 b = line >> kBlockBits;
        if (size_t(b >> kChunkBits) == m_chunks.size()) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_chunks.emplace_back(new Block[size_t(1) << kChunkBits]);
        }
        Block &fresh = block(b);
        std::fill(std::begin(fresh.starts), std::end(fresh.starts), 0);
        fresh.unusual.reset();
        fresh.nacks.reset();
        fresh.before = m_count;
        m_blocks = b + 1;
        // The block before is complete now: only the last line is ever
        // rewritten, and a rewrite keeps its type.
        m_completedLines.store(line, std::memory_order_release);
    }
    Block &current = block(m_blocks - 1);
    const TransactionState before = m_state;
    if (beginsTransaction(&m_state, row.type)) {
        current.starts[inBlock >> 6] |= uint64_t(1) << (inBlock & 63);
        ++m_count;
        if (row.type != CaptureRow::Type::Start)
            markUnusual(current, 0, inBlock);
        if (before != TransactionState::Outside)
            markUnusual(current, kWords, inBlock);
    }
    m_lines = line + 1;
    markNack(line, row);
}

void TransactionIndex::markNack(qint64 line, const CaptureRow &row)
{
    // What the transaction builder counts as NACKed: an address or data row
    // whose response is NACK (any other row's response is not looked at).
    // Each line sets or clears its bit, so the bits of lines taken away
    // need no clearing: they are rewritten before they are read again.
    const bool nack = row.response == CaptureRow::Response::Nack &&
                      (row.type == CaptureRow::Type::Addr || row.type == CaptureRow::Type::Data);
    Block &b = block(line >> kBlockBits);
    if (!b.nacks) {
        if (!nack)
            return;
        b.nacks.reset(new uint64_t[kWords]);
        std::fill_n(b.nacks.get(), kWords, 0);
    }
    const qint64 i = line & (kBlockLines - 1);
    uint64_t &word = b.nacks[size_t(i >> 6)];
    word = (word & ~(uint64_t(1) << (i & 63))) | uint64_t(nack) << (i & 63);
}

void TransactionIndex::markUnusual(Block &b, int word, qint64 lineInBlock)
{
    if (!b.unusual) {
        b.unusual.reset(new uint64_t[2 * kWords]);
        std::fill_n(b.unusual.get(), 2 * kWords, 0);
    }
    b.unusual[size_t(word + (lineInBlock >> 6))] |= uint64_t(1) << (lineInBlock & 63);
}

void TransactionIndex::storeReset()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_generation.fetch_add(1, std::memory_order_acq_rel);
    dropAll();
}

void TransactionIndex::dropAll()
{
    m_chunks.clear();
    m_blocks = m_lines = m_count = 0;
    m_state = TransactionState::Outside;
    m_completedLines.store(0, std::memory_order_release);
}

void TransactionIndex::linesKept(qint64 lines)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_generation.fetch_add(1, std::memory_order_acq_rel);
    if (lines <= 0 || lines >= m_lines) {
        if (lines <= 0)
            dropAll();
        return;
    }
    // The block holding the last kept line is being filled again.
    m_blocks = ((lines - 1) >> kBlockBits) + 1;
    m_chunks.resize(size_t(((m_blocks - 1) >> kChunkBits) + 1));
    Block &last = block(m_blocks - 1);
    const qint64 keep = lines - ((m_blocks - 1) << kBlockBits); // 1 .. kBlockLines
    const auto cut = [keep](uint64_t *words) {
        for (qint64 w = keep >> 6; w < kWords; ++w)
            words[w] &= w == keep >> 6 ? (uint64_t(1) << (keep & 63)) - 1 : 0;
    };
    cut(last.starts);
    if (last.unusual) {
        cut(last.unusual.get());
        cut(last.unusual.get() + kWords);
    }
    m_count = last.before + bitsUpTo(last.starts, keep - 1);
    m_lines = lines;
    m_completedLines.store((m_blocks - 1) << kBlockBits, std::memory_order_release);
    // Where the kept lines leave the grouping: after a STOP outside, else
    // inside the last transaction, begun with or without its START. A line
    // that cannot be read back counts as a STOP: the next row then begins a
    // transaction of its own, as it would after one.
    const QByteArray text = m_store.readLines(int(lines - 1), 1);
    StoredLine stored;
    CaptureRow::Type type = CaptureRow::Type::Stop;
    if (stored.parse(std::string_view(text.constData(), size_t(text.size()))) &&
        !CaptureRow::typeFromText(stored.field(StoredLine::Type), &type))
        type = CaptureRow::Type::Start;
    if (type == CaptureRow::Type::Stop)
        m_state = TransactionState::Outside;
    else
        m_state = status(m_count - 1) & Transaction::NoStart ? TransactionState::NoStart
                                                             : TransactionState::Started;
}

qint64 TransactionIndex::startAtOrBefore(qint64 line) const
{
    for (qint64 b = line >> kBlockBits;; --b) {
        const uint64_t *starts = block(b).starts;
        const qint64 top = b == line >> kBlockBits ? line & (kBlockLines - 1) : kBlockLines - 1;
        for (qint64 w = top >> 6; w >= 0; --w) {
            uint64_t bits = starts[w];
            if (w == top >> 6 && (top & 63) != 63)
                bits &= (uint64_t(2) << (top & 63)) - 1;
            if (bits)
                return (b << kBlockBits) + 64 * w + 63 - __builtin_clzll(bits);
        }
    }
}

qint64 TransactionIndex::nextStart(qint64 line) const
{
    for (line = std::max<qint64>(line, 0); line < m_lines;) {
        const uint64_t *starts = block(line >> kBlockBits).starts;
        const qint64 base = line & ~(kBlockLines - 1);
        for (qint64 w = (line - base) >> 6; w < kWords; ++w) {
            uint64_t bits = starts[w];
            if (w == (line - base) >> 6)
                bits &= ~uint64_t(0) << (line & 63);
            if (bits)
                return std::min(m_lines, base + 64 * w + __builtin_ctzll(bits));
        }
        line = base + kBlockLines;
    }
    return m_lines;
}

qint64 TransactionIndex::firstLine(qint64 k) const
{
    if (k < 0 || k >= m_count)
        return -1;
    // The last block whose earlier transactions are at most k holds k's start.
    qint64 lo = 0, hi = m_blocks;
    while (hi - lo > 1) {
        const qint64 mid = lo + (hi - lo) / 2;
        if (block(mid).before <= k)
            lo = mid;
        else
            hi = mid;
    }
    const Block &b = block(lo);
    qint64 rank = k - b.before;
    for (int w = 0; w < kWords; ++w) {
        uint64_t bits = b.starts[w];
        const int n = popcount(bits);
        if (rank < n) {
            for (; rank > 0; --rank)
                bits &= bits - 1;
            return (lo << kBlockBits) + 64 * w + __builtin_ctzll(bits);
        }
        rank -= n;
    }
    return -1; // not reached: k < m_count
}

qint64 TransactionIndex::endLine(qint64 k) const
{
    if (k < 0 || k >= m_count)
        return -1;
    return k + 1 < m_count ? firstLine(k + 1) : m_lines;
}

qint64 TransactionIndex::transactionAt(qint64 line) const
{
    if (line < 0 || line >= m_lines)
        return -1;
    const Block &b = block(line >> kBlockBits);
    return b.before + bitsUpTo(b.starts, line & (kBlockLines - 1)) - 1;
}

uint8_t TransactionIndex::status(qint64 k) const
{
    const qint64 first = firstLine(k);
    if (first < 0)
        return Transaction::Closed;
    uint8_t s = Transaction::Closed;
    const Block &b = block(first >> kBlockBits);
    if (b.unusual && bit(b.unusual.get(), first & (kBlockLines - 1)))
        s |= Transaction::NoStart;
    if (k + 1 == m_count) {
        if (m_state != TransactionState::Outside)
            s |= Transaction::Open;
    } else {
        const qint64 next = firstLine(k + 1);
        const Block &n = block(next >> kBlockBits);
        if (n.unusual && bit(n.unusual.get() + kWords, next & (kBlockLines - 1)))
            s |= Transaction::NoStop;
    }
    return s;
}

qint64 TransactionIndex::nextNack(qint64 from, qint64 to) const
{
    to = std::min(to, m_lines);
    for (from = std::max<qint64>(from, 0); from < to;) {
        const Block &b = block(from >> kBlockBits);
        const qint64 base = from & ~(kBlockLines - 1);
        if (b.nacks) {
            for (qint64 w = (from - base) >> 6; w < kWords; ++w) {
                uint64_t bits = b.nacks[size_t(w)];
                if (w == (from - base) >> 6)
                    bits &= ~uint64_t(0) << (from & 63);
                if (bits) {
                    const qint64 line = base + 64 * w + __builtin_ctzll(bits);
                    return std::min(line, to);
                }
            }
        }
        from = base + kBlockLines;
    }
    return to;
}

bool TransactionIndex::copyStarts(qint64 b, uint64_t *starts, qint64 *before) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (b < 0 || ((b + 1) << kBlockBits) > m_completedLines.load(std::memory_order_relaxed))
        return false;
    const Block &src = block(b);
    std::copy_n(src.starts, kWords, starts);
    *before = src.before;
    return true;
}

size_t TransactionIndex::memoryBytes() const
{
    size_t bytes = m_chunks.capacity() * sizeof(m_chunks[0]) +
                   m_chunks.size() * (size_t(1) << kChunkBits) * sizeof(Block);
    for (qint64 b = 0; b < m_blocks; ++b)
        bytes +=
            ((block(b).unusual ? 2 : 0) + (block(b).nacks ? 1 : 0)) * kWords * sizeof(uint64_t);
    return bytes;
}
