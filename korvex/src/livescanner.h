// Finds the logic analyzers that libsigrok's drivers see.
#pragma once

#include "noncopyable.h"

#include <memory>
#include <set>
#include <string>
#include <vector>

struct sr_dev_driver;

namespace korvex {

class BusAdapter;
class SigrokContext;

class LiveScanner : NonCopyable
{
public:
    LiveScanner() = default;
    ~LiveScanner();

    // One adapter per logic analyzer found by the drivers `drivers` names:
    // "*" for every driver but the demo device's, otherwise a comma-separated
    // list of driver names. The adapters of the previous scan must all have
    // been destroyed, since their devices are released here.
    std::vector<std::shared_ptr<BusAdapter>> scan(const std::string &drivers);

private:
    void releaseDevices();

    std::shared_ptr<SigrokContext> m_sigrok;
    std::set<const sr_dev_driver *> m_initialised;
};

} // namespace korvex
