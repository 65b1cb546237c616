#include "capturepipeline.h"

#include <QDebug>

#include <thread>

namespace {
constexpr size_t KeptPendingCapacity = 1 << 16;
}

int32_t CapturePipeline::onI2CEvents(const I2CEvent *events, int32_t count)
{
    qDebug().nospace() << "Get I2CDataNum = " << count;
    // Convert first, whatever the flag, so the converter sees every event in
    // arrival order.
    const bool haveStore = tryAcquireStore();
    converter_.convertEvents(events, count, pendingRows_);
    if (!haveStore)
        return 0;
    if (!pendingRows_.empty()) {
        store_.appendRows(pendingRows_, mergeEnabled, decodeEnabled, labeler());
        // Also after a failure: the store takes no more rows, and keeping them
        // would grow without bound.
        pendingRows_.clear();
        // A long wait behind the GUI may have grown the vector; give that back.
        if (pendingRows_.capacity() > KeptPendingCapacity)
            std::vector<CaptureRow>().swap(pendingRows_);
    }
    releaseStore();
    return 0;
}

void CapturePipeline::acquireStoreWaiting()
{
    // The callback holds the store for one batch at most; give it the core.
    while (storeBusy.test_and_set(std::memory_order_acquire))
        std::this_thread::yield();
}

void CapturePipeline::clearStore()
{
    acquireStoreWaiting();
    store_.resetStore();
    releaseStore();
}

bool CapturePipeline::takeStoreFailureNotice(QString *why)
{
    const int failures = store_.failureCount();
    if (failures == noticedFailures_)
        return false;
    noticedFailures_ = failures;
    if (why)
        *why = store_.errorString();
    return true;
}

CapturePipeline &capturePipeline()
{
    static CapturePipeline pipeline;
    return pipeline;
}

extern "C" int32_t onI2CEvents(int32_t, int32_t, const I2CEvent *events, int32_t count)
{
    return capturePipeline().onI2CEvents(events, count);
}
