// One row of the capture: START, STOP, or an address / data byte with its
// acknowledge. Logically six strings (type, address, direction, data,
// response, timestamp text); held compactly because millions of rows a
// second pass through conversion, labelling, merging and the store.
#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <iterator>
#include <string>
#include <string_view>

class CaptureRow
{
public:
    enum Field { TypeField = 0, AddressField, DirectionField, DataField, ResponseField, TimeField };
    enum class Type : uint8_t { Start, Addr, Data, Stop };
    enum class Direction : uint8_t { None, Read, Write };
    enum class Response : uint8_t { None, Ack, Nack };

    Type type = Type::Start;
    Direction direction = Direction::None;
    Response response = Response::None;
    bool hasAddress = false; // false: the address text is "--"
    uint8_t address = 0;     // 7-bit address
    // Number of strings the row holds: 0 (empty), 4 (ADDR/DATA waiting for its
    // acknowledge) or 6 (complete).
    uint8_t fieldCount = 0;
    int64_t timeNs = 0;
    // UTF-8: "--", one hex byte, bytes joined by single spaces, then labels " [name]".
    std::string data;
    // Bus health of the events the row was made of: the severities and kinds
    // of its findings (bits of HealthFinding's enums) and how many of the
    // findings queued for the store are its own.
    uint32_t healthKinds = 0;
    uint32_t healthFindings = 0;
    uint8_t healthSeverities = 0;

    static CaptureRow start(int64_t t);
    static CaptureRow stop(int64_t t);

    // Texts of the fixed-vocabulary fields, indexed by the enums' values;
    // anything else reads as "--". Inline: every stored line is compared
    // with them.
    static constexpr std::string_view kTypeTexts[] = {"START", "ADDR", "DATA", "STOP"};
    static constexpr std::string_view kDirectionTexts[] = {"--", "READ", "WRITE"};
    static constexpr std::string_view kResponseTexts[] = {"--", "ACK", "NACK"};
    static std::string_view typeText(Type t)
    {
        return size_t(t) < std::size(kTypeTexts) ? kTypeTexts[size_t(t)] : "--";
    }
    static std::string_view directionText(Direction d)
    {
        return size_t(d) < std::size(kDirectionTexts) ? kDirectionTexts[size_t(d)] : "--";
    }
    static std::string_view responseText(Response r)
    {
        return size_t(r) < std::size(kResponseTexts) ? kResponseTexts[size_t(r)] : "--";
    }

    // a == b for the short fixed texts above, compared in place: a memcmp
    // call per field cost a filter scan more than its parsing.
    static bool sameText(std::string_view a, std::string_view b)
    {
        if (a.size() != b.size())
            return false;
        for (size_t i = 0; i < a.size(); ++i)
            if (a[i] != b[i])
                return false;
        return true;
    }

    template <typename Enum, size_t N>
    static bool fromText(const std::string_view (&texts)[N], std::string_view text, Enum *value)
    {
        for (size_t i = 0; i < N; ++i) {
            if (sameText(texts[i], text)) {
                *value = Enum(i);
                return true;
            }
        }
        return false;
    }

    // The value whose text is `text`; false when none has it ("--" is the
    // direction None).
    // Inline: a filter's scan asks for every line's type.
    static bool typeFromText(std::string_view text, Type *t)
    {
        return fromText(kTypeTexts, text, t);
    }
    static bool directionFromText(std::string_view text, Direction *d)
    {
        return fromText(kDirectionTexts, text, d);
    }
    static bool responseFromText(std::string_view text, Response *r)
    {
        return fromText(kResponseTexts, text, r);
    }
    // Two hex digits (either case) of a 7-bit address; false for anything else.
    static bool addressFromText(std::string_view text, uint8_t *address);

    std::string_view typeText() const { return typeText(type); }
    std::string_view directionText() const { return directionText(direction); }
    std::string_view responseText() const { return responseText(response); }
    // "--" or two upper-case hex digits; buf must hold 2 chars.
    std::string_view addressText(char *buf) const;

    // Appends "HH.MM.SS.mmm.uuu.nnn" for t (hours modulo 24, truncating fields).
    static void appendTimestampText(std::string &out, int64_t t);
    std::string timestampText() const;
    // The time of a "HH.MM.SS.mmm.uuu.nnn" text (fields may be shorter, as
    // typed by a user: "1.5" is 1 h 5 min); false for anything else.
    static bool timestampFromText(std::string_view text, int64_t *t);

    // The six strings (fewer while incomplete), for tests, logs and symbols.
    QString text(int field) const;
    QStringList toStringList() const;

    // Same type, address, direction and response: the rows the merge path joins.
    bool sameMergeKey(const CaptureRow &other) const
    {
        return fieldCount == other.fieldCount && type == other.type &&
               hasAddress == other.hasAddress && (!hasAddress || address == other.address) &&
               direction == other.direction && response == other.response;
    }

    bool operator==(const CaptureRow &o) const
    {
        return fieldCount == o.fieldCount && sameMergeKey(o) && timeNs == o.timeNs &&
               data == o.data;
    }
    bool operator!=(const CaptureRow &o) const { return !(*this == o); }
};
