#include "capture/capturepipeline.h"

#include "capture/storedline.h"

#include <QDebug>

#include <korvex/korvexhealth.h>

#include <algorithm>
#include <chrono>
#include <thread>

namespace {
constexpr size_t kKeptPendingCapacity = 1 << 16;
// How long the callback honours the GUI's request for the store: longer than
// one 40 ms refresh tick, so the tick after a skipped one finds the store free.
constexpr int64_t kStoreRequestNs = 100000000;

int64_t nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
} // namespace

CapturePipeline::CapturePipeline()
{
    m_store.addObserver(&m_health);
}

void CapturePipeline::onHealthFinding(HealthFinding finding)
{
    // On the rows' time line (a capture appended after stored rows goes on
    // from their times).
    finding.timeNs += m_converter.timeOffset();
    const auto at = std::upper_bound(
        m_unplaced.begin(), m_unplaced.end(), finding.eventIndex,
        [](int64_t event, const HealthFinding &f) { return event < f.eventIndex; });
    m_unplaced.insert(at, std::move(finding));
}

void CapturePipeline::attachWaiting(CaptureRow &row)
{
    for (HealthFinding &f : m_waiting) {
        ++row.healthFindings;
        row.healthKinds |= HealthFinding::kindBit(f.kind);
        row.healthSeverities |= HealthFinding::severityBit(f.severity);
        m_health.queue(std::move(f));
    }
    m_waiting.clear();
}

void CapturePipeline::convertBatch(const I2CEvent *events, int32_t count)
{
    if (!events || count <= 0)
        count = 0;
    const int64_t first = m_eventsSeen;
    m_eventsSeen += count;
    if (m_unplaced.empty() && m_waiting.empty()) {
        m_converter.convertEvents(events, count, m_pendingRows);
        return;
    }
    // Converted in pieces that end before each finding's event, so the
    // finding goes to the first row made from its event on: the event's own
    // row, or the next one when the event makes none (a stray ACK).
    int32_t done = 0;
    const auto convertUpTo = [&](int32_t end) {
        const size_t before = m_pendingRows.size();
        m_converter.convertEvents(events + done, end - done, m_pendingRows);
        done = end;
        if (m_pendingRows.size() > before && !m_waiting.empty())
            attachWaiting(m_pendingRows[before]);
    };
    while (!m_unplaced.empty() && m_unplaced.front().eventIndex < first + count) {
        convertUpTo(int32_t(std::max<int64_t>(m_unplaced.front().eventIndex - first, done)));
        m_waiting.push_back(std::move(m_unplaced.front()));
        m_unplaced.pop_front();
    }
    convertUpTo(count);
}

void CapturePipeline::beginCapture()
{
    m_eventsSeen = 0;
}

void CapturePipeline::endCapture()
{
    for (HealthFinding &f : m_unplaced)
        m_waiting.push_back(std::move(f));
    m_unplaced.clear();
    if (m_waiting.empty())
        return;
    // Kept rows are stored by the next capture's first batch, with these.
    if (!m_pendingRows.empty()) {
        attachWaiting(m_pendingRows.back());
        return;
    }
    const StoreLease store = leaseStore();
    for (HealthFinding &f : m_waiting)
        m_health.addToLine(store->lineCount() - 1, std::move(f));
    m_waiting.clear();
    m_health.flush();
}

int32_t CapturePipeline::onI2CEvents(const I2CEvent *events, int32_t count)
{
    qDebug().nospace() << "Get I2CDataNum = " << count;
    // Convert first, whatever the flag, so the converter sees every event in
    // arrival order.
    const bool haveStore = callbackTakesStore();
    convertBatch(events, count);
    if (!haveStore)
        return 0;
    if (!m_pendingRows.empty()) {
        m_store.appendRows(m_pendingRows, mergeEnabled, decodeEnabled, labeler());
        // The findings of rows the failed store did not take go with them.
        if (m_store.failed())
            m_health.dropQueued();
        // Also after a failure: the store takes no more rows, and keeping them
        // would grow without bound.
        m_pendingRows.clear();
        // A long wait behind the GUI may have grown the vector; give that back.
        if (m_pendingRows.capacity() > kKeptPendingCapacity)
            std::vector<CaptureRow>().swap(m_pendingRows);
    }
    m_storeBusy.clear(std::memory_order_release);
    return 0;
}

bool CapturePipeline::callbackTakesStore()
{
    const int64_t since = m_storeWantedSinceNs.load(std::memory_order_relaxed);
    if (since != 0 && nowNs() - since < kStoreRequestNs)
        return false;
    return !m_storeBusy.test_and_set(std::memory_order_acquire);
}

StoreLease CapturePipeline::tryLeaseStore()
{
    if (!m_storeBusy.test_and_set(std::memory_order_acquire)) {
        m_storeWantedSinceNs.store(0, std::memory_order_relaxed);
        return StoreLease(this);
    }
    m_storeWantedSinceNs.store(nowNs(), std::memory_order_relaxed);
    return StoreLease();
}

StoreLease CapturePipeline::leaseStore()
{
    // The callback holds the store for one batch at most and takes it no
    // more while asked; give it the core meanwhile.
    while (m_storeBusy.test_and_set(std::memory_order_acquire)) {
        m_storeWantedSinceNs.store(nowNs(), std::memory_order_relaxed);
        std::this_thread::yield();
    }
    m_storeWantedSinceNs.store(0, std::memory_order_relaxed);
    return StoreLease(this);
}

void CapturePipeline::continueTimesAfterStoredRows()
{
    // No callback runs between a stop and the next start, so the converter,
    // the kept rows and the store are the GUI thread's here (as for Save and
    // Open); starting the adapter's thread orders these writes before its
    // first call.
    int64_t last = -1;                     // nothing stored or kept: the times start at 0
    const StoreLease store = leaseStore(); // a search may be reading it
    if (const int lines = store->lineCount()) {
        const QByteArray text = store->readLines(lines - 1, 1);
        StoredLine line;
        line.parse(std::string_view(text.constData(), size_t(text.size())));
        // An unreadable time reads as 0: the new rows still come after it.
        if (!CaptureRow::timestampFromText(line.field(StoredLine::Timestamp), &last))
            last = 0;
    }
    // Rows kept from the last batch are stored before the new capture's.
    if (!m_pendingRows.empty())
        last = std::max(last, m_pendingRows.back().timeNs);
    m_converter.setTimeOffset(last + 1);
}

bool CapturePipeline::takeStoreFailureNotice(QString *why)
{
    const int failures = m_store.failureCount();
    if (failures == m_noticedFailures)
        return false;
    m_noticedFailures = failures;
    if (why)
        *why = m_store.errorString();
    return true;
}

namespace {
// Written on the GUI thread around a capture's start and stop, read by the
// callback: an atomic pointer, and the library calls back only between them.
std::atomic<CapturePipeline *> g_callbackTarget{nullptr};
} // namespace

CapturePipeline::~CapturePipeline()
{
    CapturePipeline *self = this;
    g_callbackTarget.compare_exchange_strong(self, nullptr);
}

void CapturePipeline::setCallbackTarget(CapturePipeline *pipeline)
{
    g_callbackTarget.store(pipeline, std::memory_order_release);
}

CapturePipeline *CapturePipeline::callbackTarget()
{
    return g_callbackTarget.load(std::memory_order_acquire);
}

StoreLease &StoreLease::operator=(StoreLease &&other) noexcept
{
    if (this != &other) {
        release();
        m_pipeline = other.m_pipeline;
        other.m_pipeline = nullptr;
    }
    return *this;
}

CaptureStore &StoreLease::store() const
{
    Q_ASSERT(m_pipeline);
    return m_pipeline->m_store;
}

void StoreLease::release()
{
    if (m_pipeline)
        m_pipeline->m_storeBusy.clear(std::memory_order_release);
    m_pipeline = nullptr;
}

extern "C" int32_t onI2CEvents(int32_t, int32_t, const I2CEvent *events, int32_t count)
{
    CapturePipeline *pipeline = CapturePipeline::callbackTarget();
    return pipeline ? pipeline->onI2CEvents(events, count) : 0;
}

extern "C" void onKorvexFindings(int32_t, const KorvexFinding *findings, int32_t count,
                                 void *userData)
{
    auto *pipeline = static_cast<CapturePipeline *>(userData);
    HealthFinding f;
    for (int32_t i = 0; pipeline && findings && i < count; ++i)
        if (HealthFinding::fromLibrary(findings[i], &f))
            pipeline->onHealthFinding(f);
}
