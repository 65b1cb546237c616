#include "search/capturescanner.h"

#include "capture/capturepipeline.h"
#include "search/blockindex.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

namespace {
// Lines read under the store at a time, so the capture thread never waits
// long for it.
constexpr qint64 kTailLines = 16 * BlockIndex::kBlockLines;
// The longest nap between tries for a store another party holds.
constexpr std::chrono::microseconds kLongestNap(10000);
// Summaries copied per lock of the BlockIndex.
constexpr qint64 kSummaryBatch = 64;

// "\n" bytes in [p, e), eight at a time: counting lines between two needle
// hits must not cost a call per line.
qint64 countNewlines(const char *p, const char *e)
{
    constexpr uint64_t kOnes = 0x0101010101010101ull;
    constexpr uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Full;
    qint64 n = 0;
    for (; e - p >= 8; p += 8) {
        uint64_t w;
        std::memcpy(&w, p, 8);
        const uint64_t x = w ^ (kOnes * '\n'); // zero bytes where "\n" was
        const uint64_t t = ((x & kLow7) + kLow7) | x;
        n += __builtin_popcountll(~t & ~kLow7);
    }
    for (; p < e; ++p)
        n += *p == '\n';
    return n;
}
} // namespace

CaptureScanner::CaptureScanner(CapturePipeline &pipeline, const BlockIndex &blocks,
                               const SearchQuery &query, const std::atomic<bool> *cancel,
                               std::atomic<qint64> *walked)
    : m_pipeline(pipeline), m_blocks(blocks), m_query(query), m_cancel(cancel), m_walked(walked)
{
}

CaptureScanner::Outcome CaptureScanner::scan(qint64 from, qint64 to,
                                             const std::function<bool(qint64)> &onMatch)
{
    const quint64 generation = m_blocks.generation();
    to = std::min<qint64>(to, m_pipeline.storedLineCount());
    qint64 line = std::max<qint64>(from, 0);
    BlockSummary summaries[kSummaryBatch];
    qint64 firstCopied = 0, copied = 0;
    while (line < to) {
        if (m_cancel && m_cancel->load(std::memory_order_relaxed))
            return Outcome::Canceled;
        const qint64 block = line >> BlockIndex::kBlockBits;
        const qint64 blockEnd = (block + 1) << BlockIndex::kBlockBits;
        qint64 end = std::min(to, blockEnd);
        bool go = true;
        // A block is final once the line after it is stored, and its bytes
        // are in the file once that line is published.
        const bool final = blockEnd < m_pipeline.storedLineCount();
        if (final && (block < firstCopied || block >= firstCopied + copied)) {
            firstCopied = block;
            copied = m_blocks.copyBlocks(block, kSummaryBatch, summaries);
        }
        if (final && block < firstCopied + copied) {
            const BlockSummary &s = summaries[block - firstCopied];
            if (m_query.mayMatch(s) && loadHealth(line, end)) {
                m_buffer.resize(size_t(s.end - s.begin));
                if (m_pipeline.store().readAt(s.begin, m_buffer.data(), qint64(m_buffer.size())) !=
                    qint64(m_buffer.size()))
                    return Outcome::Changed;
                go = scanBytes(m_buffer.data(), m_buffer.size(), block << BlockIndex::kBlockBits,
                               line, end, onMatch);
            }
        } else {
            end = std::min(to, line + kTailLines);
            qint64 first = line;
            if (!readTail(line, &end, &first))
                return Outcome::Changed;
            if (loadHealth(line, end))
                go = scanBytes(m_buffer.data(), m_buffer.size(), first, line, end, onMatch);
        }
        if (m_blocks.generation() != generation)
            return Outcome::Changed;
        if (m_walked)
            m_walked->fetch_add(end - line, std::memory_order_relaxed);
        if (!go)
            return Outcome::Stopped;
        line = end;
    }
    return Outcome::Done;
}

bool CaptureScanner::readTail(qint64 from, qint64 *to, qint64 *first)
{
    // The capture thread and the page fill take the store for moments only;
    // Open holds it for long, and then a cancel comes.
    StoreLease lease = m_pipeline.tryLeaseStore();
    // A longer hold (Open waiting in its file dialog) is waited out with
    // longer naps, up to 10 ms, rather than thousands of tries a second.
    for (std::chrono::microseconds nap(200); !lease; nap = std::min(2 * nap, kLongestNap)) {
        if (m_cancel && m_cancel->load(std::memory_order_relaxed))
            return false;
        std::this_thread::sleep_for(nap);
        lease = m_pipeline.tryLeaseStore();
    }
    const CaptureStore &store = lease.store();
    const LineIndex &index = store.lineIndex();
    bool ok = from <= index.lineCount();
    if (ok) {
        *to = std::min(*to, index.lineCount());
        *first = index.keptAtOrBefore(from);
        const qint64 begin = index.keptOffset(*first);
        m_buffer.resize(size_t(index.keptOffset(index.keptAtOrAfter(*to)) - begin));
        ok = store.readAt(begin, m_buffer.data(), qint64(m_buffer.size())) ==
             qint64(m_buffer.size());
    }
    return ok;
}

bool CaptureScanner::loadHealth(qint64 from, qint64 to)
{
    m_nextFlag = 0;
    if (!m_query.needsHealth())
        return true;
    m_flags = m_pipeline.health().flaggedLines(from, to);
    return !m_flags.empty();
}

bool CaptureScanner::healthMatches(qint64 line) const
{
    if (!m_query.needsHealth())
        return true;
    while (m_nextFlag < m_flags.size() && m_flags[m_nextFlag].line < line)
        ++m_nextFlag;
    return m_nextFlag < m_flags.size() && m_flags[m_nextFlag].line == line &&
           m_query.healthMatches(m_flags[m_nextFlag].kinds, m_flags[m_nextFlag].severities);
}

bool CaptureScanner::scanBytes(const char *p, size_t size, qint64 first, qint64 from, qint64 to,
                               const std::function<bool(qint64)> &onMatch) const
{
    const char *const e = p + size;
    const std::string_view needle = m_query.needle();
    qint64 line = first;
    while (p < e && line < to) {
        const char *start = p;
        if (!needle.empty()) {
            // Only lines holding the needle can match: jump to the next one.
            const char *hit =
                static_cast<const char *>(memmem(p, size_t(e - p), needle.data(), needle.size()));
            if (!hit)
                return true;
            const qint64 skipped = countNewlines(p, hit);
            if (skipped) {
                line += skipped;
                start = static_cast<const char *>(memrchr(p, '\n', size_t(hit - p))) + 1;
            }
            if (line >= to)
                return true;
        }
        const char *nl = static_cast<const char *>(std::memchr(start, '\n', size_t(e - start)));
        const char *lineEnd = nl ? nl : e;
        if (line >= from && healthMatches(line) &&
            m_query.matches(std::string_view(start, size_t(lineEnd - start))) && !onMatch(line))
            return false;
        p = nl ? nl + 1 : e;
        ++line;
    }
    return true;
}

qint64 CaptureScanner::findFirst(qint64 from, qint64 to, Outcome *outcome)
{
    qint64 found = -1;
    *outcome = scan(from, to, [&found](qint64 line) {
        found = line;
        return false;
    });
    return *outcome == Outcome::Stopped ? found : -1;
}

qint64 CaptureScanner::findLast(qint64 from, qint64 to, Outcome *outcome)
{
    // Backwards in growing steps, each read forwards: a near match costs a
    // block, a far one at most twice the lines between.
    to = std::min<qint64>(to, m_pipeline.storedLineCount());
    *outcome = Outcome::Done;
    for (qint64 step = BlockIndex::kBlockLines; to > from; step *= 2) {
        const qint64 start = std::max(from, to - step);
        qint64 found = -1;
        *outcome = scan(start, to, [&found](qint64 line) {
            found = line;
            return true;
        });
        if (*outcome != Outcome::Done)
            return -1;
        if (found >= 0) {
            *outcome = Outcome::Stopped;
            return found;
        }
        to = start;
    }
    return -1;
}
