// Helpers shared by the capture and view tests: events, rows, lines and file contents.
#pragma once

#include "capture/adapter.h"
#include "capture/capturerow.h"
#include "capture/capturestore.h"
#include "capture/healthfinding.h"
#include "capture/storedline.h"

#include <QFile>
#include <QString>

#include <atomic>
#include <string>
#include <vector>

inline I2CEvent ev(int type, int data, int64_t t)
{
    return I2CEvent{type, uint8_t(data), {}, t};
}

// Transfer k of count at 10k ns, events 6k..6k+5 stored as lines 4k..4k+3:
// START, ADDR 50 WRITE ACK, DATA k ACK, STOP.
inline std::vector<I2CEvent> busTransfers(int count)
{
    std::vector<I2CEvent> e;
    for (int k = 0; k < count; ++k)
        e.insert(e.end(), {ev(EventStart, 0, 10 * k), ev(EventAddr, 0xA0, 10 * k + 1),
                           ev(EventAck, 0, 10 * k + 2), ev(EventData, k, 10 * k + 3),
                           ev(EventAck, 0, 10 * k + 4), ev(EventStop, 0, 10 * k + 5)});
    return e;
}

inline HealthFinding
healthFinding(int64_t event, HealthFinding::Kind kind,
              HealthFinding::Severity severity = HealthFinding::Severity::Error,
              int64_t measured = -1, int64_t limit = -1)
{
    HealthFinding f;
    f.eventIndex = event;
    f.kind = kind;
    f.severity = severity;
    f.measuredNs = measured;
    f.limitNs = limit;
    return f;
}

inline CaptureRow dataRow(int address, bool read, const std::string &data, bool ack, int64_t t)
{
    using R = CaptureRow;
    return R{R::Type::Data,
             read ? R::Direction::Read : R::Direction::Write,
             ack ? R::Response::Ack : R::Response::Nack,
             true,
             uint8_t(address),
             6,
             t,
             data};
}

inline CaptureRow addrRow(int address, bool read, bool ack, int64_t t)
{
    CaptureRow r = dataRow(address, read, "--", ack, t);
    r.type = CaptureRow::Type::Addr;
    return r;
}

inline std::string ts(int64_t t)
{
    std::string s;
    CaptureRow::appendTimestampText(s, t);
    return s;
}

inline std::string fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : "<unreadable>";
}

// Stores rows as a capture would: one appendRows call per batch.
struct Flags
{
    std::atomic<bool> merge{false};
    std::atomic<bool> decode{false};
};

inline void store(CaptureStore &s, Flags &f, std::vector<CaptureRow> rows,
                  RowLabeler *labeler = nullptr)
{
    s.appendRows(rows, f.merge, f.decode, labeler);
}
