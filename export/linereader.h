// Sequential line reader over a QIODevice, reading in large blocks so that a
// line costs a memchr rather than a device call.
#pragma once

#include <QIODevice>
#include <QString>

#include <limits>
#include <vector>

class LineReader
{
public:
    // A line longer than maxLineSize bytes (its "\n" not counted) stops the
    // reading: the buffer never grows past it, so memory stays bounded
    // whatever the device holds.
    explicit LineReader(QIODevice &device, qsizetype blockSize = 256 * 1024,
                        qsizetype maxLineSize = kNoLimit);

    static constexpr qsizetype kNoLimit = std::numeric_limits<qsizetype>::max() / 4;

    // The next line with its "\n" (the last line of the device may lack it).
    // The bytes stay valid until the next call. False at the end, on a read
    // error or at a line that is too long (see failed()).
    bool next(const char *&data, qsizetype &size);

    qint64 bytesConsumed() const { return m_consumed; }
    bool failed() const { return !m_error.isEmpty(); }
    bool lineTooLong() const { return m_tooLong; }
    QString errorString() const { return m_error; }

private:
    bool fill();
    bool tooLong();

    QIODevice &m_device;
    std::vector<char> m_buffer;
    qsizetype m_begin = 0; // first unread byte in m_buffer
    qsizetype m_end = 0;   // one past the last valid byte
    qint64 m_consumed = 0;
    qsizetype m_maxLine;
    bool m_atEnd = false;
    bool m_tooLong = false;
    QString m_error;
};
