// The `decoded` column that ends a transaction CSV row (the transaction
// export, korvex-decode --format=transactions): the transaction's decoded
// text, quoted as TransactionCsv quotes its fields. Transactions must come in
// bus order, since the devices' pointers carry from one to the next.
#pragma once

#include "device/profileassignment.h"
#include "device/profiledecoder.h"

#include <string>

class DecodedColumn
{
public:
    // TransactionCsv's header line with the column added.
    static std::string header();

    // Takes a copy of the choices; their library must outlive the column.
    explicit DecodedColumn(const ProfileAssignment &assignment) : m_assignment(assignment) {}

    // Adds "," and t's decoded text (empty where no profile decodes it) to
    // row, before its line end when it has one (TransactionCsv::appendRow's).
    void append(std::string &row, const Transaction &t);
    // Decodes t without writing it: a transaction a filter left out still
    // moves the pointers.
    void pass(const Transaction &t);

private:
    ProfileAssignment m_assignment;
    ProfileDecoder m_decoder;
    ProfileDecoder::Output m_output;
};
