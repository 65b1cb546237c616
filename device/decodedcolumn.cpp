#include "device/decodedcolumn.h"

void DecodedColumn::append(std::string &row, const Transaction &t)
{
    m_assignment.apply(t, &m_decoder);
    m_decoder.decode(t, &m_output);
    const std::string &text = m_output.text;
    row += ',';
    // A user's profile may name a register with a comma or a quote.
    if (text.find_first_of(",\"\r\n") == std::string::npos) {
        row += text;
        return;
    }
    row += '"';
    for (const char c : text) {
        if (c == '"')
            row += '"';
        row += c;
    }
    row += '"';
}
