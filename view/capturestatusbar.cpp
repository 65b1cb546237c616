#include "view/capturestatusbar.h"

#include "capture/capturepipeline.h"

#include <QLabel>
#include <QStatusBar>

CaptureStatusBar::CaptureStatusBar(QStatusBar *bar, const CapturePipeline &pipeline,
                                   QObject *parent)
    : QObject(parent), m_pipeline(pipeline), m_stateLabel(new QLabel(bar)),
      m_filterLabel(new QLabel(bar)), m_rowsLabel(new QLabel(bar)), m_sizeLabel(new QLabel(bar)),
      m_rateLabel(new QLabel(bar))
{
    for (QLabel *label : {m_stateLabel, m_filterLabel, m_rowsLabel, m_sizeLabel, m_rateLabel})
        bar->addPermanentWidget(label);
    // A long adapter description must not widen the window: it is cut, and
    // whole in its tool tip.
    m_stateLabel->setMinimumWidth(60);
    m_filterLabel->hide();
    m_rateLabel->hide();
    m_clock.start();
    setState(CaptureState::Idle);
    update();
}

void CaptureStatusBar::setState(CaptureState state, const QString &detail)
{
    m_state = state;
    if (state == CaptureState::Capturing) {
        m_rate.restart(m_pipeline.storedLineCount(), m_clock.elapsed());
        m_rateLabel->setText(CaptureStatus::rateText(0));
    }
    m_rateLabel->setVisible(state == CaptureState::Capturing);
    m_stateLabel->setText(CaptureStatus::stateText(state, detail));
    m_stateLabel->setToolTip(m_stateLabel->text());
}

void CaptureStatusBar::setFilterText(const QString &text)
{
    m_filterLabel->setText(text);
    m_filterLabel->setVisible(!text.isEmpty());
}

void CaptureStatusBar::update()
{
    const int stored = m_pipeline.storedLineCount();
    const QString rows = CaptureStatus::rowsText(stored);
    if (m_rowsLabel->text() != rows)
        m_rowsLabel->setText(rows);
    const QString size = CaptureStatus::fileSizeText(m_pipeline.storedBytes());
    if (m_sizeLabel->text() != size)
        m_sizeLabel->setText(size);
    if (m_state == CaptureState::Capturing && m_rate.sample(stored, m_clock.elapsed()))
        m_rateLabel->setText(CaptureStatus::rateText(m_rate.rowsPerSecond()));
}
