#include "view/recordtable.h"

#include "capture/capturepipeline.h"
#include "transaction/transactiondecoration.h"
#include "view/allrows.h"
#include "view/pagefiller.h"
#include "view/pagegeometry.h"
#include "view/storeresetflag.h"
#include "view/tablenavigator.h"
#include "view/transactioncolumn.h"
#include "view/transactionpagefiller.h"
#include "view/transactionrows.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QResizeEvent>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QTableView>
#include <QTextDocument>
#include <QToolTip>
#include <QWheelEvent>

#include <algorithm>
#include <climits>
#include <vector>

namespace {
// One notch of an ordinary wheel; finer wheels and touchpads send parts of it.
constexpr int kWheelNotch = 120;

// Each view's columns: title, starting width, share of the width (of their
// sum) and what the column must show whole besides its title.
struct Column
{
    const char *title;
    int width;
    int share;
    const char *widest;
};
constexpr Column kRowColumns[RecordColumn::Count] = {
    {"行号", 50, 50, "0000000000"}, {"类型", 70, 70, "START"},
    {"地址(HEX)", 70, 70, "00"},    {"读/写", 60, 60, "WRITE"},
    {"数据(HEX)", 200, 215, ""},    {"数据(ASCII)", 200, 215, ""},
    {"响应", 60, 70, "NACK"},       {"时间戳(h.m.s.ms.us.ns)", 150, 150, "00.00.00.000.000.000"}};
constexpr Column kTransactionColumns[TransactionColumn::Count] = {
    {"序号", 60, 40, "00000000"},
    {"首行", 70, 50, "000000000"},
    {"开始时间", 150, 125, "00.00.00.000.000.000"},
    {"时长", 80, 70, "999.999 ms"},
    {"段", 140, 135, "50 写 → 50 读"},
    {"写入", 140, 135, ""},
    {"读取", 120, 125, ""},
    {"应答", 120, 130, "ACK"},
    {"标签", 60, 50, ""},
    {"状态", 50, 40, "--"},
    {"解码", 240, 220, ""}};
} // namespace

RecordTable::RecordTable(QTableView *view, QScrollBar *scrollBar, CapturePipeline &pipeline,
                         QObject *parent)
    : QObject(parent), m_view(view), m_scrollBar(scrollBar), m_pipeline(pipeline),
      m_model(new QStandardItemModel(this)), m_pageFiller(std::make_unique<PageFiller>()),
      m_allRows(std::make_unique<AllRows>(pipeline.store())),
      m_navigator(std::make_unique<TableNavigator>(m_allRows.get())),
      m_storeReset(std::make_unique<StoreResetFlag>())
{
    m_pipeline.leaseStore()->addObserver(m_storeReset.get());
    m_scrollBar->setRange(0, 0);
    setColumns();
    m_view->setModel(m_model);

    m_view->verticalHeader()->hide();
    // A bold title for the current row's columns would no longer fit the
    // width its column was given ("间戳(h.m.s..." after a click).
    m_view->horizontalHeader()->setHighlightSections(false);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->verticalHeader()->setDefaultSectionSize(PageGeometry::kRowHeight);
    // The model holds exactly the page: the view never scrolls up or down by
    // itself (a click would shift it), but sideways when the columns need
    // more than the window is wide.
    m_view->setAutoScroll(false);
    m_view->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_view->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_view->setTextElideMode(Qt::ElideRight);
    m_view->setWordWrap(false);
    // Keys reach the view, the wheel and tooltips its viewport (where the
    // platform sends them), or the scroll bar under the pointer.
    m_view->installEventFilter(this);
    m_view->viewport()->installEventFilter(this);
    m_scrollBar->installEventFilter(this);
    // A click makes its row current: it stays with its data, not the screen row.
    connect(m_view, &QTableView::pressed, this, [this](const QModelIndex &index) {
        const qint64 line = pageRowLine(index.row());
        if (line >= 0)
            showStoredLine(line);
    });
    connect(m_view, &QTableView::doubleClicked, this, [this](const QModelIndex &index) {
        const qint64 line = m_transactions ? pageRowLine(index.row()) : -1;
        if (line >= 0)
            emit transactionOpened(line);
    });
    // A drag that ends at the bottom follows the capture again, although the
    // capture grew while the thumb was held (the range waits for the release).
    connect(m_scrollBar, &QScrollBar::sliderReleased, this,
            [this] { scrollBarMoved(m_scrollBar->value()); });
    fitColumns();
}

RecordTable::~RecordTable()
{
    m_pipeline.leaseStore()->removeObserver(m_storeReset.get());
}

void RecordTable::forgetEmptiedStore()
{
    if (m_storeReset->take())
        forgetRows();
}

void RecordTable::forgetRows()
{
    // Clear or Open: the old position and page mean nothing now.
    m_navigator->reset();
    m_pageFiller->invalidate();
    if (m_transactionFiller)
        m_transactionFiller->invalidate();
    m_wantedLine = -1;
    m_rowBeforeTransactions = -1;
}

bool RecordTable::following() const
{
    return m_navigator->following();
}

void RecordTable::setColumns()
{
    const Column *columns = m_transactions ? kTransactionColumns : kRowColumns;
    const int count = m_transactions ? int(TransactionColumn::Count) : int(RecordColumn::Count);
    m_headerLabels.clear();
    for (int c = 0; c < count; ++c)
        m_headerLabels << QString::fromUtf8(columns[c].title);
    m_model->clear(); // the items of the other view's columns go too
    m_model->setColumnCount(count);
    m_model->setHorizontalHeaderLabels(m_headerLabels);
    for (int c = 0; c < count; ++c)
        m_view->setColumnWidth(c, columns[c].width);
}

StoreLease RecordTable::holdRows() const
{
    return m_transactions ? m_pipeline.leaseStore() : StoreLease();
}

qint64 RecordTable::pageRowLine(int row) const
{
    const StoreLease held = holdRows();
    return row >= 0 && row < m_navigator->pageCount()
               ? m_navigator->rows()->storedLine(m_navigator->top() + row)
               : -1;
}

qint64 RecordTable::transactionOf(qint64 line, qint64 *end) const
{
    const qint64 k = line >= 0 && m_transactions ? m_transactions->transactionAt(line) : -1;
    if (k < 0)
        return -1;
    if (end)
        *end = m_transactions->endLine(k);
    return m_transactions->firstLine(k);
}

void RecordTable::showTransactions(const TransactionIndex *index)
{
    if (index == m_transactions)
        return;
    forgetEmptiedStore();
    const bool follow = m_navigator->following();
    const qint64 current = m_navigator->currentLine();
    qint64 target = -1;
    {
        // Both ways the transactions' rows are read: held for the switch.
        const StoreLease held = m_pipeline.leaseStore();
        if (index) {
            m_rowBeforeTransactions = current;
            m_transactions = index;
            m_allTransactions = std::make_unique<TransactionRows>(*index);
            m_transactionFiller = std::make_unique<TransactionPageFiller>();
            target = transactionOf(current);
            m_navigator->setRows(m_allTransactions.get());
        } else {
            qint64 end = -1;
            const qint64 first = transactionOf(current, &end);
            // Back on the row the view was entered on while its transaction is current.
            target = first >= 0 && m_rowBeforeTransactions >= first && m_rowBeforeTransactions < end
                         ? m_rowBeforeTransactions
                         : first;
            m_navigator->setRows(m_allRows.get());
            m_transactions = nullptr;
            m_allTransactions.reset();
            m_transactionFiller.reset();
        }
        m_wantedLine = -1;
        m_pageFiller->invalidate();
        setColumns();
        if (follow) {
            m_navigator->reset();
            if (target >= 0)
                m_navigator->showLine(target);
            m_navigator->followNewest();
        } else if (target >= 0) {
            m_navigator->showLine(target);
        }
    }
    fitColumns();
    refresh();
}

void RecordTable::setDecoration(std::unique_ptr<TransactionDecoration> decoration)
{
    m_decoration = std::move(decoration);
    if (m_transactionFiller)
        m_transactionFiller->invalidate();
}

void RecordTable::refresh()
{
    forgetEmptiedStore();
    // The transactions' rows are read while the store is held; busy, the next tick shows them.
    const StoreLease held = m_transactions ? m_pipeline.tryLeaseStore() : StoreLease();
    if (m_transactions && !held)
        return;
    // Rows as they are really drawn: a font may need more than the 20 pixels asked for.
    const int rowHeight = m_model->rowCount() > 0 ? m_view->rowHeight(0)
                                                  : m_view->verticalHeader()->defaultSectionSize();
    m_navigator->setPageRows(PageGeometry::pageRowCount(m_view->viewport()->height(), rowHeight));
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

    // The thumb under the user's mouse stays where it is held.
    if (!m_scrollBar->isSliderDown()) {
        m_settingScrollBar = true;
        m_scrollBar->setRange(0, int(std::min<qint64>(m_navigator->maxTop(), INT_MAX)));
        m_scrollBar->setPageStep(std::max(m_navigator->pageRows(), 1));
        m_scrollBar->setValue(int(std::min<qint64>(m_navigator->top(), INT_MAX)));
        m_settingScrollBar = false;
    }

    if (m_transactions)
        m_transactionFiller->fillRows(*m_model, held, *m_transactions, *m_navigator->rows(),
                                      m_navigator->top(), int(m_navigator->pageCount()),
                                      &m_pipeline.health(), m_decoration.get());
    else if (!m_pageFiller->fillRows(*m_model, m_pipeline, *m_navigator->rows(), m_navigator->top(),
                                     int(m_navigator->pageCount())))
        return; // store busy: the next tick shows it
    // The highlight stays on the current row's data, wherever that is on screen.
    QItemSelectionModel *selection = m_view->selectionModel();
    const int row = m_navigator->currentPageRow();
    if (row < 0) {
        if (selection->hasSelection())
            selection->clear();
    } else if (selection->selectedRows().size() != 1 || !selection->isRowSelected(row, {})) {
        selection->setCurrentIndex(m_model->index(row, 0),
                                   QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
}

void RecordTable::setVisibleRows(VisibleRows *rows)
{
    VisibleRows *all = m_transactions ? static_cast<VisibleRows *>(m_allTransactions.get())
                                      : static_cast<VisibleRows *>(m_allRows.get());
    {
        const StoreLease held = holdRows();
        m_navigator->setRows(rows ? rows : all);
    }
    m_pageFiller->invalidate();
    if (m_transactionFiller)
        m_transactionFiller->invalidate();
    refresh();
}

qint64 RecordTable::currentStoredLine() const
{
    return m_navigator->currentLine();
}

void RecordTable::showStoredLine(qint64 line)
{
    // Before the line is placed: a reset seen later would throw it away.
    forgetEmptiedStore();
    {
        const StoreLease held = holdRows();
        // A transaction is shown for any of its lines.
        const qint64 first = transactionOf(line);
        if (first >= 0)
            line = first;
        m_navigator->showLine(line);
    }
    m_wantedShownAs = m_navigator->currentLine();
    m_wantedLine = m_wantedShownAs == line ? -1 : line;
    refresh();
}

void RecordTable::followNewest()
{
    const StoreLease held = holdRows();
    m_navigator->followNewest();
}

void RecordTable::scrollBarMoved(int value)
{
    if (m_settingScrollBar)
        return;
    {
        const StoreLease held = holdRows();
        // The bottom of the bar is the newest row, however many came meanwhile.
        m_navigator->scrollTo(value >= m_scrollBar->maximum() ? m_navigator->maxTop() : value);
    }
    refresh();
}

void RecordTable::wheelTurned(int angleDelta)
{
    // A turn the other way starts afresh rather than paying back the other's part.
    if ((angleDelta > 0) != (m_wheelRemainder > 0))
        m_wheelRemainder = 0;
    m_wheelRemainder += angleDelta;
    const int rows = m_wheelRemainder / kWheelNotch;
    if (rows == 0)
        return;
    m_wheelRemainder -= rows * kWheelNotch;
    {
        const StoreLease held = holdRows();
        // Away from the user (positive) goes towards the first row.
        m_navigator->scrollBy(-rows);
    }
    refresh();
}

bool RecordTable::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::KeyPress:
        return watched == m_view && navigationKey(static_cast<QKeyEvent *>(event));
    case QEvent::Wheel: {
        if (watched == m_view)
            return false; // reaches the view only from its viewport, handled there
        const int dy = static_cast<QWheelEvent *>(event)->angleDelta().y();
        if (dy == 0)
            return false; // sideways: the table scrolls its columns
        wheelTurned(dy);
        // Accepted, or the application hands it on to the window's own wheel handler.
        event->accept();
        return true;
    }
    case QEvent::ToolTip:
        return watched == m_view->viewport() && showCellToolTip(static_cast<QHelpEvent *>(event));
    case QEvent::Resize:
        if (watched == m_view)
            fitColumns();
        return false;
    default:
        return false;
    }
}

bool RecordTable::navigationKey(const QKeyEvent *event)
{
    const bool control = event->modifiers() & Qt::ControlModifier;
    const int key = event->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        if (!m_transactions || m_navigator->currentLine() < 0)
            return false;
        emit transactionOpened(m_navigator->currentLine());
        return true;
    }
    const bool vertical = key == Qt::Key_Up || key == Qt::Key_Down || key == Qt::Key_PageUp ||
                          key == Qt::Key_PageDown;
    if (!vertical && !(control && (key == Qt::Key_Home || key == Qt::Key_End)))
        return false;
    {
        const StoreLease held = holdRows();
        const qint64 page = std::max(m_navigator->pageRows(), 1);
        switch (key) {
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
            m_navigator->toFirst();
            break;
        default:
            m_navigator->toLast();
        }
    }
    refresh();
    return true;
}

bool RecordTable::showCellToolTip(const QHelpEvent *event)
{
    const QModelIndex index = m_view->indexAt(event->pos());
    // A cell cut with "…" carries its whole text.
    const QString whole = index.data(Qt::ToolTipRole).toString();
    if (!whole.isEmpty()) {
        QToolTip::showText(event->globalPos(), Qt::convertFromPlainText(whole), m_view->viewport(),
                           m_view->visualRect(index));
        return true;
    }
    const QString text = index.data().toString();
    const int margin = 2 * (m_view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1);
    if (text.isEmpty() || m_view->fontMetrics().horizontalAdvance(text) + margin <=
                              m_view->visualRect(index).width()) {
        QToolTip::hideText();
        return true;
    }
    // Rich text wraps, so a long data field stays on screen.
    QToolTip::showText(event->globalPos(), Qt::convertFromPlainText(text), m_view->viewport(),
                       m_view->visualRect(index));
    return true;
}

void RecordTable::fitColumns()
{
    QHeaderView *header = m_view->horizontalHeader();
    // What each column must show whole: its title and its widest content.
    const Column *columns = m_transactions ? kTransactionColumns : kRowColumns;
    const int count = m_model->columnCount();
    const int cellMargin = 2 * (m_view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1) + 2;
    const int titleMargin = 2 * m_view->style()->pixelMetric(QStyle::PM_HeaderMargin) + 4;
    std::vector<int> widths(static_cast<size_t>(count)), minimum(widths), shares(widths);
    for (int c = 0; c < count; ++c) {
        widths[size_t(c)] = m_view->columnWidth(c);
        shares[size_t(c)] = columns[c].share;
        minimum[size_t(c)] =
            std::max(header->fontMetrics().horizontalAdvance(m_headerLabels.value(c)) + titleMargin,
                     m_view->fontMetrics().horizontalAdvance(QString::fromUtf8(columns[c].widest)) +
                         cellMargin);
    }
    if (!m_transactions) // room for a bus health marker beside the number
        minimum[RecordColumn::Number] += m_view->style()->pixelMetric(QStyle::PM_SmallIconSize) + 4;
    const std::vector<int> current = widths;
    PageGeometry::shareWidths(m_view->width() - 2 * m_view->frameWidth(), count, shares.data(),
                              minimum.data(), widths.data());
    for (int c = 0; c < count; ++c)
        if (widths[size_t(c)] != current[size_t(c)])
            m_view->setColumnWidth(c, widths[size_t(c)]);
}
