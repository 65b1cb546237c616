// Save and Open as the window runs them: the file chosen, the hooks, the
// progress dialog with Cancel and the warnings.
#include "capture/capturestore.h"
#include "export/capturefileactions.h"
#include "export/progresspump.h"
#include "export/savedcapturewriter.h"
#include "modalanswerer.h"

#include <QProgressDialog>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <tuple>

namespace {

using Result = CaptureFileActions::Result;

// The folder the last file dialog was to start in.
QString startedIn;

bool put(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// Answers the file dialog with `path` (and the CSV filter); at the first progress update
// notes whether the progress dialog is up and its range, and presses Cancel if asked to.
CaptureFileActions::AskFileName answer(const QString &path, QWidget &window, bool cancel,
                                       QString &seen)
{
    QTimer::singleShot(0, [&window, cancel, &seen] {
        if (auto *dialog = window.findChild<QProgressDialog *>()) {
            seen = QString("%1 %2").arg(dialog->isVisible()).arg(dialog->maximum());
            if (cancel)
                dialog->cancel();
        }
    });
    return [=](QWidget *, const QString &, const QString &dir, const QString &, QString *filter) {
        startedIn = dir;
        if (filter)
            *filter = "Comma Separated Value (*.csv)";
        return path;
    };
}

} // namespace

class CaptureFileActionsTest : public QObject
{
    Q_OBJECT

private slots:
    void saveAndOpen();
    void pumpScalesLargeRanges();
};

void CaptureFileActionsTest::saveAndOpen()
{
    QTemporaryDir dir;
    QWidget window;
    CaptureFileActions actions(&window);
    const QByteArray store = "0,DATA,50,WRITE,12 34,ACK,00.00.01.234.567.890\n"
                             "1,STOP,--,--,--,--,00.00.01.234.600.000\n";
    const QString storePath = dir.filePath("store.csv"), html = dir.filePath("cancel.html");
    const QString csv = dir.filePath("out.CSV"), shown = QString("1 %1").arg(store.size());
    const QString noDir = dir.filePath("no/a.csv"), full = dir.filePath("full.csv");
    const QString noext = dir.filePath("noext"), big = dir.filePath("big.csv");
    const QString earlier = dir.filePath("earlier.csv");
    QVERIFY(put(storePath, store) && put(noext, store) && QFile::link("/dev/full", full));
    QVERIFY(put(big, "earlier") && put(earlier, "earlier"));
    // The target, the result, what the probe saw, the target afterwards (null: not read) and
    // what the warning names.
    const std::tuple<QString, Result, QString, QByteArray, QStringList> saves[] = {
        // Checked by opening it again below.
        {csv, Result::Completed, shown, QByteArray(), {}},
        // A bare name gets the filter's extension (the bare file stays); the
        // name so made is confirmed before it is replaced.
        {noext, Result::Completed, shown, store, {}},
        {noext, Result::NoFileChosen, "", store, {noext + ".csv", "替换"}},
        // The store itself would be cut to nothing: refused.
        {storePath, Result::FileNotOpened, "", store, {storePath}},
        {noDir, Result::FileNotOpened, "", QByteArray(), {noDir, "No such file or directory"}},
        {full, Result::FileNotOpened, "", QByteArray(), {full, "不是普通文件，而是设备"}},
        // A full disk or Cancel leaves the earlier file, or none, as it was.
        {big, Result::Failed, shown, "earlier", {big, QString::fromLocal8Bit(strerror(EFBIG))}},
        {earlier, Result::Cancelled, shown, "earlier", {}},
        {html, Result::Cancelled, shown, "<none>", {}},
        {QString(), Result::NoFileChosen, "", QByteArray(), {}},
    };
    QCOMPARE(CaptureFileActions::captureFolder(), QDir::currentPath());
    std::signal(SIGXFSZ, SIG_IGN); // a write past the size limit fails instead
    for (const auto &[target, result, dialog, file, warning] : saves) {
        rlimit limit{};
        QVERIFY(getrlimit(RLIMIT_FSIZE, &limit) == 0);
        const auto restore = qScopeGuard([limit] { setrlimit(RLIMIT_FSIZE, &limit); });
        const rlimit tiny{10, limit.rlim_max};
        QVERIFY(target != big || setrlimit(RLIMIT_FSIZE, &tiny) == 0);
        ModalAnswerer answerer([](QWidget *w) { return qobject_cast<QProgressDialog *>(w); });
        QString calls, seen;
        actions.setAskSaveFileName(answer(target, window, result == Result::Cancelled, seen));
        if (target == noDir)
            QTest::ignoreMessage(QtDebugMsg, "Open file error");
        QCOMPARE(actions.save(
                     storePath, [&] { calls += "begin "; }, [&] { calls += "end"; }),
                 result);
        QCoreApplication::processEvents(); // the probe, when the work never let it run
        const bool begun = result != Result::NoFileChosen && result != Result::FileNotOpened;
        QCOMPARE(calls, QString(begun ? "begin end" : ""));
        QCOMPARE(seen, dialog);
        QFile saved(target);
        if (!file.isNull())
            QCOMPARE(saved.open(QIODevice::ReadOnly) ? saved.readAll() : "<none>", file);
        // Each dialog starts where the last capture was opened or saved.
        if (target == csv)
            QCOMPARE(startedIn, QDir::currentPath());
        else if (!target.isEmpty())
            QCOMPARE(startedIn, dir.path());
        answerer.texts.removeAll(QString()); // the progress dialog's
        QCOMPARE(answerer.texts.size(), warning.isEmpty() ? 0 : 1);
        for (const QString &part : warning)
            QVERIFY2(answerer.texts[0].contains(part), qPrintable(answerer.texts[0]));
        QCOMPARE(answerer.titles.contains("警告"), !warning.isEmpty());
    }
    // No file was left half written beside its target.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::System, QDir::Name),
             QStringList({"big.csv", "earlier.csv", "full.csv", "noext", "noext.csv", "out.CSV",
                          "store.csv"}));
    QVERIFY(put(html, "<!DOCTYPE html>\r\n"));
    // Open: the store changes only for a saved capture, and a refusal says why. The
    // progress dialog is not up at once: a short Open passes without it.
    CaptureStore capture;
    QVERIFY(capture.open(dir.filePath("I2CDataTemp.dat")));
    const QString fifo = dir.filePath("fifo.csv"), junk = dir.filePath("junk.csv");
    const QString missing = dir.filePath("missing.csv"), mixed = dir.filePath("mixed.csv");
    const QString lone = dir.filePath("lone.csv");
    const QByteArray header = SavedCaptureWriter::header(SavedFormat::Csv, {});
    const QByteArray row = "7,t,STOP,--,--,--,--\r\n";
    QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
    QVERIFY(put(junk, header + "a,b,c,d,e,f,g\r\nc\r\n") && put(lone, "x") &&
            put(mixed, header + row + "\r\n" + header + row));
    const QByteArray first = store.left(store.indexOf('\n') + 1);
    const QByteArray stop = "7,STOP,--,--,--,--,t\n";
    // The file, the result, the store afterwards and what the warning names.
    const std::tuple<QString, Result, QByteArray, QStringList> opens[] = {
        {noext + ".csv", Result::Completed, store, {}},
        // Cancel is seen after the first line: it stays.
        {csv, Result::Cancelled, first, {}},
        // A file that cannot be opened changes nothing and says why.
        {missing, Result::FileNotOpened, first, {missing, strerror(ENOENT), "未改变"}},
        {fifo, Result::FileNotOpened, first, {fifo, "不是普通文件", "未改变"}},
        {html, Result::Refused, first, {html, "HTML", "未改变"}},
        // Seven fields are no row: refused; lines that are no rows are told.
        {junk, Result::Refused, first, {junk, "开头的 2 行中没有一行"}},
        {mixed, Result::Completed, stop + stop, {mixed, "有 1 行不是", "第 4 行", "已打开 2 行"}},
        {lone, Result::Refused, stop + stop, {lone, "没有表头"}},
        {QString(), Result::NoFileChosen, stop + stop, {}},
    };
    QString seen;
    for (const auto &[file, result, stored, warning] : opens) {
        ModalAnswerer answerer;
        QString calls;
        actions.setAskOpenFileName(answer(file, window, result == Result::Cancelled, seen));
        if (file == missing)
            QTest::ignoreMessage(QtDebugMsg, "Open file error");
        QCOMPARE(actions.open(
                     capture, [&] { calls += "begin "; }, [&] { calls += "end"; }),
                 result);
        QCoreApplication::processEvents();
        const bool begun = result != Result::NoFileChosen && result != Result::FileNotOpened;
        QCOMPARE(calls, QString(begun ? "begin end" : ""));
        QCOMPARE(capture.readLines(0, capture.lineCount()), stored);
        QVERIFY(!seen.startsWith('1'));
        answerer.texts.removeAll(QString());
        QCOMPARE(answerer.texts.size(), warning.isEmpty() ? 0 : 1);
        for (const QString &part : warning)
            QVERIFY2(answerer.texts[0].contains(part), qPrintable(answerer.texts[0]));
    }
}

void CaptureFileActionsTest::pumpScalesLargeRanges()
{
    QProgressDialog dialog;
    const qint64 total = 5LL * 1024 * 1024 * 1024;
    ProgressPump pump(dialog, total);
    QCOMPARE(pump.scaled(total), dialog.maximum());
    QCOMPARE(pump.scaled(total * 2), dialog.maximum());
    QVERIFY(pump(total / 2));
    QCOMPARE(dialog.value(), dialog.maximum() / 2);
    ProgressPump smallPump(dialog, 1234);
    QCOMPARE(dialog.maximum(), 1234);
}

QTEST_MAIN(CaptureFileActionsTest)
#include "capturefileactions_test.moc"
