// Transactions as CSV rows, for the export and korvex-decode alike:
//   number,first_row,rows,start,duration_ns,segments,ack,status,labels
// number counts from 1 as the view shows it; first_row is the stored row
// number of its first row; start is its first row's timestamp text;
// segments reads "68W:0F|68R:08*" (address, W or R, ":", the bytes, "*"
// after a NACKed address or byte); ack is "ACK", "NACK 68W" (the address) or
// "NACK 68R#2" (its second byte), empty without segments; status is
// "closed" or any of "open", "no-start", "no-stop", "cut" joined by " ";
// labels are "[name]" joined by " ". Fields are quoted as RFC 4180 asks,
// lines end with CR LF.
#pragma once

#include "transaction/transaction.h"

#include <string>
#include <string_view>

class TransactionCsv
{
public:
    static constexpr std::string_view kHeader =
        "number,first_row,rows,start,duration_ns,segments,ack,status,labels\r\n";

    static void appendRow(std::string &out, const Transaction &t);
    // "68W:0F|68R:08*" of t's segments.
    static void appendSegments(std::string &out, const Transaction &t);
    // A field, quoted when it holds ",", a quote, CR or LF.
    static void appendField(std::string &out, std::string_view text);
};
