#include "mainwindow.h"

#include "addressmapdock.h"
#include "allrows.h"
#include "appinfo.h"
#include "blockindex.h"
#include "capturefileactions.h"
#include "capturefilelock.h"
#include "capturepipeline.h"
#include "findbar.h"
#include "lineseeker.h"
#include "pagefiller.h"
#include "pagegeometry.h"
#include "protocoldialog.h"
#include "startdialog.h"
#include "storeresetflag.h"
#include "symbolfile.h"
#include "symbollabeler.h"
#include "tablenavigator.h"
#include "ui_mainwindow.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QResizeEvent>
#include <QScreen>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QTextDocument>
#include <QThread>
#include <QTimer>
#include <QToolTip>
#include <QWheelEvent>

#include <algorithm>
#include <climits>

#include <korvex/korvex.h>

namespace {
constexpr int kRefreshIntervalMs = 40;
// Width the record table keeps when the address map opens beside it.
constexpr int kTableRoom = 800;
const char kTempFileName[] = "I2CDataTemp.dat";

// The adapter library's reason for its last failure on this thread, as a
// second line of a warning ("" when it gave none).
QString adapterFailureReason()
{
    char why[512] = {};
    lastAdapterError(why, sizeof why);
    return why[0] ? QStringLiteral("\n") + QString::fromLocal8Bit(why) : QString();
}
} // namespace

// The images are compiled into this static library; register them before use.
static void initResources()
{
    Q_INIT_RESOURCE(resources);
}

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent), m_ui(new Ui::MainWindow)
{
    initResources();
    m_ui->setupUi(this);
    m_ui->actionStop->setEnabled(false);

    m_deviceIndex = 0;
    m_channelIndex = 0;
    startRefreshTimer();
    m_ui->verticalScrollBar->setRange(0, 0);

    m_headerLabels << QStringLiteral("行号") << QStringLiteral("类型")
                   << QStringLiteral("地址(HEX)") << QStringLiteral("读/写")
                   << QStringLiteral("数据(HEX)") << QStringLiteral("数据(ASCII)")
                   << QStringLiteral("响应") << QStringLiteral("时间戳(h.m.s.ms.us.ns)");
    // Parented to the window so it is released with it.
    m_tableModel = new QStandardItemModel(this);
    m_tableModel->setColumnCount(m_headerLabels.size());
    m_tableModel->setHorizontalHeaderLabels(m_headerLabels);
    m_tableModel->setRowCount(0);
    m_ui->displayTableView->setModel(m_tableModel);
    m_pageFiller = std::make_unique<PageFiller>();
    m_allRows = std::make_unique<AllRows>(capturePipeline().store());
    m_navigator = std::make_unique<TableNavigator>(m_allRows.get());
    m_storeReset = std::make_unique<StoreResetFlag>();
    // Before any line is stored: the blocks are numbered from the first one.
    m_blockIndex = std::make_unique<BlockIndex>(capturePipeline().store());
    // No capture runs yet, so the store may take observers.
    capturePipeline().store().addObserver(m_storeReset.get());
    capturePipeline().store().addObserver(m_blockIndex.get());

    QTableView *view = m_ui->displayTableView;
    view->verticalHeader()->hide();
    // A bold title for the current row's columns would no longer fit the
    // width its column was given ("间戳(h.m.s..." after a click).
    view->horizontalHeader()->setHighlightSections(false);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->verticalHeader()->setDefaultSectionSize(PageGeometry::kRowHeight);
    const int widths[] = {50, 70, 70, 60, 200, 200, 60, 150};
    for (int c = 0; c < 8; ++c)
        view->setColumnWidth(c, widths[c]);
    // The model holds exactly the page: the view never scrolls up or down by
    // itself (a click would shift it), but sideways when the columns need
    // more than the window is wide.
    view->setAutoScroll(false);
    view->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    view->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    view->setTextElideMode(Qt::ElideRight);
    view->setWordWrap(false);
    view->installEventFilter(this);
    view->viewport()->installEventFilter(this);
    m_ui->verticalScrollBar->installEventFilter(this);
    // A click makes its row current: it stays with its data, not the screen row.
    connect(view, &QTableView::pressed, this, [this](const QModelIndex &index) {
        if (index.row() < m_navigator->pageCount())
            showStoredLine(m_navigator->rows()->storedLine(m_navigator->top() + index.row()));
    });
    view->setFocus();
    setUpShortcuts();
    setUpStatusBar();
    setUpFindBar();
    applyColumnWidths(view->width() - 2 * view->frameWidth());

    capturePipeline().setLabeler(&symbolLabeler());
    // The address map beside the table; shown and hidden from the 操作 menu.
    // A click on an address shows only its rows, a second click all again.
    AddressMapDock *map =
        AddressMapDock::install(this, m_ui->menu, capturePipeline(), &symbolLabeler());
    m_addressMap = map;
    connect(map, &AddressMapDock::addressActivated, this,
            [this](int address) { m_findBar->filterBy(QString::asprintf("addr=%02X", address)); });
    connect(map, &AddressMapDock::filterCleared, this, [this] { m_findBar->setFilterOn(false); });
    connect(m_findBar, &FindBar::filterChanged, map, [map](bool on) {
        if (!on)
            map->setSelectedAddress(-1);
    });
    m_captureFileLock = std::make_unique<CaptureFileLock>(QString::fromLatin1(kTempFileName));
    if (!m_captureFileLock->tryLock()) {
        // Another instance captures into this directory's file, or nothing
        // could keep one out: leave the file alone and go.
        const QString why = m_captureFileLock->message();
        m_captureFileLock.reset();
        QTimer::singleShot(0, this, [this, why] {
            warn(why + QStringLiteral("\n本窗口将关闭。"));
            close();
        });
        return;
    }
    m_ownsCaptureFile = true;
    CaptureStore &store = capturePipeline().store();
    if (!store.open(QString::fromLatin1(kTempFileName))) {
        const QString why = store.errorString();
        // Told once the window is up, so the box has a visible parent.
        QTimer::singleShot(0, this, [this, why] {
            warn(QStringLiteral("无法创建临时文件 %1：%2\n捕获的数据将无法保存。")
                     .arg(QString::fromLatin1(kTempFileName), why));
        });
    }
}

MainWindow::~MainWindow()
{
    if (m_symbolLoad)
        m_symbolLoad->wait(); // a running thread must not be deleted with the window
    if (m_ui->actionStop->isEnabled())
        on_actionStop_triggered();
    // The search threads read the store: they stop before it goes.
    m_findBar->cancelSearches();
    capturePipeline().store().removeObserver(m_storeReset.get());
    capturePipeline().store().removeObserver(m_blockIndex.get());
    if (m_ownsCaptureFile)
        capturePipeline().store().closeAndRemove();
    m_captureFileLock.reset(); // only once the file is gone
    delete m_ui;
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
    if (capturing) {
        m_captureEndShown = false;
        statusBar()->clearMessage();
        // A new capture shows its newest rows, wherever the user had scrolled.
        m_navigator->followNewest();
    }
    setCaptureState(capturing ? CaptureState::Capturing : CaptureState::Stopped);
}

void MainWindow::showCaptureEnd()
{
    if (m_captureEndShown || !m_ui->actionStop->isEnabled())
        return;
    char why[512] = {};
    const int32_t state = ::captureState(m_deviceIndex, why, sizeof why);
    if (state != KORVEX_CAPTURE_FINISHED && state != KORVEX_CAPTURE_FAILED)
        return;
    m_captureEndShown = true;
    if (state == KORVEX_CAPTURE_FINISHED)
        setCaptureState(CaptureState::ReplayFinished);
    // The capture stays on until Stop; the user learns that nothing more will come.
    statusBar()->showMessage((state == KORVEX_CAPTURE_FINISHED
                                  ? QStringLiteral("回放已结束，不会再有新数据：%1")
                                  : QStringLiteral("采集已中断：%1"))
                                 .arg(QString::fromLocal8Bit(why)));
}

bool MainWindow::storeUsable() const
{
    const CaptureStore &store = capturePipeline().store();
    return store.isOpen() && !store.failed();
}

void MainWindow::on_actionStart_triggered()
{
    StartDialog dialog(this);
    dialog.setWindowTitle(QStringLiteral("启动I2C Sniffer"));
    if (dialog.exec() != QDialog::Accepted)
        return;
    m_deviceIndex = dialog.deviceIndex;
    m_channelIndex = dialog.channelIndex;
    m_sampleRate = dialog.sampleRate;
    const int32_t sampleRate = dialog.sampleRate;
    qDebug() << "SampleRate = " << sampleRate;

    if (scanAdapters(nullptr) < 1) {
        warn(QStringLiteral("无设备连接！"));
        return;
    }
    if (!openAdapter(m_deviceIndex)) {
        warn(QStringLiteral("打开设备失败！") + adapterFailureReason());
        return;
    }
    if (!storeUsable()) {
        // Capturing into a store that cannot be written would lose every row.
        warn(QStringLiteral("临时文件 I2CDataTemp.dat 不可用，无法保存捕获的数据。"));
        return;
    }
    if (startI2CCapture(m_deviceIndex, m_channelIndex, sampleRate, onI2CEvents) != 0) {
        warn(QStringLiteral("启动设备失败！") + adapterFailureReason());
        return;
    }
    setCapturing(true);
}

void MainWindow::on_actionStop_triggered()
{
    stopI2CCapture(m_deviceIndex);
    setCapturing(false);
}

void MainWindow::on_verticalScrollBar_valueChanged(int value)
{
    if (m_settingScrollBar)
        return;
    m_navigator->scrollTo(value);
    refreshPage();
}

void MainWindow::on_actionClear_triggered()
{
    CapturePipeline &pipeline = capturePipeline();
    // Held for the whole reset so the callback defers its rows instead of
    // writing into a half-emptied store.
    pipeline.acquireStoreWaiting();
    pipeline.store().resetStore();
    m_ui->verticalScrollBar->setMaximum(0);
    m_navigator->reset();
    m_tableModel->removeRows(0, m_tableModel->rowCount());
    pipeline.releaseStore();
}

void MainWindow::on_actionMerge_triggered(bool checked)
{
    capturePipeline().mergeEnabled.store(checked);
    m_ui->actionDecode->setEnabled(!checked);
}

void MainWindow::on_actionProtocolConfig_triggered()
{
    runProtocolConfiguration(this, symbolLabeler());
}

void MainWindow::on_actionDecode_triggered(bool checked)
{
    m_ui->actionMerge->setEnabled(!checked);
    if (!checked) {
        capturePipeline().decodeEnabled.store(false);
        return;
    }
    // Labelling starts once the symbols are in, so the first labelled row
    // already sees them; a large file is read off the GUI thread. A load
    // under way switches labelling on by itself.
    if (m_symbolLoad)
        return;
    // Written by the loading thread before it finishes, read here after its
    // finished signal: the thread's end orders the two.
    auto result = std::make_shared<std::pair<bool, QString>>();
    m_symbolLoad = QThread::create(
        [result] { result->first = symbolLabeler().loadActiveSymbols(&result->second); });
    m_symbolLoad->setParent(this);
    connect(m_symbolLoad, &QThread::finished, this, [this, result] {
        m_symbolLoad->deleteLater();
        m_symbolLoad = nullptr;
        const QString path = SymbolFile::defaultPath();
        if (!result->first && QFileInfo::exists(path))
            warn(QStringLiteral("无法读取符号文件 %1：%2\n继续使用之前的符号。")
                     .arg(path, result->second));
        capturePipeline().decodeEnabled.store(m_ui->actionDecode->isChecked());
    });
    m_symbolLoad->start();
}

QString MainWindow::contactText() const
{
    const QString web = QString::fromLatin1(AppInfo::kWebAddress);
    return QStringLiteral("官方网站") + QStringLiteral("<span style=\"font-size:12px;\"></span>") +
           QStringLiteral("：") + QStringLiteral("<a href=\"%1\">%1</a>").arg(web) +
           QStringLiteral("<br>") + QStringLiteral("技术支持：") +
           QString::fromLatin1(AppInfo::kSupportContact) + QStringLiteral("<br>");
}

void MainWindow::on_actionHelp_triggered()
{
    QMessageBox::about(this, QStringLiteral("帮助"), contactText());
}

void MainWindow::on_actionAbout_triggered()
{
    QMessageBox::about(this, QStringLiteral("关于"),
                       contactText() + QStringLiteral("版本信息：") +
                           QString::fromLatin1(AppInfo::kVersionText));
}

void MainWindow::on_actionSaveFile_triggered()
{
    CaptureStore &store = capturePipeline().store();
    const CaptureFileActions::Result saved = CaptureFileActions(this).save(
        store.fileName(),
        // Rows reach the file with one write per batch: nothing waits to be flushed.
        [this] { stopRefreshTimer(); }, [this] { startRefreshTimer(); });
    if (saved == CaptureFileActions::Result::Completed)
        store.markSaved(); // Open no longer asks before replacing these rows
}

void MainWindow::on_actionOpenFile_triggered()
{
    // The store is emptied only once the file shows itself a saved capture.
    CaptureFileActions(this).open(
        capturePipeline().store(), [this] { stopRefreshTimer(); }, [this] { startRefreshTimer(); });
}

void MainWindow::on_actionExit_triggered()
{
    close();
}

void MainWindow::timerEvent(QTimerEvent *event)
{
    if (event->timerId() != m_refreshTimerId)
        return;
    showCaptureEnd();
    CapturePipeline &pipeline = capturePipeline();
    QString why;
    if (pipeline.takeStoreFailureNotice(&why))
        warn(QStringLiteral("写入临时文件 I2CDataTemp.dat "
                            "失败：%1\n已停止保存新的数据，已保存的数据仍可查看和保存。")
                 .arg(why));

    refreshPage();
    updateStatus();
}

void MainWindow::forgetEmptiedStore()
{
    if (m_storeReset->take()) {
        // Clear or Open: the old position and page mean nothing now.
        m_navigator->reset();
        m_pageFiller->invalidate();
    }
}

void MainWindow::refreshPage()
{
    QTableView *view = m_ui->displayTableView;
    forgetEmptiedStore();
    // Rows as they are really drawn: a font may need more than the 20 pixels asked for.
    const int rowHeight = m_tableModel->rowCount() > 0
                              ? view->rowHeight(0)
                              : view->verticalHeader()->defaultSectionSize();
    m_navigator->setPageRows(PageGeometry::pageRowCount(view->viewport()->height(), rowHeight));
    m_navigator->update();
    // A row asked for before a growing filter had reached it: shown once it
    // is there, unless the user has moved on.
    if (m_wantedLine >= 0) {
        if (m_navigator->currentLine() != m_wantedShownAs) {
            m_wantedLine = -1;
        } else {
            m_navigator->showLine(m_wantedLine);
            m_wantedShownAs = m_navigator->currentLine();
            if (m_wantedShownAs == m_wantedLine)
                m_wantedLine = -1;
        }
    }

    QScrollBar *bar = m_ui->verticalScrollBar;
    m_settingScrollBar = true;
    bar->setRange(0, int(std::min<qint64>(m_navigator->maxTop(), INT_MAX)));
    bar->setPageStep(std::max(m_navigator->pageRows(), 1));
    bar->setValue(int(std::min<qint64>(m_navigator->top(), INT_MAX)));
    m_settingScrollBar = false;

    if (!m_pageFiller->fillRows(*m_tableModel, capturePipeline(), *m_navigator->rows(),
                                m_navigator->top(), int(m_navigator->pageCount())))
        return; // store busy: the next tick shows it
    // The highlight stays on the current row's data, wherever that is on screen.
    QItemSelectionModel *selection = view->selectionModel();
    const int row = m_navigator->currentPageRow();
    if (row < 0) {
        if (selection->hasSelection())
            selection->clear();
    } else if (selection->selectedRows().size() != 1 || !selection->isRowSelected(row, {})) {
        selection->setCurrentIndex(m_tableModel->index(row, 0),
                                   QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
}

void MainWindow::setVisibleRows(VisibleRows *rows)
{
    m_navigator->setRows(rows ? rows : m_allRows.get());
    m_pageFiller->invalidate();
    refreshPage();
}

qint64 MainWindow::currentStoredLine() const
{
    return m_navigator->currentLine();
}

void MainWindow::showStoredLine(qint64 line)
{
    // Before the line is placed: a reset seen later would throw it away.
    forgetEmptiedStore();
    m_navigator->showLine(line);
    m_wantedShownAs = m_navigator->currentLine();
    m_wantedLine = m_wantedShownAs == line ? -1 : line;
    refreshPage();
}

void MainWindow::goTo()
{
    bool ok = false;
    const QString text = QInputDialog::getText(
        this, QStringLiteral("转到"),
        QStringLiteral("行号，或时间戳（时.分.秒.毫秒.微秒.纳秒，可只写前几段）："),
        QLineEdit::Normal, QString(), &ok);
    if (ok && !text.trimmed().isEmpty())
        goToText(text);
}

bool MainWindow::goToText(const QString &text)
{
    const QString typed = text.trimmed();
    bool isNumber = false;
    int64_t target = typed.toLongLong(&isNumber);
    LineSeeker::Key key = LineSeeker::Key::Number;
    if (!isNumber || target < 0) {
        key = LineSeeker::Key::Timestamp;
        const QByteArray utf8 = typed.toUtf8();
        if (!CaptureRow::timestampFromText(std::string_view(utf8.constData(), size_t(utf8.size())),
                                           &target)) {
            warn(QStringLiteral("无法识别“%1”：请输入行号，或 时.分.秒.毫秒.微秒.纳秒 "
                                "格式的时间戳。")
                     .arg(typed));
            return false;
        }
    }
    CapturePipeline &pipeline = capturePipeline();
    // A few dozen lines are read: the capture waits that long at most.
    pipeline.acquireStoreWaiting();
    const qint64 line = LineSeeker::firstAtOrAfter(pipeline.store(), key, target);
    pipeline.releaseStore();
    showStoredLine(line);
    return true;
}

void MainWindow::setUpShortcuts()
{
    // Standard keys where the platform has them; the form itself sets none.
    m_ui->actionOpenFile->setShortcut(QKeySequence::Open);
    m_ui->actionSaveFile->setShortcut(QKeySequence::Save);
    m_ui->actionHelp->setShortcut(QKeySequence::HelpContents);
    m_ui->actionStart->setShortcut(Qt::Key_F5);
    m_ui->actionStop->setShortcut(Qt::SHIFT + Qt::Key_F5);

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
    m_findAction = add(QStringLiteral("查找..."), QKeySequence::Find);
    m_findNextAction = add(QStringLiteral("查找下一个"), QKeySequence::FindNext);
    m_findPreviousAction = add(QStringLiteral("查找上一个"), QKeySequence::FindPrevious);
    menu->addSeparator();
    m_goToAction = menu->addAction(QStringLiteral("转到..."));
    m_goToAction->setShortcut(goToKey);
    connect(m_goToAction, &QAction::triggered, this, &MainWindow::goTo);
}

void MainWindow::setUpFindBar()
{
    // Under the table, hidden until Ctrl+F; it reaches the window only
    // through these hooks.
    m_findBar = new FindBar(capturePipeline(), *m_blockIndex,
                            {[this] { return currentStoredLine(); },
                             [this](qint64 line) { showStoredLine(line); },
                             [this](VisibleRows *rows) { setVisibleRows(rows); },
                             [this](const QString &text) { setFilterStatus(text); }},
                            m_ui->centralWidget);
    m_ui->gridLayout->addWidget(m_findBar, 1, 0);
    m_findBar->hide();
    connect(m_findAction, &QAction::triggered, m_findBar, &FindBar::activate);
    connect(m_findNextAction, &QAction::triggered, m_findBar, [this] {
        m_findBar->show();
        m_findBar->findNext();
    });
    connect(m_findPreviousAction, &QAction::triggered, m_findBar, [this] {
        m_findBar->show();
        m_findBar->findPrevious();
    });
}

void MainWindow::setUpStatusBar()
{
    QStatusBar *bar = m_ui->statusBar;
    // Permanent widgets, so a message shown with showMessage() sits beside them.
    m_stateLabel = new QLabel(bar);
    m_filterLabel = new QLabel(bar);
    m_rowsLabel = new QLabel(bar);
    m_sizeLabel = new QLabel(bar);
    m_rateLabel = new QLabel(bar);
    for (QLabel *label : {m_stateLabel, m_filterLabel, m_rowsLabel, m_sizeLabel, m_rateLabel})
        bar->addPermanentWidget(label);
    // A long adapter description must not widen the window: it is cut, and
    // whole in its tool tip.
    m_stateLabel->setMinimumWidth(60);
    m_filterLabel->hide();
    m_rateLabel->hide();
    m_clock.start();
    setCaptureState(CaptureState::Idle);
    updateStatus();
}

void MainWindow::setCaptureState(CaptureState state)
{
    m_captureState = state;
    QString detail;
    if (state == CaptureState::Capturing) {
        char name[128] = {};
        describeAdapter(m_deviceIndex, name, int32_t(sizeof name));
        detail =
            CaptureStatus::captureDetail(QString::fromUtf8(name), m_sampleRate, m_channelIndex);
        m_rate.restart(capturePipeline().storedLineCount(), m_clock.elapsed());
        m_rateLabel->setText(CaptureStatus::rateText(0));
    }
    m_rateLabel->setVisible(state == CaptureState::Capturing);
    m_stateLabel->setText(CaptureStatus::stateText(state, detail));
    m_stateLabel->setToolTip(m_stateLabel->text());
}

void MainWindow::setFilterStatus(const QString &text)
{
    m_filterLabel->setText(text);
    m_filterLabel->setVisible(!text.isEmpty());
}

void MainWindow::updateStatus()
{
    CapturePipeline &pipeline = capturePipeline();
    const int stored = pipeline.storedLineCount();
    const QString rows = CaptureStatus::rowsText(stored);
    if (m_rowsLabel->text() != rows)
        m_rowsLabel->setText(rows);
    // The size comes from the index, which the capture thread moves: read it held.
    if (pipeline.tryAcquireStore()) {
        const QString size = CaptureStatus::fileSizeText(pipeline.store().dataSize());
        pipeline.releaseStore();
        if (m_sizeLabel->text() != size)
            m_sizeLabel->setText(size);
    }
    if (m_captureState == CaptureState::Capturing && m_rate.sample(stored, m_clock.elapsed()))
        m_rateLabel->setText(CaptureStatus::rateText(m_rate.rowsPerSecond()));
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    QTableView *view = m_ui->displayTableView;
    switch (event->type()) {
    case QEvent::KeyPress:
        return watched == view && navigationKey(static_cast<QKeyEvent *>(event));
    case QEvent::Wheel: {
        // One row per wheel step, before the view's or the scroll bar's own handling.
        const int dy = static_cast<QWheelEvent *>(event)->angleDelta().y();
        if (dy == 0)
            return false; // sideways: the table scrolls its columns
        wheelStep(dy);
        return true;
    }
    case QEvent::ToolTip:
        return watched == view->viewport() && showCellToolTip(static_cast<QHelpEvent *>(event));
    case QEvent::Resize:
        if (watched == view)
            applyColumnWidths(static_cast<QResizeEvent *>(event)->size().width() -
                              2 * view->frameWidth());
        return false;
    default:
        return false;
    }
}

bool MainWindow::navigationKey(const QKeyEvent *event)
{
    const bool control = event->modifiers() & Qt::ControlModifier;
    const qint64 page = std::max(m_navigator->pageRows(), 1);
    switch (event->key()) {
    case Qt::Key_Up:
        m_navigator->moveBy(-1);
        break;
    case Qt::Key_Down:
        m_navigator->moveBy(1);
        break;
    case Qt::Key_PageUp:
        m_navigator->moveBy(-page);
        break;
    case Qt::Key_PageDown:
        m_navigator->moveBy(page);
        break;
    case Qt::Key_Home:
        if (!control)
            return false;
        m_navigator->toFirst();
        break;
    case Qt::Key_End:
        if (!control)
            return false;
        m_navigator->toLast();
        break;
    default:
        return false;
    }
    refreshPage();
    return true;
}

void MainWindow::wheelStep(int angleDelta)
{
    // Away from the user (positive) goes towards the first row.
    m_navigator->scrollBy(angleDelta > 0 ? -1 : 1);
    refreshPage();
}

bool MainWindow::showCellToolTip(const QHelpEvent *event)
{
    QTableView *view = m_ui->displayTableView;
    const QModelIndex index = view->indexAt(event->pos());
    const QString text = index.data().toString();
    const int margin = 2 * (view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1);
    if (text.isEmpty() ||
        view->fontMetrics().horizontalAdvance(text) + margin <= view->visualRect(index).width()) {
        QToolTip::hideText();
        return true;
    }
    // Rich text wraps, so a long data field stays on screen.
    QToolTip::showText(event->globalPos(), Qt::convertFromPlainText(text), view->viewport(),
                       view->visualRect(index));
    return true;
}

void MainWindow::applyColumnWidths(int viewWidth)
{
    QTableView *view = m_ui->displayTableView;
    QHeaderView *header = view->horizontalHeader();
    // What each column must show whole: its title, a 10-digit row number, the
    // longest type, direction and response, the whole timestamp.
    static const char *const kWidest[PageGeometry::kColumnCount] = {
        "0000000000", "START", "00", "WRITE", "", "", "NACK", "00.00.00.000.000.000"};
    const int cellMargin = 2 * (view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1) + 2;
    const int titleMargin = 2 * view->style()->pixelMetric(QStyle::PM_HeaderMargin) + 4;
    PageGeometry::Widths current{}, minimum{};
    for (int c = 0; c < PageGeometry::kColumnCount; ++c) {
        current[size_t(c)] = view->columnWidth(c);
        minimum[size_t(c)] =
            std::max(header->fontMetrics().horizontalAdvance(m_headerLabels.value(c)) + titleMargin,
                     view->fontMetrics().horizontalAdvance(QLatin1String(kWidest[c])) + cellMargin);
    }
    const PageGeometry::Widths widths = PageGeometry::columnWidths(viewWidth, current, minimum);
    for (int c = 0; c < PageGeometry::kColumnCount; ++c)
        if (widths[size_t(c)] != current[size_t(c)])
            view->setColumnWidth(c, widths[size_t(c)]);
}

void MainWindow::wheelEvent(QWheelEvent *event)
{
    if (event->angleDelta().y() != 0)
        wheelStep(event->angleDelta().y());
}

void MainWindow::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (m_addressMapPlaced)
        return;
    m_addressMapPlaced = true;
    // The map gets room of its own beside a table of readable width where
    // the screen has it; on a small screen it waits in the 操作 menu.
    const QScreen *screen = this->screen();
    const int room = screen ? screen->availableGeometry().width() : 0;
    if (room >= kTableRoom + m_addressMap->minimumSizeHint().width())
        resize(std::min(room, std::max(width(), kTableRoom + m_addressMap->sizeHint().width())),
               height());
    else
        m_addressMap->hide();
}

void MainWindow::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    QTableView *view = m_ui->displayTableView;
    applyColumnWidths(view->width() - 2 * view->frameWidth());
}
