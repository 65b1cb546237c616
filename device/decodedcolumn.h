// The `decoded` column that ends a transaction CSV row (the transaction
// export, korvex-decode --format=transactions): the transaction's decoded
// text, quoted as RFC 4180 asks where it must be. Transactions must come in
// bus order, since the devices' pointers carry from one to the next.
#pragma once

#include "device/profileassignment.h"
#include "device/profiledecoder.h"

#include <string>

class DecodedColumn
{
public:
    // What the header line gains.
    static constexpr const char *kHeader = ",decoded";

    // Takes a copy of the choices; their library must outlive the column.
    explicit DecodedColumn(const ProfileAssignment &assignment) : m_assignment(assignment) {}

    // Appends "," and t's decoded text (empty where no profile decodes it).
    void append(std::string &row, const Transaction &t);

private:
    ProfileAssignment m_assignment;
    ProfileDecoder m_decoder;
    ProfileDecoder::Output m_output;
};
