#include "livescanner.h"

#include "korvexlog.h"
#include "liveadapter.h"
#include "sigrokcontext.h"

#include <libsigrok/libsigrok.h>

#include <sstream>

namespace korvex {

namespace {

std::set<std::string> driverNames(const std::string &list)
{
    std::set<std::string> names;
    std::stringstream stream(list);
    std::string name;
    while (std::getline(stream, name, ',')) {
        if (!name.empty())
            names.insert(name);
    }
    return names;
}

bool hasTwoLogicChannels(const sr_dev_inst *device)
{
    int logic = 0;
    for (GSList *l = sr_dev_inst_channels_get(device); l; l = l->next) {
        if (static_cast<const sr_channel *>(l->data)->type == SR_CHANNEL_LOGIC)
            ++logic;
    }
    return logic >= 2;
}

} // namespace

LiveScanner::~LiveScanner()
{
    releaseDevices();
}

void LiveScanner::releaseDevices()
{
    if (!m_sigrok)
        return;
    std::lock_guard<std::mutex> lock(m_sigrok->mutex());
    for (const sr_dev_driver *driver : m_initialised)
        sr_dev_clear(driver);
}

std::vector<std::shared_ptr<BusAdapter>> LiveScanner::scan(const std::string &drivers)
{
    std::vector<std::shared_ptr<BusAdapter>> adapters;
    if (!m_sigrok)
        m_sigrok = SigrokContext::acquire();
    if (!m_sigrok)
        return adapters;
    releaseDevices();

    const bool all = drivers == "*";
    const std::set<std::string> wanted = all ? std::set<std::string>() : driverNames(drivers);
    std::set<std::string> unknown = wanted;
    std::lock_guard<std::mutex> lock(m_sigrok->mutex());
    sr_dev_driver **list = sr_driver_list(m_sigrok->context());
    for (size_t i = 0; list && list[i]; ++i) {
        sr_dev_driver *driver = list[i];
        const std::string name = driver->name ? driver->name : "";
        unknown.erase(name);
        if (all ? name == "demo" : wanted.count(name) == 0)
            continue;
        if (m_initialised.count(driver) == 0) {
            if (sr_driver_init(m_sigrok->context(), driver) != SR_OK) {
                logf("libsigrok driver %s cannot be initialised", name.c_str());
                continue;
            }
            m_initialised.insert(driver);
        }
        GSList *found = sr_driver_scan(driver, nullptr);
        for (GSList *l = found; l; l = l->next) {
            auto *device = static_cast<sr_dev_inst *>(l->data);
            if (hasTwoLogicChannels(device))
                adapters.push_back(std::make_shared<LiveAdapter>(m_sigrok, device));
        }
        g_slist_free(found);
    }
    for (const std::string &name : unknown)
        logf("KORVEX_LIVE names %s, which is no libsigrok driver", name.c_str());
    return adapters;
}

} // namespace korvex
