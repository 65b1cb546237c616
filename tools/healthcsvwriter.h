// --format=health: one CSV line per bus-health finding, with the row of the
// capture file (as --format=lines numbers it) that the finding belongs to.
#pragma once

#include "tools/eventformats.h"

#include <korvex/korvexhealth.h>

#include <deque>

namespace korvex {

class HealthCsvWriter final : public FormatWriter
{
public:
    explicit HealthCsvWriter(OutputFile &out);

    // Findings come before the events they name; each waits for its row.
    bool writeFindings(const KorvexFinding *findings, size_t count) override;
    bool write(const I2CEvent *events, const uint64_t *samples, size_t count) override;
    bool finish() override;

private:
    // Writes the waiting findings named by events up to `lastEvent` with `row` (-1: none).
    bool writeWaiting(uint64_t lastEvent, int64_t row);
    void appendLine(const KorvexFinding &f, int64_t row);

    static constexpr size_t kMaxWaiting = 4096;
    std::deque<KorvexFinding> m_waiting; // findings whose row has not completed yet
    uint64_t m_eventIndex = 0;
    int64_t m_nextRow = 0;
    // The row rule of the capture file: START and STOP are rows; ADDR and DATA
    // open one that their ACK or NACK completes (an acknowledge otherwise
    // makes none).
    bool m_rowOpen = false;
};

} // namespace korvex
