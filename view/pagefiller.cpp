#include "view/pagefiller.h"

#include "capture/capturepipeline.h"
#include "capture/storedline.h"
#include "capture/visiblerows.h"
#include "view/findingtext.h"
#include "view/pagegeometry.h"
#include "view/rowstyle.h"

#include <QDebug>
#include <QStandardItem>
#include <QStandardItemModel>

#include <algorithm>
#include <cstring>

bool PageFiller::fillRows(QStandardItemModel &model, CapturePipeline &pipeline,
                          const VisibleRows &rows, qint64 first, int count)
{
    const StoreLease lease = pipeline.tryLeaseStore();
    if (!lease)
        return false;
    const CaptureStore &store = lease.store();
    const qint64 n = first < 0 ? 0 : std::min<qint64>(count, rows.count() - first);
    const qint64 stored = store.lineIndex().lineCount();
    m_lines.clear();
    for (qint64 i = 0; i < n; ++i) {
        const qint64 line = rows.storedLine(first + i);
        if (line < 0 || line >= stored) // a filter ahead of an emptied store
            break;
        m_lines.push_back(line);
    }
    fillLines(model, store, pipeline.health(), m_lines);
    return true;
}

void PageFiller::fillLines(QStandardItemModel &model, const CaptureStore &store,
                           const HealthLog &health, const std::vector<qint64> &lines)
{
    const LineIndex &index = store.lineIndex();
    const int rows = int(lines.size());
    // The index keeps only every few dozen offsets: each run of lines is read
    // from the kept offset before it to the one after it, one positioned read
    // for runs that share them, and split at "\n".
    m_reads.clear();
    qint64 total = 0;
    for (int i = 0; i < rows;) {
        const qint64 from = index.keptAtOrBefore(lines[size_t(i)]);
        qint64 to = index.keptAtOrAfter(lines[size_t(i)] + 1);
        int j = i + 1;
        for (; j < rows && lines[size_t(j)] > lines[size_t(j - 1)] &&
               index.keptAtOrBefore(lines[size_t(j)]) <= to;
             ++j)
            to = index.keptAtOrAfter(lines[size_t(j)] + 1);
        m_reads.insert(m_reads.end(), {from, to, j});
        total += index.keptOffset(to) - index.keptOffset(from);
        i = j;
    }
    m_buffer.resize(int(total));
    m_rowBytes.assign(2 * size_t(rows), 0);
    m_key.clear();
    qint64 at = 0;
    for (size_t r = 0, i = 0; r < m_reads.size(); r += 3) {
        const qint64 base = index.keptOffset(m_reads[r]);
        const qint64 size = index.keptOffset(m_reads[r + 1]) - base;
        const qint64 got = std::max<qint64>(store.readAt(base, m_buffer.data() + at, size), 0);
        const std::string_view bytes(m_buffer.constData() + at, size_t(got));
        // A short read leaves the later lines empty, and so too short.
        size_t p = 0; // where line `line` begins in bytes
        for (qint64 line = m_reads[r]; i < size_t(m_reads[r + 2]); ++i) {
            const size_t begin = p + LineIndex::skipLines(bytes.substr(p), lines[i] - line);
            p = begin + LineIndex::skipLines(bytes.substr(begin), 1);
            line = lines[i] + 1;
            m_rowBytes[2 * i] = at + qint64(begin);
            m_rowBytes[2 * i + 1] = at + qint64(p);
            m_key.insert(m_key.end(), {lines[i], base + qint64(begin), base + qint64(p)});
        }
        at += size;
    }
    // Findings of a capture's end reach a line already shown.
    m_key.insert(m_key.end(), {qint64(health.findingCount()), qint64(health.generation())});
    // The same lines with the same bytes (a merge moves the end of the last
    // one) show the same texts: an idle window does no work.
    if (rows == model.rowCount() && m_key == m_shown)
        return;
    m_shown = m_key;
    if (rows == 0) {
        model.removeRows(0, model.rowCount());
        return;
    }
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
    for (int i = 0; i < rows; ++i) {
        const qint64 from = m_rowBytes[2 * size_t(i)];
        const qint64 to = m_rowBytes[2 * size_t(i) + 1];
        fillRow(model, i, m_buffer.constData() + from, int(to - from));
    }
    markFindings(model, health, lines);
}

void PageFiller::markFindings(QStandardItemModel &model, const HealthLog &health,
                              const std::vector<qint64> &lines)
{
    std::vector<HealthFinding> found;
    size_t next = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        // One read per run of consecutive lines: a filtered page may jump far.
        if (i == 0 || lines[i] != lines[i - 1] + 1) {
            size_t j = i + 1;
            while (j < lines.size() && lines[j] == lines[j - 1] + 1)
                ++j;
            found = health.findings(lines[i], lines[j - 1] + 1);
            next = 0;
        }
        const size_t first = next;
        uint8_t severities = 0;
        for (; next < found.size() && found[next].line == lines[i]; ++next)
            severities |= HealthFinding::severityBit(found[next].severity);
        QStandardItem *item = model.item(int(i), RecordColumn::Number);
        if (!item)
            continue;
        if (next == first) {
            item->setData(QVariant(), Qt::DecorationRole);
            item->setData(QVariant(), Qt::ToolTipRole);
            continue;
        }
        item->setData(FindingText::markerColor(HealthFinding::worstSeverity(severities)),
                      Qt::DecorationRole);
        item->setData(FindingText::tooltip(found, first, next), Qt::ToolTipRole);
    }
}

namespace {
constexpr std::string_view kEllipsis = "\u2026";

// The first kMaxCellBytes bytes of text, not cutting a UTF-8 character.
std::string_view cellPrefix(std::string_view text)
{
    if (text.size() <= size_t(PageFiller::kMaxCellBytes))
        return text;
    size_t end = PageFiller::kMaxCellBytes;
    while (end > 0 && (uchar(text[end]) & 0xC0) == 0x80)
        --end;
    return text.substr(0, end);
}

// The ASCII column of a data field, from its first bytes only; the piece cut
// in two is left out rather than shown as a wrong byte.
QString asciiCellText(std::string_view data)
{
    std::string_view shown = cellPrefix(data);
    if (shown.size() == data.size())
        return RowStyle::asciiText(QString::fromUtf8(data.data(), int(data.size())));
    shown = shown.substr(0, shown.rfind(' '));
    return RowStyle::asciiText(QString::fromUtf8(shown.data(), int(shown.size()))) +
           QString::fromUtf8(kEllipsis.data(), int(kEllipsis.size()));
}
} // namespace

QString PageFiller::cellText(std::string_view field)
{
    const std::string_view shown = cellPrefix(field);
    QString text = QString::fromUtf8(shown.data(), int(shown.size()));
    if (shown.size() < field.size())
        text += QString::fromUtf8(kEllipsis.data(), int(kEllipsis.size()));
    return text;
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
        qDebug().noquote() << "检测到异常数据" << cellText(std::string_view(line, size_t(size)));
        return;
    }
    // A line with more than seven fields has no place in the table's cells.
    if (stored.hasExtraFields() || model.columnCount() != PageGeometry::kColumnCount)
        return;

    const auto text = [&stored](StoredLine::Field f) { return cellText(stored.field(f)); };
    QString cells[RecordColumn::Count];
    cells[RecordColumn::Number] = text(StoredLine::Number);
    cells[RecordColumn::Type] = text(StoredLine::Type);
    cells[RecordColumn::Address] = text(StoredLine::Address);
    cells[RecordColumn::Direction] = text(StoredLine::Direction);
    cells[RecordColumn::Data] = text(StoredLine::Data);
    cells[RecordColumn::Ascii] = stored.is(CaptureRow::Type::Data)
                                     ? asciiCellText(stored.field(StoredLine::Data))
                                     : QStringLiteral("--");
    cells[RecordColumn::Response] = text(StoredLine::Response);
    cells[RecordColumn::Timestamp] = text(StoredLine::Timestamp);

    const std::array<RowStyle::Colour, PageGeometry::kColumnCount> colours =
        RowStyle::textColours(stored);
    for (int k = 0; k < PageGeometry::kColumnCount; ++k) {
        QStandardItem *item = model.item(row, k);
        if (!item)
            continue;
        // Number and timestamp keep the white they were created with.
        if (k != RecordColumn::Number && k != RecordColumn::Timestamp)
            item->setForeground(RowStyle::brush(colours[size_t(k)]));
        item->setText(cells[k]);
    }
}
