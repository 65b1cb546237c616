#include "export/linereader.h"

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

LineReader::LineReader(QIODevice &device, qsizetype blockSize, qsizetype maxLineSize)
    : m_device(device), m_buffer(size_t(initialSize(device, blockSize))),
      m_maxLine(qMax<qsizetype>(maxLineSize, 0))
{
}

bool LineReader::tooLong()
{
    m_tooLong = true;
    m_error = QStringLiteral("a line is longer than %1 bytes").arg(m_maxLine);
    return false;
}

bool LineReader::next(const char *&data, qsizetype &size)
{
    if (m_tooLong)
        return false;
    qsizetype searchFrom = m_begin;
    for (;;) {
        const char *base = m_buffer.data();
        const void *nl = std::memchr(base + searchFrom, '\n', size_t(m_end - searchFrom));
        if (nl) {
            const qsizetype stop = static_cast<const char *>(nl) - base + 1;
            if (stop - m_begin - 1 > m_maxLine)
                return tooLong();
            data = base + m_begin;
            size = stop - m_begin;
            m_begin = stop;
            m_consumed += size;
            return true;
        }
        if (m_atEnd) {
            if (m_begin == m_end || failed())
                return false;
            if (m_end - m_begin > m_maxLine)
                return tooLong();
            data = base + m_begin;
            size = m_end - m_begin;
            m_begin = m_end;
            m_consumed += size;
            return true;
        }
        searchFrom = m_end - m_begin; // the part already searched, after compaction
        if (!fill())
            m_atEnd = true;
        else
            searchFrom += m_begin; // m_begin is 0 after fill
    }
}

// Moves the unread bytes to the front, grows the buffer when one line fills
// it, and reads more. False when the device has nothing more.
bool LineReader::fill()
{
    if (m_begin > 0) {
        std::memmove(m_buffer.data(), m_buffer.data() + m_begin, size_t(m_end - m_begin));
        m_end -= m_begin;
        m_begin = 0;
    }
    if (m_end == qsizetype(m_buffer.size())) {
        // One line fills the buffer: room for the longest line and its "\n" at most.
        if (m_end > m_maxLine)
            return tooLong();
        m_buffer.resize(size_t(qMin<qsizetype>(m_end * 2, m_maxLine + 1)));
    }
    const qint64 n = m_device.read(m_buffer.data() + m_end, qint64(m_buffer.size()) - m_end);
    if (n < 0) {
        m_error = m_device.errorString();
        return false;
    }
    if (n == 0)
        return false;
    m_end += qsizetype(n);
    return true;
}
