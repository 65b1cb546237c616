// What the start dialog needs to know about attached adapters: how many
// there are and a one-line description of each. The default catalog asks the
// adapter library; tests hand in their own.
#pragma once

#include <QString>

#include <functional>

class AdapterCatalog
{
public:
    std::function<int()> count;
    std::function<QString(int index)> describe;

    // The adapter library's scanAdapters and describeAdapter.
    static AdapterCatalog library();
};
