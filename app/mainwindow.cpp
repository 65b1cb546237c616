#include "mainwindow.h"

#include "appinfo.h"
#include "ui_mainwindow.h"

#include <QFile>
#include <QHeaderView>
#include <QMessageBox>
#include <QResizeEvent>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QTimer>
#include <QWheelEvent>

namespace {
constexpr int refreshIntervalMs = 40;
constexpr int rowHeight = 20;
const char tempFileName[] = "I2CDataTemp.dat";

// Process-wide capture file; lives from window construction to destruction.
QFile *tempFile = nullptr;
} // namespace

// The images are compiled into this static library; register them before use.
static void initResources()
{
    Q_INIT_RESOURCE(resources);
}

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent), ui(new Ui::MainWindow)
{
    initResources();
    ui->setupUi(this);
    ui->actionStop->setEnabled(false);

    deviceIndex = 0;
    channelIndex = 0;
    autoFollow = true;
    startRefreshTimer();
    ui->verticalScrollBar->setRange(0, 0);

    headerLabels << QStringLiteral("行号") << QStringLiteral("类型") << QStringLiteral("地址(HEX)")
                 << QStringLiteral("读/写") << QStringLiteral("数据(HEX)")
                 << QStringLiteral("数据(ASCII)") << QStringLiteral("响应")
                 << QStringLiteral("时间戳(h.m.s.ms.us.ns)");
    // Parented to the window so it is released with it.
    tableModel = new QStandardItemModel(this);
    tableModel->setColumnCount(headerLabels.size());
    tableModel->setHorizontalHeaderLabels(headerLabels);
    tableModel->setRowCount(0);
    ui->displayTableView->setModel(tableModel);

    QTableView *view = ui->displayTableView;
    view->verticalHeader()->hide();
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->verticalHeader()->setDefaultSectionSize(rowHeight);
    const int widths[] = {50, 70, 70, 60, 200, 200, 60, 150};
    for (int c = 0; c < 8; ++c)
        view->setColumnWidth(c, widths[c]);

    tempFile = new QFile(QString::fromLatin1(tempFileName));
    if (!tempFile->open(QIODevice::ReadWrite) || !tempFile->resize(0)) {
        const QString why = tempFile->errorString();
        // Told once the window is up, so the box has a visible parent.
        QTimer::singleShot(0, this, [this, why] {
            warn(QStringLiteral("无法创建临时文件 %1：%2\n捕获的数据将无法保存。")
                     .arg(QString::fromLatin1(tempFileName), why));
        });
    }
}

MainWindow::~MainWindow()
{
    if (ui->actionStop->isEnabled())
        on_actionStop_triggered();
    if (tempFile) {
        tempFile->remove();
        delete tempFile;
        tempFile = nullptr;
    }
    delete ui;
}

void MainWindow::startRefreshTimer()
{
    refreshTimerId = startTimer(refreshIntervalMs, Qt::CoarseTimer);
}

void MainWindow::stopRefreshTimer()
{
    killTimer(refreshTimerId);
    refreshTimerId = 0;
}

void MainWindow::warn(const QString &text)
{
    QMessageBox::warning(this, QStringLiteral("警告"), text, QMessageBox::Ok);
}

void MainWindow::on_actionStart_triggered() {}

void MainWindow::on_actionStop_triggered()
{
    ui->actionStop->setEnabled(false);
    ui->actionStart->setEnabled(true);
    ui->actionSaveFile->setEnabled(true);
}

void MainWindow::on_verticalScrollBar_valueChanged(int value)
{
    autoFollow = value >= ui->verticalScrollBar->maximum();
}

void MainWindow::on_actionClear_triggered() {}

void MainWindow::on_actionMerge_triggered(bool checked)
{
    ui->actionDecode->setEnabled(!checked);
}

void MainWindow::on_actionProtocolConfig_triggered() {}

void MainWindow::on_actionDecode_triggered(bool checked)
{
    ui->actionMerge->setEnabled(!checked);
}

QString MainWindow::contactText() const
{
    const QString web = QString::fromLatin1(AppInfo::webAddress);
    return QStringLiteral("官方网站") + QStringLiteral("<span style=\"font-size:12px;\"></span>") +
           QStringLiteral("：") + QStringLiteral("<a href=\"%1\">%1</a>").arg(web) +
           QStringLiteral("<br>") + QStringLiteral("技术支持：") +
           QString::fromLatin1(AppInfo::supportContact) + QStringLiteral("<br>");
}

void MainWindow::on_actionHelp_triggered()
{
    QMessageBox::about(this, QStringLiteral("帮助"), contactText());
}

void MainWindow::on_actionAbout_triggered()
{
    QMessageBox::about(this, QStringLiteral("关于"),
                       contactText() + QStringLiteral("版本信息：") +
                           QString::fromLatin1(AppInfo::versionText));
}

void MainWindow::on_actionSaveFile_triggered() {}

void MainWindow::on_actionOpenFile_triggered() {}

void MainWindow::on_actionExit_triggered()
{
    close();
}

void MainWindow::timerEvent(QTimerEvent *event)
{
    if (event->timerId() != refreshTimerId)
        return;
}

void MainWindow::fillPage(int, int) {}

void MainWindow::wheelEvent(QWheelEvent *event)
{
    QScrollBar *bar = ui->verticalScrollBar;
    if (event->angleDelta().y() > 0)
        bar->setValue(qMax(0, bar->value() - 1));
    else
        bar->setValue(bar->value() + 1);
}

void MainWindow::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
}
