// A capture stored through the real store with block summaries beside it, and a brute-force
// answer to compare find and filter with.
#pragma once

#include "capture/capturepipeline.h"
#include "rowtestutil.h"
#include "search/blockindex.h"
#include "search/capturesearch.h"

#include <QStringList>
#include <QTemporaryDir>

#include <random>
#include <thread>

struct SearchFixture
{
    QTemporaryDir dir;
    CapturePipeline pipeline;
    BlockIndex blocks{pipeline.store()};
    std::mt19937 random{7};

    SearchFixture()
    {
        pipeline.leaseStore()->addObserver(&blocks);
        pipeline.leaseStore()->open(dir.filePath("I2CDataTemp.dat"));
    }
    // 50/51 common, 33 rare, some labelled; stored under the store.
    void store(int rows, bool merge, int rareEvery = 5000)
    {
        std::vector<CaptureRow> batch;
        for (int i = 0; i < rows; ++i) {
            const unsigned r = unsigned(random());
            const int address = r % unsigned(rareEvery) == 0 ? 0x33 : 0x50 + int(r >> 8 & 1);
            CaptureRow row = dataRow(address, r >> 9 & 1, "", r % 7 != 0, i);
            static const char *kBytes[] = {"12", "34", "11", "23", "45", "01"};
            row.data = kBytes[r >> 10 & 3 ? (r >> 12) % 6 : 0];
            if ((r >> 14) % 5 == 0)
                row.data += (r >> 18) % 2 ? " [EEPROM]" : " [CMD 1]";
            const int kind = (r >> 20) % 8;
            if (kind == 0)
                row = CaptureRow::start(i);
            else if (kind == 1)
                row = CaptureRow::stop(i);
            else if (kind == 2)
                row.type = CaptureRow::Type::Addr;
            batch.push_back(row);
        }
        pipeline.mergeEnabled = merge;
        pipeline.leaseStore()->appendRows(batch, pipeline.mergeEnabled, pipeline.decodeEnabled,
                                          nullptr);
    }
    QStringList lines()
    {
        const QByteArray all = pipeline.leaseStore()->readLines(0, pipeline.storedLineCount());
        return QString::fromUtf8(all).split('\n', Qt::SkipEmptyParts); // no stored line is empty
    }
};

// Every query the tests ask, with the brute-force test of a line's fields.
struct OracleQuery
{
    const char *text;
    bool (*matches)(const QStringList &fields, const QStringList &bytes, const QString &labels);
};

inline const std::vector<OracleQuery> &oracleQueries()
{
    static const std::vector<OracleQuery> queries = {
        {"addr=33", [](auto &f, auto &, auto &) { return f[2] == "33"; }},
        {"nack Addr=50", [](auto &f, auto &, auto &) { return f[2] == "50" && f[5] == "NACK"; }},
        {"START stop", [](auto &f, auto &, auto &) { return f[1] == "START" || f[1] == "STOP"; }},
        {"data=12,34 WRITE",
         [](auto &f, auto &b, auto &) {
             return f[3] == "WRITE" && (' ' + b.join(' ') + ' ').contains(" 12 34 ");
         }},
        {"data=1", [](auto &, auto &b, auto &) { return b.contains("01"); }},
        {"label=EEP READ addr=51",
         [](auto &f, auto &, auto &l) {
             return l.contains("[EEP") && f[3] == "READ" && f[2] == "51";
         }},
        {"label=\"CMD 1\" DATA ADDR",
         [](auto &f, auto &, auto &l) {
             return l.contains("[CMD 1]") && f[1] != "START" && f[1] != "STOP";
         }},
    };
    return queries;
}

inline std::vector<qint64> bruteForce(const QStringList &lines, const OracleQuery &q)
{
    std::vector<qint64> out;
    for (int i = 0; i < lines.size(); ++i) {
        const QStringList f = lines[i].split(',');
        const int label = f[4].indexOf(" [");
        const QString labels = label < 0 ? QString() : f[4].mid(label);
        const QStringList bytes = f[4].left(label < 0 ? f[4].size() : label).split(' ');
        if (q.matches(f, bytes, labels))
            out.push_back(i);
    }
    return out;
}

// The running filter's rows once they count `matches` (or after 5 s, to fail on).
inline const VisibleRows &caughtUp(const CaptureSearch &search, size_t matches)
{
    for (int wait = 0; wait < 500 && search.filterRows()->count() != qint64(matches); ++wait)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return *search.filterRows();
}
