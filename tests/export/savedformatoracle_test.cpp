// Save and Open against the slow QString oracle on many generated lines, so
// that the byte-level conversions cannot drift from it unnoticed.
#include "export/savedcapturereader.h"
#include "export/savedcapturewriter.h"
#include "savedformatoracle.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

// The pieces of a field, "~" apart: vocabulary, separators, "0x" forms, white
// space of every width, HTML specials, UTF-8, Latin-1 and broken UTF-8, NUL.
const char kPieceText[] =
    "DATA~ADDR~START~12~A5~[Temp]~ ~  ~,~|~0x~00xx~x~0~\t~\r~\v~\n~\r\n~<~>~&~\"~\xC3\xA9~\xE9~"
    "\xE6\xB8\xA9~\xC2\xA0~\xC2\x85~\x85~\xA0~\xE2\x80\x83~\xE3\x80\x80~\xEF\xBB\xBF~\xC3~\x80~"
    "\xF0\x9F\x98\x80~\xED\xA0\x80~\0~--~ACK~00.00.01.234.567.890~123456789012345678901234";

QByteArray generatedLine(std::mt19937 &rng, char sep)
{
    static const QList<QByteArray> pieces =
        QByteArray(kPieceText, int(sizeof kPieceText) - 1).split('~');
    std::uniform_int_distribution<int> pick(0, pieces.size() - 1);
    std::uniform_int_distribution<int> count(0, 3);
    QByteArray line;
    for (int f = 5 + count(rng); f > 0; --f) {
        for (int n = count(rng); n > 0; --n)
            line += pieces[pick(rng)];
        if (f > 1)
            line += sep;
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
        for (auto f : {SavedFormat::Text, SavedFormat::Csv, SavedFormat::Html, SavedFormat::None}) {
            std::string got = "before", want = got;
            ASSERT_EQ(SavedCaptureWriter::appendRow(got, f, stored.constData(), stored.size()),
                      oracle::savedRow(want, f, stored));
            ASSERT_EQ(got, want) << int(f) << ' ' << stored.toStdString();
        }
        for (SavedFormat f : {SavedFormat::Text, SavedFormat::Csv}) {
            const QByteArray saved = generatedLine(rng, f == SavedFormat::Text ? '|' : ',');
            QByteArray got = "before", want = got;
            ASSERT_EQ(SavedCaptureReader::convertLine(got, f, saved.constData(), saved.size()),
                      oracle::storedLine(want, f, saved));
            ASSERT_EQ(got.toStdString(), want.toStdString())
                << int(f) << ' ' << saved.toStdString();
        }
    }
}
