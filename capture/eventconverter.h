// Turns batches of adapter events into capture rows. An address or data byte
// becomes a row only when its acknowledge arrives, possibly in a later batch,
// so the converter carries its state from batch to batch for the whole
// process (a new capture or a Clear does not reset it).
#pragma once

#include "capture/adapter.h"
#include "capture/capturerow.h"

#include <cstdint>
#include <vector>

class EventConverter
{
public:
    // Appends the rows completed by this batch to out, in event order.
    // A count of 0 or less (or a null pointer) changes nothing.
    void convertEvents(const I2CEvent *events, int count, std::vector<CaptureRow> &out);
    std::vector<CaptureRow> convertEvents(const I2CEvent *events, int count);

    // Added to every event's timestamp from the next batch on, so a capture
    // appended after stored rows can go on from their times (the adapter
    // counts each capture from its own start).
    void setTimeOffset(int64_t ns) { m_timeOffsetNs = ns; }
    int64_t timeOffset() const { return m_timeOffsetNs; }

    const CaptureRow &rowUnderConstruction() const { return m_rowUnderConstruction; }
    int32_t lastAddressByte() const { return m_lastAddressByte; }
    int64_t carriedTimestamp() const { return m_carriedTimeNs; }

private:
    // The ADDR or DATA row waiting for its acknowledge (four strings), or the
    // last START/STOP/completed row (six), or nothing yet (zero).
    CaptureRow m_rowUnderConstruction;
    // Raw byte of the latest ADDR: DATA rows repeat its address and direction.
    int32_t m_lastAddressByte = 0;
    // Time of the latest event that is neither ACK nor NACK. Kept across
    // batches, so an acknowledge that opens a batch still gets its byte's time
    // and rows never depend on where the library split the stream.
    int64_t m_carriedTimeNs = 0;
    int64_t m_timeOffsetNs = 0;
};
