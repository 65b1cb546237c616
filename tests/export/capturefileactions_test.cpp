#include "capturefileactions.h"
#include "progresspump.h"

#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <memory>

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

// Offers every modal widget that appears to `onModal` until it returns true,
// polling from whatever event loop the code under test runs; gives up after
// a few seconds so that a missing box fails the test instead of hanging it.
class ModalWatcher
{
public:
    explicit ModalWatcher(std::function<bool(QWidget *)> onModal) : onModal(std::move(onModal))
    {
        clock.start();
        QObject::connect(&timer, &QTimer::timeout, [this] {
            if (QWidget *w = QApplication::activeModalWidget()) {
                if (this->onModal(w)) {
                    handled = true;
                    timer.stop();
                }
            } else if (clock.elapsed() > 5000) {
                timer.stop();
            }
        });
        timer.start(0);
    }
    bool handled = false;

private:
    std::function<bool(QWidget *)> onModal;
    QTimer timer;
    QElapsedTimer clock;
};

struct Box
{
    QString title;
    QString text;
};

// Records and accepts the first message box, letting other dialogs be.
std::unique_ptr<ModalWatcher> answerBox(Box &box)
{
    return std::make_unique<ModalWatcher>([&box](QWidget *w) {
        auto *mb = qobject_cast<QMessageBox *>(w);
        if (!mb)
            return false;
        box.title = mb->windowTitle();
        box.text = mb->text();
        mb->accept();
        return true;
    });
}

CaptureFileActions::AskFileName answer(const QString &path, QString *caption = nullptr,
                                       QString *filter = nullptr)
{
    return [=](QWidget *, const QString &c, const QString &f) {
        if (caption)
            *caption = c;
        if (filter)
            *filter = f;
        return path;
    };
}

} // namespace

class CaptureFileActionsTest : public QObject
{
    Q_OBJECT

private slots:
    void saveWritesTheChosenFormatWithProgress();
    void saveCancelKeepsHeaderAndHtmlEnd();
    void saveReportsFilesThatCannotBeWritten();
    void openDeliversStoredLines();
    void openCancelAndFailure();
    void pumpScalesLargeRanges();

private:
    QTemporaryDir dir;
};

void CaptureFileActionsTest::saveWritesTheChosenFormatWithProgress()
{
    QWidget window;
    const QString storePath = dir.filePath("store.dat");
    QVERIFY(writeFile(storePath, storeLines(3)));
    const QString target = dir.filePath("out.CSV");

    CaptureFileActions actions(&window);
    QString caption;
    QString filter;
    actions.setAskSaveFileName(answer(target, &caption, &filter));
    QStringList calls;
    QString label;
    QString cancelText;
    int maximum = -1;
    bool visible = false;
    ModalWatcher watcher([&](QWidget *w) {
        auto *dialog = qobject_cast<QProgressDialog *>(w);
        if (!dialog)
            return false;
        label = dialog->labelText();
        maximum = dialog->maximum();
        visible = dialog->isVisible();
        if (auto *button = dialog->findChild<QPushButton *>())
            cancelText = button->text();
        return true;
    });
    const auto result = actions.save(
        storePath, [&] { calls << "begin"; }, [&] { calls << "end"; });

    QCOMPARE(result, CaptureFileActions::Result::Completed);
    QCOMPARE(caption, QStringLiteral("保存文件"));
    QCOMPARE(filter, QStringLiteral("Text (*.txt);;Comma Separated Value (*.csv);;"
                                    "Hyper Text Markup Language (*.html)"));
    QCOMPARE(calls, QStringList({"begin", "end"}));
    QVERIFY(watcher.handled);
    QCOMPARE(label, QStringLiteral("正在保存文件..."));
    QCOMPARE(cancelText, QStringLiteral("取消"));
    QCOMPARE(maximum, int(storeLines(3).size()));
    QVERIFY(visible);
    QCOMPARE(readFile(target),
             QByteArray("Count,Time(h.m.s.ms.us.ns),Type,Addr(Hex),R/W,Respond,Data(Hex)\r\n"
                        "0,00.00.01.234.567.890,DATA,0x50,WRITE,ACK,0x12 0x34 \r\n"
                        "1,00.00.01.234.567.890,DATA,0x50,WRITE,ACK,0x12 0x34 \r\n"
                        "2,00.00.01.234.567.890,DATA,0x50,WRITE,ACK,0x12 0x34 \r\n"));
    QCOMPARE(actions.transfer().rowsWritten, 3);
    // The dialog is gone afterwards.
    QVERIFY(!window.findChild<QProgressDialog *>());

    // A file that existed is cut; no extension gives an empty file.
    const QString plain = dir.filePath("noext");
    QVERIFY(writeFile(plain, "old content"));
    QByteArray store = storeLines(2);
    QBuffer storeDevice(&store);
    QVERIFY(storeDevice.open(QIODevice::ReadOnly));
    actions.setAskSaveFileName(answer(plain));
    QCOMPARE(actions.save(storeDevice), CaptureFileActions::Result::Completed);
    QCOMPARE(readFile(plain), QByteArray());

    // The store itself is refused as the target: it would be cut to nothing.
    actions.setAskSaveFileName(answer(storePath));
    Box box;
    auto boxWatcher = answerBox(box);
    QCOMPARE(actions.save(storePath), CaptureFileActions::Result::FileNotOpened);
    QCOMPARE(box.title, QStringLiteral("警告"));
    QCOMPARE(readFile(storePath), storeLines(3));

    // ".txt" anywhere wins, and a text file gets no HTML end even when its
    // name also holds ".html".
    const QString both = dir.filePath("a.txt.html");
    QVERIFY(storeDevice.seek(0));
    actions.setAskSaveFileName(answer(both));
    QCOMPARE(actions.save(storeDevice), CaptureFileActions::Result::Completed);
    const QByteArray text = readFile(both);
    QVERIFY(text.startsWith("  Count  | Time"));
    QVERIFY(text.endsWith("|12 34\r\n"));
    QVERIFY(!text.contains("</html>"));
}

void CaptureFileActionsTest::saveCancelKeepsHeaderAndHtmlEnd()
{
    QWidget window;
    QByteArray store = storeLines(1000);
    QBuffer storeDevice(&store);
    QVERIFY(storeDevice.open(QIODevice::ReadOnly));
    const QString target = dir.filePath("cancel.html");
    CaptureFileActions actions(&window);
    actions.setAskSaveFileName(answer(target));
    // Press Cancel as soon as the dialog is up: the first line read is the
    // one not written.
    ModalWatcher watcher([](QWidget *w) {
        auto *dialog = qobject_cast<QProgressDialog *>(w);
        auto *button = dialog ? dialog->findChild<QPushButton *>() : nullptr;
        if (!button)
            return false;
        button->click();
        return true;
    });
    QCOMPARE(actions.save(storeDevice), CaptureFileActions::Result::Cancelled);
    QVERIFY(watcher.handled);
    const QByteArray html = readFile(target);
    QVERIFY(html.startsWith("<!DOCTYPE html>"));
    QVERIFY(html.contains("<title>" + target.toUtf8() + "</title>"));
    QVERIFY(html.endsWith("<th>Data(Hex)</th>\r\n</tr>\r\n</table>\r\n</body>\r\n</html>"));
    QCOMPARE(actions.transfer().rowsWritten, 0);
}

void CaptureFileActionsTest::saveReportsFilesThatCannotBeWritten()
{
    QWidget window;
    QByteArray store = storeLines(10);
    QBuffer storeDevice(&store);
    QVERIFY(storeDevice.open(QIODevice::ReadOnly));
    CaptureFileActions actions(&window);
    bool begun = false;

    // The target cannot be opened: debug line, warning naming the file.
    const QString missing = dir.filePath("no/such/dir/a.csv");
    actions.setAskSaveFileName(answer(missing));
    Box box;
    auto watcher = answerBox(box);
    QTest::ignoreMessage(QtDebugMsg, "Open file error");
    QCOMPARE(actions.save(storeDevice, [&] { begun = true; }),
             CaptureFileActions::Result::FileNotOpened);
    QCOMPARE(box.title, QStringLiteral("警告"));
    QVERIFY(box.text.contains(missing));
    QVERIFY(box.text.contains("No such file or directory"));
    QVERIFY(!begun);

    // The target opens but writing fails (a full disk).
    if (!QFile::exists("/dev/full"))
        QSKIP("no /dev/full");
    const QString full = dir.filePath("full.csv");
    QVERIFY(QFile::link("/dev/full", full));
    actions.setAskSaveFileName(answer(full));
    Box writeBox;
    auto boxWatcher = answerBox(writeBox);
    const auto result = actions.save(storeDevice);
    QCOMPARE(result, CaptureFileActions::Result::Failed);
    QCOMPARE(writeBox.title, QStringLiteral("警告"));
    QVERIFY(writeBox.text.contains(full));
    QVERIFY(writeBox.text.contains("No space left on device"));
}

void CaptureFileActionsTest::openDeliversStoredLines()
{
    QWidget window;
    const QString path = dir.filePath("saved.txt");
    QVERIFY(writeFile(path, "  Count  | Time(h.m.s.ms.us.ns) | Type  |Addr(Hex)|  R/W  |Respond|"
                            "Data(Hex)\r\n"
                            "5        | 00.00.01.234.567.890 | DATA  |   50    | WRITE |  ACK  "
                            "|12 34\r\n"
                            "6        | 00.00.01.234.567.891 | STOP  |   --    | --    |  --   "
                            "|--\r\n"));
    CaptureFileActions actions(&window);
    QString caption;
    QString filter;
    actions.setAskOpenFileName(answer(path, &caption, &filter));
    QStringList calls;
    QList<QByteArray> lines;
    QString label;
    bool shown = true;
    QTimer::singleShot(0, [&] {
        if (auto *dialog = window.findChild<QProgressDialog *>()) {
            label = dialog->labelText();
            shown = dialog->isVisible();
        }
    });
    const auto result = actions.open(
        [&](const QByteArray &line) {
            calls << "line";
            lines << line;
        },
        [&] { calls << "begin"; }, [&] { calls << "end"; });
    QCOMPARE(result, CaptureFileActions::Result::Completed);
    QCOMPARE(caption, QStringLiteral("打开文件"));
    QCOMPARE(filter, QStringLiteral("Text (*.txt);;Comma Separated Value (*.csv)"));
    QCOMPARE(calls, QStringList({"begin", "line", "line", "end"}));
    QCOMPARE(lines, QList<QByteArray>({"5,DATA,50,WRITE,12 34,ACK,00.00.01.234.567.890\n",
                                       "6,STOP,--,--,--,--,00.00.01.234.567.891\n"}));
    QCOMPARE(label, QStringLiteral("正在打开文件..."));
    QVERIFY(!shown);
}

void CaptureFileActionsTest::openCancelAndFailure()
{
    QWidget window;
    const QString path = dir.filePath("big.csv");
    QByteArray file = "header\r\n";
    for (int i = 0; i < 1000; ++i)
        file += QByteArray::number(i) + ",t,DATA,0x50,WRITE,ACK,0x01 \r\n";
    QVERIFY(writeFile(path, file));
    CaptureFileActions actions(&window);
    actions.setAskOpenFileName(answer(path));
    int lines = 0;
    QTimer::singleShot(0, [&] {
        if (auto *dialog = window.findChild<QProgressDialog *>())
            dialog->cancel();
    });
    QCOMPARE(actions.open([&](const QByteArray &) { ++lines; }),
             CaptureFileActions::Result::Cancelled);
    // Cancel is seen after the first row: it stays.
    QCOMPARE(lines, 1);

    // A file that cannot be opened changes nothing and shows no box.
    actions.setAskOpenFileName(answer(dir.filePath("missing.csv")));
    bool begun = false;
    QTest::ignoreMessage(QtDebugMsg, "Open file error");
    QCOMPARE(actions.open([&](const QByteArray &) {}, [&] { begun = true; }),
             CaptureFileActions::Result::FileNotOpened);
    QVERIFY(!begun);

    // No file chosen: nothing at all.
    actions.setAskOpenFileName(answer(QString()));
    actions.setAskSaveFileName(answer(QString()));
    const auto fail = [] { QFAIL("hook called"); };
    QCOMPARE(actions.open([](const QByteArray &) {}, fail, fail),
             CaptureFileActions::Result::NoFileChosen);
    QCOMPARE(actions.save(dir.filePath("nothing.dat"), fail, fail),
             CaptureFileActions::Result::NoFileChosen);
}

void CaptureFileActionsTest::pumpScalesLargeRanges()
{
    QProgressDialog dialog;
    const qint64 total = 5LL * 1024 * 1024 * 1024;
    ProgressPump pump(dialog, total);
    QVERIFY(dialog.maximum() > 1000000);
    QCOMPARE(pump.scaled(total), dialog.maximum());
    QCOMPARE(pump.scaled(total / 2), dialog.maximum() / 2);
    QCOMPARE(pump.scaled(total * 2), dialog.maximum());
    QVERIFY(pump(total / 2));
    QCOMPARE(dialog.value(), dialog.maximum() / 2);

    QProgressDialog small;
    ProgressPump smallPump(small, 1234);
    QCOMPARE(small.maximum(), 1234);
}

QTEST_MAIN(CaptureFileActionsTest)
#include "capturefileactions_test.moc"
