#include "tools/storedlineformats.h"

#include "addressmap/addressstats.h"
#include "capture/eventconverter.h"
#include "capture/storedline.h"
#include "device/decodedcolumn.h"
#include "export/savedcapturewriter.h"
#include "transaction/transactionbuilder.h"
#include "transaction/transactioncsv.h"

#include <QFile>

#include <optional>

#include <climits>

namespace korvex {

namespace {

// Turns each batch of events into rows, as the capture callback does (the
// converter carries its state across batches, so the rows do not depend on
// where the batches are cut), and hands them to takeRow().
class RowWriter : public FormatWriter
{
public:
    using FormatWriter::FormatWriter;

    bool write(const I2CEvent *events, const uint64_t *, size_t count) override
    {
        m_rows.clear();
        m_converter.convertEvents(events, int(count), m_rows);
        for (const CaptureRow &row : m_rows) {
            if (!takeRow(row))
                return false;
        }
        return true;
    }

protected:
    virtual bool takeRow(const CaptureRow &row) = 0;

    // The next stored line, "number,...\n", in m_line; false past the
    // numbers a capture file can hold.
    bool storedLine(const CaptureRow &row)
    {
        if (m_number == INT_MAX)
            return fail("more rows than a capture file numbers (" + std::to_string(INT_MAX) + ")");
        m_line.clear();
        StoredLine::append(m_line, m_number++, row);
        return true;
    }

    std::string m_line;

private:
    EventConverter m_converter;
    std::vector<CaptureRow> m_rows;
    int m_number = 0;
};

class StoreLineWriter final : public RowWriter
{
public:
    using RowWriter::RowWriter;

private:
    bool takeRow(const CaptureRow &row) override
    {
        if (!storedLine(row))
            return false;
        m_buffer += m_line;
        return flushIfFull();
    }
};

class SavedWriter final : public RowWriter
{
public:
    SavedWriter(OutputFile &out, SavedFormat format) : RowWriter(out), m_format(format)
    {
        const std::string &path = out.path();
        m_buffer = SavedCaptureWriter::header(
                       format, path.empty() ? QStringLiteral("-") : QFile::decodeName(path.c_str()))
                       .toStdString();
    }

    bool finish() override
    {
        if (m_format == SavedFormat::Html)
            m_buffer += SavedCaptureWriter::footer(m_format).toStdString();
        return flush();
    }

private:
    bool takeRow(const CaptureRow &row) override
    {
        if (!storedLine(row))
            return false;
        SavedCaptureWriter::appendRow(m_buffer, m_format, m_line.data(), qsizetype(m_line.size()));
        return flushIfFull();
    }

    const SavedFormat m_format;
};

// Rows go straight to the counts, as the store hands them on with Merge and
// Decode off; the table is written at the end.
class SummaryWriter final : public RowWriter
{
public:
    using RowWriter::RowWriter;

    bool finish() override
    {
        m_buffer = m_stats.summaryText();
        return flush();
    }

private:
    bool takeRow(const CaptureRow &row) override
    {
        m_stats.addRow(row);
        return true;
    }

    AddressStats m_stats;
};

// The rows' stored lines grouped into transactions as the transaction view
// groups them, one CSV row each as the view's export writes it. Only the
// transaction being built is held, its bytes capped like the view's.
class TransactionWriter final : public RowWriter
{
public:
    // profiles: who decodes which address, for a last column `decoded`;
    // null: no such column.
    TransactionWriter(OutputFile &out, const ProfileAssignment *profiles)
        : RowWriter(out), m_builder(kMaxLines)
    {
        if (profiles)
            m_decoded.emplace(*profiles);
        m_buffer = m_decoded ? DecodedColumn::header() : std::string(TransactionCsv::kHeader);
    }

    bool finish() override
    {
        // Unfinished at the end of the recording: open, as the view shows it.
        if (m_builder.started())
            write(m_builder.finish(false));
        return flush();
    }

private:
    // Rows of one transaction kept whole; a longer one is written cut.
    static constexpr qint64 kMaxLines = qint64(1) << 16;

    bool takeRow(const CaptureRow &row) override
    {
        const qint64 line = m_lines++;
        if (!storedLine(row))
            return false;
        StoredLine stored;
        stored.parse(m_line);
        if (m_builder.begins(stored)) {
            if (m_builder.started())
                write(m_builder.finish(true));
            m_builder.start(m_transactions++, line);
        }
        m_builder.add(stored);
        return flushIfFull();
    }

    void write(const Transaction &t)
    {
        TransactionCsv::appendRow(m_buffer, t);
        if (m_decoded)
            m_decoded->append(m_buffer, t);
    }

    TransactionBuilder m_builder;
    std::optional<DecodedColumn> m_decoded;
    qint64 m_lines = 0;
    qint64 m_transactions = 0;
};

} // namespace

std::unique_ptr<FormatWriter> makeTransactionWriter(OutputFile &out,
                                                    const ProfileAssignment *profiles)
{
    return std::make_unique<TransactionWriter>(out, profiles);
}

std::unique_ptr<FormatWriter> makeStoreLineWriter(OutputFile &out)
{
    return std::make_unique<StoreLineWriter>(out);
}

std::unique_ptr<FormatWriter> makeSavedCaptureWriter(OutputFile &out, SavedFormat format)
{
    return std::make_unique<SavedWriter>(out, format);
}

std::unique_ptr<FormatWriter> makeAddressSummaryWriter(OutputFile &out)
{
    return std::make_unique<SummaryWriter>(out);
}

} // namespace korvex
