#include "linereader.h"

#include <cstring>

namespace {

// A small file needs no large block; one more byte lets the read that finds
// the end fit without growing the buffer.
qsizetype initialSize(QIODevice &device, qsizetype blockSize)
{
    qsizetype size = qMax<qsizetype>(blockSize, 16);
    if (!device.isSequential() && device.isOpen())
        size = qBound<qsizetype>(16, qsizetype(device.bytesAvailable()) + 1, size);
    return size;
}

} // namespace

LineReader::LineReader(QIODevice &device, qsizetype blockSize)
    : device(device), buffer(size_t(initialSize(device, blockSize)))
{
}

bool LineReader::next(const char *&data, qsizetype &size)
{
    qsizetype searchFrom = begin;
    for (;;) {
        const char *base = buffer.data();
        const void *nl = std::memchr(base + searchFrom, '\n', size_t(end - searchFrom));
        if (nl) {
            const qsizetype stop = static_cast<const char *>(nl) - base + 1;
            data = base + begin;
            size = stop - begin;
            begin = stop;
            consumed += size;
            return true;
        }
        if (atEnd) {
            if (begin == end || failed())
                return false;
            data = base + begin;
            size = end - begin;
            begin = end;
            consumed += size;
            return true;
        }
        searchFrom = end - begin; // the part already searched, after compaction
        if (!fill())
            atEnd = true;
        else
            searchFrom += begin; // begin is 0 after fill
    }
}

// Moves the unread bytes to the front, grows the buffer when one line fills
// it, and reads more. False when the device has nothing more.
bool LineReader::fill()
{
    if (begin > 0) {
        std::memmove(buffer.data(), buffer.data() + begin, size_t(end - begin));
        end -= begin;
        begin = 0;
    }
    if (end == qsizetype(buffer.size()))
        buffer.resize(buffer.size() * 2);
    const qint64 n = device.read(buffer.data() + end, qint64(buffer.size()) - end);
    if (n < 0) {
        error = device.errorString();
        return false;
    }
    if (n == 0)
        return false;
    end += qsizetype(n);
    return true;
}
