#include "tools/healthcsvwriter.h"

#include "korvex/src/healthkinds.h"

#include <cinttypes>
#include <cstdio>

namespace korvex {

HealthCsvWriter::HealthCsvWriter(OutputFile &out) : FormatWriter(out)
{
    m_buffer = "time,sample,row,kind,severity,measured_ns,limit_ns,resolution_ns,detail\n";
}

bool HealthCsvWriter::writeFindings(const KorvexFinding *findings, size_t count)
{
    m_waiting.insert(m_waiting.end(), findings, findings + count);
    // A bus with no rows for long (noise, a stuck line) must not hold every
    // finding: those naming the next event get the next row, which is theirs
    // once any row completes.
    if (m_waiting.size() > kMaxWaiting)
        return writeWaiting(m_eventIndex, m_nextRow);
    return true;
}

bool HealthCsvWriter::write(const I2CEvent *events, const uint64_t *, size_t count)
{
    for (size_t i = 0; i < count; ++i, ++m_eventIndex) {
        bool row = false;
        switch (events[i].type) {
        case KORVEX_EVENT_START:
        case KORVEX_EVENT_STOP:
            row = true;
            m_rowOpen = false;
            break;
        case KORVEX_EVENT_ADDR:
        case KORVEX_EVENT_DATA:
            m_rowOpen = true;
            break;
        case KORVEX_EVENT_ACK:
        case KORVEX_EVENT_NACK:
            row = m_rowOpen;
            m_rowOpen = false;
            break;
        default:
            break;
        }
        if (row && !writeWaiting(m_eventIndex, m_nextRow++))
            return false;
    }
    return true;
}

bool HealthCsvWriter::finish()
{
    return writeWaiting(UINT64_MAX, -1) && flush();
}

bool HealthCsvWriter::writeWaiting(uint64_t lastEvent, int64_t row)
{
    for (auto it = m_waiting.begin(); it != m_waiting.end();) {
        if (it->eventIndex <= lastEvent) {
            appendLine(*it, row);
            it = m_waiting.erase(it);
            if (!flushIfFull())
                return false;
        } else {
            ++it;
        }
    }
    return true;
}

void HealthCsvWriter::appendLine(const KorvexFinding &f, int64_t row)
{
    char head[160];
    auto optional = [](char *to, size_t size, int64_t value) {
        if (value < 0)
            to[0] = '\0';
        else
            std::snprintf(to, size, "%" PRId64, value);
    };
    char rowText[24], measured[24], limit[24], resolution[24];
    optional(rowText, sizeof rowText, row);
    optional(measured, sizeof measured, f.measuredNs);
    optional(limit, sizeof limit, f.limitNs);
    optional(resolution, sizeof resolution, f.resolutionNs);
    std::snprintf(head, sizeof head, "%" PRId64 ".%09" PRId64 ",%" PRIu64 ",%s,%s,%s,%s,%s,%s,",
                  f.timeNs / 1000000000, f.timeNs % 1000000000, f.sample, rowText,
                  healthKindName(f.kind), healthSeverityName(f.severity), measured, limit,
                  resolution);
    m_buffer += head;
    // The detail is quoted: it may hold commas.
    m_buffer += '"';
    for (const char *p = f.detail; *p && p < f.detail + sizeof f.detail; ++p) {
        if (*p == '"')
            m_buffer += '"';
        m_buffer += *p;
    }
    m_buffer += "\"\n";
}

} // namespace korvex
