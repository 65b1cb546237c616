#include "capture/capturecontroller.h"

#include "capture/capturefilelock.h"
#include "capture/capturepipeline.h"

#include <QDebug>
#include <QFileInfo>

#include <korvex/korvex.h>
#include <korvex/korvexhealth.h>

namespace {
// The adapter library's reason for its last failure on this thread, as a
// second line of a warning ("" when it gave none).
QString adapterFailureReason()
{
    char why[512] = {};
    lastAdapterError(why, sizeof why);
    return why[0] ? QStringLiteral("\n") + QString::fromLocal8Bit(why) : QString();
}
} // namespace

CaptureController::CaptureController(CapturePipeline &pipeline, QObject *parent)
    : QObject(parent), m_pipeline(pipeline)
{
}

CaptureController::~CaptureController()
{
    if (m_capturing)
        stop();
    if (m_ownsFile)
        m_pipeline.leaseStore()->closeAndRemove();
    m_lock.reset(); // only once the file is gone
}

CaptureController::Claim CaptureController::claimCaptureFile(const QString &path, QString *why)
{
    m_lock = std::make_unique<CaptureFileLock>(path);
    if (!m_lock->tryLock()) {
        // Another instance captures into this directory's file, or nothing
        // could keep one out: leave the file alone.
        *why = m_lock->message() + QStringLiteral("\n本窗口将关闭。");
        m_lock.reset();
        return Claim::HeldByOther;
    }
    m_ownsFile = true;
    m_pipeline.setHealthFolder(QFileInfo(path).absolutePath());
    StoreLease store = m_pipeline.leaseStore();
    if (!store->open(path)) {
        *why = QStringLiteral("无法创建临时文件 %1：%2\n捕获的数据将无法保存。")
                   .arg(path, store->errorString());
        return Claim::NotUsable;
    }
    return Claim::Owned;
}

QString CaptureController::start(int32_t deviceIndex, int32_t channelIndex, int32_t sampleRate)
{
    qDebug() << "SampleRate = " << sampleRate;
    if (scanAdapters(nullptr) < 1)
        return QStringLiteral("无设备连接！");
    if (!openAdapter(deviceIndex))
        return QStringLiteral("打开设备失败！") + adapterFailureReason();
    const CaptureStore &store = m_pipeline.store();
    if (!store.isOpen() || store.failed()) {
        // Capturing into a store that cannot be written would lose every row.
        return QStringLiteral("临时文件 I2CDataTemp.dat 不可用，无法保存捕获的数据。");
    }
    CapturePipeline::setCallbackTarget(&m_pipeline);
    // Times go on rising after the rows stored so far, so Go to a time finds them.
    m_pipeline.continueTimesAfterStoredRows();
    KorvexHealthOptions health;
    busHealthDefaults(&health);
    health.mode = m_healthMode;
    health.glitchFilterNs = m_glitchFilterNs;
    for (const int a : m_pecAddresses)
        if (a >= 0 && a < 128)
            health.pecAddress[a] = 1;
    // Health is an addition: a capture goes ahead without it, and says why in the log.
    if (enableBusHealth(deviceIndex, &health, onKorvexFindings, &m_pipeline) != 0)
        qWarning().noquote() << "bus health off:" << adapterFailureReason().trimmed();
    m_pipeline.beginCapture();
    if (startI2CCapture(deviceIndex, channelIndex, sampleRate, onI2CEvents) != 0)
        return QStringLiteral("启动设备失败！") + adapterFailureReason();
    m_deviceIndex = deviceIndex;
    m_channelIndex = channelIndex;
    m_sampleRate = sampleRate;
    m_capturing = true;
    m_started = true;
    m_endNoticed = false;
    setState(CaptureState::Capturing);
    return QString();
}

void CaptureController::stop()
{
    // No callback comes once the stop returns.
    stopI2CCapture(m_deviceIndex);
    // Findings of the capture's end that no row took land on the newest one.
    m_pipeline.endCapture();
    m_capturing = false;
    setState(CaptureState::Stopped);
}

void CaptureController::clear()
{
    // Held for the whole reset so the callback keeps its rows instead of
    // writing into a half-emptied store.
    m_pipeline.leaseStore()->resetStore();
}

void CaptureController::poll()
{
    QString why;
    if (m_pipeline.takeStoreFailureNotice(&why))
        emit storeFailed(
            QStringLiteral("写入临时文件 I2CDataTemp.dat "
                           "失败：%1\n已停止保存新的数据，已保存的数据仍可查看和保存。")
                .arg(why));
    if (!m_capturing || m_endNoticed)
        return;
    char text[512] = {};
    const int32_t source = ::captureState(m_deviceIndex, text, sizeof text);
    if (source != KORVEX_CAPTURE_FINISHED && source != KORVEX_CAPTURE_FAILED)
        return;
    m_endNoticed = true;
    // The capture stays on until Stop; the user learns that nothing more will come.
    setState(source == KORVEX_CAPTURE_FINISHED ? CaptureState::ReplayFinished
                                               : CaptureState::Failed);
    emit sourceEnded((source == KORVEX_CAPTURE_FINISHED
                          ? QStringLiteral("回放已结束，不会再有新数据：%1")
                          : QStringLiteral("采集已中断：%1"))
                         .arg(QString::fromLocal8Bit(text)));
}

int CaptureController::judgedHealthMode() const
{
    return m_started ? busHealthMode(m_deviceIndex) : -1;
}

QString CaptureController::adapterName() const
{
    char name[128] = {};
    describeAdapter(m_deviceIndex, name, int32_t(sizeof name));
    return QString::fromUtf8(name);
}

void CaptureController::setState(CaptureState state)
{
    m_state = state;
    emit stateChanged(state);
}
