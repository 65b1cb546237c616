// Per-address statistics of the capture, kept as the store keeps lines (it
// observes the store), so neither the map nor a summary reads the file again.
//
// Threads: the observer calls come from whichever thread holds the store (the
// capture callback's, or the GUI's for Clear and Open), so there is one writer
// at a time, handed over by storeBusy. The GUI reads figures() at any time:
// every counter is a relaxed atomic that only that writer stores, so a reader
// sees each value whole; a snapshot may mix one row's updates with the next
// row's, which the map's next tick corrects.
#pragma once

#include "addressmap/addressfigures.h"

#include "capture/storeobserver.h"

#include <QtGlobal>

#include <array>
#include <atomic>
#include <string>
#include <string_view>

class CaptureStore;

class AddressStats : public StoreObserver
{
public:
    static constexpr int kAddressCount = 128;
    // Bits plus acknowledge per byte: the clock periods between the starts of
    // two consecutive bytes of a transfer that nothing stretched.
    static constexpr int kClocksPerByte = 9;
    // Byte clocks are counted in log-spaced bins, kClockBinsPerDecade to a
    // decade from kSlowestClockHz up: the median and percentiles need no list
    // of spacings, and each bin keeps its spacings' sum for an exact mean.
    // Bytes slower than kSlowestClockHz are pauses, not the clock; faster ones
    // count in the top bin.
    static constexpr int kClockBins = 64;
    static constexpr int kClockBinsPerDecade = 16;
    static constexpr double kSlowestClockHz = 1000.0;

    AddressStats() = default;
    AddressStats(const AddressStats &) = delete;
    AddressStats &operator=(const AddressStats &) = delete;

    // --- the thread holding the store ---
    void lineAdded(qint64 line, const CaptureRow &row) override;
    void lineMerged(qint64 line, const CaptureRow &row) override;
    void storeReset() override;
    void linesKept(qint64 lines) override;
    // Counts one row as the store would see it.
    void addRow(const CaptureRow &row);
    // Counts the store's lines afresh. Needed only after linesKept (a failed
    // write cut lines off that were already counted); the caller holds the
    // store.
    void recount(const CaptureStore &store);

    // --- any thread ---
    AddressFigures figures(int address) const;
    // Set by linesKept until recount().
    bool needsRecount() const { return m_needsRecount.load(std::memory_order_acquire); }

    // Data bytes in a stored data text: "12 [name] 34" holds two ("--" and
    // labels " [name]" are no bytes).
    static int dataByteCount(std::string_view data);
    // korvex-decode's summary: a header line, then one line per address seen,
    // in address order, columns separated by one space.
    std::string summaryText() const;
    static const char *summaryHeader();

private:
    struct Counters
    {
        std::atomic<quint64> transfers{0}, ackedAddresses{0}, nackedAddresses{0};
        std::atomic<quint64> bytesWritten{0}, bytesRead{0}, nackedDataBytes{0}, activity{0};
        std::atomic<quint64> errorRows{0};
        std::atomic<qint64> firstSeenNs{0}, lastSeenNs{0};
        // Per clock bin: the bytes whose spacing fell in it and the sum of
        // those spacings.
        std::array<std::atomic<quint64>, kClockBins> clockBytes{}, clockSpacingNs{};
    };

    void addSpacing(int address, qint64 timeNs, int bytes);

    std::array<Counters, kAddressCount> m_counters;
    std::atomic<bool> m_needsRecount{false};

    // Writer only (see above): the byte row before this one within the
    // current transfer.
    bool m_haveLastByte = false;
    qint64 m_lastByteNs = 0;
};
