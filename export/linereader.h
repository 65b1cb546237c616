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

    qint64 bytesConsumed() const { return consumed; }
    bool failed() const { return !error.isEmpty(); }
    QString errorString() const { return error; }

private:
    bool fill();

    QIODevice &device;
    std::vector<char> buffer;
    qsizetype begin = 0; // first unread byte in buffer
    qsizetype end = 0;   // one past the last valid byte
    qint64 consumed = 0;
    bool atEnd = false;
    QString error;
};
