#include "view/pagegeometry.h"

#include <algorithm>

int PageGeometry::pageRowCount(int viewportHeight, int rowHeight)
{
    return rowHeight > 0 ? std::max(viewportHeight / rowHeight, 0) : 0;
}

PageGeometry::Widths PageGeometry::columnWidths(int viewWidth, const Widths &current,
                                                const Widths &minimum)
{
    static constexpr int kShares[kColumnCount] = {50, 70, 70, 60, 215, 215, 70, 150};
    Widths widths = current;
    if (viewWidth >= kMinScaledWidth) {
        // A column whose share is too narrow gets what it needs; the others
        // share what is left in their proportions, until no share is too narrow.
        std::array<bool, kColumnCount> atMinimum{};
        bool changed = true;
        while (changed) {
            changed = false;
            long long room = viewWidth, shares = 0;
            for (int k = 0; k < kColumnCount; ++k) {
                if (atMinimum[size_t(k)])
                    room -= minimum[size_t(k)];
                else
                    shares += kShares[k];
            }
            for (int k = 0; k < kColumnCount; ++k) {
                if (atMinimum[size_t(k)])
                    continue;
                widths[size_t(k)] = shares > 0 ? int(std::max(room, 0LL) * kShares[k] / shares) : 0;
                if (widths[size_t(k)] < minimum[size_t(k)]) {
                    atMinimum[size_t(k)] = true;
                    changed = true;
                }
            }
        }
    }
    for (int k = 0; k < kColumnCount; ++k)
        widths[size_t(k)] = std::max(widths[size_t(k)], minimum[size_t(k)]);
    return widths;
}
