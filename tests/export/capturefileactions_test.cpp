// Save and Open as the window runs them: the file chosen, the hooks, the
// progress dialog with Cancel and the warnings.
#include "capturefileactions.h"
#include "modalanswerer.h"
#include "progresspump.h"
#include "savedcapturewriter.h"

#include <QProgressDialog>
#include <QTemporaryDir>
#include <QtTest>

namespace {

using Result = CaptureFileActions::Result;

// Answers the file dialog with `path`; at the first progress update notes
// whether the progress dialog is up and its range, and presses Cancel when
// asked to.
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
    return [=](QWidget *, const QString &, const QString &) { return path; };
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
    const QString storePath = dir.filePath("store.dat");
    const QString html = dir.filePath("cancel.html");
    const QString csv = dir.filePath("out.CSV");
    QFile storeFile(storePath);
    QVERIFY(storeFile.open(QIODevice::WriteOnly) && storeFile.write(store) == store.size());
    storeFile.close();
    QVERIFY(QFile::copy(storePath, dir.filePath("noext")));
    const QString shown = QString("1 %1").arg(store.size());
    const QString noDir = dir.filePath("no/a.csv"), full = dir.filePath("full.csv");
    QVERIFY(QFile::link("/dev/full", full));
    const QByteArray emptyHtml =
        SavedCaptureWriter::header(SavedFormat::Html, html) + "</table>\r\n</body>\r\n</html>";
    const struct
    {
        QString target;
        Result result;
        QString dialog;      // what the probe saw
        QByteArray file;     // the target afterwards; null: not read
        QStringList warning; // what the warning names
    } saves[] = {
        // Checked by opening it again below.
        {csv, Result::Completed, shown, QByteArray(), {}},
        // An existing file is cut, and no known extension writes nothing.
        {dir.filePath("noext"), Result::Completed, "", "", {}},
        // The store itself would be cut to nothing: refused.
        {storePath, Result::FileNotOpened, "", store, {storePath}},
        {noDir, Result::FileNotOpened, "", QByteArray(), {noDir, "No such file or directory"}},
        {full, Result::Failed, shown, QByteArray(), {full, "No space left on device"}},
        // Cancel at the first line: it is not written, the HTML end is.
        {html, Result::Cancelled, shown, emptyHtml, {}},
        {QString(), Result::NoFileChosen, "", QByteArray(), {}},
    };
    for (const auto &c : saves) {
        ModalAnswerer answerer([](QWidget *w) { return qobject_cast<QProgressDialog *>(w); });
        QString calls, seen;
        actions.setAskSaveFileName(answer(c.target, window, c.result == Result::Cancelled, seen));
        if (c.target == noDir)
            QTest::ignoreMessage(QtDebugMsg, "Open file error");
        QCOMPARE(actions.save(
                     storePath, [&] { calls += "begin "; }, [&] { calls += "end"; }),
                 c.result);
        QCoreApplication::processEvents(); // the probe, when the work never let it run
        const bool begun = c.result != Result::NoFileChosen && c.result != Result::FileNotOpened;
        QCOMPARE(calls, QString(begun ? "begin end" : ""));
        QCOMPARE(seen, c.dialog);
        QFile target(c.target);
        if (!c.file.isNull())
            QCOMPARE(target.open(QIODevice::ReadOnly) ? target.readAll() : "", c.file);
        answerer.texts.removeAll(QString()); // the progress dialog's
        QCOMPARE(answerer.texts.size(), c.warning.isEmpty() ? 0 : 1);
        for (const QString &part : c.warning)
            QVERIFY2(answerer.texts[0].contains(part), qPrintable(answerer.texts[0]));
        QCOMPARE(answerer.titles.contains("警告"), !c.warning.isEmpty());
    }

    // Open: the file's first line is its header. The progress dialog is not
    // up at once: a short Open passes without it.
    const struct
    {
        QString file;
        Result result;
        QString calls; // the hooks and the stored lines, in order
    } opens[] = {
        {csv, Result::Completed, "begin " + store + "end"},
        // Cancel is seen after the first line: it stays.
        {csv, Result::Cancelled, "begin " + store.left(store.indexOf('\n') + 1) + "end"},
        // A file that cannot be opened changes nothing and shows no box.
        {dir.filePath("missing.csv"), Result::FileNotOpened, ""},
        {QString(), Result::NoFileChosen, ""},
    };
    for (const auto &c : opens) {
        QString calls, seen;
        actions.setAskOpenFileName(answer(c.file, window, c.result == Result::Cancelled, seen));
        if (c.result == Result::FileNotOpened)
            QTest::ignoreMessage(QtDebugMsg, "Open file error");
        QCOMPARE(actions.open([&](const QByteArray &line) { calls += line; },
                              [&] { calls += "begin "; }, [&] { calls += "end"; }),
                 c.result);
        QCoreApplication::processEvents();
        QCOMPARE(calls, c.calls);
        QVERIFY(!seen.startsWith('1'));
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
