// What the user typed into Go to: a row number, a timestamp or, in the
// transaction view, a transaction number. In the transaction view a plain
// number is a transaction's 序号 and a row number is written "r500" (or
// "行500"); in the row view a number is always a row number.
#pragma once

#include <QString>

#include <cstdint>

struct GoToTarget
{
    enum Kind { Invalid, Row, Transaction, Time };
    Kind kind = Invalid;
    int64_t value = 0; // row number, 0-based transaction number, or ns

    static GoToTarget parse(const QString &text, bool transactions);
};
