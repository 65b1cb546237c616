// Helpers shared by the capture and view tests: events, rows, lines and file contents.
#pragma once

#include "capture/adapter.h"
#include "capture/capturerow.h"
#include "capture/capturestore.h"
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
