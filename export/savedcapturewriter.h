// Writes stored capture lines ("number,type,address,direction,data,response,
// timestamp\n", UTF-8) as a saved capture: a fixed-width text table, CSV or
// HTML, CR LF ended. Text is ASCII ("?" for anything else), CSV Latin-1 ("?"
// outside it), HTML UTF-8 with its cell texts and title escaped.
#pragma once

#include "export/savedformat.h"
#include "export/transferresult.h"

#include <QByteArray>
#include <QIODevice>
#include <QString>

#include <string>

class SavedCaptureWriter
{
public:
    SavedCaptureWriter(QIODevice &out, SavedFormat format);

    // Bytes are buffered; call flush() at the end.
    void writeHeader(const QString &title);
    // One stored line, with or without its "\n". False when it has fewer than
    // seven fields and nothing was written for it.
    bool writeStoredLine(const char *line, qsizetype size);
    void writeFooter();
    // Pushes the buffered bytes to the device (and flushes a file device).
    bool flush();

    bool failed() const { return !m_error.isEmpty(); }
    QString errorString() const { return m_error; }
    qint64 rowsWritten() const { return m_rows; }

    // The whole save: header, every line of `store` read sequentially from
    // offset 0, then the HTML end. `progress` sees the bytes read after each
    // line; when it returns false that line is not written, the rows so far
    // stay and the HTML end is still written. None writes nothing at all.
    static TransferResult save(QIODevice &store, QIODevice &out, SavedFormat format,
                               const QString &title, const TransferProgress &progress = {});

    // The header (for HTML everything up to the table head, `title` escaped)
    // and the end of a file of `format`.
    static QByteArray header(SavedFormat format, const QString &title);
    static QByteArray footer(SavedFormat format);

    // Appends the saved row for one stored line to `out`; false when the line
    // has fewer than seven fields (nothing appended). Decoding stops at a NUL
    // byte and every "\n" is dropped.
    static bool appendRow(std::string &out, SavedFormat format, const char *line, qsizetype size);

private:
    void writeBytes(const char *data, qsizetype size);
    void pushBuffer();

    QIODevice &m_out;
    SavedFormat m_format;
    std::string m_buffer;
    qint64 m_rows = 0;
    QString m_error;
};
