#include "pagefiller.h"

#include "capturepipeline.h"
#include "pagegeometry.h"
#include "rowstyle.h"
#include "storedline.h"

#include <QDebug>
#include <QStandardItem>
#include <QStandardItemModel>

#include <algorithm>
#include <cstring>

bool PageFiller::fillPage(QStandardItemModel &model, CapturePipeline &pipeline, int first,
                          int count)
{
    if (!pipeline.tryAcquireStore())
        return false;
    fillPageHeld(model, pipeline.store(), first, count);
    pipeline.releaseStore();
    return true;
}

void PageFiller::fillPageHeld(QStandardItemModel &model, const CaptureStore &store, int first,
                              int count)
{
    const LineIndex &index = store.lineIndex();
    // Only lines that exist: a page never reaches past the last line.
    const qint64 n = first < 0 ? 0 : std::min<qint64>(count, index.lineCount() - first);
    if (n <= 0) {
        model.removeRows(0, model.rowCount());
        return;
    }
    const int rows = int(n);
    if (model.rowCount() != rows) {
        model.removeRows(0, model.rowCount());
        model.setRowCount(rows);
        const QBrush black(Qt::black, Qt::SolidPattern);
        const QBrush white(Qt::white, Qt::SolidPattern);
        for (int r = 0; r < rows; ++r) {
            for (int c = 0; c < model.columnCount(); ++c) {
                auto *item = new QStandardItem; // owned by the model from setItem on
                item->setBackground(black);
                item->setForeground(white);
                model.setItem(r, c, item);
            }
        }
    }

    const qint64 base = index[first];
    const qint64 size = index[first + n] - base;
    m_buffer.resize(int(size));
    const qint64 got = std::max<qint64>(store.readAt(base, m_buffer.data(), size), 0);
    for (int i = 0; i < rows; ++i) {
        // A short read leaves the later lines empty, and so too short.
        const qint64 from = std::min(index[first + i] - base, got);
        const qint64 to = std::min(index[first + i + 1] - base, got);
        fillRow(model, i, m_buffer.constData() + from, int(to - from));
    }
}

void PageFiller::fillRow(QStandardItemModel &model, int row, const char *line, int size)
{
    if (const void *zero = std::memchr(line, 0, size_t(size)))
        size = int(static_cast<const char *>(zero) - line);
    StoredLine stored;
    if (!stored.parse(std::string_view(line, size_t(size)))) {
        // The terminator is not part of the text logged.
        if (size > 0 && line[size - 1] == '\n')
            --size;
        qDebug().noquote() << "检测到异常数据" << QString::fromUtf8(line, size);
        return;
    }
    // A line with more than seven fields has no place in the table's cells.
    if (stored.hasExtraFields() || model.columnCount() != PageGeometry::kColumnCount)
        return;

    const auto text = [&stored](StoredLine::Field f) {
        const std::string_view v = stored.field(f);
        return QString::fromUtf8(v.data(), int(v.size()));
    };
    const QString data = text(StoredLine::Data);
    const QString cells[PageGeometry::kColumnCount] = {
        text(StoredLine::Number),
        text(StoredLine::Type),
        text(StoredLine::Address),
        text(StoredLine::Direction),
        data,
        stored.is(CaptureRow::Type::Data) ? RowStyle::asciiText(data) : QStringLiteral("--"),
        text(StoredLine::Response),
        text(StoredLine::Timestamp)};

    const std::array<RowStyle::Colour, PageGeometry::kColumnCount> colours =
        RowStyle::textColours(stored);
    for (int k = 0; k < PageGeometry::kColumnCount; ++k) {
        QStandardItem *item = model.item(row, k);
        if (!item)
            continue;
        // Number and timestamp keep the white they were created with.
        if (k != 0 && k != PageGeometry::kColumnCount - 1)
            item->setForeground(RowStyle::brush(colours[size_t(k)]));
        item->setText(cells[k]);
    }
}
