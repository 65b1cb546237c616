// Builds Transactions from stored lines fed one at a time, grouping them by
// the same rule as TransactionIndex, so the view, find and filter, the
// export and korvex-decode see the same transactions:
//
//   for each line: if (b.begins(line)) { if (b.started()) take(b.finish(true));
//                                        b.start(number++, lineNumber); }
//                  b.add(line);
//   at the end:    if (b.started()) take(b.finish(false));
//
// The transaction's memory is kept between transactions, so building one
// after the other allocates nothing once the longest has been seen.
#pragma once

#include "capture/storedline.h"
#include "transaction/transaction.h"

#include <string_view>
#include <vector>

class TransactionBuilder
{
public:
    // Rows read whole for display; a longer transaction is cut.
    static constexpr qint64 kMaxLines = 4096;

    // maxLines: rows whose bytes and labels are kept; later rows still count
    // (lines, time, status) but the transaction is marked cut.
    explicit TransactionBuilder(qint64 maxLines = kMaxLines);

    // Whether line begins a new transaction after the lines added so far (the
    // first line always does).
    bool begins(const StoredLine &line) const;
    // Starts building transaction `number` whose first row is stored line
    // `firstLine`; the one held so far is dropped.
    void start(qint64 number, qint64 firstLine);
    bool started() const { return m_started; }
    // Adds the next row of the transaction being built.
    void add(const StoredLine &line);
    // Completes it: nextBegun tells that a later line began the next one (so
    // a missing STOP is NoStop), otherwise it is the newest (Open). Stays
    // valid until the next start().
    const Transaction &finish(bool nextBegun);
    // Forgets every line: the next line begins a transaction.
    void reset();

    // The type a stored line counts as: an unknown type reads as START, as
    // when the store tells its observers of an opened line.
    static CaptureRow::Type typeOf(const StoredLine &line);

private:
    // Takes the labels of a data field, and its bytes into segment (null:
    // not a data row).
    void addData(std::string_view data, TransactionSegment *segment, bool nacked);
    TransactionSegment &newSegment();

    qint64 m_maxLines;
    Transaction m_tx;
    // Byte vectors of dropped segments, reused by the next ones.
    std::vector<std::vector<uint8_t>> m_spareBytes;
    TransactionState m_state = TransactionState::Outside;
    bool m_started = false;
    bool m_inSegment = false; // a segment takes the next data bytes
    CaptureRow::Type m_lastType = CaptureRow::Type::Start;
    char m_lastTime[24] = {}; // the newest row's timestamp text
    size_t m_lastTimeSize = 0;
};
