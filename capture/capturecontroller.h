// Capture control beside the window's widgets: claims the working
// directory's capture file, starts and stops the adapter into the pipeline,
// clears the store, and tells where the capture stands (its end, a failure of
// the source or of the store) through its signals. The window wires menus
// and boxes to it; nothing here shows anything. GUI thread.
#pragma once

#include "capture/capturestate.h"

#include <QObject>
#include <QString>
#include <QVector>

#include <cstdint>
#include <memory>

class CaptureFileLock;
class CapturePipeline;

class CaptureController : public QObject
{
    Q_OBJECT

public:
    enum class Claim {
        Owned,       // this window captures into the file
        HeldByOther, // another running instance does, or no lock could be had: leave it alone
        NotUsable    // the file could not be created: nothing can be captured
    };

    explicit CaptureController(CapturePipeline &pipeline, QObject *parent = nullptr);
    // Stops a running capture, then removes the capture file if it is ours.
    ~CaptureController() override;

    // Locks the capture file at path and creates (or empties) it as the
    // pipeline's store. *why tells the user what went wrong otherwise.
    Claim claimCaptureFile(const QString &path, QString *why);

    // Starts the adapter into the pipeline: an empty text on success, else
    // the warning to show. A new capture appends after the stored rows.
    QString start(int32_t deviceIndex, int32_t channelIndex, int32_t sampleRate);
    void stop();
    bool capturing() const { return m_capturing; }
    // Empties the store, also while capturing.
    void clear();

    // Bus health for the captures started from now on: the mode the timing
    // is judged by (KORVEX_HEALTH_MODE_*, auto detects it), the addresses
    // whose transfers end with a PEC byte, and the narrowest pulse the
    // glitch filter lets through (0: off).
    void setHealthMode(int mode) { m_healthMode = mode; }
    int healthMode() const { return m_healthMode; }
    void setPecAddresses(const QVector<int> &addresses) { m_pecAddresses = addresses; }
    void setGlitchFilterNs(qint64 ns) { m_glitchFilterNs = ns; }
    const QVector<int> &pecAddresses() const { return m_pecAddresses; }
    qint64 glitchFilterNs() const { return m_glitchFilterNs; }
    // The mode the running or last capture judged timing by (auto until
    // known), -1 before any capture.
    int judgedHealthMode() const;

    CaptureState state() const { return m_state; }
    int32_t deviceIndex() const { return m_deviceIndex; }
    int32_t channelIndex() const { return m_channelIndex; }
    int32_t sampleRate() const { return m_sampleRate; }
    // What the adapter of the running or last capture is.
    QString adapterName() const;

    // On the window's tick: notices the end of the source and a failure of
    // the store, once each.
    void poll();

signals:
    void stateChanged(CaptureState state);
    // The source ended by itself (a replay's end) or broke off, with why.
    void sourceEnded(const QString &message);
    // Storing failed: nothing more is stored until Clear. message says so and why.
    void storeFailed(const QString &message);

private:
    void setState(CaptureState state);

    CapturePipeline &m_pipeline;
    // Held while this window owns the capture file; a window without it
    // never opens, empties or removes that file.
    std::unique_ptr<CaptureFileLock> m_lock;
    bool m_ownsFile = false;
    bool m_capturing = false;
    bool m_endNoticed = false; // the end of the running capture was told
    CaptureState m_state = CaptureState::Idle;
    int32_t m_deviceIndex = 0;
    int32_t m_channelIndex = 0;
    int32_t m_sampleRate = 0;
    int m_healthMode = 0;
    QVector<int> m_pecAddresses;
    qint64 m_glitchFilterNs = 0;
    bool m_started = false; // a capture was started once
};
