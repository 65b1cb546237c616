// Save and Open as the window runs them: the file chosen, the hooks, the
// progress dialog with Cancel and the warnings.
#include "capturefileactions.h"
#include "modalanswerer.h"
#include "progresspump.h"
#include "savedcapturewriter.h"

#include <QFile>
#include <QProgressDialog>
#include <QTemporaryDir>
#include <QtTest>

namespace {

using Result = CaptureFileActions::Result;

const QByteArray kStore = "0,DATA,50,WRITE,12 34,ACK,00.00.01.234.567.890\n"
                          "1,STOP,--,--,--,--,00.00.01.234.600.000\n";

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

CaptureFileActions::AskFileName answer(const QString &path)
{
    return [=](QWidget *, const QString &, const QString &) { return path; };
}

// At the first progress update: whether the progress dialog is up, with the
// store's size as its range; presses Cancel when asked.
void probeDialog(QWidget &window, bool cancel, QString &seen)
{
    QTimer::singleShot(0, [&window, cancel, &seen] {
        if (auto *dialog = window.findChild<QProgressDialog *>()) {
            seen = QString("%1 %2").arg(dialog->isVisible()).arg(dialog->maximum());
            if (cancel)
                dialog->cancel();
        }
    });
}

} // namespace

class CaptureFileActionsTest : public QObject
{
    Q_OBJECT

private slots:
    void save();
    void open();
    void pumpScalesLargeRanges();

private:
    QTemporaryDir m_dir;
};

void CaptureFileActionsTest::save()
{
    QWidget window;
    CaptureFileActions actions(&window);
    const QString store = m_dir.filePath("store.dat");
    const QString html = m_dir.filePath("cancel.html");
    QVERIFY(writeFile(store, kStore));
    QVERIFY(writeFile(m_dir.filePath("noext"), "old content"));
    QVERIFY(QFile::link("/dev/full", m_dir.filePath("full.csv")));
    const QString shown = QString("1 %1").arg(kStore.size());
    const struct
    {
        QString target;
        Result result;
        QString dialog;      // what probeDialog saw
        QByteArray file;     // the target afterwards; null: not read
        QStringList warning; // what the warning names
    } cases[] = {
        {m_dir.filePath("out.CSV"),
         Result::Completed,
         shown,
         "Count,Time(h.m.s.ms.us.ns),Type,Addr(Hex),R/W,Respond,Data(Hex)\r\n"
         "0,00.00.01.234.567.890,DATA,0x50,WRITE,ACK,0x12 0x34 \r\n"
         "1,00.00.01.234.600.000,STOP,--,--,--,--\r\n",
         {}},
        // An existing file is cut, and no known extension writes nothing.
        {m_dir.filePath("noext"), Result::Completed, "", "", {}},
        // The store itself would be cut to nothing: refused.
        {store, Result::FileNotOpened, "", kStore, {store}},
        {m_dir.filePath("no/dir/a.csv"),
         Result::FileNotOpened,
         "",
         "<unreadable>",
         {m_dir.filePath("no/dir/a.csv"), "No such file or directory"}},
        {m_dir.filePath("full.csv"),
         Result::Failed,
         shown,
         QByteArray(),
         {m_dir.filePath("full.csv"), "No space left on device"}},
        // Cancel at the first line: it is not written, the HTML end is.
        {html,
         Result::Cancelled,
         shown,
         SavedCaptureWriter::header(SavedFormat::Html, html) + "</table>\r\n</body>\r\n</html>",
         {}},
        {QString(), Result::NoFileChosen, "", QByteArray(), {}},
    };
    for (const auto &c : cases) {
        ModalAnswerer answerer([](QWidget *w) { return qobject_cast<QProgressDialog *>(w); });
        actions.setAskSaveFileName(answer(c.target));
        QString calls;
        QString seen;
        probeDialog(window, c.result == Result::Cancelled, seen);
        if (c.target.contains("no/dir"))
            QTest::ignoreMessage(QtDebugMsg, "Open file error");
        QCOMPARE(actions.save(
                     store, [&] { calls += "begin "; }, [&] { calls += "end"; }),
                 c.result);
        QCoreApplication::processEvents(); // the probe, if the work never let it run
        const bool begun = c.result != Result::NoFileChosen && c.result != Result::FileNotOpened;
        QCOMPARE(calls, QString(begun ? "begin end" : ""));
        QCOMPARE(seen, c.dialog);
        QVERIFY(!window.findChild<QProgressDialog *>());
        if (!c.file.isNull())
            QCOMPARE(readFile(c.target), c.file);
        answerer.texts.removeAll(QString()); // the progress dialog's
        QCOMPARE(answerer.texts.size(), c.warning.isEmpty() ? 0 : 1);
        for (const QString &part : c.warning)
            QVERIFY2(answerer.texts[0].contains(part), qPrintable(answerer.texts[0]));
        QCOMPARE(answerer.titles.contains("警告"), !c.warning.isEmpty());
    }
}

void CaptureFileActionsTest::open()
{
    QWidget window;
    CaptureFileActions actions(&window);
    const QString text = m_dir.filePath("saved.txt");
    const QString csv = m_dir.filePath("big.csv");
    QVERIFY(writeFile(text, "header\r\n"
                            "5        | 00.00.01.234.567.890 | DATA  |   50    | WRITE |  ACK  "
                            "|12 34\r\n"
                            "6        | 00.00.01.234.567.891 | STOP  |   --    | --    |  --   "
                            "|--\r\n"));
    QVERIFY(writeFile(csv, "header\r\n" + QByteArray("7,t,STOP,--,--,--,--\r\n").repeated(1000)));
    const struct
    {
        QString file;
        Result result;
        QString calls; // the hooks and the lines, in order
    } cases[] = {
        {text, Result::Completed,
         "begin 5,DATA,50,WRITE,12 34,ACK,00.00.01.234.567.890\n"
         "6,STOP,--,--,--,--,00.00.01.234.567.891\nend"},
        // Cancel is seen after the first line: it stays.
        {csv, Result::Cancelled, "begin 7,STOP,--,--,--,--,t\nend"},
        // A file that cannot be opened changes nothing and shows no box.
        {m_dir.filePath("missing.csv"), Result::FileNotOpened, ""},
        {QString(), Result::NoFileChosen, ""},
    };
    for (const auto &c : cases) {
        actions.setAskOpenFileName(answer(c.file));
        QString calls;
        QString seen;
        probeDialog(window, c.result == Result::Cancelled, seen);
        if (c.result == Result::FileNotOpened)
            QTest::ignoreMessage(QtDebugMsg, "Open file error");
        QCOMPARE(actions.open([&](const QByteArray &line) { calls += line; },
                              [&] { calls += "begin "; }, [&] { calls += "end"; }),
                 c.result);
        QCoreApplication::processEvents();
        QCOMPARE(calls, c.calls);
        // Not shown at once: a short Open passes without it.
        QVERIFY(!seen.startsWith('1'));
    }
}

void CaptureFileActionsTest::pumpScalesLargeRanges()
{
    QProgressDialog dialog;
    const qint64 total = 5LL * 1024 * 1024 * 1024;
    ProgressPump pump(dialog, total);
    QVERIFY(dialog.maximum() > 1000000);
    QCOMPARE(pump.scaled(total), dialog.maximum());
    QCOMPARE(pump.scaled(total * 2), dialog.maximum());
    QVERIFY(pump(total / 2));
    QCOMPARE(dialog.value(), dialog.maximum() / 2);
    ProgressPump smallPump(dialog, 1234);
    QCOMPARE(dialog.maximum(), 1234);
}

QTEST_MAIN(CaptureFileActionsTest)
#include "capturefileactions_test.moc"
