#include "mainwindow.h"

#include "appinfo.h"
#include "capturefileactions.h"
#include "capturepipeline.h"
#include "pagefiller.h"
#include "pagegeometry.h"
#include "protocoldialog.h"
#include "startdialog.h"
#include "symbollabeler.h"
#include "ui_mainwindow.h"

#include <QDebug>
#include <QFile>
#include <QHeaderView>
#include <QMessageBox>
#include <QResizeEvent>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QTimer>
#include <QWheelEvent>

#include <korvex/korvex.h>

namespace {
constexpr int kRefreshIntervalMs = 40;
const char kTempFileName[] = "I2CDataTemp.dat";
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
    m_autoFollow = true;
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

    QTableView *view = m_ui->displayTableView;
    view->verticalHeader()->hide();
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->verticalHeader()->setDefaultSectionSize(PageGeometry::kRowHeight);
    const int widths[] = {50, 70, 70, 60, 200, 200, 60, 150};
    for (int c = 0; c < 8; ++c)
        view->setColumnWidth(c, widths[c]);

    capturePipeline().setLabeler(&symbolLabeler());
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
    if (m_ui->actionStop->isEnabled())
        on_actionStop_triggered();
    capturePipeline().store().closeAndRemove();
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
    const int32_t sampleRate = dialog.sampleRate;
    qDebug() << "SampleRate = " << sampleRate;

    if (scanAdapters(nullptr) < 1) {
        warn(QStringLiteral("无设备连接！"));
        return;
    }
    if (!openAdapter(m_deviceIndex)) {
        warn(QStringLiteral("打开设备失败！"));
        return;
    }
    if (!storeUsable()) {
        // Capturing into a store that cannot be written would lose every row.
        warn(QStringLiteral("临时文件 I2CDataTemp.dat 不可用，无法保存捕获的数据。"));
        return;
    }
    if (startI2CCapture(m_deviceIndex, m_channelIndex, sampleRate, onI2CEvents) != 0) {
        warn(QStringLiteral("启动设备失败！"));
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
    m_autoFollow = PageGeometry::autoFollowAt(value, m_ui->verticalScrollBar->maximum());
}

void MainWindow::on_actionClear_triggered()
{
    CapturePipeline &pipeline = capturePipeline();
    // Held for the whole reset so the callback defers its rows instead of
    // writing into a half-emptied store.
    pipeline.acquireStoreWaiting();
    pipeline.store().resetStore();
    m_ui->verticalScrollBar->setMaximum(0);
    m_autoFollow = true;
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
    // Load first, so the first labelled row already sees the fresh symbols.
    if (checked)
        symbolLabeler().loadActiveSymbols();
    capturePipeline().decodeEnabled.store(checked);
    m_ui->actionMerge->setEnabled(!checked);
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
    CapturePipeline &pipeline = capturePipeline();
    QString why;
    if (pipeline.takeStoreFailureNotice(&why))
        warn(QStringLiteral("写入临时文件 I2CDataTemp.dat "
                            "失败：%1\n已停止保存新的数据，已保存的数据仍可查看和保存。")
                 .arg(why));

    QScrollBar *bar = m_ui->verticalScrollBar;
    const int stored = pipeline.storedLineCount();
    if (m_autoFollow) {
        bar->setMaximum(stored);
        bar->setValue(stored);
    }
    const PageWindow page = PageGeometry::pageWindow(
        bar->value(), PageGeometry::pageRowCount(m_ui->displayTableView->height()), stored);
    fillPage(page.first, page.count);
}

void MainWindow::fillPage(int firstLine, int lineCount)
{
    m_pageFiller->fillPage(*m_tableModel, capturePipeline(), firstLine, lineCount);
}

void MainWindow::wheelEvent(QWheelEvent *event)
{
    QScrollBar *bar = m_ui->verticalScrollBar;
    bar->setValue(PageGeometry::wheelValue(bar->value(), event->angleDelta().y(), bar->maximum()));
}

void MainWindow::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    if (const auto widths = PageGeometry::columnWidths(m_ui->displayTableView->width())) {
        for (int c = 0; c < PageGeometry::kColumnCount; ++c)
            m_ui->displayTableView->setColumnWidth(c, (*widths)[size_t(c)]);
    }
}
