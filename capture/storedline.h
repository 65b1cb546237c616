// The capture file's line, "number,type,address,direction,data,response,
// timestamp\n": the one place that writes a row as a line and splits a line
// into its fields. The store, the view, Save, Open and korvex-decode all go
// through it, so the format lives nowhere else.
#pragma once

#include "capture/capturerow.h"

#include <cstring>
#include <string>
#include <string_view>

class StoredLine
{
public:
    enum Field { Number = 0, Type, Address, Direction, Data, Response, Timestamp, FieldCount };

    // Splits a line at "," (a final "\n" is not part of the timestamp). False,
    // with every field empty, when it has fewer than seven fields; text after
    // a seventh "," belongs to no field (hasExtraFields()).
    bool parse(std::string_view line)
    {
        if (!line.empty() && line.back() == '\n')
            line.remove_suffix(1);
        return split(line.data(), line.data() + line.size(), false) != nullptr;
    }
    // Splits the line at the front of *text as parse() does and moves *text
    // past its "\n" (to its end when there is none): a scan over a read block
    // of lines looks at each byte once rather than finding the line's end
    // first.
    bool parseNext(std::string_view *text)
    {
        const char *const end = text->data() + text->size();
        const char *lineEnd = end;
        const bool ok = split(text->data(), end, true, &lineEnd) != nullptr;
        const char *const next = lineEnd < end ? lineEnd + 1 : end;
        *text = std::string_view(next, size_t(end - next));
        return ok;
    }
    std::string_view field(Field f) const { return m_fields[f]; }
    bool hasExtraFields() const { return m_extraFields; }

    // Whether a fixed-vocabulary field holds that value's text.
    bool is(CaptureRow::Type t) const
    {
        return CaptureRow::sameText(m_fields[Type], CaptureRow::typeText(t));
    }
    bool is(CaptureRow::Direction d) const
    {
        return CaptureRow::sameText(m_fields[Direction], CaptureRow::directionText(d));
    }
    bool is(CaptureRow::Response r) const
    {
        return CaptureRow::sameText(m_fields[Response], CaptureRow::responseText(r));
    }

    // The row this line was stored for, as far as its fields tell (Open's
    // lines were not captured here): unknown texts read as START, "--" or
    // None, an unreadable timestamp as 0. False when a fixed field held text
    // that is not one of its values.
    bool toRow(CaptureRow *row) const;

    // Appends the line of row with the given number.
    static void append(std::string &out, int number, const CaptureRow &row);
    // Appends what follows the data field: "," response "," timestamp "\n".
    // A merge rewrites only this tail of the last line.
    static void appendTail(std::string &out, const CaptureRow &row);
    // The length appendTail gives for row.
    static size_t tailLength(const CaptureRow &row);
    // Appends a line of seven field texts given in stored order.
    static void appendFields(std::string &out, const std::string_view (&fields)[FieldCount]);
    // The same line written at out, which must hold fieldsLength(fields)
    // bytes: Open writes every line of a file this way, straight into the
    // buffer it hands on.
    static size_t fieldsLength(const std::string_view (&fields)[FieldCount])
    {
        size_t size = FieldCount;
        for (const std::string_view &f : fields)
            size += f.size();
        return size;
    }
    static void writeFields(char *out, const std::string_view (&fields)[FieldCount])
    {
        for (int k = 0; k < FieldCount; ++k) {
            std::memcpy(out, fields[k].data(), fields[k].size());
            out += fields[k].size();
            *out++ = k < Timestamp ? ',' : '\n';
        }
    }

private:
    // Splits [s, e), up to the first "\n" when atNewline (stored in
    // *lineEnd, e when there is none); null when the fields are too few.
    const char *split(const char *s, const char *e, bool atNewline, const char **lineEnd = nullptr);

    std::string_view m_fields[FieldCount];
    bool m_extraFields = false;
};
