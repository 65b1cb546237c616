#include "view/pagegeometry.h"

#include <algorithm>
#include <vector>

int PageGeometry::pageRowCount(int viewportHeight, int rowHeight)
{
    return rowHeight > 0 ? std::max(viewportHeight / rowHeight, 0) : 0;
}

PageGeometry::Widths PageGeometry::columnWidths(int viewWidth, const Widths &current,
                                                const Widths &minimum)
{
    static constexpr int kShares[kColumnCount] = {50, 70, 70, 60, 215, 215, 70, 150};
    Widths widths = current;
    shareWidths(viewWidth, kColumnCount, kShares, minimum.data(), widths.data());
    return widths;
}

void PageGeometry::shareWidths(int viewWidth, int count, const int *shares, const int *minimum,
                               int *widths)
{
    if (viewWidth >= kMinScaledWidth) {
        // A column whose share is too narrow gets what it needs; the others
        // share what is left in their proportions, until no share is too narrow.
        std::vector<bool> atMinimum(size_t(count), false);
        bool changed = true;
        while (changed) {
            changed = false;
            long long room = viewWidth, total = 0;
            for (int k = 0; k < count; ++k) {
                if (atMinimum[size_t(k)])
                    room -= minimum[k];
                else
                    total += shares[k];
            }
            for (int k = 0; k < count; ++k) {
                if (atMinimum[size_t(k)])
                    continue;
                widths[k] = total > 0 ? int(std::max(room, 0LL) * shares[k] / total) : 0;
                if (widths[k] < minimum[k]) {
                    atMinimum[size_t(k)] = true;
                    changed = true;
                }
            }
        }
    }
    for (int k = 0; k < count; ++k)
        widths[k] = std::max(widths[k], minimum[k]);
}
