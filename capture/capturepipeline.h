// The process-wide capture state and the callback the adapter library calls
// with each batch of bus events: convert, then store unless the GUI thread is
// using the store, in which case the rows wait for the next batch.
//
// storeBusy hands the store between three parties: the callback (takes it or
// keeps its rows), the view's page fill (takes it or skips its tick) and Clear
// (waits for it). Each takes it with one test-and-set and releases it by
// clearing it, so whatever one party wrote to the store is visible to the next.
#pragma once

#include "capturestore.h"
#include "eventconverter.h"
#include "rowlabeler.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <vector>

class CapturePipeline
{
public:
    CapturePipeline() = default;
    CapturePipeline(const CapturePipeline &) = delete;
    CapturePipeline &operator=(const CapturePipeline &) = delete;

    // The callback's work for one batch; returns 0. Adapter library's thread,
    // one call at a time.
    int32_t onI2CEvents(const I2CEvent *events, int32_t count);

    // storeBusy for the GUI thread: take it without waiting (page fill), take
    // it waiting (Clear), give it back. A failed or waiting attempt also asks
    // the callback to leave the store free for a moment (see m_storeWantedSinceNs).
    bool tryAcquireStore();
    void acquireStoreWaiting();
    void releaseStore() { storeBusy.clear(std::memory_order_release); }

    // Clear's store part: waits for the store, empties it, gives it back.
    // GUI thread.
    void clearStore();

    // Before a Start: the new capture's times go on after the last stored
    // row's time (from 0 on an empty store: after Clear, or an Open of an
    // empty file), so times keep rising across Stop and Start. GUI thread,
    // while no capture runs.
    void continueTimesAfterStoredRows();

    // True exactly once for each failure of the store, with its reason; the
    // GUI polls it on its tick so the warning comes from the GUI thread.
    // GUI thread only.
    bool takeStoreFailureNotice(QString *why = nullptr);

    // Labels rows while decoding is on; null labels nothing. Any thread: the
    // callback loads it once per batch. The labeler must outlive its use.
    void setLabeler(RowLabeler *labeler) { m_labeler.store(labeler, std::memory_order_release); }
    RowLabeler *labeler() const { return m_labeler.load(std::memory_order_acquire); }

    // Under storeBusy (or while no capture runs: Save, Open, start-up).
    CaptureStore &store() { return m_store; }
    const CaptureStore &store() const { return m_store; }
    // Stored lines for the view's arithmetic; any thread, no flag needed.
    int storedLineCount() const { return m_store.lineCount(); }
    // Bytes of the stored lines for the status bar; any thread, no flag needed.
    qint64 storedBytes() const { return m_store.storedBytes(); }

    // Adapter library's thread only (or while no capture runs, in tests).
    const EventConverter &converter() const { return m_converter; }
    const std::vector<CaptureRow> &pendingRows() const { return m_pendingRows; }

    // Set while a party holds the store. Both threads, through the atomic
    // test-and-set / clear above only.
    std::atomic_flag storeBusy = ATOMIC_FLAG_INIT;
    // Written by the GUI (Merge, Decode), read by the store for every row it
    // writes on the callback thread; single atomic booleans, so a change takes
    // effect from the next stored row.
    std::atomic<bool> mergeEnabled{false};
    std::atomic<bool> decodeEnabled{false};

private:
    // Shared by both threads, only while storeBusy is held (see above).
    CaptureStore m_store;
    // Callback thread only: the converter's carried state and the rows that
    // could not be stored yet. No lock: the library calls one batch at a time.
    EventConverter m_converter;
    std::vector<CaptureRow> m_pendingRows;
    // Set by the GUI, read by the callback; an atomic pointer needs no order
    // with the start of a capture.
    std::atomic<RowLabeler *> m_labeler{nullptr};
    // Steady-clock time (ns) of the GUI thread's latest unanswered request for
    // the store, 0 when it has none. Written by the GUI, read by the callback:
    // while the request is recent the callback keeps its rows instead of taking
    // the store, so a callback that runs back to back cannot starve the page
    // fill or Clear. A request the GUI stops repeating expires, so rows never
    // wait for more than a moment. An atomic hint; no order with other data.
    std::atomic<int64_t> m_storeWantedSinceNs{0};
    bool callbackTakesStore();

    // GUI thread only: the store failures already announced.
    int m_noticedFailures = 0;
};

// The one pipeline of the process; the capture callback feeds it.
CapturePipeline &capturePipeline();

// The capture callback handed to startI2CCapture: forwards to capturePipeline().
// The adapter index and batch number are not needed: there is one pipeline.
extern "C" int32_t onI2CEvents(int32_t adapterIndex, int32_t batchNumber, const I2CEvent *events,
                               int32_t count);
