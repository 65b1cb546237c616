#include "app/mainwindow.h"

#include "addressmap/addressmapdock.h"
#include "app/appinfo.h"
#include "capture/capturecontroller.h"
#include "capture/capturepipeline.h"
#include "device/decodecheckpoints.h"
#include "device/profileregistry.h"
#include "export/capturefileactions.h"
#include "protocol/protocoldialog.h"
#include "protocol/symbolfile.h"
#include "protocol/symbollabeler.h"
#include "protocol/symbolloader.h"
#include "search/blockindex.h"
#include "search/findbar.h"
#include "search/lineseeker.h"
#include "settings/startdialog.h"
#include "transaction/transactionindex.h"
#include "ui_mainwindow.h"
#include "view/capturestatus.h"
#include "view/capturestatusbar.h"
#include "view/gototarget.h"
#include "view/healthdock.h"
#include "view/recordtable.h"

#include <QDebug>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QWheelEvent>

namespace {
constexpr int kRefreshIntervalMs = 40;
// Width the record table keeps when the address map opens beside it.
constexpr int kTableRoom = 800;
const char kTempFileName[] = "I2CDataTemp.dat";
constexpr int kMessageMs = 8000;
} // namespace

// The images are compiled into this static library; register them before use.
static void initResources()
{
    Q_INIT_RESOURCE(resources);
}

MainWindow::MainWindow(CapturePipeline &pipeline, SymbolLabeler &labeler, QWidget *parent)
    : QMainWindow(parent), m_ui(new Ui::MainWindow), m_pipeline(pipeline), m_labeler(labeler)
{
    initResources();
    m_ui->setupUi(this);
    m_ui->actionStop->setEnabled(false);
    startRefreshTimer();

    m_table = new RecordTable(m_ui->displayTableView, m_ui->verticalScrollBar, m_pipeline, this);
    // Before any line is stored: the blocks are numbered from the first one.
    m_blockIndex = std::make_unique<BlockIndex>(m_pipeline.store());
    m_pipeline.leaseStore()->addObserver(m_blockIndex.get());
    m_transactionIndex = std::make_unique<TransactionIndex>(m_pipeline.store());
    m_pipeline.leaseStore()->addObserver(m_transactionIndex.get());
    m_capture = new CaptureController(m_pipeline, this);
    m_status = new CaptureStatusBar(m_ui->statusBar, m_pipeline, this);
    connect(m_capture, &CaptureController::stateChanged, this, &MainWindow::onStateChanged);
    connect(m_capture, &CaptureController::sourceEnded, this,
            [this](const QString &message) { statusBar()->showMessage(message); });
    connect(m_capture, &CaptureController::storeFailed, this, &MainWindow::warn);
    m_ui->displayTableView->setFocus();
    setUpShortcuts();
    setUpFindBar();
    setUpAddressMap();
    setUpHealthDock();
    setUpTransactionView();
    m_pipeline.setLabeler(&m_labeler);
    m_symbolLoader = new SymbolLoader(m_labeler, this);
    connect(m_symbolLoader, &SymbolLoader::loaded, this, &MainWindow::onSymbolsLoaded);
    claimCaptureFile();
}

MainWindow::~MainWindow()
{
    delete m_symbolLoader; // waits for a load under way
    if (m_capture->capturing())
        on_actionStop_triggered();
    // The search threads read the store: they stop before it goes.
    m_findBar->cancelSearches();
    m_pipeline.leaseStore()->removeObserver(m_blockIndex.get());
    // The table lets go of the index before it goes, the checkpoints' worker too.
    m_table->showTransactions(nullptr);
    m_table->setDecoration(nullptr);
    m_checkpoints->stop();
    m_pipeline.leaseStore()->removeObserver(m_transactionIndex.get());
    // The file goes with the controller, after the capture stopped.
    delete m_capture;
    m_pipeline.setLabeler(nullptr);
    delete m_ui;
}

void MainWindow::claimCaptureFile()
{
    QString why;
    const CaptureController::Claim claim =
        m_capture->claimCaptureFile(QString::fromLatin1(kTempFileName), &why);
    if (claim == CaptureController::Claim::Owned)
        return;
    // Told once the window is up, so the box has a visible parent.
    QTimer::singleShot(0, this, [this, why, claim] {
        warn(why);
        if (claim == CaptureController::Claim::HeldByOther)
            close();
    });
}

void MainWindow::startRefreshTimer()
{
    m_refreshTimerId = startTimer(kRefreshIntervalMs, Qt::CoarseTimer);
}

void MainWindow::stopRefreshTimer()
{
    killTimer(m_refreshTimerId);
    m_refreshTimerId = 0;
}

void MainWindow::warn(const QString &text)
{
    QMessageBox::warning(this, QStringLiteral("警告"), text, QMessageBox::Ok);
}

void MainWindow::setCapturing(bool capturing)
{
    m_ui->actionStop->setEnabled(capturing);
    m_ui->actionStart->setEnabled(!capturing);
    m_ui->actionSaveFile->setEnabled(!capturing);
    // Open rebuilds the store the callback writes into: never during a capture.
    m_ui->actionOpenFile->setEnabled(!capturing);
    // Like Save: the export holds the store, which a capture could not wait for.
    m_exportTransactionsAction->setEnabled(!capturing);
    if (capturing) {
        statusBar()->clearMessage();
        // A new capture shows its newest rows, wherever the user had scrolled.
        m_table->followNewest();
    }
}

void MainWindow::onStateChanged(CaptureState state)
{
    m_status->setState(state, state != CaptureState::Capturing
                                  ? QString()
                                  : CaptureStatus::captureDetail(m_capture->adapterName(),
                                                                 m_capture->sampleRate(),
                                                                 m_capture->channelIndex()));
}

void MainWindow::on_actionStart_triggered()
{
    StartDialog dialog(this);
    dialog.setWindowTitle(QStringLiteral("启动I2C Sniffer"));
    if (dialog.exec() != QDialog::Accepted)
        return;
    const QString failure =
        m_capture->start(dialog.deviceIndex, dialog.channelIndex, dialog.sampleRate);
    if (!failure.isEmpty()) {
        warn(failure);
        return;
    }
    setCapturing(true);
}

void MainWindow::on_actionStop_triggered()
{
    m_capture->stop();
    setCapturing(false);
}

void MainWindow::on_verticalScrollBar_valueChanged(int value)
{
    m_table->scrollBarMoved(value);
}

void MainWindow::on_actionClear_triggered()
{
    m_capture->clear();
    m_table->forgetRows();
    m_table->refresh();
}

void MainWindow::on_actionMerge_triggered(bool checked)
{
    m_pipeline.mergeEnabled.store(checked);
    m_ui->actionDecode->setEnabled(!checked);
}

void MainWindow::on_actionProtocolConfig_triggered()
{
    runProtocolConfiguration(this, m_labeler);
}

void MainWindow::on_actionDecode_triggered(bool checked)
{
    m_ui->actionMerge->setEnabled(!checked);
    if (!checked)
        m_pipeline.decodeEnabled.store(false);
    else
        m_symbolLoader->load(); // labelling starts once the symbols are in
}

void MainWindow::onSymbolsLoaded(bool ok, const QString &why)
{
    const QString path = SymbolFile::defaultPath();
    if (!ok && QFileInfo::exists(path))
        warn(QStringLiteral("无法读取符号文件 %1：%2\n继续使用之前的符号。").arg(path, why));
    m_pipeline.decodeEnabled.store(m_ui->actionDecode->isChecked());
}

void MainWindow::on_actionHelp_triggered()
{
    QMessageBox::about(this, QStringLiteral("帮助"), AppInfo::helpText());
}

void MainWindow::on_actionAbout_triggered()
{
    QMessageBox::about(this, QStringLiteral("关于"), AppInfo::aboutText());
}

void MainWindow::on_actionSaveFile_triggered()
{
    const CaptureFileActions::Result saved = CaptureFileActions(this).save(
        m_pipeline.store().fileName(),
        // Rows reach the file with one write per batch: nothing waits to be flushed.
        [this] { stopRefreshTimer(); }, [this] { startRefreshTimer(); });
    if (saved == CaptureFileActions::Result::Completed)
        m_pipeline.leaseStore()->markSaved(); // Open no longer asks before replacing these rows
}

void MainWindow::on_actionOpenFile_triggered()
{
    // Held for the whole load: the searches' reads wait, and a filter starts
    // again on the new lines.
    StoreLease store = m_pipeline.leaseStore();
    // The store is emptied only once the file shows itself a saved capture.
    CaptureFileActions(this).open(
        store.store(), [this] { stopRefreshTimer(); }, [this] { startRefreshTimer(); });
    store.release();
    m_table->refresh();
}

void MainWindow::on_actionExit_triggered()
{
    close();
}

void MainWindow::timerEvent(QTimerEvent *event)
{
    if (event->timerId() != m_refreshTimerId)
        return;
    m_capture->poll();
    m_table->refresh();
    m_status->update();
}

void MainWindow::wheelEvent(QWheelEvent *event)
{
    // The wheel over the window's frame (a toolbar, the status bar) moves the table too.
    if (event->angleDelta().y() != 0)
        m_table->wheelTurned(event->angleDelta().y());
}

void MainWindow::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    m_table->fitColumns();
}

qint64 MainWindow::currentStoredLine() const
{
    return m_table->currentStoredLine();
}

void MainWindow::showStoredLine(qint64 line)
{
    m_table->showStoredLine(line);
}

void MainWindow::goTo()
{
    bool ok = false;
    const QString text = QInputDialog::getText(
        this, QStringLiteral("转到"),
        m_table->showingTransactions()
            ? QStringLiteral("事务序号，行号（前加 r，例如 r500），或时间戳（时.分.秒.毫秒.微秒."
                             "纳秒，可只写前几段）：")
            : QStringLiteral("行号，或时间戳（时.分.秒.毫秒.微秒.纳秒，可只写前几段）："),
        QLineEdit::Normal, QString(), &ok);
    if (ok && !text.trimmed().isEmpty())
        goToText(text);
}

bool MainWindow::goToText(const QString &text)
{
    const QString typed = text.trimmed();
    const bool transactions = m_table->showingTransactions();
    const GoToTarget target = GoToTarget::parse(typed, transactions);
    switch (target.kind) {
    case GoToTarget::Invalid:
        warn(transactions ? QStringLiteral("无法识别“%1”：请输入事务序号、行号（前加 r，例如 "
                                           "r500），或 时.分.秒.毫秒.微秒.纳秒 格式的时间戳。")
                                .arg(typed)
                          : QStringLiteral("无法识别“%1”：请输入行号，或 时.分.秒.毫秒.微秒.纳秒 "
                                           "格式的时间戳。")
                                .arg(typed));
        return false;
    case GoToTarget::Transaction: {
        // Found in the index at once; past the end, the newest one.
        qint64 line = -1, count = 0;
        {
            const StoreLease held = m_pipeline.leaseStore();
            count = m_transactionIndex->count();
            if (count > 0)
                line = m_transactionIndex->firstLine(std::min<qint64>(target.value, count - 1));
        }
        m_seekSerial = 0; // an earlier Go to's answer comes too late
        statusBar()->showMessage(target.value >= count && count > 0
                                     ? QStringLiteral("没有这个序号的事务，已转到最后一个事务。")
                                     : QString(),
                                 kMessageMs);
        if (line >= 0)
            m_table->showStoredLine(line);
        return true;
    }
    case GoToTarget::Row:
    case GoToTarget::Time:
        break;
    }
    statusBar()->showMessage(QStringLiteral("正在转到 %1…").arg(typed));
    m_seekSerial = m_findBar->search().seek(
        target.kind == GoToTarget::Row ? LineSeeker::Key::Number : LineSeeker::Key::Timestamp,
        target.value);
    return true;
}

void MainWindow::onSeekFinished(qint64 line, qint64 storedLines, int serial)
{
    if (serial != m_seekSerial)
        return; // a later Go to, or a find, took the worker
    // Past the end: the newest row, and the user is told why.
    const bool pastEnd = line >= storedLines && storedLines > 0;
    statusBar()->showMessage(pastEnd ? QStringLiteral("没有不早于所输入位置的行，已转到最后一行。")
                                     : QString(),
                             kMessageMs);
    // In the transaction view, the transaction that holds the line.
    m_table->showStoredLine(pastEnd ? storedLines - 1 : line);
}

void MainWindow::setUpShortcuts()
{
    // Standard keys where the platform has them; the form itself sets none.
    m_ui->actionOpenFile->setShortcut(QKeySequence::Open);
    m_ui->actionSaveFile->setShortcut(QKeySequence::Save);
    m_ui->actionHelp->setShortcut(QKeySequence::HelpContents);
    m_ui->actionStart->setShortcut(Qt::Key_F5);
    m_ui->actionStop->setShortcut(Qt::SHIFT + Qt::Key_F5);
}

void MainWindow::setUpFindBar()
{
    // Under the table, hidden until Ctrl+F; it reaches the window only
    // through these hooks.
    m_findBar = new FindBar(m_pipeline, *m_blockIndex,
                            {[this] { return m_table->currentStoredLine(); },
                             [this](qint64 line) { m_table->showStoredLine(line); },
                             [this](VisibleRows *rows) { m_table->setVisibleRows(rows); },
                             [this](const QString &text) { m_status->setFilterText(text); }},
                            m_ui->centralWidget);
    m_ui->gridLayout->addWidget(m_findBar, 1, 0);
    m_findBar->hide();
    connect(&m_findBar->search(), &CaptureSearch::seekFinished, this, &MainWindow::onSeekFinished);

    // The 查找 menu before 帮助, with the platform's keys for its actions.
    QMenu *menu = new QMenu(QStringLiteral("查找"), m_ui->menuBar);
    m_ui->menuBar->insertMenu(m_ui->menuHelp->menuAction(), menu);
    const QKeySequence goToKey(Qt::CTRL + Qt::Key_G);
    const auto add = [menu, &goToKey](const QString &text, QKeySequence::StandardKey key) {
        QAction *action = menu->addAction(text);
        // Some desktops also bind Ctrl+G to Find next; Go to keeps it.
        QList<QKeySequence> keys = QKeySequence::keyBindings(key);
        keys.removeAll(goToKey);
        action->setShortcuts(keys);
        return action;
    };
    connect(add(QStringLiteral("查找..."), QKeySequence::Find), &QAction::triggered, m_findBar,
            &FindBar::activate);
    connect(add(QStringLiteral("查找下一个"), QKeySequence::FindNext), &QAction::triggered,
            m_findBar, [this] {
                m_findBar->show();
                m_findBar->findNext();
            });
    connect(add(QStringLiteral("查找上一个"), QKeySequence::FindPrevious), &QAction::triggered,
            m_findBar, [this] {
                m_findBar->show();
                m_findBar->findPrevious();
            });
    menu->addSeparator();
    QAction *goToAction = menu->addAction(QStringLiteral("转到..."));
    goToAction->setShortcut(goToKey);
    connect(goToAction, &QAction::triggered, this, &MainWindow::goTo);
}

void MainWindow::setUpAddressMap()
{
    // Beside the table, closed until 操作 → 地址映射 (Ctrl+M) opens it. A
    // click on an address shows only its rows, a second click all again.
    m_addressMap = AddressMapDock::install(this, m_ui->menu, m_pipeline, &m_labeler);
    m_addressMap->hide();
    // A cell's context menu chooses the device profile that decodes its address.
    m_profiles = new ProfileRegistry(ProfileRegistry::defaultConfigDir(),
                                     ProfileLibrary::shippedDirectory(), this);
    for (const ProfileLibrary::Failure &f : m_profiles->library().failures())
        qWarning().noquote() << "device profile refused:" << f.file << f.reason;
    m_addressMap->setProfiles(m_profiles);
    m_addressMapAction = m_addressMap->toggleViewAction();
    m_addressMapAction->setShortcut(QKeySequence(Qt::CTRL + Qt::Key_M));
    connect(m_addressMapAction, &QAction::triggered, this, [this](bool shown) {
        // Opening makes room beside a table of readable width, where the
        // screen has it; the window never grows past the screen.
        const QScreen *screen = this->screen();
        const int room = screen ? screen->availableGeometry().width() : 0;
        const int wanted = kTableRoom + m_addressMap->sizeHint().width();
        if (!shown)
            return;
        if (!isMaximized() && !isFullScreen() && width() < wanted)
            resize(std::max(width(), std::min(room, wanted)), height());
        const int mapWidth =
            std::max(m_addressMap->minimumSizeHint().width(), width() - kTableRoom);
        resizeDocks({m_addressMap}, {mapWidth}, Qt::Horizontal);
    });
    connect(m_addressMap, &AddressMapDock::addressActivated, this,
            [this](int address) { m_findBar->filterBy(QString::asprintf("addr=%02X", address)); });
    connect(m_addressMap, &AddressMapDock::filterCleared, this,
            [this] { m_findBar->setFilterOn(false); });
    connect(m_findBar, &FindBar::filterChanged, m_addressMap, [this](bool on) {
        if (!on)
            m_addressMap->setSelectedAddress(-1);
    });
}

void MainWindow::setUpHealthDock()
{
    // Beside the table, closed until 操作 → 总线健康 (Ctrl+H) opens it; its
    // jumps move the table, its mode goes to the next Start.
    m_healthDock = HealthDock::install(this, m_ui->menu, m_pipeline.health());
    m_healthDock->toggleViewAction()->setShortcut(QKeySequence(Qt::CTRL + Qt::Key_H));
    m_healthDock->setCurrentLine([this] { return m_table->currentStoredLine(); });
    m_healthDock->setJudgedMode([this] { return m_capture->judgedHealthMode(); });
    m_healthDock->setChosenMode(m_capture->healthMode());
    connect(m_healthDock, &HealthDock::lineWanted, this,
            [this](qint64 line) { m_table->showStoredLine(line); });
    connect(m_healthDock, &HealthDock::modeChosen, m_capture, &CaptureController::setHealthMode);
    connect(m_healthDock, &HealthDock::pecAddressesChosen, m_capture,
            &CaptureController::setPecAddresses);
    connect(m_healthDock, &HealthDock::glitchFilterChosen, m_capture,
            &CaptureController::setGlitchFilterNs);
}

void MainWindow::setUpTransactionView()
{
    // 操作 → 事务视图 (Ctrl+T) switches the table; 文件 → 导出事务 writes what it shows.
    m_transactionViewAction = m_ui->menu->addAction(QStringLiteral("事务视图"));
    m_transactionViewAction->setCheckable(true);
    m_transactionViewAction->setShortcut(QKeySequence(Qt::CTRL + Qt::Key_T));
    m_transactionViewAction->setToolTip(
        QStringLiteral("表格每行显示一个事务（START 到 STOP）；回车或双击打开它的第一行"));
    connect(m_transactionViewAction, &QAction::toggled, this, &MainWindow::showTransactions);
    m_exportTransactionsAction = new QAction(QStringLiteral("导出事务 (CSV)..."), m_ui->menu_2);
    m_ui->menu_2->insertAction(m_ui->actionExit, m_exportTransactionsAction);
    connect(m_exportTransactionsAction, &QAction::triggered, this, &MainWindow::exportTransactions);
    // Enter or a double click on a transaction: its first row in the row view.
    connect(m_table, &RecordTable::transactionOpened, this, [this](qint64 line) {
        m_transactionViewAction->setChecked(false);
        m_table->showStoredLine(line);
    });
    // The 解码 column decodes from checkpoints; other profile choices start them again.
    m_checkpoints = std::make_unique<DecodeCheckpoints>(m_pipeline, *m_transactionIndex);
    m_table->setDecoration(m_checkpoints->decoration());
    m_findDecoration = m_checkpoints->decoration();
    connect(m_profiles, &ProfileRegistry::changed, this, [this] {
        if (!m_checkpoints->running())
            return;
        m_checkpoints->start(m_profiles->assignment());
        // A transaction filter may have judged decoded text: judged again.
        if (m_table->showingTransactions() && m_findBar->filterRows())
            m_findBar->setFilterOn(true);
    });
}

void MainWindow::showTransactions(bool on)
{
    if (on && !m_checkpoints->running())
        m_checkpoints->start(m_profiles->assignment());
    // The bar lets go of a filter's rows, the table switches, the filter runs on.
    m_findBar->setTransactionView(
        on ? m_transactionIndex.get() : nullptr,
        [this, on] { m_table->showTransactions(on ? m_transactionIndex.get() : nullptr); },
        m_findDecoration.get());
}

void MainWindow::exportTransactions()
{
    // What the table shows: the filter's transactions, or all of them.
    const VisibleRows *rows = m_table->showingTransactions() ? m_findBar->filterRows() : nullptr;
    CaptureFileActions(this).exportTransactions(
        m_pipeline, *m_transactionIndex, rows, [this] { stopRefreshTimer(); },
        [this] { startRefreshTimer(); }, &m_profiles->assignment());
}
