#include "capture/healthlog.h"

#include "capture/capturerow.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {
// One record of the side file: this head, then the detail's bytes. The file
// lives and dies with the process, so the machine's own layout will do.
struct RecordHead
{
    int64_t line;
    int64_t timeNs;
    int64_t sample;
    int64_t eventIndex;
    int64_t measuredNs;
    int64_t limitNs;
    int64_t resolutionNs;
    uint8_t kind;
    uint8_t severity;
    uint16_t detailSize;
    uint32_t reserved;
};
static_assert(sizeof(RecordHead) == 64, "records are read back by size");

constexpr size_t kMaxDetail = 0xFFFF;

qint64 blockOf(qint64 line)
{
    return line < 0 ? 0 : line >> HealthLog::kBlockBits;
}

// More severe, or as severe and further past its limit.
bool worse(const HealthFinding &a, const HealthFinding &b)
{
    if (a.severity != b.severity)
        return a.severity < b.severity;
    return a.excess() > b.excess();
}

void appendRecord(std::string &out, const HealthFinding &f)
{
    RecordHead h{};
    h.line = f.line;
    h.timeNs = f.timeNs;
    h.sample = f.sample;
    h.eventIndex = f.eventIndex;
    h.measuredNs = f.measuredNs;
    h.limitNs = f.limitNs;
    h.resolutionNs = f.resolutionNs;
    h.kind = uint8_t(f.kind);
    h.severity = uint8_t(f.severity);
    h.detailSize = uint16_t(std::min(f.detail.size(), kMaxDetail));
    out.append(reinterpret_cast<const char *>(&h), sizeof h);
    out.append(f.detail.data(), h.detailSize);
}

// Reads the record at p (size bytes left); its length, 0 when it is not whole
// or not a record (a reset cut the file under the reader).
size_t readRecord(const char *p, size_t size, HealthFinding *f)
{
    RecordHead h;
    if (size < sizeof h)
        return 0;
    std::memcpy(&h, p, sizeof h);
    if (size - sizeof h < h.detailSize || h.kind >= HealthFinding::kKindCount ||
        h.severity >= HealthFinding::kSeverityCount)
        return 0;
    f->line = h.line;
    f->timeNs = h.timeNs;
    f->sample = h.sample;
    f->eventIndex = h.eventIndex;
    f->measuredNs = h.measuredNs;
    f->limitNs = h.limitNs;
    f->resolutionNs = h.resolutionNs;
    f->kind = HealthFinding::Kind(h.kind);
    f->severity = HealthFinding::Severity(h.severity);
    f->detail.assign(p + sizeof h, h.detailSize);
    return sizeof h + h.detailSize;
}
} // namespace

HealthLog::~HealthLog()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool HealthLog::ensureFile()
{
    // Unnamed: nothing to follow a link to, nothing left behind by a crash.
    for (const QString &folder : {m_folder, QDir::tempPath()}) {
        if (m_fd >= 0 || folder.isEmpty())
            continue;
        m_fd = ::open(QFile::encodeName(folder).constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    }
    return m_fd >= 0;
}

bool HealthLog::writeUnwritten()
{
    size_t done = 0;
    while (done < m_unwritten.size()) {
        const ssize_t w = ::pwrite(m_fd, m_unwritten.data() + done, m_unwritten.size() - done,
                                   m_fileEnd + qint64(done));
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            return false;
        done += size_t(w);
    }
    return true;
}

void HealthLog::take(qint64 line, uint32_t count)
{
    for (; count > 0 && !m_queue.empty(); --count) {
        HealthFinding f = std::move(m_queue.front());
        m_queue.pop_front();
        f.line = line;
        record(f);
    }
}

void HealthLog::record(const HealthFinding &f)
{
    m_unpublished.push_back(f);
    appendRecord(m_unwritten, f);
}

void HealthLog::addToLine(qint64 line, HealthFinding finding)
{
    finding.line = line;
    record(finding);
}

void HealthLog::lineAdded(qint64 line, const CaptureRow &row)
{
    if (row.healthFindings)
        take(line, row.healthFindings);
}

void HealthLog::lineMerged(qint64 line, const CaptureRow &row)
{
    if (row.healthFindings)
        take(line, row.healthFindings);
}

void HealthLog::flush()
{
    if (m_unpublished.empty())
        return;
    qint64 at = m_fileEnd;
    const bool written = ensureFile() && writeUnwritten();
    std::lock_guard<std::mutex> lock(m_mutex);
    for (const HealthFinding &f : m_unpublished) {
        const qint64 block = blockOf(f.line);
        // Blocks between hold no records: they begin (and end) where this one does.
        while (qint64(m_blocks.size()) <= block)
            m_blocks.push_back(Block{at, 0, 0});
        Block &b = m_blocks[size_t(block)];
        b.kinds |= HealthFinding::kindBit(f.kind);
        b.severities |= HealthFinding::severityBit(f.severity);
        KindSummary &k = m_kinds[size_t(f.kind)];
        if (k.count++ == 0 || worse(f, k.worst))
            k.worst = f;
        if (k.firstLine < 0)
            k.firstLine = f.line;
        k.severities |= HealthFinding::severityBit(f.severity);
        ++m_count;
        // A record that could not be written counts, but cannot be read back.
        if (written)
            at += qint64(sizeof(RecordHead) + std::min(f.detail.size(), kMaxDetail));
    }
    m_fileEnd = at;
    m_published = at;
    m_unpublished.clear();
    m_unwritten.clear();
}

void HealthLog::resetLocked()
{
    m_published = 0;
    m_blocks.clear();
    m_blocks.shrink_to_fit();
    m_kinds = {};
    m_count = 0;
    m_generation.fetch_add(1, std::memory_order_acq_rel);
}

void HealthLog::storeReset()
{
    // The queue stays: rows kept back while the store was emptied are stored
    // after it, with their findings.
    m_unwritten.clear();
    m_unpublished.clear();
    m_fileEnd = 0;
    if (m_fd >= 0 && ::ftruncate(m_fd, 0) != 0) {
        // The records are unreachable all the same: nothing indexes them.
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    resetLocked();
}

void HealthLog::linesKept(qint64 lines)
{
    // Rare (a failed write): read what stays and publish it afresh.
    flush();
    std::vector<HealthFinding> kept;
    visitBlocks(0, blockOf(lines), [&](const HealthFinding &f) {
        if (f.line >= lines)
            return false;
        kept.push_back(f);
        return true;
    });
    storeReset();
    for (const HealthFinding &f : kept)
        record(f);
    flush();
}

template <typename Visit>
void HealthLog::visitBlocks(qint64 first, qint64 last, Visit &&visit) const
{
    qint64 from = 0, to = 0;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const qint64 blocks = qint64(m_blocks.size());
        first = std::max<qint64>(first, 0);
        last = std::min(last, blocks - 1);
        if (first > last)
            return;
        from = m_blocks[size_t(first)].offset;
        to = last + 1 < blocks ? m_blocks[size_t(last + 1)].offset : m_published;
    }
    if (to <= from || m_fd < 0)
        return;
    std::string bytes(size_t(to - from), '\0');
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t r = ::pread(m_fd, &bytes[done], bytes.size() - done, from + qint64(done));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            break;
        done += size_t(r);
    }
    HealthFinding f;
    for (size_t at = 0; at < done;) {
        const size_t n = readRecord(bytes.data() + at, done - at, &f);
        if (n == 0 || !visit(f))
            return;
        at += n;
    }
}

std::array<HealthLog::KindSummary, HealthFinding::kKindCount> HealthLog::summaries() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_kinds;
}

quint64 HealthLog::findingCount() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_count;
}

HealthLog::LineFlags HealthLog::flagsOfLines(qint64 first, qint64 last) const
{
    LineFlags all;
    all.line = first;
    for (const LineFlags &l : flaggedLines(first, last)) {
        all.kinds |= l.kinds;
        all.severities |= l.severities;
    }
    return all;
}

std::vector<HealthLog::LineFlags> HealthLog::flaggedLines(qint64 first, qint64 last) const
{
    std::vector<LineFlags> out;
    visitBlocks(blockOf(first), blockOf(last - 1), [&](const HealthFinding &f) {
        if (f.line >= last)
            return false;
        if (f.line < first)
            return true;
        if (out.empty() || out.back().line != f.line)
            out.push_back(LineFlags{f.line, 0, 0});
        out.back().kinds |= HealthFinding::kindBit(f.kind);
        out.back().severities |= HealthFinding::severityBit(f.severity);
        return true;
    });
    return out;
}

std::vector<HealthFinding> HealthLog::findings(qint64 first, qint64 last) const
{
    std::vector<HealthFinding> out;
    visitBlocks(blockOf(first), blockOf(last - 1), [&](const HealthFinding &f) {
        if (f.line >= last)
            return false;
        if (f.line >= first)
            out.push_back(f);
        return true;
    });
    return out;
}

qint64 HealthLog::nextLine(HealthFinding::Kind kind, qint64 after) const
{
    const uint32_t bit = HealthFinding::kindBit(kind);
    std::vector<qint64> candidates;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (qint64 b = blockOf(after + 1); b < qint64(m_blocks.size()); ++b)
            if (m_blocks[size_t(b)].kinds & bit)
                candidates.push_back(b);
    }
    for (const qint64 b : candidates) {
        qint64 found = -1;
        visitBlocks(b, b, [&](const HealthFinding &f) {
            if (f.line > after && f.kind == kind)
                found = f.line;
            return found < 0;
        });
        if (found >= 0)
            return found;
    }
    return -1;
}

size_t HealthLog::memoryBytes() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_blocks.capacity() * sizeof(Block) + sizeof m_kinds;
}
