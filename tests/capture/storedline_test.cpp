// The one-pass line splitter against a plain reading of the same rule, on
// random text whose separators fall at every place of the sixteen-byte
// steps, lines shorter and longer than a step among them.
#include "capture/storedline.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {
// The rule spelled out: seven fields split at ",", text after a seventh ","
// in no field; fewer than seven fields: none.
std::vector<std::string> plainSplit(const std::string &line, bool *extra)
{
    std::vector<std::string> fields(1);
    *extra = false;
    for (char c : line) {
        if (c == ',' && fields.size() == StoredLine::FieldCount)
            *extra = true;
        if (*extra)
            continue;
        if (c == ',')
            fields.emplace_back();
        else
            fields.back() += c;
    }
    if (fields.size() < StoredLine::FieldCount)
        fields.clear();
    return fields;
}
} // namespace

TEST(StoredLine, SplitsInOnePassAsTheRuleSays)
{
    std::mt19937 random(5);
    const char kAlphabet[] = {',', ',', 'a', 'b', ' ', '\n'};
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        const int size = int(random() % 90);
        for (int i = 0; i < size; ++i)
            text += kAlphabet[random() % (round % 2 ? 5 : 6)]; // odd rounds: one line
        std::string_view rest(text);
        size_t at = 0;
        do {
            const size_t nl = text.find('\n', at);
            const std::string line = text.substr(at, nl == std::string::npos ? nl : nl - at);
            const std::string ended = line + "\n"; // the fields point into it
            bool extra = false;
            const std::vector<std::string> want = plainSplit(line, &extra);
            StoredLine byLine, next;
            ASSERT_EQ(byLine.parse(ended), !want.empty()) << line;
            ASSERT_EQ(next.parseNext(&rest), !want.empty()) << line;
            for (int k = 0; k < StoredLine::FieldCount; ++k) {
                const std::string w = want.empty() ? "" : want[size_t(k)];
                ASSERT_EQ(byLine.field(StoredLine::Field(k)), w) << line;
                ASSERT_EQ(next.field(StoredLine::Field(k)), w) << line;
            }
            ASSERT_EQ(next.hasExtraFields(), !want.empty() && extra) << line;
            at = nl == std::string::npos ? text.size() : nl + 1;
            ASSERT_EQ(rest.data() - text.data(), ptrdiff_t(at)) << text;
        } while (at < text.size());
        EXPECT_TRUE(rest.empty());
    }
}
