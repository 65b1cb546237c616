// What the user looks for: an address, a data byte sequence, label text, a
// type, a direction, a response, or several of these together. Terms of one
// kind widen the search ("START STOP": either type), terms of different
// kinds narrow it ("addr=50 NACK": both).
//
// Text form (words separated by spaces, case-insensitive keywords):
//   addr=50  data=12,34  data="12 34"  data=1234  label=EEPROM
//   addr=0x50  data=0x12,0x34  (the "0x" the CSV export writes may stay)
//   START ADDR DATA STOP  READ WRITE  ACK NACK
#pragma once

#include "capture/storedline.h"
#include "search/blocksummary.h"

#include <QString>
#include <QStringList>

#include <string>
#include <string_view>

class SearchQuery
{
public:
    // Reads the text form; false, with a message for the user, when a word
    // is not understood or nothing is asked.
    bool parse(const QString &text, QString *error);
    // The words of a text form: split at white space outside double quotes,
    // the quotes themselves dropped.
    static QStringList splitWords(const QString &text);
    // Reads words already split; no words asks for nothing and matches every
    // line. False, with a message for the user, when a word is not understood.
    bool parseWords(const QStringList &words, QString *error);

    // Whether a stored line (its "\n" may be included) is a match.
    bool matches(std::string_view line) const;
    bool matches(const StoredLine &line) const;
    // False when no line of the block can match.
    bool mayMatch(const BlockSummary &block) const;
    // Text every matching line holds, so lines without it are passed over
    // unparsed; empty when the query has no such text.
    std::string_view needle() const { return m_needle; }

    // The terms asked, for queries built over whole transfers. Masks hold a
    // bit per enum value; 0 asks nothing of that kind.
    uint8_t types() const { return m_types; }
    uint8_t directions() const { return m_directions; }
    uint8_t responses() const { return m_responses; }
    bool anyAddress() const { return m_anyAddress; }
    bool hasAddress(uint8_t a) const { return (m_addresses[a >> 6 & 1] >> (a & 63)) & 1u; }
    const uint64_t (&addresses() const)[2] { return m_addresses; }
    // "12 34" as stored, empty when no data= was given.
    const std::string &bytes() const { return m_bytes; }
    const std::string &label() const { return m_label; }

private:
    bool parseWord(const QString &word, QString *error);
    bool dataMatches(std::string_view data) const;
    bool labelMatches(std::string_view data) const;

    uint8_t m_types = 0; // 0: any
    uint8_t m_directions = 0;
    uint8_t m_responses = 0;
    bool m_anyAddress = true;
    uint64_t m_addresses[2] = {0, 0};
    std::string m_bytes; // "12 34": upper-case bytes as stored
    std::string m_label;
    std::string m_needle;
};
