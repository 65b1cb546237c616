// Replacing the symbols on one thread while another labels rows: each row
// must be labelled by one whole list. Run under ThreadSanitizer as well.
#include "rows.h"
#include "symboldecoder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

TEST(LabellingConcurrency, SwappedListsNeverMixWithinARow)
{
    SymbolDecoder decoder;
    SymbolList first, second;
    std::string allA = "--", allB = "--";
    for (int i = 0; i < 50; ++i) {
        first << SymbolDef("a", "ADDR", "50", "-", "0", "WRITE");
        second << SymbolDef("b", "ADDR", "50", "-", "0", "WRITE");
        allA += " [a]";
        allB += " [b]";
    }
    std::atomic<bool> done{false};
    int rowsLabelled = 0, mixed = 0; // storing thread only until joined
    std::thread storing([&] {
        for (; !done.load() || rowsLabelled < 1000; ++rowsLabelled) {
            CaptureRow r = row(0x50);
            decoder.applySymbols(r);
            mixed += r.data != "--" && r.data != allA && r.data != allB;
        }
    });
    for (int i = 0; i < 2000; ++i)
        decoder.setActiveSymbols(i % 3 == 2 ? SymbolList() : (i % 3 == 0 ? first : second));
    done.store(true);
    storing.join();
    EXPECT_EQ(mixed, 0);
}
