// Replacing the symbols on one thread while another labels rows: each row
// must be labelled by one whole list. Run under ThreadSanitizer as well.
#include "rows.h"
#include "symboldecoder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
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
        // Keeps going until the swaps are over and enough rows were seen.
        for (; !done.load() || rowsLabelled < 1000; ++rowsLabelled) {
            CaptureRow row = addrRow(0x50);
            decoder.applySymbols(row);
            if (row.data != "--" && row.data != allA && row.data != allB)
                ++mixed;
        }
    });
    for (int i = 0; i < 2000; ++i) {
        decoder.setActiveSymbols(i % 3 == 2 ? SymbolList() : (i % 3 == 0 ? first : second));
        if (i % 100 == 0) {
            EXPECT_LE(decoder.activeSymbols().size(), 50);
        }
    }
    done.store(true);
    storing.join();
    EXPECT_EQ(mixed, 0);
}
