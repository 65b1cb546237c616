#include "view/recordtable.h"

#include "capture/capturepipeline.h"
#include "view/allrows.h"
#include "view/pagefiller.h"
#include "view/pagegeometry.h"
#include "view/storeresetflag.h"
#include "view/tablenavigator.h"

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

namespace {
// One notch of an ordinary wheel; finer wheels and touchpads send parts of it.
constexpr int kWheelNotch = 120;
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
    m_headerLabels << QStringLiteral("行号") << QStringLiteral("类型")
                   << QStringLiteral("地址(HEX)") << QStringLiteral("读/写")
                   << QStringLiteral("数据(HEX)") << QStringLiteral("数据(ASCII)")
                   << QStringLiteral("响应") << QStringLiteral("时间戳(h.m.s.ms.us.ns)");
    m_model->setColumnCount(m_headerLabels.size());
    m_model->setHorizontalHeaderLabels(m_headerLabels);
    m_model->setRowCount(0);
    m_view->setModel(m_model);

    m_view->verticalHeader()->hide();
    // A bold title for the current row's columns would no longer fit the
    // width its column was given ("间戳(h.m.s..." after a click).
    m_view->horizontalHeader()->setHighlightSections(false);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->verticalHeader()->setDefaultSectionSize(PageGeometry::kRowHeight);
    const int widths[RecordColumn::Count] = {50, 70, 70, 60, 200, 200, 60, 150};
    for (int c = 0; c < RecordColumn::Count; ++c)
        m_view->setColumnWidth(c, widths[c]);
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
        if (index.row() < m_navigator->pageCount())
            showStoredLine(m_navigator->rows()->storedLine(m_navigator->top() + index.row()));
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
    m_wantedLine = -1;
}

void RecordTable::refresh()
{
    forgetEmptiedStore();
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

    if (!m_pageFiller->fillRows(*m_model, m_pipeline, *m_navigator->rows(), m_navigator->top(),
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
    m_navigator->setRows(rows ? rows : m_allRows.get());
    m_pageFiller->invalidate();
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
    m_navigator->showLine(line);
    m_wantedShownAs = m_navigator->currentLine();
    m_wantedLine = m_wantedShownAs == line ? -1 : line;
    refresh();
}

void RecordTable::followNewest()
{
    m_navigator->followNewest();
}

void RecordTable::scrollBarMoved(int value)
{
    if (m_settingScrollBar)
        return;
    // The bottom of the bar is the newest row, however many came meanwhile.
    m_navigator->scrollTo(value >= m_scrollBar->maximum() ? m_navigator->maxTop() : value);
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
    // Away from the user (positive) goes towards the first row.
    m_navigator->scrollBy(-rows);
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
    refresh();
    return true;
}

bool RecordTable::showCellToolTip(const QHelpEvent *event)
{
    const QModelIndex index = m_view->indexAt(event->pos());
    // A row's bus health findings, on its number cell.
    const QString findings = index.data(Qt::ToolTipRole).toString();
    if (!findings.isEmpty()) {
        QToolTip::showText(event->globalPos(), findings, m_view->viewport(),
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
    // What each column must show whole: its title, a 10-digit row number, the
    // longest type, direction and response, the whole timestamp.
    static const char *const kWidest[RecordColumn::Count] = {
        "0000000000", "START", "00", "WRITE", "", "", "NACK", "00.00.00.000.000.000"};
    const int cellMargin = 2 * (m_view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1) + 2;
    const int titleMargin = 2 * m_view->style()->pixelMetric(QStyle::PM_HeaderMargin) + 4;
    PageGeometry::Widths current{}, minimum{};
    for (int c = 0; c < RecordColumn::Count; ++c) {
        current[size_t(c)] = m_view->columnWidth(c);
        minimum[size_t(c)] = std::max(
            header->fontMetrics().horizontalAdvance(m_headerLabels.value(c)) + titleMargin,
            m_view->fontMetrics().horizontalAdvance(QLatin1String(kWidest[c])) + cellMargin);
    }
    // Room for a bus health marker beside the number.
    minimum[RecordColumn::Number] += m_view->style()->pixelMetric(QStyle::PM_SmallIconSize) + 4;
    const PageGeometry::Widths widths =
        PageGeometry::columnWidths(m_view->width() - 2 * m_view->frameWidth(), current, minimum);
    for (int c = 0; c < RecordColumn::Count; ++c)
        if (widths[size_t(c)] != current[size_t(c)])
            m_view->setColumnWidth(c, widths[size_t(c)]);
}
