#include "view/healthdock.h"

#include "capture/healthlog.h"
#include "view/findingtext.h"

#include <korvex/korvexhealth.h>

#include <QAction>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace {
constexpr int kRefreshMs = 250;
// Pulses wider than this are the bus itself, not glitches.
constexpr int kWidestGlitchNs = 10000;
} // namespace

HealthDock::HealthDock(const HealthLog &log, QWidget *parent)
    : QDockWidget(QStringLiteral("总线健康"), parent), m_log(log)
{
    setObjectName(QStringLiteral("healthDock"));
    auto *body = new QWidget(this);
    auto *layout = new QVBoxLayout(body);
    layout->setContentsMargins(2, 2, 2, 2);

    auto *modeRow = new QHBoxLayout;
    modeRow->addWidget(new QLabel(QStringLiteral("时序模式："), body));
    m_mode = new QComboBox(body);
    for (int mode = 0; mode < FindingText::kModeCount; ++mode)
        m_mode->addItem(FindingText::modeText(mode), mode);
    modeRow->addWidget(m_mode);
    modeRow->addStretch(1);
    layout->addLayout(modeRow);
    m_modeNote = new QLabel(body);
    m_modeNote->setWordWrap(true);
    layout->addWidget(m_modeNote);
    connect(m_mode, QOverload<int>::of(&QComboBox::activated), this,
            [this] { emit modeChosen(chosenMode()); });

    auto *optionRow = new QHBoxLayout;
    optionRow->addWidget(new QLabel(QStringLiteral("PEC 地址："), body));
    m_pec = new QLineEdit(body);
    m_pec->setPlaceholderText(QStringLiteral("无，例如 0B,50"));
    optionRow->addWidget(m_pec, 1);
    optionRow->addWidget(new QLabel(QStringLiteral("毛刺过滤："), body));
    m_glitch = new QSpinBox(body);
    m_glitch->setRange(0, kWidestGlitchNs);
    m_glitch->setSuffix(QStringLiteral(" ns"));
    m_glitch->setSpecialValueText(QStringLiteral("关"));
    optionRow->addWidget(m_glitch);
    layout->addLayout(optionRow);
    connect(m_pec, &QLineEdit::editingFinished, this, [this] {
        QVector<int> addresses;
        const bool ok = FindingText::addressListFromText(m_pec->text(), &addresses);
        // A list that cannot be read stays marked and changes nothing.
        m_pec->setStyleSheet(ok ? QString() : QStringLiteral("color: red"));
        m_pec->setToolTip(ok ? QString()
                             : QStringLiteral("地址应为 00 到 7F 的十六进制数，以逗号分隔"));
        if (ok)
            emit pecAddressesChosen(addresses);
    });
    connect(m_glitch, QOverload<int>::of(&QSpinBox::valueChanged), this,
            [this](int ns) { emit glitchFilterChosen(ns); });

    m_summary = new QLabel(body);
    layout->addWidget(m_summary);
    m_table = new QTableWidget(0, ColumnCount, body);
    m_table->setHorizontalHeaderLabels({QStringLiteral("问题"), QStringLiteral("严重程度"),
                                        QStringLiteral("次数"), QStringLiteral("最差测量值"),
                                        QStringLiteral("限值")});
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setDefaultSectionSize(20);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_table->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(m_table, 1);

    // Buttons and the table's context menu share the three jumps.
    auto *buttons = new QHBoxLayout;
    const QString texts[] = {QStringLiteral("第一个"), QStringLiteral("下一个"),
                             QStringLiteral("最差")};
    m_table->setContextMenuPolicy(Qt::ActionsContextMenu);
    for (int j = 0; j < 3; ++j) {
        m_buttons[j] = new QPushButton(texts[j], body);
        buttons->addWidget(m_buttons[j]);
        connect(m_buttons[j], &QPushButton::clicked, this, [this, j] { jump(Jump(j)); });
        auto *action = new QAction(QStringLiteral("转到") + texts[j], m_table);
        connect(action, &QAction::triggered, this, [this, j] { jump(Jump(j)); });
        m_table->addAction(action);
    }
    buttons->addStretch(1);
    layout->addLayout(buttons);
    connect(m_table, &QTableWidget::cellDoubleClicked, this, [this] { jump(Jump::First); });
    setWidget(body);

    auto *timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, [this] {
        if (isVisible())
            refresh();
    });
    timer->start(kRefreshMs);
    // Opened: current at once, not a tick later.
    connect(this, &QDockWidget::visibilityChanged, this, [this](bool shown) {
        if (shown)
            refresh();
    });
    refresh();
}

HealthDock *HealthDock::install(QMainWindow *window, QMenu *menu, const HealthLog &log)
{
    auto *dock = new HealthDock(log, window);
    window->addDockWidget(Qt::RightDockWidgetArea, dock);
    dock->hide();
    QAction *toggle = dock->toggleViewAction(); // checkable, follows the dock's visibility
    toggle->setText(QStringLiteral("总线健康"));
    menu->addAction(toggle);
    return dock;
}

int HealthDock::chosenMode() const
{
    return m_mode->currentData().toInt();
}

void HealthDock::setChosenMode(int mode)
{
    const int index = m_mode->findData(mode);
    if (index >= 0)
        m_mode->setCurrentIndex(index);
    refresh();
}

qint64 HealthDock::jumpLine(HealthFinding::Kind kind, Jump jump) const
{
    const HealthLog::KindSummary s = m_log.summaries()[size_t(kind)];
    if (s.count == 0)
        return -1;
    switch (jump) {
    case Jump::First:
        return s.firstLine;
    case Jump::Worst:
        return s.worst.line;
    case Jump::Next: {
        const qint64 next = m_log.nextLine(kind, m_currentLine ? m_currentLine() : -1);
        return next >= 0 ? next : s.firstLine;
    }
    }
    return -1;
}

void HealthDock::jump(Jump jump)
{
    HealthFinding::Kind kind;
    if (!selectedKind(&kind))
        return;
    const qint64 line = jumpLine(kind, jump);
    // A finding of a capture that stored no row has no line to show.
    if (line >= 0)
        emit lineWanted(line);
}

bool HealthDock::selectedKind(HealthFinding::Kind *kind) const
{
    const QTableWidgetItem *item = m_table->item(m_table->currentRow(), KindColumn);
    if (!item)
        return false;
    *kind = HealthFinding::Kind(item->data(Qt::UserRole).toInt());
    return true;
}

void HealthDock::refresh()
{
    const int judged = m_judgedMode ? m_judgedMode() : -1;
    QString note;
    if (judged >= 0)
        note = QStringLiteral("本次捕获按%1判断；")
                   .arg(judged == KORVEX_HEALTH_MODE_AUTO ? QStringLiteral("自动（尚未判定）")
                                                          : FindingText::modeText(judged));
    m_modeNote->setText(note + QStringLiteral("选项在下次开始捕获时生效。"));
    const auto summaries = m_log.summaries();
    quint64 total = 0;
    int rows = 0;
    for (const HealthLog::KindSummary &s : summaries) {
        total += s.count;
        rows += s.count > 0;
    }
    m_summary->setText(total == 0 ? QStringLiteral("未发现总线问题。")
                                  : QStringLiteral("共 %1 项发现，%2 类。").arg(total).arg(rows));
    // Keeps the user's row selected by kind while rows come and go.
    HealthFinding::Kind selected = HealthFinding::Kind::Count;
    selectedKind(&selected);
    m_table->setRowCount(rows);
    int r = 0;
    for (int k = 0; k < HealthFinding::kKindCount; ++k) {
        const HealthLog::KindSummary &s = summaries[size_t(k)];
        if (s.count == 0)
            continue;
        QStringList severities;
        for (int v = 0; v < HealthFinding::kSeverityCount; ++v)
            if (s.severities & (1u << v))
                severities << FindingText::severityText(HealthFinding::Severity(v));
        const std::string_view name = HealthFinding::kindName(HealthFinding::Kind(k));
        const QString texts[ColumnCount] = {
            QString::fromLatin1(name.data(), int(name.size())), severities.join(QLatin1Char('/')),
            QString::number(s.count), FindingText::durationText(s.worst.measuredNs),
            FindingText::durationText(s.worst.limitNs)};
        const QString tip = QStringLiteral("最差：第 %1 行，%2")
                                .arg(s.worst.line)
                                .arg(FindingText::describe(s.worst));
        for (int c = 0; c < ColumnCount; ++c) {
            QTableWidgetItem *item = m_table->item(r, c);
            if (!item) {
                item = new QTableWidgetItem; // owned by the table
                m_table->setItem(r, c, item);
            }
            if (item->text() != texts[c])
                item->setText(texts[c]);
            item->setToolTip(tip);
        }
        QTableWidgetItem *kindItem = m_table->item(r, KindColumn);
        kindItem->setData(Qt::UserRole, k);
        kindItem->setData(Qt::DecorationRole,
                          FindingText::markerColor(HealthFinding::worstSeverity(s.severities)));
        if (HealthFinding::Kind(k) == selected && m_table->currentRow() != r)
            m_table->setCurrentCell(r, KindColumn);
        ++r;
    }
    for (QPushButton *b : m_buttons)
        b->setEnabled(rows > 0);
}
