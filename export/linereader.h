// Sequential line reader over a QIODevice, reading in large blocks so that a
// line costs a memchr rather than a device call.
#pragma once

#include <QIODevice>
#include <QString>

#include <vector>

class LineReader
{
public:
    explicit LineReader(QIODevice &device, qsizetype blockSize = 256 * 1024);

    // The next line with its "\n" (the last line of the device may lack it).
    // The bytes stay valid until the next call. False at the end or on a read
    // error (see failed()).
    bool next(const char *&data, qsizetype &size);

    qint64 bytesConsumed() const { return m_consumed; }
    bool failed() const { return !m_error.isEmpty(); }
    QString errorString() const { return m_error; }

private:
    bool fill();

    QIODevice &m_device;
    std::vector<char> m_buffer;
    qsizetype m_begin = 0; // first unread byte in m_buffer
    qsizetype m_end = 0;   // one past the last valid byte
    qint64 m_consumed = 0;
    bool m_atEnd = false;
    QString m_error;
};
