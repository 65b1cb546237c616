// Fills the page-sized table model with stored lines: one positioned read per
// run of nearby lines, then texts and colours written into items that
// persist from tick to tick. A page whose lines are unchanged is not rewritten.
#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <string_view>
#include <vector>

class CapturePipeline;
class CaptureStore;
class HealthLog;
class QStandardItemModel;
class QString;
class VisibleRows;

class PageFiller
{
public:
    // A cell shows at most this many bytes of its field, then "…": a row of
    // megabytes must not cost the idle window a core. The line stays whole
    // in the file, and Save writes it whole.
    static constexpr int kMaxCellBytes = 4096;

    // Shows visible rows first .. first+count-1 of rows (clamped to the rows
    // there are) in model, holding a lease on the pipeline's store while it
    // reads. Returns false, and changes nothing, when the store is busy: the
    // next tick tries again. GUI thread.
    bool fillRows(QStandardItemModel &model, CapturePipeline &pipeline, const VisibleRows &rows,
                  qint64 first, int count);

    // The next fill rewrites the page even if its lines and offsets look the
    // same (the store was emptied and filled again, the model cleared).
    void invalidate() { m_shown.clear(); }

    // A field's text for a cell: UTF-8, cut after kMaxCellBytes (never inside
    // a character) with "…" appended.
    static QString cellText(std::string_view field);

private:
    // Lines must exist in the store.
    void fillLines(QStandardItemModel &model, const CaptureStore &store, const HealthLog &health,
                   const std::vector<qint64> &lines);
    // Rows with a bus health finding get a marker of their worst severity in
    // the row-number cell and their findings as its tooltip; the text stays.
    void markFindings(QStandardItemModel &model, const HealthLog &health,
                      const std::vector<qint64> &lines);
    void fillRow(QStandardItemModel &model, int row, const char *line, int size);

    QByteArray m_buffer; // the page's bytes, kept to avoid an allocation per tick
    std::vector<qint64> m_lines;
    // Line, start and end offset of every row shown, to see an unchanged page.
    std::vector<qint64> m_shown;
    std::vector<qint64> m_key;
    std::vector<qint64> m_rowBytes; // start and end of each row's bytes in m_buffer
    std::vector<qint64> m_reads;    // per read: first and end entry, end row (exclusive)
};
