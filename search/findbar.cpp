#include "search/findbar.h"

#include "transaction/transactionquery.h"
#include "view/transactionsearch.h"

#include <QApplication>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QResizeEvent>
#include <QToolButton>

namespace {
// Progress and match counts are refreshed at this rate while work runs.
constexpr int kProgressMs = 100;
// The query keeps room for this many characters, however narrow the bar;
// a status with less room than kStatusChars moves to a second row.
constexpr int kQueryChars = 25;
constexpr int kStatusChars = 12;
} // namespace

FindBar::FindBar(CapturePipeline &pipeline, const BlockIndex &blocks, Hooks hooks, QWidget *parent)
    : QWidget(parent), m_pipeline(pipeline), m_hooks(std::move(hooks)),
      m_search(new CaptureSearch(pipeline, blocks, this)), m_query(new QLineEdit(this)),
      m_previous(new QPushButton(QStringLiteral("上一个"), this)),
      m_next(new QPushButton(QStringLiteral("下一个"), this)),
      m_filter(new QCheckBox(QStringLiteral("只显示匹配行"), this)), m_status(new QLabel(this)),
      m_label(new QLabel(QStringLiteral("查找："), this)), m_close(new QToolButton(this)),
      m_top(new QHBoxLayout), m_bottom(new QHBoxLayout)
{
    m_query->setPlaceholderText(QStringLiteral("查找，例如 addr=50 data=12,34 NACK"));
    m_query->setToolTip(
        QStringLiteral("查找条件，以空格分隔，不同种类的条件须同时满足，同一种类满足其一即可：\n"
                       "addr=50　地址（十六进制，可带 0x）\n"
                       "data=12,34　数据字节序列（十六进制，可带 0x，也在合并行中查找）\n"
                       "label=名称　协议标签文字\n"
                       "START ADDR DATA STOP　类型\n"
                       "READ WRITE　读/写\n"
                       "ACK NACK　响应\n"
                       "回车或 F3 查找下一个，Shift+F3 查找上一个，Esc 取消"));
    m_rowsToolTip = m_query->toolTip();
    m_query->setMinimumWidth(m_query->fontMetrics().averageCharWidth() * kQueryChars);
    m_previous->setToolTip(QStringLiteral("查找上一个 (Shift+F3)"));
    m_next->setToolTip(QStringLiteral("查找下一个 (F3)"));
    m_filter->setToolTip(QStringLiteral("表格中只显示符合查找条件的行"));
    m_close->setText(QStringLiteral("×"));
    m_close->setToolTip(QStringLiteral("关闭查找栏 (Esc)"));
    m_close->setAutoRaise(true);
    // The status gives way to everything else and is cut to what is left.
    m_status->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_status->installEventFilter(this);

    auto *rows = new QVBoxLayout(this);
    rows->setContentsMargins(4, 2, 4, 2);
    rows->addLayout(m_top);
    rows->addLayout(m_bottom);
    m_top->addWidget(m_label);
    m_top->addWidget(m_query, 1);
    m_top->addWidget(m_close);
    arrangeRows(false);

    connect(m_query, &QLineEdit::returnPressed, this,
            [this] { findFrom(!(QApplication::keyboardModifiers() & Qt::ShiftModifier)); });
    // An old "未找到" says nothing of the query being typed.
    connect(m_query, &QLineEdit::textEdited, this, [this] { setStatus(QString()); });
    connect(m_previous, &QPushButton::clicked, this, &FindBar::findPrevious);
    connect(m_next, &QPushButton::clicked, this, &FindBar::findNext);
    connect(m_filter, &QCheckBox::toggled, this, &FindBar::setFilterOn);
    connect(m_close, &QToolButton::clicked, this, [this] {
        cancelSearches();
        hide();
    });
    connect(m_search, &CaptureSearch::findFinished, this, &FindBar::onFindFinished);
    connect(&m_progressTimer, &QTimer::timeout, this, &FindBar::updateProgress);
    m_progressTimer.setInterval(kProgressMs);
}

FindBar::~FindBar()
{
    // The window may still hold the filter's rows; it must not read them
    // after the workers are gone.
    if (filterRows() && m_hooks.setVisibleRows)
        m_hooks.setVisibleRows(nullptr);
    delete m_transactionSearch; // joins its workers
    m_search->cancel();
}

void FindBar::activate()
{
    show();
    m_query->setFocus(Qt::ShortcutFocusReason);
    m_query->selectAll();
}

QString FindBar::statusText() const
{
    return m_statusText;
}

void FindBar::setStatus(const QString &text)
{
    m_statusText = text;
    showStatus();
}

void FindBar::showStatus()
{
    const QString shown =
        m_status->fontMetrics().elidedText(m_statusText, Qt::ElideRight, m_status->width());
    m_status->setText(shown);
    m_status->setToolTip(m_statusText);
}

int FindBar::rowWidth(std::initializer_list<const QWidget *> widgets, int extra) const
{
    const QMargins margins = layout()->contentsMargins();
    int width =
        margins.left() + margins.right() + extra + m_top->spacing() * (int(widgets.size()) - 1);
    for (const QWidget *w : widgets)
        width += w->minimumSizeHint().expandedTo(w->minimumSize()).width();
    return width;
}

int FindBar::oneRowWidth() const
{
    return rowWidth({m_label, m_query, m_previous, m_next, m_filter, m_close},
                    m_top->spacing() + m_status->fontMetrics().averageCharWidth() * kStatusChars);
}

QSize FindBar::minimumSizeHint() const
{
    // What two rows need, however the bar is arranged now: a narrow bar
    // goes to two rows rather than widen the window.
    return {
        std::max(rowWidth({m_label, m_query, m_close}), rowWidth({m_previous, m_next, m_filter})),
        layout()->minimumSize().height()};
}

void FindBar::arrangeRows(bool twoRows)
{
    // Two rows: the query (with its label and ×) keeps the first to itself.
    for (QWidget *w : std::initializer_list<QWidget *>{m_previous, m_next, m_filter, m_status}) {
        m_top->removeWidget(w);
        m_bottom->removeWidget(w);
    }
    QHBoxLayout *row = twoRows ? m_bottom : m_top;
    int at = twoRows ? 0 : 2;
    row->insertWidget(at++, m_previous);
    row->insertWidget(at++, m_next);
    row->insertWidget(at++, m_filter);
    row->insertWidget(at, m_status, 1);
    m_twoRows = twoRows;
}

void FindBar::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    const bool twoRows = event->size().width() < oneRowWidth();
    if (twoRows != m_twoRows)
        arrangeRows(twoRows);
}

bool FindBar::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_status && event->type() == QEvent::Resize)
        showStatus();
    return QWidget::eventFilter(watched, event);
}

bool FindBar::readQuery(SearchQuery *query)
{
    QString error;
    if (query->parse(m_query->text(), &error))
        return true;
    setStatus(error);
    return false;
}

bool FindBar::readQuery(TransactionQuery *query)
{
    QString error;
    if (query->parse(m_query->text(), &error))
        return true;
    setStatus(error);
    return false;
}

void FindBar::findFrom(bool forward)
{
    show();
    SearchQuery query;
    TransactionQuery transactionQuery;
    if (m_transactionSearch ? !readQuery(&transactionQuery) : !readQuery(&query))
        return;
    // A changed query on Return also changes what the filter shows.
    if (m_filter->isChecked() && m_query->text() != m_filterText)
        setFilterOn(true);
    m_findForward = forward;
    const qint64 from = m_hooks.currentStoredLine();
    m_findSerial = m_transactionSearch ? m_transactionSearch->find(transactionQuery, from, forward)
                                       : m_search->find(query, from, forward);
    setStatus(QStringLiteral("正在查找…"));
    m_progressTimer.start();
}

void FindBar::onFindFinished(qint64 line, CaptureSearch::FindStatus status, int serial)
{
    if (serial != m_findSerial)
        return; // an earlier find's late answer
    switch (status) {
    case CaptureSearch::Found:
        setStatus(QString());
        break;
    case CaptureSearch::FoundWrapped:
        setStatus(m_findForward ? QStringLiteral("已到末尾，从开头继续查找")
                                : QStringLiteral("已到开头，从末尾继续查找"));
        break;
    case CaptureSearch::NotFound:
        setStatus(QStringLiteral("未找到"));
        break;
    case CaptureSearch::Canceled:
        setStatus(QStringLiteral("已取消查找"));
        break;
    case CaptureSearch::Changed:
        setStatus(QStringLiteral("数据已变化，请重新查找"));
        break;
    }
    if (line >= 0)
        m_hooks.showStoredLine(line);
    updateProgress();
}

void FindBar::setFilterOn(bool on)
{
    SearchQuery query;
    TransactionQuery transactionQuery;
    if (on && (m_transactionSearch ? !readQuery(&transactionQuery) : !readQuery(&query)))
        on = false;
    const QSignalBlocker blocker(m_filter);
    m_filter->setChecked(on);
    // The window lets go of the old rows before they go.
    const qint64 current = m_hooks.currentStoredLine();
    if (filterRows())
        m_hooks.setVisibleRows(nullptr);
    stopFilter();
    if (on) {
        setStatus(QString()); // what an earlier find said is no answer to this filter
        m_filterText = m_query->text();
        if (m_transactionSearch)
            m_transactionSearch->startFilter(transactionQuery);
        else
            m_search->startFilter(query);
        m_hooks.setVisibleRows(filterRows());
        m_progressTimer.start();
    } else {
        m_filterText.clear();
    }
    // Back on the row shown before (the filter shows the nearest match).
    if (current >= 0)
        m_hooks.showStoredLine(current);
    updateProgress();
    emit filterChanged(on);
}

void FindBar::filterBy(const QString &queryText)
{
    show();
    m_query->setText(queryText);
    setFilterOn(true);
}

void FindBar::cancelSearches()
{
    cancelFind();
    if (m_filter->isChecked())
        setFilterOn(false);
}

void FindBar::setTransactionView(const TransactionIndex *index,
                                 const std::function<void()> &switchView,
                                 const TransactionDecoration *decoration)
{
    const bool filtering = m_filter->isChecked();
    cancelFind();
    if (filterRows())
        m_hooks.setVisibleRows(nullptr);
    stopFilter();
    delete m_transactionSearch;
    m_transactionSearch =
        index ? new TransactionSearch(m_pipeline, *index, m_search->blocks(), this, decoration)
              : nullptr;
    if (m_transactionSearch)
        connect(m_transactionSearch, &TransactionSearch::findFinished, this,
                &FindBar::onFindFinished);
    m_filter->setText(index ? QStringLiteral("只显示匹配的事务") : QStringLiteral("只显示匹配行"));
    m_query->setToolTip(
        index ? m_rowsToolTip + QStringLiteral("\n事务视图中，事务的各行合起来满足条件即匹配；"
                                               "另有 dur>5ms dur<1s　事务时长（ns、us、ms、s）；"
                                               "reg=Seconds　访问该寄存器的事务（按器件描述解码）；"
                                               "label= 也查找解码文字")
              : m_rowsToolTip);
    switchView();
    if (filtering)
        setFilterOn(true);
}

void FindBar::updateProgress()
{
    if (m_transactionSearch && findRunning())
        setStatus(QStringLiteral("正在查找…"));
    else if (findRunning())
        setStatus(QStringLiteral("正在查找… %1%").arg(m_search->findProgress()));
    const VisibleRows *rows = filterRows();
    if (!rows) {
        m_hooks.setFilterStatus(QString());
    } else {
        // The matches found so far, out of the lines the filter judges (both
        // taken together: the store may have been emptied a moment ago).
        const int done = filterProgress();
        const FilterRows::Tally tally =
            m_transactionSearch ? m_transactionSearch->filterTally() : m_search->filterTally();
        const QString shown = (m_transactionSearch ? QStringLiteral("筛选：%1 个事务（%2 行中）")
                                                   : QStringLiteral("筛选：%1 / %2 行"))
                                  .arg(tally.matches)
                                  .arg(tally.outOf);
        m_hooks.setFilterStatus(done < 100 ? shown + QStringLiteral("（已检查 %1%）").arg(done)
                                           : shown);
    }
    if (!findRunning() && !rows)
        m_progressTimer.stop();
}

void FindBar::keyPressEvent(QKeyEvent *event)
{
    if (event->key() != Qt::Key_Escape) {
        QWidget::keyPressEvent(event);
        return;
    }
    // Esc stops what runs; with nothing running it closes the bar.
    if (findRunning()) {
        cancelFind();
    } else if (filterRows() && filterProgress() < 100) {
        setFilterOn(false);
        setStatus(QStringLiteral("已取消筛选"));
    } else {
        cancelSearches();
        hide();
    }
}

VisibleRows *FindBar::filterRows() const
{
    return m_transactionSearch ? m_transactionSearch->filterRows() : m_search->filterRows();
}

bool FindBar::findRunning() const
{
    return m_transactionSearch ? m_transactionSearch->findRunning() : m_search->findRunning();
}

void FindBar::cancelFind()
{
    if (m_transactionSearch)
        m_transactionSearch->cancelFind();
    m_search->cancelFind();
}

void FindBar::stopFilter()
{
    if (m_transactionSearch)
        m_transactionSearch->stopFilter();
    m_search->stopFilter();
}

int FindBar::filterProgress() const
{
    return m_transactionSearch ? m_transactionSearch->filterProgress() : m_search->filterProgress();
}
