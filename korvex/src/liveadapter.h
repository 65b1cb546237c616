// A logic analyzer driven by libsigrok: opened, set to the chosen sample rate
// and run continuously, its samples decoded as they arrive.
#pragma once

#include "busadapter.h"
#include "i2cdecoder.h"
#include "pacedelivery.h"

#include <memory>
#include <vector>

struct sr_dev_inst;
struct sr_session;
struct sr_datafeed_packet;

namespace korvex {

class SigrokContext;

class LiveAdapter final : public BusAdapter
{
public:
    // `device` comes from a scan of `sigrok` and lives until the driver's
    // devices are cleared, which only happens after this adapter is gone.
    LiveAdapter(std::shared_ptr<SigrokContext> sigrok, sr_dev_inst *device);
    ~LiveAdapter() override;

    std::string key() const override;
    std::string description() override;

protected:
    bool doOpen() override;
    bool prepare(const CaptureRequest &request) override;
    void run(CaptureSession &session, const CaptureRequest &request) override;

private:
    static void onPacket(const sr_dev_inst *device, const sr_datafeed_packet *packet, void *self);
    static int onTick(void *self);
    void stopSession();
    bool hasLogicChannel(int index) const;
    bool rateSupported(uint64_t rate) const;

    const std::shared_ptr<SigrokContext> m_sigrok;
    sr_dev_inst *const m_device;
    bool m_deviceOpen = false;

    // Capture thread only, while run() runs.
    CaptureSession *m_session = nullptr;
    sr_session *m_srSession = nullptr;
    I2CDecoder m_decoder;
    I2CDecoderConfig m_config;
    bool m_configured = false;
    bool m_stopIssued = false; // libsigrok's drivers must be stopped only once
    // Decodes and delivers (with the findings, when health is on) as samples come.
    std::unique_ptr<PaceDelivery> m_pace;
};

} // namespace korvex
