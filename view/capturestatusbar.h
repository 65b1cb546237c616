// The window's status bar: the capture's state, a filter's count, the stored
// rows, the capture file's size and, while capturing, rows per second. It
// reads only the store's atomic figures, so it never waits for the store.
// GUI thread.
#pragma once

#include "capture/capturestate.h"
#include "view/capturestatus.h"

#include <QElapsedTimer>
#include <QObject>

class CapturePipeline;
class QLabel;
class QStatusBar;

class CaptureStatusBar : public QObject
{
    Q_OBJECT

public:
    // Adds its labels to bar as permanent widgets (a message shown with
    // showMessage sits beside them).
    CaptureStatusBar(QStatusBar *bar, const CapturePipeline &pipeline, QObject *parent = nullptr);

    // detail names the adapter, sample rate and channel pair while capturing.
    void setState(CaptureState state, const QString &detail = QString());
    // "k / n 行" while a filter is set, empty for none.
    void setFilterText(const QString &text);
    // Rows, size and rate from the store's figures; on every tick.
    void update();

private:
    const CapturePipeline &m_pipeline;
    CaptureState m_state = CaptureState::Idle;
    CaptureStatus m_rate;
    QElapsedTimer m_clock;
    QLabel *m_stateLabel;
    QLabel *m_filterLabel;
    QLabel *m_rowsLabel;
    QLabel *m_sizeLabel;
    QLabel *m_rateLabel;
};
