#include "capture/capturepipeline.h"

#include "capture/storedline.h"

#include <QDebug>

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

int32_t CapturePipeline::onI2CEvents(const I2CEvent *events, int32_t count)
{
    qDebug().nospace() << "Get I2CDataNum = " << count;
    // Convert first, whatever the flag, so the converter sees every event in
    // arrival order.
    const bool haveStore = callbackTakesStore();
    m_converter.convertEvents(events, count, m_pendingRows);
    if (!haveStore)
        return 0;
    if (!m_pendingRows.empty()) {
        m_store.appendRows(m_pendingRows, mergeEnabled, decodeEnabled, labeler());
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
    int64_t last = -1; // nothing stored or kept: the times start at 0
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
