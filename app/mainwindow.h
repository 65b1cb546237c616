// The sniffer's single window: wires the actions, the refresh tick and the
// dialogs to the capture pipeline, the record view, the protocol symbols and
// the save / open code. The logic lives in those libraries; the slots here
// only connect it to the widgets.
#pragma once

#include "capturestatus.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <QStringList>

#include <cstdint>
#include <memory>

class CaptureFileLock;
class AddressMapDock;
class AllRows;
class BlockIndex;
class FindBar;
class PageFiller;
class QAction;
class QHelpEvent;
class QKeyEvent;
class QLabel;
class QStandardItemModel;
class QThread;
class StoreResetFlag;
class TableNavigator;
class VisibleRows;

namespace Ui {
class MainWindow;
}

class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // The rows the table walks through (a filter's); nullptr for every
    // stored line. Not owned: the caller keeps them alive until replaced.
    // The current stored line stays current if visible, else the next one.
    void setVisibleRows(VisibleRows *rows);
    // The current row's stored line, -1 when no row is current.
    qint64 currentStoredLine() const;
    // Makes the row of that stored line (or the next visible one) current,
    // shown and highlighted; the table stops following.
    void showStoredLine(qint64 line);
    // Goes to a typed row number or timestamp ("HH.MM.SS.mmm.uuu.nnn", or
    // shorter): the first row at or after it. False, after a warning, for
    // any other text.
    bool goToText(const QString &text);

    // The status bar's capture state; Capturing names the adapter, sample
    // rate and channel pair of the capture started last.
    void setCaptureState(CaptureState state);
    CaptureState captureState() const { return m_captureState; }

    // Find, Find next, Find previous: in the menu with their keys, for the
    // find bar to connect to.
    QAction *findAction() const { return m_findAction; }
    QAction *findNextAction() const { return m_findNextAction; }
    QAction *findPreviousAction() const { return m_findPreviousAction; }

public slots:
    // "k / n 行" while a filter is set, empty for none.
    void setFilterStatus(const QString &text);
    // Asks for a row number or timestamp and goes there (Ctrl+G).
    void goTo();

private slots:
    void on_actionStart_triggered();
    void on_actionStop_triggered();
    void on_verticalScrollBar_valueChanged(int value);
    void on_actionClear_triggered();
    void on_actionMerge_triggered(bool checked);
    void on_actionProtocolConfig_triggered();
    void on_actionDecode_triggered(bool checked);
    void on_actionHelp_triggered();
    void on_actionAbout_triggered();
    void on_actionSaveFile_triggered();
    void on_actionOpenFile_triggered();
    void on_actionExit_triggered();

protected:
    void timerEvent(QTimerEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void setUpShortcuts();
    void setUpStatusBar();
    void setUpFindBar();
    // After Clear or Open: back to following, nothing current, page refilled.
    void forgetEmptiedStore();
    // Page size, position, scroll bar, page fill and highlight, now.
    void refreshPage();
    void updateStatus();
    void applyColumnWidths(int viewWidth);
    bool navigationKey(const QKeyEvent *event);
    void wheelStep(int angleDelta);
    bool showCellToolTip(const QHelpEvent *event);
    void setCapturing(bool capturing);
    bool storeUsable() const;
    void startRefreshTimer();
    void stopRefreshTimer();
    void warn(const QString &text);
    QString contactText() const;
    void showCaptureEnd();

    Ui::MainWindow *m_ui;
    int32_t m_deviceIndex = 0;
    int32_t m_channelIndex = 0;
    int m_refreshTimerId = 0;
    QStandardItemModel *m_tableModel = nullptr;
    QStringList m_headerLabels;
    int32_t m_sampleRate = 0;
    // The page fill's reusable read buffer and the page it shows.
    std::unique_ptr<PageFiller> m_pageFiller;
    // Held while this window owns the working directory's capture file; a
    // window without it never opens, empties or removes that file.
    std::unique_ptr<CaptureFileLock> m_captureFileLock;
    bool m_ownsCaptureFile = false;
    bool m_captureEndShown = false; // the end of the running capture was told
    std::unique_ptr<AllRows> m_allRows;
    std::unique_ptr<TableNavigator> m_navigator; // holds whether the view follows
    std::unique_ptr<StoreResetFlag> m_storeReset;
    std::unique_ptr<BlockIndex> m_blockIndex; // the search's per-block summaries
    FindBar *m_findBar = nullptr;             // child of the central widget
    AddressMapDock *m_addressMap = nullptr;   // a dock of the window
    bool m_addressMapPlaced = false;          // sized beside the table at first show
    // showStoredLine's line while the rows shown do not hold it yet, and the
    // line that was current instead (-1: none).
    qint64 m_wantedLine = -1;
    qint64 m_wantedShownAs = -1;
    QThread *m_symbolLoad = nullptr; // reading the symbol file for Decode, while it runs
    bool m_settingScrollBar = false; // our own changes are not the user's scrolling

    QAction *m_findAction = nullptr;
    QAction *m_findNextAction = nullptr;
    QAction *m_findPreviousAction = nullptr;
    QAction *m_goToAction = nullptr;

    CaptureState m_captureState = CaptureState::Idle;
    CaptureStatus m_rate;
    QElapsedTimer m_clock;
    QLabel *m_stateLabel = nullptr;
    QLabel *m_filterLabel = nullptr;
    QLabel *m_rowsLabel = nullptr;
    QLabel *m_sizeLabel = nullptr;
    QLabel *m_rateLabel = nullptr;
};
