#include "pagegeometry.h"

#include <algorithm>

int PageGeometry::pageRowCount(int viewHeight)
{
    return viewHeight / kRowHeight - 1;
}

PageWindow PageGeometry::pageWindow(int scrollValue, int rowsPerPage, int storedLines)
{
    const long long v = scrollValue, r = rowsPerPage, l = storedLines;
    PageWindow w;
    if (l >= v + r)
        w.first = scrollValue;
    else if (r < l)
        w.first = int(l - r);
    else
        w.first = 0;
    w.count = std::min(rowsPerPage, storedLines);
    return w;
}

int PageGeometry::wheelValue(int scrollValue, int wheelDelta, int scrollMaximum)
{
    if (wheelDelta > 0)
        return scrollValue > 0 ? scrollValue - 1 : 0;
    return scrollValue < scrollMaximum ? scrollValue + 1 : scrollMaximum;
}

std::optional<std::array<int, PageGeometry::kColumnCount>> PageGeometry::columnWidths(int viewWidth)
{
    if (viewWidth < kMinScaledWidth)
        return std::nullopt;
    static constexpr int kShares[kColumnCount] = {50, 70, 70, 60, 215, 215, 70, 150};
    std::array<int, kColumnCount> widths;
    for (int k = 0; k < kColumnCount; ++k)
        widths[size_t(k)] = int((long long)viewWidth * kShares[k] / 900);
    return widths;
}
