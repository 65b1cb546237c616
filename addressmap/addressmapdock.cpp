#include "addressmap/addressmapdock.h"

#include "addressmap/addressgrid.h"

#include "capture/capturepipeline.h"
#include "capture/capturerow.h"
#include "device/profileregistry.h"
#include "protocol/symbolfile.h"
#include "protocol/symbollabeler.h"

#include <QElapsedTimer>
#include <QFileDialog>
#include <QHeaderView>
#include <QMainWindow>
#include <QMenu>
#include <QMessageBox>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace {
constexpr int kRefreshMs = 100;
// The table changes more slowly than the eye follows the grid.
constexpr int kTableEveryTicks = 5;
constexpr int kTableColumns = 12;

qint64 monotonicMs()
{
    static QElapsedTimer clock;
    if (!clock.isValid())
        clock.start();
    return clock.elapsed() + 1; // 0 means "never" to the grid
}

QString timeText(qint64 ns)
{
    std::string text;
    CaptureRow::appendTimestampText(text, ns);
    return QString::fromStdString(text);
}
} // namespace

AddressMapDock::AddressMapDock(CapturePipeline &pipeline, const SymbolLabeler *labeler,
                               QWidget *parent)
    : QDockWidget(QStringLiteral("地址映射"), parent), m_pipeline(pipeline), m_labeler(labeler),
      m_stats(std::make_unique<AddressStats>())
{
    setObjectName(QStringLiteral("addressMapDock"));
    auto *body = new QWidget(this);
    auto *layout = new QVBoxLayout(body);
    layout->setContentsMargins(2, 2, 2, 2);
    m_grid = new AddressGrid(body);
    layout->addWidget(m_grid, 2);

    m_table = new QTableWidget(0, kTableColumns, body);
    m_table->setHorizontalHeaderLabels(
        {QStringLiteral("地址(HEX)"), QStringLiteral("名称"), QStringLiteral("传输次数"),
         QStringLiteral("写入字节"), QStringLiteral("读取字节"), QStringLiteral("地址NACK"),
         QStringLiteral("数据NACK"), QStringLiteral("首次出现"), QStringLiteral("最后出现"),
         QStringLiteral("总线时钟"), QStringLiteral("时钟范围"), QStringLiteral("总线错误")});
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setDefaultSectionSize(20);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    layout->addWidget(m_table, 1);
    setWidget(body);

    SymbolFile::read(SymbolFile::defaultPath(), &m_fileSymbols);
    connect(m_grid, &AddressGrid::addressClicked, this, &AddressMapDock::onAddressClicked);
    m_pipeline.leaseStore()->addObserver(m_stats.get());
    auto *timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, [this] { refresh(++m_tick % kTableEveryTicks == 0); });
    timer->start(kRefreshMs);
    refresh();
}

AddressMapDock::~AddressMapDock()
{
    // The window stops a running capture before its children go.
    m_pipeline.leaseStore()->removeObserver(m_stats.get());
}

AddressMapDock *AddressMapDock::install(QMainWindow *window, QMenu *menu, CapturePipeline &pipeline,
                                        const SymbolLabeler *labeler)
{
    auto *dock = new AddressMapDock(pipeline, labeler, window);
    window->addDockWidget(Qt::RightDockWidgetArea, dock);
    QAction *toggle = dock->toggleViewAction(); // checkable, follows the dock's visibility
    toggle->setText(QStringLiteral("地址映射"));
    menu->addAction(toggle);
    return dock;
}

void AddressMapDock::setProfiles(ProfileRegistry *profiles)
{
    m_profiles = profiles;
    m_grid->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_grid, &QWidget::customContextMenuRequested, this, [this](const QPoint &at) {
        const int address = m_grid->addressAt(at);
        if (address < 0 || !m_profiles)
            return;
        QMenu menu(this);
        fillProfileMenu(&menu, address);
        menu.exec(m_grid->mapToGlobal(at));
    });
}

void AddressMapDock::fillProfileMenu(QMenu *menu, int address)
{
    const auto a = uint8_t(address);
    menu->addSection(
        QStringLiteral("0x%1 的器件配置")
            .arg(QStringLiteral("%1").arg(address, 2, 16, QLatin1Char('0')).toUpper()));
    const auto inForce = m_profiles->assignment().profileFor(a);
    for (const auto &p : m_profiles->library().claimants(a)) {
        const QString id = QString::fromStdString(p->id);
        QAction *action =
            menu->addAction(QStringLiteral("%1 (%2)").arg(QString::fromStdString(p->name), id),
                            this, [this, a, id] {
                                QString why;
                                warnIfUnsaved(m_profiles->choose(a, id, &why), why);
                            });
        action->setCheckable(true);
        action->setChecked(p == inForce);
    }
    QAction *none = menu->addAction(QStringLiteral("无"), this, [this, a] {
        QString why;
        warnIfUnsaved(m_profiles->choose(a, QString(), &why), why);
    });
    none->setCheckable(true);
    none->setChecked(!inForce);
    if (m_profiles->assignment().hasChoice(a))
        menu->addAction(QStringLiteral("自动选择"), this, [this, a] {
            QString why;
            warnIfUnsaved(m_profiles->clearChoice(a, &why), why);
        });
    menu->addSeparator();
    menu->addAction(QStringLiteral("添加器件配置文件…"), this, &AddressMapDock::addProfileFile);
    const auto &failures = m_profiles->library().failures();
    if (!failures.empty()) {
        QStringList lines;
        for (const ProfileLibrary::Failure &f : failures)
            lines << QStringLiteral("%1: %2").arg(f.file, f.reason);
        menu->addAction(QStringLiteral("%1 个器件配置文件未能载入…").arg(failures.size()), this,
                        [this, lines] {
                            QMessageBox::warning(this, QStringLiteral("警告"),
                                                 QStringLiteral("以下器件配置文件未能载入：\n%1")
                                                     .arg(lines.join(QLatin1Char('\n'))));
                        });
    }
}

void AddressMapDock::addProfileFile()
{
    const QString path = QFileDialog::getOpenFileName(
        this, QStringLiteral("添加器件配置文件"), QString(), QStringLiteral("器件配置 (*.xml)"));
    if (path.isEmpty())
        return;
    QString why;
    if (!m_profiles->addFile(path, &why))
        QMessageBox::warning(this, QStringLiteral("警告"),
                             QStringLiteral("器件配置文件未能载入：\n%1").arg(why));
}

void AddressMapDock::warnIfUnsaved(bool saved, const QString &why)
{
    if (!saved)
        QMessageBox::warning(this, QStringLiteral("警告"),
                             QStringLiteral("器件选择未能保存（本次运行仍然有效）：\n%1").arg(why));
}

QString AddressMapDock::clockText(qint64 hz)
{
    if (hz <= 0)
        return QStringLiteral("未知");
    return QStringLiteral("%1 kHz").arg(double(hz) / 1000.0, 0, 'f', 1);
}

QString AddressMapDock::clockRangeText(qint64 lowHz, qint64 highHz)
{
    if (lowHz <= 0 || highHz <= 0)
        return clockText(0);
    const QString low = QString::number(double(lowHz) / 1000.0, 'f', 1);
    const QString high = QString::number(double(highHz) / 1000.0, 'f', 1);
    return low == high ? clockText(lowHz) : QStringLiteral("%1–%2 kHz").arg(low, high);
}

void AddressMapDock::setSelectedAddress(int address)
{
    m_grid->setSelectedAddress(address);
}

void AddressMapDock::onAddressClicked(int address)
{
    if (address == m_grid->selectedAddress()) {
        m_grid->setSelectedAddress(-1);
        emit filterCleared();
    } else {
        m_grid->setSelectedAddress(address);
        emit addressActivated(address);
    }
}

void AddressMapDock::refresh(bool withTable)
{
    // Lines a failed write cut off were counted already: count the store
    // again, once it can be had (nothing is stored after a failure anyway).
    if (m_stats->needsRecount()) {
        if (const StoreLease lease = m_pipeline.tryLeaseStore())
            m_stats->recount(lease.store());
    }
    std::array<AddressFigures, AddressStats::kAddressCount> figures;
    for (int a = 0; a < AddressStats::kAddressCount; ++a)
        figures[size_t(a)] = m_stats->figures(a);
    updateNames();
    m_grid->setFigures(figures, monotonicMs());
    if (withTable && isVisible())
        fillTable(figures);
}

void AddressMapDock::updateNames()
{
    SymbolList symbols = m_labeler ? m_labeler->activeSymbols() : SymbolList();
    if (symbols.isEmpty())
        symbols = m_fileSymbols;
    if (symbols == m_namedSymbols && m_namesSet)
        return; // shared data: the usual case costs one pointer comparison
    m_namedSymbols = symbols;
    m_namesSet = true;
    static_assert(SymbolLabeler::kAddressCount == AddressStats::kAddressCount);
    const auto names = SymbolLabeler::addressNames(symbols);
    for (size_t a = 0; a < names.size(); ++a)
        m_names[a] = names[a].join(QLatin1Char('/'));
    m_grid->setNames(m_names);
}

void AddressMapDock::fillTable(
    const std::array<AddressFigures, AddressStats::kAddressCount> &figures)
{
    int rows = 0;
    for (const AddressFigures &f : figures)
        rows += f.seen();
    m_table->setRowCount(rows);
    int r = 0;
    for (int a = 0; a < AddressStats::kAddressCount; ++a) {
        const AddressFigures &f = figures[size_t(a)];
        if (!f.seen())
            continue;
        const QString texts[] = {QStringLiteral("%1").arg(a, 2, 16, QLatin1Char('0')).toUpper(),
                                 m_names[size_t(a)],
                                 QString::number(f.transfers),
                                 QString::number(f.bytesWritten),
                                 QString::number(f.bytesRead),
                                 QString::number(f.nackedAddresses),
                                 QString::number(f.nackedDataBytes),
                                 timeText(f.firstSeenNs),
                                 timeText(f.lastSeenNs),
                                 clockText(f.clockHz),
                                 clockRangeText(f.clockLowHz, f.clockHighHz),
                                 QString::number(f.errorRows)};
        for (int c = 0; c < kTableColumns; ++c) {
            QTableWidgetItem *item = m_table->item(r, c);
            if (!item) {
                item = new QTableWidgetItem;
                m_table->setItem(r, c, item);
            }
            if (item->text() != texts[c])
                item->setText(texts[c]);
        }
        ++r;
    }
}
