// The arithmetic of the paged record table: how many rows a page holds,
// which stored lines a tick shows, when the view follows the newest lines,
// how the wheel moves the page and how wide the columns are. No widgets, so
// the window's handlers stay a few lines each.
#pragma once

#include <array>
#include <optional>

struct PageWindow
{
    int first = 0; // first stored line shown
    int count = 0; // lines shown (0 or less: an empty table)
};

class PageGeometry
{
public:
    // Height of one table row in pixels (the vertical header's section size).
    static constexpr int kRowHeight = 20;
    static constexpr int kColumnCount = 8;
    // Below this table width the column widths are left alone.
    static constexpr int kMinScaledWidth = 740;

    // Rows per page for a table view of the given height: height / 20 - 1.
    static int pageRowCount(int viewHeight);

    // The page a tick shows for scroll value v, R rows a page and L stored
    // lines: from v while a full page remains below it, else the last full page.
    static PageWindow pageWindow(int scrollValue, int rowsPerPage, int storedLines);

    // Follow the newest lines when the scroll bar is at its maximum.
    static bool autoFollowAt(int scrollValue, int scrollMaximum)
    {
        return scrollValue >= scrollMaximum;
    }

    // One line per wheel event: up (positive delta) towards 0, otherwise
    // towards the maximum.
    static int wheelValue(int scrollValue, int wheelDelta, int scrollMaximum);

    // Column widths for a table of the given width, in shares of 900; none
    // below 740 pixels.
    static std::optional<std::array<int, kColumnCount>> columnWidths(int viewWidth);
};
