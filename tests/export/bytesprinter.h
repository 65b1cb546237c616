// Lets GoogleTest print byte arrays as text rather than byte by byte.
#pragma once

#include <QByteArray>

#include <ostream>

inline void PrintTo(const QByteArray &bytes, std::ostream *os)
{
    *os << '"' << bytes.toStdString() << '"';
}
