// The transaction view's columns, in the order the table shows them.
#pragma once

namespace TransactionColumn {
enum Column {
    Number,
    FirstRow,
    Start,
    Duration,
    Segments,
    Written,
    Read,
    Ack,
    Labels,
    Status,
    Decoded, // what the device profiles make of it
    Count
};
} // namespace TransactionColumn
