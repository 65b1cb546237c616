// The texts of the window's status bar and the rows-per-second figure behind
// one of them. No widgets: the window puts the texts into labels.
#pragma once

#include "capture/capturestate.h"

#include <QString>
#include <QtGlobal>

#include <cstdint>

class CaptureStatus
{
public:
    // "空闲", "正在捕获：<detail>", "回放结束", "采集中断", "已停止".
    static QString stateText(CaptureState state, const QString &detail);
    // Adapter, sample rate and channel pair of a capture: "2.5MHz，D2/D3，<adapter>".
    static QString captureDetail(const QString &adapter, int32_t sampleRate, int channelPair);
    static QString sampleRateText(int32_t hertz);
    static QString rowsText(qint64 rows);
    // "文件 512 字节", then powers of 1024: "文件 1.5 KiB", "文件 1.2 GiB".
    static QString fileSizeText(qint64 bytes);
    static QString rateText(qint64 rowsPerSecond);

    // Rows per second, measured over at least a second. restart() at the
    // start of a capture; sample() on every tick returns true when the
    // figure was updated. A store that shrank (Clear) starts the count anew.
    void restart(qint64 rows, qint64 nowMs);
    bool sample(qint64 rows, qint64 nowMs);
    qint64 rowsPerSecond() const { return m_rowsPerSecond; }

private:
    qint64 m_rows = 0;
    qint64 m_sinceMs = 0;
    qint64 m_rowsPerSecond = 0;
};
