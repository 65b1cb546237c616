#include "view/capturestatus.h"

#include <QLocale>

namespace {
constexpr qint64 kRateIntervalMs = 1000;
}

QString CaptureStatus::stateText(CaptureState state, const QString &detail)
{
    switch (state) {
    case CaptureState::Capturing:
        return QStringLiteral("正在捕获：") + detail;
    case CaptureState::ReplayFinished:
        return QStringLiteral("回放结束");
    case CaptureState::Failed:
        return QStringLiteral("采集中断");
    case CaptureState::Stopped:
        return QStringLiteral("已停止");
    case CaptureState::Idle:
        break;
    }
    return QStringLiteral("空闲");
}

QString CaptureStatus::captureDetail(const QString &adapter, int32_t sampleRate, int channelPair)
{
    // The adapter's description may be long: it comes last, where the bar cuts.
    return QStringLiteral("%1，D%2/D%3，%4")
        .arg(sampleRateText(sampleRate))
        .arg(channelPair * 2)
        .arg(channelPair * 2 + 1)
        .arg(adapter);
}

QString CaptureStatus::sampleRateText(int32_t hertz)
{
    // As the start dialog writes them: "2.5MHz", "500kHz".
    if (hertz >= 1000000)
        return QString::number(hertz / 1e6, 'g', 7) + QStringLiteral("MHz");
    if (hertz >= 1000)
        return QString::number(hertz / 1e3, 'g', 7) + QStringLiteral("kHz");
    return QString::number(hertz) + QStringLiteral("Hz");
}

QString CaptureStatus::rowsText(qint64 rows)
{
    return QStringLiteral("共 %1 行").arg(QLocale::c().toString(rows));
}

QString CaptureStatus::fileSizeText(qint64 bytes)
{
    if (bytes < 1024)
        return QStringLiteral("文件 %1 字节").arg(bytes);
    // Powers of 1024 with their own names (KiB, MiB, GiB), as file managers
    // that count in 1024s write them.
    return QStringLiteral("文件 ") +
           QLocale::c().formattedDataSize(bytes, 1, QLocale::DataSizeIecFormat);
}

QString CaptureStatus::rateText(qint64 rowsPerSecond)
{
    return QStringLiteral("%1 行/秒").arg(QLocale::c().toString(rowsPerSecond));
}

void CaptureStatus::restart(qint64 rows, qint64 nowMs)
{
    m_rows = rows;
    m_sinceMs = nowMs;
    m_rowsPerSecond = 0;
}

bool CaptureStatus::sample(qint64 rows, qint64 nowMs)
{
    const qint64 elapsed = nowMs - m_sinceMs;
    if (rows < m_rows) {
        restart(rows, nowMs);
        return true;
    }
    if (elapsed < kRateIntervalMs)
        return false;
    m_rowsPerSecond = (rows - m_rows) * 1000 / elapsed;
    m_rows = rows;
    m_sinceMs = nowMs;
    return true;
}
