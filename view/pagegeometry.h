// The arithmetic of the paged record table that depends on its size: how
// many rows a page holds and how wide the columns are. No widgets, so the
// window's handlers stay a few lines each.
#pragma once

#include "view/recordcolumn.h"

#include <array>

class PageGeometry
{
public:
    // Height of one table row in pixels (the vertical header's section size).
    static constexpr int kRowHeight = 20;
    static constexpr int kColumnCount = RecordColumn::Count;
    using Widths = std::array<int, kColumnCount>;
    // Below this table width the proportional widths are not applied.
    static constexpr int kMinScaledWidth = 740;

    // Whole rows of rowHeight pixels that fit in a viewport of that height:
    // a row cut at the bottom would hide the newest row while following.
    static int pageRowCount(int viewportHeight, int rowHeight);

    // Column widths for a table viewport of the given width: shares of 900
    // from 740 pixels on, else the current widths; never below what a
    // column's content needs (the table then scrolls sideways).
    static Widths columnWidths(int viewWidth, const Widths &current, const Widths &minimum);
    // The same for any table: count columns sharing the width by shares
    // (of their sum); widths holds the current widths and gets the new ones.
    static void shareWidths(int viewWidth, int count, const int *shares, const int *minimum,
                            int *widths);
};
