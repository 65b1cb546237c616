// The capture's state and the callback's work: each batch of bus events is
// converted, then stored unless another party holds the store, in which case
// the rows wait for the next batch.
//
// Ownership of the store: whoever writes it or reads its index holds a
// StoreLease, and the pipeline hands out one at a time (storeBusy, taken with
// one test-and-set and cleared when the lease goes, so whatever one holder
// wrote is visible to the next). The holders: the callback (takes it or keeps
// its rows), the record table's page fill and the address map's recount (take
// it or skip their tick), the searches' reads of the newest lines (retry),
// and, waiting for it, Clear, Open, Go to, start-up and shutdown. Without a
// lease only the store's atomic figures and positioned reads of published
// lines may be used (the const store()).
#pragma once

#include "capture/capturestore.h"
#include "capture/eventconverter.h"
#include "capture/healthlog.h"
#include "capture/rowlabeler.h"
#include "capture/storelease.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <deque>
#include <vector>

class CapturePipeline
{
public:
    CapturePipeline();
    // Stops being the callback's target; no capture may run into it.
    ~CapturePipeline();
    CapturePipeline(const CapturePipeline &) = delete;
    CapturePipeline &operator=(const CapturePipeline &) = delete;

    // The callback's work for one batch; returns 0. Adapter library's thread,
    // one call at a time.
    int32_t onI2CEvents(const I2CEvent *events, int32_t count);

    // A bus health finding of the running capture, for the event numbered
    // finding.eventIndex from the capture's start; it comes before the batch
    // that delivers that event. It lands on the line that event's row goes
    // to (the next row's when the event makes none). Adapter library's
    // thread, like the batches.
    void onHealthFinding(HealthFinding finding);
    // Around a capture, GUI thread, while no callback runs: the events are
    // counted from the start; after the stop, findings no row took land on
    // the newest row.
    void beginCapture();
    void endCapture();
    // The folder of the findings' side file: the capture file's. Before any
    // capture.
    void setHealthFolder(const QString &folder) { m_health.setFolder(folder); }
    // The findings beside the store. Readers any thread (see HealthLog).
    const HealthLog &health() const { return m_health; }

    // The store for any thread but the callback's: at once or an empty lease
    // (page fill, searches), or waiting for it (Clear, Open, Go to). A failed
    // or waiting attempt also asks the callback to leave the store free for a
    // moment (see m_storeWantedSinceNs).
    StoreLease tryLeaseStore();
    StoreLease leaseStore();

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

    // Without a lease: lineCount(), storedBytes(), readAt() of published
    // lines, unsavedRowCount(), the failure figures. Any thread.
    const CaptureStore &store() const { return m_store; }
    // Stored lines for the view's arithmetic; any thread, no flag needed.
    int storedLineCount() const { return m_store.lineCount(); }
    // Bytes of the stored lines for the status bar; any thread, no flag needed.
    qint64 storedBytes() const { return m_store.storedBytes(); }

    // Adapter library's thread only (or while no capture runs, in tests).
    const EventConverter &converter() const { return m_converter; }
    const std::vector<CaptureRow> &pendingRows() const { return m_pendingRows; }

    // Written by the GUI (Merge, Decode), read by the store for every row it
    // writes on the callback thread; single atomic booleans, so a change takes
    // effect from the next stored row.
    std::atomic<bool> mergeEnabled{false};
    std::atomic<bool> decodeEnabled{false};

    // The pipeline the C callback feeds: the one whose capture runs. Set by
    // whoever starts a capture, before the start, and cleared after its stop;
    // the callback's interface carries no user data, so this is its one way
    // to its owner.
    static void setCallbackTarget(CapturePipeline *pipeline);
    static CapturePipeline *callbackTarget();

private:
    friend class StoreLease;
    // Set while a lease holds the store; taken by test-and-set, cleared by
    // the lease.
    std::atomic_flag m_storeBusy = ATOMIC_FLAG_INIT;
    // Shared by all threads, only through a lease (see above).
    CaptureStore m_store;
    // Callback thread only: the converter's carried state and the rows that
    // could not be stored yet. No lock: the library calls one batch at a time.
    EventConverter m_converter;
    std::vector<CaptureRow> m_pendingRows;
    // Callback thread only (or GUI between captures), like the converter:
    // events delivered in this capture, findings whose event has not come
    // yet (by event), and findings waiting for the next row to be made.
    int64_t m_eventsSeen = 0;
    std::deque<HealthFinding> m_unplaced;
    std::vector<HealthFinding> m_waiting;
    void convertBatch(const I2CEvent *events, int32_t count);
    void attachWaiting(CaptureRow &row);
    // Observes the store; its queue is the storing thread's (see HealthLog).
    HealthLog m_health;
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

// The bus health callback handed to enableBusHealth; userData is the
// CapturePipeline the capture runs into.
extern "C" void onKorvexFindings(int32_t adapterIndex, const KorvexFinding *findings, int32_t count,
                                 void *userData);

// The capture callback handed to startI2CCapture: forwards to the callback
// target. The adapter index and batch number are not needed: one capture
// runs at a time.
extern "C" int32_t onI2CEvents(int32_t adapterIndex, int32_t batchNumber, const I2CEvent *events,
                               int32_t count);
