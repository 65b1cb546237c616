// The record table's columns, in the order the table shows them. The stored
// line carries every column but Ascii, which the view derives from Data.
#pragma once

namespace RecordColumn {
enum Column { Number, Type, Address, Direction, Data, Ascii, Response, Timestamp, Count };
} // namespace RecordColumn
