#include "device/decodedcolumn.h"

#include "transaction/transactioncsv.h"

namespace {
constexpr std::string_view kLineEnd = "\r\n";

bool endsLine(const std::string &row)
{
    return row.size() >= kLineEnd.size() &&
           row.compare(row.size() - kLineEnd.size(), kLineEnd.size(), kLineEnd) == 0;
}
} // namespace

std::string DecodedColumn::header()
{
    std::string line(TransactionCsv::kHeader);
    line.insert(line.size() - kLineEnd.size(), ",decoded");
    return line;
}

void DecodedColumn::pass(const Transaction &t)
{
    m_assignment.apply(t, &m_decoder);
    m_decoder.decode(t, &m_output);
}

void DecodedColumn::append(std::string &row, const Transaction &t)
{
    pass(t);
    const bool ended = endsLine(row);
    if (ended)
        row.resize(row.size() - kLineEnd.size());
    row += ',';
    TransactionCsv::appendField(row, m_output.text);
    if (ended)
        row += kLineEnd;
}
