// Save and Open against the slow QString oracle on many generated lines, so
// that the byte-level conversions cannot drift from it unnoticed.
#include "savedcapturereader.h"
#include "savedcapturewriter.h"
#include "savedformatoracle.h"

#include "bytesprinter.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <string_view>

namespace {

// Pieces a field is made of: stored and saved vocabulary, the separators,
// "0x" in its overlapping forms, white space ASCII, Latin-1 and wider, HTML
// specials, UTF-8 and Latin-1 letters, a byte-order mark, broken UTF-8,
// a character outside the BMP, NUL and line ends.
const std::string_view kPieces[] = {"DATA",
                                    "ADDR",
                                    "START",
                                    "12",
                                    "A5",
                                    "[Temp]",
                                    " ",
                                    "  ",
                                    ",",
                                    "|",
                                    "0x",
                                    "00xx",
                                    "x",
                                    "0",
                                    "\t",
                                    "\r",
                                    "\v",
                                    "\n",
                                    "\r\n",
                                    "<",
                                    ">",
                                    "&",
                                    "\"",
                                    "\xC3\xA9",
                                    "\xE9",
                                    "\xE6\xB8\xA9",
                                    "\xC2\xA0",
                                    "\xC2\x85",
                                    "\x85",
                                    "\xA0",
                                    "\xE2\x80\x83",
                                    "\xE3\x80\x80",
                                    "\xEF\xBB\xBF",
                                    "\xC3",
                                    "\x80",
                                    "\xF0\x9F\x98\x80",
                                    "\xED\xA0\x80",
                                    std::string_view("\0", 1),
                                    "--",
                                    "ACK",
                                    "00.00.01.234.567.890",
                                    "123456789012345678901234"};

QByteArray generatedLine(std::mt19937 &rng, char sep)
{
    std::uniform_int_distribution<int> pick(0, int(std::size(kPieces)) - 1);
    std::uniform_int_distribution<int> count(0, 3);
    const int fields = 5 + count(rng);
    QByteArray line;
    for (int f = 0; f < fields; ++f) {
        if (f > 0)
            line += sep;
        for (int n = count(rng); n > 0; --n) {
            const std::string_view piece = kPieces[pick(rng)];
            line.append(piece.data(), int(piece.size()));
        }
    }
    if (rng() % 2)
        line += sep == '|' ? "\r\n" : "\n";
    return line;
}

} // namespace

TEST(SavedFormatOracle, SaveAndOpenAgreeWithTheOracle)
{
    std::mt19937 rng(2026);
    for (int i = 0; i < 20000; ++i) {
        const QByteArray stored = generatedLine(rng, ',');
        for (SavedFormat f :
             {SavedFormat::Text, SavedFormat::Csv, SavedFormat::Html, SavedFormat::None}) {
            std::string got = "before";
            std::string want = "before";
            const bool ok =
                SavedCaptureWriter::appendRow(got, f, stored.constData(), stored.size());
            ASSERT_EQ(ok, oracle::savedRow(want, f, stored))
                << int(f) << ' ' << stored.toStdString();
            ASSERT_EQ(got, want) << int(f) << ' ' << stored.toStdString();
        }
        for (SavedFormat f : {SavedFormat::Text, SavedFormat::Csv}) {
            const QByteArray saved = generatedLine(rng, f == SavedFormat::Text ? '|' : ',');
            QByteArray got = "before";
            QByteArray want = "before";
            const bool ok =
                SavedCaptureReader::convertLine(got, f, saved.constData(), saved.size());
            ASSERT_EQ(ok, oracle::storedLine(want, f, saved))
                << int(f) << ' ' << saved.toStdString();
            ASSERT_EQ(got, want) << int(f) << ' ' << saved.toStdString();
        }
    }
}
