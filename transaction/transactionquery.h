// What the user looks for among transactions: the find bar's words (see
// SearchQuery), judged over a transaction's rows together, plus its
// duration. Kinds narrow each other as in the row view; terms of one kind
// widen ("READ WRITE": either).
//   addr=50       a segment with that address
//   data=18,E5    the bytes in a row within one segment's bytes (across rows
//                 and merged rows)
//   READ WRITE    a segment of that direction
//   NACK          an address or byte NACKed anywhere; ACK: all acknowledged
//   START STOP    begun by a START / ended by a STOP
//   ADDR DATA     holding a segment / a data byte
//   label=EEPROM  a label, or the decoded text, holding the text
//   reg=Seconds   touching that register of a device profile (decoded)
//   dur>5ms dur<1s  its duration (ns, us, ms, s; decimals allowed)
#pragma once

#include "search/blocksummary.h"
#include "search/searchquery.h"
#include "transaction/transaction.h"
#include "transaction/transactiondecoration.h"

#include <QString>

#include <cstdint>
#include <vector>

class TransactionQuery
{
public:
    // Reads the text form; false, with a message for the user, when a word
    // is not understood or nothing is asked.
    bool parse(const QString &text, QString *error);
    // Whether matches() looks at the decoded text or registers.
    bool needsDecoding() const { return !m_registers.empty() || !m_words.label().empty(); }
    // Whether it looks at the registers (a decoding with details).
    bool needsRegisters() const { return !m_registers.empty(); }

    // decoded: what a decoration made of t (null: not decoded; reg= then
    // matches nothing and label= only the labels).
    bool matches(const Transaction &t,
                 const TransactionDecoration::Output *decoded = nullptr) const;
    // False when no transaction whose rows the summary covers (the blocks
    // it lies in, summed) can match.
    bool mayMatch(const BlockSummary &rows) const;
    // Whether matches() looks at bytes or labels (a cut transaction holds
    // only its first ones).
    bool needsBytes() const { return !m_bytes.empty() || !m_words.label().empty(); }
    // Whether the query is NACK alone, which the transaction index answers
    // from its NACK bits without the lines.
    bool onlyNacks() const;

private:
    // limitText: ">5ms" or "<1.5us".
    bool parseDuration(const QString &key, const QString &limitText, QString *error);
    bool bytesMatch(const std::vector<uint8_t> &bytes) const;
    // Whether reg= asked for the register name.
    bool asked(const std::string &name) const;

    SearchQuery m_words;
    std::vector<uint8_t> m_bytes;
    std::vector<std::string> m_registers; // reg=, lower case: any of them
    int64_t m_longerThanNs = -1;          // dur>: -1 none
    int64_t m_shorterThanNs = -1;         // dur<: -1 none
};
