#include "liveadapter.h"

#include "korvexlog.h"
#include "sigrokcontext.h"
#include "threadmaincontext.h"

#include <libsigrok/libsigrok.h>

namespace korvex {

namespace {

std::string text(const char *s)
{
    return s ? s : "";
}

} // namespace

LiveAdapter::LiveAdapter(std::shared_ptr<SigrokContext> sigrok, sr_dev_inst *device)
    : m_sigrok(std::move(sigrok)), m_device(device)
{
}

LiveAdapter::~LiveAdapter()
{
    stopForDestruction();
    if (m_deviceOpen) {
        std::lock_guard<std::mutex> lock(m_sigrok->mutex());
        sr_dev_close(m_device);
    }
}

std::string LiveAdapter::key() const
{
    const sr_dev_driver *driver = sr_dev_inst_driver_get(m_device);
    return "live:" + text(driver ? driver->name : nullptr) + ":" +
           text(sr_dev_inst_connid_get(m_device)) + ":" + text(sr_dev_inst_vendor_get(m_device)) +
           ":" + text(sr_dev_inst_model_get(m_device)) + ":" +
           text(sr_dev_inst_sernum_get(m_device));
}

std::string LiveAdapter::description()
{
    const sr_dev_driver *driver = sr_dev_inst_driver_get(m_device);
    std::string name = text(sr_dev_inst_vendor_get(m_device));
    const std::string model = text(sr_dev_inst_model_get(m_device));
    if (!model.empty())
        name += (name.empty() ? "" : " ") + model;
    std::string where = text(driver ? driver->name : nullptr);
    const std::string conn = text(sr_dev_inst_connid_get(m_device));
    if (!conn.empty())
        where += ", " + conn;
    return "Live: " + (name.empty() ? std::string("logic analyzer") : name) + " (" + where + ")";
}

bool LiveAdapter::doOpen()
{
    std::lock_guard<std::mutex> lock(m_sigrok->mutex());
    if (!m_deviceOpen) {
        const int rc = sr_dev_open(m_device);
        if (rc != SR_OK) {
            logf("cannot open %s: %s (for USB analyzers, check the device's access rights)",
                 description().c_str(), sr_strerror(rc));
            return false;
        }
        m_deviceOpen = true;
    }
    return true;
}

bool LiveAdapter::hasLogicChannel(int index) const
{
    for (GSList *l = sr_dev_inst_channels_get(m_device); l; l = l->next) {
        const auto *channel = static_cast<const sr_channel *>(l->data);
        if (channel->type == SR_CHANNEL_LOGIC && channel->index == index)
            return true;
    }
    return false;
}

bool LiveAdapter::rateSupported(uint64_t rate) const
{
    GVariant *list = nullptr;
    if (sr_config_list(sr_dev_inst_driver_get(m_device), m_device, nullptr, SR_CONF_SAMPLERATE,
                       &list) != SR_OK ||
        !list)
        return true; // no list: the device itself judges when the rate is set
    bool supported = false;
    if (GVariant *rates = g_variant_lookup_value(list, "samplerates", G_VARIANT_TYPE("at"))) {
        gsize n = 0;
        const auto *values =
            static_cast<const guint64 *>(g_variant_get_fixed_array(rates, &n, sizeof(guint64)));
        for (gsize i = 0; i < n && !supported; ++i)
            supported = values[i] == rate;
        g_variant_unref(rates);
    } else if (GVariant *steps =
                   g_variant_lookup_value(list, "samplerate-steps", G_VARIANT_TYPE("at"))) {
        gsize n = 0;
        const auto *values =
            static_cast<const guint64 *>(g_variant_get_fixed_array(steps, &n, sizeof(guint64)));
        if (n == 3) {
            const guint64 low = values[0], high = values[1], step = values[2];
            supported = rate >= low && rate <= high && (step == 0 || (rate - low) % step == 0);
        }
        g_variant_unref(steps);
    } else {
        supported = true;
    }
    g_variant_unref(list);
    return supported;
}

bool LiveAdapter::prepare(const CaptureRequest &request)
{
    const int sda = 2 * request.channelPair;
    if (!hasLogicChannel(sda) || !hasLogicChannel(sda + 1)) {
        logf("adapter %d: %s has no logic channels D%d/D%d", request.index, description().c_str(),
             sda, sda + 1);
        return false;
    }
    std::lock_guard<std::mutex> lock(m_sigrok->mutex());
    const auto rate = static_cast<uint64_t>(request.sampleRate);
    if (!rateSupported(rate)) {
        logf("adapter %d: %s does not sample at %d Hz", request.index, description().c_str(),
             request.sampleRate);
        return false;
    }
    const int rc = sr_config_set(m_device, nullptr, SR_CONF_SAMPLERATE, g_variant_new_uint64(rate));
    if (rc != SR_OK) {
        logf("adapter %d: %s refuses the sample rate %d Hz: %s", request.index,
             description().c_str(), request.sampleRate, sr_strerror(rc));
        return false;
    }
    m_config = I2CDecoderConfig();
    m_config.sdaChannel = static_cast<unsigned>(sda);
    m_config.sclChannel = static_cast<unsigned>(sda + 1);
    m_config.sampleRate = rate;
    return true;
}

void LiveAdapter::run(CaptureSession &session, const CaptureRequest &request)
{
    // The session runs in this thread's own main context, never the GUI's.
    ThreadMainContext mainContext;
    m_session = &session;
    m_configured = false;
    m_stopIssued = false;
    m_config = PaceDelivery::withHealth(m_config, request.health);
    m_pace = std::make_unique<PaceDelivery>(session, m_decoder, false, request.health);
    int rc;
    {
        std::lock_guard<std::mutex> lock(m_sigrok->mutex());
        rc = sr_session_new(m_sigrok->context(), &m_srSession);
        if (rc == SR_OK)
            rc = sr_session_dev_add(m_srSession, m_device);
        if (rc == SR_OK)
            rc = sr_session_datafeed_callback_add(m_srSession, &LiveAdapter::onPacket, this);
        if (rc == SR_OK)
            rc = sr_session_start(m_srSession);
        if (rc != SR_OK) {
            logf("adapter %d: %s does not start: %s", request.index, description().c_str(),
                 sr_strerror(rc));
            if (m_srSession)
                sr_session_destroy(m_srSession);
            m_srSession = nullptr;
            m_session = nullptr;
            m_pace.reset();
            return;
        }
    }
    // A tick notices a stop even when the device sends nothing.
    GSource *tick = g_timeout_source_new(20);
    g_source_set_callback(tick, &LiveAdapter::onTick, this, nullptr);
    g_source_attach(tick, mainContext.get());
    session.started();

    rc = sr_session_run(m_srSession);
    if (rc != SR_OK && !session.stopRequested())
        logf("adapter %d: capture from %s ended: %s", request.index, description().c_str(),
             sr_strerror(rc));
    else if (!session.stopRequested())
        logf("adapter %d: %s stopped sending", request.index, description().c_str());
    if (!session.stopRequested())
        session.ended(lastThreadLogLine(), rc != SR_OK);

    g_source_destroy(tick);
    g_source_unref(tick);
    {
        std::lock_guard<std::mutex> lock(m_sigrok->mutex());
        sr_session_destroy(m_srSession);
    }
    m_srSession = nullptr;
    m_session = nullptr;
    // What the glitch filter and the health checker still hold goes out now.
    if (m_configured)
        m_pace->finish();
    m_pace.reset();
    // The capture lasts until stop, even after the device went quiet.
    while (session.waitUntil(CaptureSession::Clock::now() + std::chrono::hours(1))) {
    }
}

void LiveAdapter::stopSession()
{
    if (!m_stopIssued && m_srSession) {
        m_stopIssued = true;
        sr_session_stop(m_srSession);
    }
}

int LiveAdapter::onTick(void *self)
{
    auto *adapter = static_cast<LiveAdapter *>(self);
    if (adapter->m_session && adapter->m_session->stopRequested()) {
        adapter->stopSession();
        return G_SOURCE_REMOVE;
    }
    return G_SOURCE_CONTINUE;
}

void LiveAdapter::onPacket(const sr_dev_inst *, const sr_datafeed_packet *packet, void *self)
{
    auto *adapter = static_cast<LiveAdapter *>(self);
    CaptureSession *session = adapter->m_session;
    if (!session || adapter->m_stopIssued || packet->type != SR_DF_LOGIC)
        return;
    if (session->stopRequested()) {
        adapter->stopSession();
        return;
    }
    const auto *logic = static_cast<const sr_datafeed_logic *>(packet->payload);
    if (!logic || !logic->data || logic->length == 0)
        return;
    if (!adapter->m_configured) {
        adapter->m_config.unitSize = logic->unitsize;
        std::string error;
        if (!adapter->m_decoder.configure(adapter->m_config, &error)) {
            logf("live capture: %s", error.c_str());
            adapter->stopSession();
            return;
        }
        adapter->m_configured = true;
    } else if (logic->unitsize != adapter->m_config.unitSize) {
        return; // libsigrok keeps the unit size within a session
    }
    adapter->m_pace->feed(static_cast<const uint8_t *>(logic->data),
                          static_cast<size_t>(logic->length));
}

} // namespace korvex
