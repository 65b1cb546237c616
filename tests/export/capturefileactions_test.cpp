#include "capturefileactions.h"
#include "modalanswerer.h"
#include "progresspump.h"

#include <QBuffer>
#include <QFile>
#include <QProgressDialog>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QByteArray storeLines(int n)
{
    QByteArray s;
    for (int i = 0; i < n; ++i)
        s += QByteArray::number(i) + ",DATA,50,WRITE,12 34,ACK,00.00.01.234.567.890\n";
    return s;
}

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

// Accepts message boxes and leaves the progress dialog alone.
bool leaveProgress(QWidget *w)
{
    return qobject_cast<QProgressDialog *>(w) != nullptr;
}

} // namespace

class CaptureFileActionsTest : public QObject
{
    Q_OBJECT

private slots:
    void saveWritesTheChosenFormatWithProgress();
    void saveReportsFilesThatCannotBeWritten();
    void openDeliversStoredLinesAndStopsOnCancel();
    void pumpScalesLargeRanges();

private:
    QTemporaryDir m_dir;
};

void CaptureFileActionsTest::saveWritesTheChosenFormatWithProgress()
{
    QWidget window;
    const QString storePath = m_dir.filePath("store.dat");
    QVERIFY(writeFile(storePath, storeLines(3)));
    const QString target = m_dir.filePath("out.CSV");
    CaptureFileActions actions(&window);
    actions.setAskSaveFileName(answer(target));
    QStringList calls;
    int maximum = -1;
    bool visible = false;
    // Fires inside the first progress update: the dialog is up by then.
    QTimer::singleShot(0, [&] {
        if (auto *dialog = window.findChild<QProgressDialog *>()) {
            maximum = dialog->maximum();
            visible = dialog->isVisible();
        }
    });
    QCOMPARE(actions.save(
                 storePath, [&] { calls << "begin"; }, [&] { calls << "end"; }),
             CaptureFileActions::Result::Completed);
    QCOMPARE(calls, QStringList({"begin", "end"}));
    QCOMPARE(maximum, int(storeLines(3).size()));
    QVERIFY(visible);
    QCOMPARE(readFile(target),
             QByteArray("Count,Time(h.m.s.ms.us.ns),Type,Addr(Hex),R/W,Respond,Data(Hex)\r\n"
                        "0,00.00.01.234.567.890,DATA,0x50,WRITE,ACK,0x12 0x34 \r\n"
                        "1,00.00.01.234.567.890,DATA,0x50,WRITE,ACK,0x12 0x34 \r\n"
                        "2,00.00.01.234.567.890,DATA,0x50,WRITE,ACK,0x12 0x34 \r\n"));
    QCOMPARE(actions.transfer().rowsWritten, 3);
    QVERIFY(!window.findChild<QProgressDialog *>());

    // A file that existed is cut; no extension gives an empty file.
    const QString plain = m_dir.filePath("noext");
    QVERIFY(writeFile(plain, "old content"));
    QByteArray store = storeLines(2);
    QBuffer storeDevice(&store);
    QVERIFY(storeDevice.open(QIODevice::ReadOnly));
    actions.setAskSaveFileName(answer(plain));
    QCOMPARE(actions.save(storeDevice), CaptureFileActions::Result::Completed);
    QCOMPARE(readFile(plain), QByteArray());

    // The store itself is refused as the target: it would be cut to nothing.
    actions.setAskSaveFileName(answer(storePath));
    ModalAnswerer answerer(leaveProgress);
    QCOMPARE(actions.save(storePath), CaptureFileActions::Result::FileNotOpened);
    QCOMPARE(answerer.titles, QStringList{QStringLiteral("警告")});
    QCOMPARE(readFile(storePath), storeLines(3));

    // Cancel as soon as the dialog is up: the first line read is not written,
    // the HTML end still is.
    const QString html = m_dir.filePath("cancel.html");
    actions.setAskSaveFileName(answer(html));
    QTimer::singleShot(0, [&] { window.findChild<QProgressDialog *>()->cancel(); });
    QCOMPARE(actions.save(storePath), CaptureFileActions::Result::Cancelled);
    QCOMPARE(actions.transfer().rowsWritten, 0);
    QVERIFY(readFile(html).endsWith("</tr>\r\n</table>\r\n</body>\r\n</html>"));

    // No file chosen: nothing at all.
    actions.setAskSaveFileName(answer(QString()));
    const auto fail = [] { QFAIL("hook called"); };
    QCOMPARE(actions.save(storePath, fail, fail), CaptureFileActions::Result::NoFileChosen);
}

void CaptureFileActionsTest::saveReportsFilesThatCannotBeWritten()
{
    QWidget window;
    QByteArray store = storeLines(10);
    QBuffer storeDevice(&store);
    QVERIFY(storeDevice.open(QIODevice::ReadOnly));
    CaptureFileActions actions(&window);
    ModalAnswerer answerer(leaveProgress);

    // The target cannot be opened: the warning names the file and the reason.
    const QString missing = m_dir.filePath("no/such/dir/a.csv");
    actions.setAskSaveFileName(answer(missing));
    bool begun = false;
    QTest::ignoreMessage(QtDebugMsg, "Open file error");
    QCOMPARE(actions.save(storeDevice, [&] { begun = true; }),
             CaptureFileActions::Result::FileNotOpened);
    QVERIFY(!begun);
    QCOMPARE(answerer.texts.size(), 1);
    QVERIFY(answerer.texts[0].contains(missing));
    QVERIFY(answerer.texts[0].contains("No such file or directory"));

    // The target opens but writing fails (a full disk).
    if (!QFile::exists("/dev/full"))
        QSKIP("no /dev/full");
    const QString full = m_dir.filePath("full.csv");
    QVERIFY(QFile::link("/dev/full", full));
    actions.setAskSaveFileName(answer(full));
    QCOMPARE(actions.save(storeDevice), CaptureFileActions::Result::Failed);
    QCOMPARE(answerer.titles.last(), QStringLiteral("警告"));
    QVERIFY(answerer.texts.last().contains(full));
    QVERIFY(answerer.texts.last().contains("No space left on device"));
}

void CaptureFileActionsTest::openDeliversStoredLinesAndStopsOnCancel()
{
    QWidget window;
    const QString path = m_dir.filePath("saved.txt");
    QVERIFY(writeFile(path, "header\r\n"
                            "5        | 00.00.01.234.567.890 | DATA  |   50    | WRITE |  ACK  "
                            "|12 34\r\n"
                            "6        | 00.00.01.234.567.891 | STOP  |   --    | --    |  --   "
                            "|--\r\n"));
    CaptureFileActions actions(&window);
    actions.setAskOpenFileName(answer(path));
    QStringList calls;
    QList<QByteArray> lines;
    bool shown = true;
    QTimer::singleShot(0, [&] {
        if (auto *dialog = window.findChild<QProgressDialog *>())
            shown = dialog->isVisible();
    });
    const auto sink = [&](const QByteArray &line) {
        calls << "line";
        lines << line;
    };
    QCOMPARE(actions.open(
                 sink, [&] { calls << "begin"; }, [&] { calls << "end"; }),
             CaptureFileActions::Result::Completed);
    QCOMPARE(calls, QStringList({"begin", "line", "line", "end"}));
    QCOMPARE(lines, QList<QByteArray>({"5,DATA,50,WRITE,12 34,ACK,00.00.01.234.567.890\n",
                                       "6,STOP,--,--,--,--,00.00.01.234.567.891\n"}));
    QVERIFY(!shown);

    // Cancel is seen after the first row: it stays.
    const QString big = m_dir.filePath("big.csv");
    QVERIFY(writeFile(big, "header\r\n" + QByteArray(storeLines(1000))));
    actions.setAskOpenFileName(answer(big));
    QTimer::singleShot(0, [&] { window.findChild<QProgressDialog *>()->cancel(); });
    lines.clear();
    QCOMPARE(actions.open(sink), CaptureFileActions::Result::Cancelled);
    QCOMPARE(lines.size(), 1);

    // A file that cannot be opened changes nothing and shows no box; no file
    // chosen does nothing at all.
    const auto fail = [] { QFAIL("hook called"); };
    actions.setAskOpenFileName(answer(m_dir.filePath("missing.csv")));
    QTest::ignoreMessage(QtDebugMsg, "Open file error");
    QCOMPARE(actions.open(sink, fail, fail), CaptureFileActions::Result::FileNotOpened);
    actions.setAskOpenFileName(answer(QString()));
    QCOMPARE(actions.open(sink, fail, fail), CaptureFileActions::Result::NoFileChosen);
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

    QProgressDialog small;
    ProgressPump smallPump(small, 1234);
    QCOMPARE(small.maximum(), 1234);
}

QTEST_MAIN(CaptureFileActionsTest)
#include "capturefileactions_test.moc"
