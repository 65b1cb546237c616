// What is known of one 7-bit address: a plain copy, taken from AddressStats
// and handed to the map, its table and korvex-decode's summary.
#pragma once

#include <QtGlobal>

struct AddressFigures
{
    quint64 transfers = 0;       // address rows
    quint64 ackedAddresses = 0;  // address rows answered with ACK
    quint64 nackedAddresses = 0; // address rows left unanswered (NACK)
    quint64 bytesWritten = 0;
    quint64 bytesRead = 0;
    quint64 nackedDataBytes = 0;
    // Its rows with a bus health finding of severity error.
    quint64 errorRows = 0;
    // Grows with every row and merged byte of the address: the map tells
    // recent activity by watching it move.
    quint64 activity = 0;
    qint64 firstSeenNs = 0; // time of the address's first row
    qint64 lastSeenNs = 0;  // time of its latest row (or merged byte)
    // Estimated bus clock of its transfers in Hz, 0 while unknown: the
    // median of its bytes' clocks, and the 10th and 90th percentiles (the
    // range most of its bytes were clocked in).
    qint64 clockHz = 0;
    qint64 clockLowHz = 0;
    qint64 clockHighHz = 0;

    bool seen() const { return activity > 0; }
    bool answered() const { return ackedAddresses > 0; }
    // Probed, but never answered.
    bool nackOnly() const { return nackedAddresses > 0 && ackedAddresses == 0; }
};
