// The sniffer's single window: wires the form's actions, the refresh tick
// and the dialogs to the objects that do the work — the capture controller,
// the record table, the find bar, the address map, the protocol symbols and
// the save / open code. It owns none of the logic.
#pragma once

#include "capture/capturestate.h"

#include <QMainWindow>

#include <memory>

class AddressMapDock;
class BlockIndex;
class CaptureController;
class CapturePipeline;
class CaptureStatusBar;
class DecodeCheckpoints;
class FindBar;
class HealthDock;
class ProfileRegistry;
class QAction;
class RecordTable;
class SymbolLabeler;
class SymbolLoader;
class TransactionDecoration;
class TransactionIndex;

namespace Ui {
class MainWindow;
}

class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    // The pipeline and the labeler outlive the window; the window captures
    // into the working directory's capture file through them.
    MainWindow(CapturePipeline &pipeline, SymbolLabeler &labeler, QWidget *parent = nullptr);
    ~MainWindow() override;

    CaptureController &captureController() const { return *m_capture; }

    // The current row's stored line, -1 when no row is current.
    qint64 currentStoredLine() const;
    // Makes the row of that stored line (or the next visible one) current.
    void showStoredLine(qint64 line);
    // Go to a typed row number or timestamp ("HH.MM.SS.mmm.uuu.nnn", or
    // shorter): the first row at or after it, found beside the GUI thread.
    // False, after a warning, for any other text.
    bool goToText(const QString &text);

    // 操作 → 地址映射 (Ctrl+M): shows and hides the address map.
    QAction *addressMapAction() const { return m_addressMapAction; }
    // 操作 → 总线健康 (Ctrl+H): the bus health panel.
    HealthDock *healthDock() const { return m_healthDock; }
    // 操作 → 事务视图 (Ctrl+T): the table shows transactions while checked.
    QAction *transactionViewAction() const { return m_transactionViewAction; }

public slots:
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

private:
    void setUpShortcuts();
    void setUpFindBar();
    void setUpAddressMap();
    void setUpHealthDock();
    void setUpTransactionView();
    // Switches the table (and find and filter) between rows and transactions.
    void showTransactions(bool on);
    void exportTransactions();
    void claimCaptureFile();
    void onStateChanged(CaptureState state);
    void onSymbolsLoaded(bool ok, const QString &why);
    void onSeekFinished(qint64 line, qint64 storedLines, int serial);
    void setCapturing(bool capturing);
    void startRefreshTimer();
    void stopRefreshTimer();
    void warn(const QString &text); // a modal 警告 box

    Ui::MainWindow *m_ui;
    CapturePipeline &m_pipeline;
    SymbolLabeler &m_labeler;
    int m_refreshTimerId = 0;
    CaptureController *m_capture = nullptr;               // child
    RecordTable *m_table = nullptr;                       // child; drives the form's table
    CaptureStatusBar *m_status = nullptr;                 // child; fills the form's status bar
    std::unique_ptr<BlockIndex> m_blockIndex;             // the search's per-block summaries
    std::unique_ptr<TransactionIndex> m_transactionIndex; // where each transaction begins
    // The devices' pointers every few transactions, for the 解码 column and
    // reg=; computed once the transaction view is first shown.
    std::unique_ptr<DecodeCheckpoints> m_checkpoints;
    std::unique_ptr<TransactionDecoration> m_findDecoration; // cloned by find and filter
    FindBar *m_findBar = nullptr;                            // child of the central widget
    AddressMapDock *m_addressMap = nullptr;                  // a dock of the window
    HealthDock *m_healthDock = nullptr;                      // a dock of the window
    ProfileRegistry *m_profiles = nullptr;  // child; the device profiles and their choices
    SymbolLoader *m_symbolLoader = nullptr; // child; reads the symbol file for Decode
    int m_seekSerial = 0;                   // the Go to whose answer is awaited

    QAction *m_addressMapAction = nullptr;
    QAction *m_transactionViewAction = nullptr;    // child of the 操作 menu
    QAction *m_exportTransactionsAction = nullptr; // child of the 文件 menu
};
