// The register-access traffic the benchmarks label: eight devices, and a
// symbol set over them of any size.
#pragma once

#include "protocol/symboldef.h"

#include <QString>

#include <cstdint>

inline constexpr uint8_t kBenchDevices[] = {0x50, 0x51, 0x52, 0x53, 0x1A, 0x68, 0x3C, 0x20};

inline QString benchHex2(int v)
{
    return QString::asprintf("%02X", v);
}

// `count` symbols (at most; the first 80 are address symbols labelling the
// address row and the four rows after it, per device and direction), then
// data symbols for byte values labelling dataDelay(value) rows later.
template <typename Delay> SymbolList benchSymbolSet(int count, Delay dataDelay)
{
    SymbolList list;
    for (uint8_t dev : kBenchDevices)
        for (const char *rw : {"WRITE", "READ"})
            for (int pos = 0; pos < 5; ++pos)
                list << SymbolDef(QString("DEV%1_%2").arg(benchHex2(dev)).arg(pos), "ADDR",
                                  benchHex2(dev), "-", QString::number(pos), rw);
    for (int v = 0; list.size() < count; ++v)
        for (uint8_t dev : kBenchDevices) {
            if (list.size() >= count)
                break;
            list << SymbolDef(QString("REG%1").arg(v), "DATA", benchHex2(dev), benchHex2(v % 256),
                              QString::number(dataDelay(v)), v % 2 ? "READ" : "WRITE");
        }
    list.resize(count);
    return list;
}
