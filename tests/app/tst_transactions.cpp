// The transaction view in the window: the switch keeps the position both ways, Enter opens
// the row, Go to, the columns of a known capture, find and filter, the export, and following
// a capture from the simulator.
#include "app/mainwindow.h"
#include "capture/capturepipeline.h"
#include "capture/storedline.h"
#include "modalanswerer.h"
#include "protocol/symbollabeler.h"
#include "rowtestutil.h"
#include "search/findbar.h"

#include <QAction>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QTableView>
#include <QToolTip>
#include <QtTest/qtestspontaneevent.h>
#include <QtTest>

namespace {
struct Sniffer
{
    CapturePipeline pipeline;
    SymbolLabeler labeler;
    MainWindow window{pipeline, labeler};
};

QAction *actionNamed(const QWidget &w, const QString &text)
{
    for (QAction *a : w.findChildren<QAction *>())
        if (a->text() == text)
            return a;
    return nullptr;
}

// Stores rows as lines, as Open does.
void store(CapturePipeline &pipeline, const std::vector<CaptureRow> &rows)
{
    StoreLease lease = pipeline.leaseStore();
    for (const CaptureRow &row : rows) {
        std::string line;
        StoredLine::append(line, lease->lineCount(), row);
        QVERIFY(lease->appendStoredLine(QByteArray::fromStdString(line)));
    }
}

// Lines 0-1: a capture begun mid-transfer; 2-8: write 0E, repeated START, read 41 NACKed;
// 9-11: the RTC's address NACKed; 12-14: open, a long read still coming.
std::vector<CaptureRow> knownCapture()
{
    std::vector<CaptureRow> rows = {dataRow(0x50, false, "0A", true, 1000),
                                    CaptureRow::stop(2000),
                                    CaptureRow::start(10000),
                                    addrRow(0x50, false, true, 10100),
                                    dataRow(0x50, false, "0E", true, 10200),
                                    CaptureRow::start(10300),
                                    addrRow(0x50, true, true, 10400),
                                    dataRow(0x50, true, "41", false, 12500),
                                    CaptureRow::stop(12600),
                                    CaptureRow::start(20000),
                                    addrRow(0x68, false, false, 20100),
                                    CaptureRow::stop(20200),
                                    CaptureRow::start(30000),
                                    addrRow(0x3C, true, true, 30100)};
    for (int i = 0; i < 30; ++i)
        rows.push_back(
            dataRow(0x3C, true, QString::asprintf("%02X", i).toStdString(), true, 30200 + i));
    return rows;
}

// The texts of column c of the page.
QStringList column(const QTableView *view, int c)
{
    QStringList texts;
    for (int r = 0; r < view->model()->rowCount(); ++r)
        texts << view->model()->index(r, c).data().toString();
    return texts;
}

// The selected row's text in column c, "" without one.
QString selected(const QTableView *view, int c = 0)
{
    const QModelIndexList rows = view->selectionModel()->selectedRows(c);
    return rows.size() == 1 ? rows[0].data().toString() : QString();
}

// Accepts the start dialog, and a file dialog with *file typed in.
ModalAnswerer::Handler answerDialogs(const QString *file = nullptr)
{
    return [file](QWidget *d) {
        if (d->objectName() == QLatin1String("StartDialog")) {
            d->findChild<QPushButton *>(QStringLiteral("positivePushButton"))->click();
            return true;
        }
        auto *name = d->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        if (!qobject_cast<QFileDialog *>(d) || !name || !file)
            return false;
        name->setText(QDir::current().absoluteFilePath(*file));
        QMetaObject::invokeMethod(d, "accept", Qt::QueuedConnection);
        return true;
    };
}
} // namespace

class TestTransactions : public QObject
{
    Q_OBJECT

private slots:
    void init() { qputenv("KORVEX_SIMULATOR", "1"); }

    // Ctrl+T both ways keeps the place, Enter and a double click open the first row, the
    // columns of a known capture, Go to's forms.
    void switchOpenColumnsAndGoTo()
    {
        Sniffer s;
        MainWindow &w = s.window;
        w.show();
        store(s.pipeline, knownCapture());
        auto *view = w.findChild<QTableView *>(QStringLiteral("displayTableView"));
        QAction *switchView = w.transactionViewAction();
        QCOMPARE(switchView->shortcut(), QKeySequence(QStringLiteral("Ctrl+T")));
        QTRY_VERIFY(view->model()->rowCount() > 0);
        w.showStoredLine(6);
        switchView->trigger();
        QCOMPARE(view->model()->headerData(4, Qt::Horizontal).toString(), QStringLiteral("段"));
        QCOMPARE(view->model()->columnCount(), 10);
        QTRY_COMPARE(column(view, 0), (QStringList{"1", "2", "3", "4"}));
        QCOMPARE(w.currentStoredLine(), 2);
        QCOMPARE(selected(view), QStringLiteral("2"));
        QCOMPARE(column(view, 1), (QStringList{"0", "2", "9", "12"}));
        QCOMPARE(column(view, 4).mid(1, 2), (QStringList{"50 写 → 50 读", "68 写"}));
        QCOMPARE(column(view, 5)[1] + column(view, 6)[1], QStringLiteral("0E41"));
        QCOMPARE(column(view, 7).mid(1, 2),
                 (QStringList{"第 1 字节 NACK（50 读）", "地址 NACK（68 写）"}));
        QCOMPARE(column(view, 9), (QStringList{"无 START", "--", "--", "未结束"}));
        QCOMPARE(column(view, 3)[1], QStringLiteral("2.600 us"));
        const QModelIndex cut = view->model()->index(3, 6);
        QVERIFY(cut.data().toString().endsWith(QStringLiteral("17 …")));
        QVERIFY(cut.data(Qt::ToolTipRole).toString().endsWith(QStringLiteral("1C 1D")));
        QCOMPARE(view->model()->index(1, 4).data(Qt::ForegroundRole).value<QBrush>().color(),
                 QColor(249, 114, 29));
        // Back on the row it came from; after a move, on the first row of the transaction.
        switchView->trigger();
        QCOMPARE(view->model()->columnCount(), 8);
        QCOMPARE(w.currentStoredLine(), 6);
        QTRY_COMPARE(selected(view), QStringLiteral("6"));
        switchView->trigger();
        QTest::keyClick(view, Qt::Key_Down);
        QCOMPARE(w.currentStoredLine(), 9);
        switchView->trigger();
        QCOMPARE(w.currentStoredLine(), 9);
        switchView->trigger();
        QTest::keyClick(view, Qt::Key_Up);
        switchView->trigger(); // row 9 is the next transaction's
        QCOMPARE(w.currentStoredLine(), 2);
        // Enter, and a double click, open the transaction's first row.
        switchView->trigger();
        QTest::keyClick(view, Qt::Key_Return);
        QVERIFY(!switchView->isChecked() && view->model()->columnCount() == 8);
        QCOMPARE(w.currentStoredLine(), 2);
        switchView->trigger();
        QTRY_COMPARE(view->model()->rowCount(), 4);
        // As the platform sends it: a click, then the double click.
        const QPoint at = view->visualRect(view->model()->index(3, 2)).center();
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, at);
        QVERIFY(!switchView->isChecked());
        QCOMPARE(w.currentStoredLine(), 12);
        // Go to a 序号, a row (the transaction holding it), a time, past the end.
        switchView->trigger();
        QVERIFY(w.goToText("3"));
        QCOMPARE(w.currentStoredLine(), 9);
        QVERIFY(w.goToText(" r7"));
        QTRY_COMPARE(w.currentStoredLine(), 2);
        QVERIFY(w.goToText("00.00.00.000.020.050"));
        QTRY_COMPARE(w.currentStoredLine(), 9);
        QVERIFY(w.goToText("99"));
        QCOMPARE(w.currentStoredLine(), 12);
        QVERIFY(w.statusBar()->currentMessage().contains(QStringLiteral("最后一个事务")));
        ModalAnswerer answerer;
        QVERIFY(!w.goToText("r1.5"));
        QTRY_COMPARE(answerer.texts.size(), 1);
        QVERIFY(answerer.texts[0].contains(QStringLiteral("事务序号")));
        QCOMPARE(w.currentStoredLine(), 12);
    }

    // Find and filter over transactions, the address map's click, and the export of all of
    // them or of the filter's.
    void filterAndExport()
    {
        Sniffer s;
        MainWindow &w = s.window;
        w.show();
        store(s.pipeline, knownCapture());
        auto *view = w.findChild<QTableView *>(QStringLiteral("displayTableView"));
        w.transactionViewAction()->trigger();
        auto *bar = w.findChild<FindBar *>();
        bar->filterBy(QStringLiteral("addr=50 NACK"));
        QTRY_COMPARE(column(view, 0), QStringList{"2"});
        bar->findChild<QLineEdit *>()->setText(QStringLiteral("dur>2us"));
        bar->setFilterOn(false);
        bar->findNext();
        QTRY_COMPARE(w.currentStoredLine(), 2);
        QString file = QStringLiteral("all.csv");
        ModalAnswerer answerer(answerDialogs(&file));
        QAction *exportAction = actionNamed(w, QStringLiteral("导出事务 (CSV)..."));
        exportAction->trigger();
        QFile all(QStringLiteral("all.csv"));
        QVERIFY(all.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = all.readAll().split('\n');
        QCOMPARE(lines.size(), 6);
        QCOMPARE(lines[0], QByteArray("number,first_row,rows,start,duration_ns,segments,ack,status,"
                                      "labels\r"));
        QVERIFY2(lines[2].startsWith("2,2,7,00.00.00.000.010.000,2600,50W:0E|50R:41*,"),
                 lines[2].constData());
        // The map's click filters transactions; the export writes those only.
        bar->filterBy(QStringLiteral("addr=68"));
        QTRY_COMPARE(column(view, 0), QStringList{"3"});
        file = QStringLiteral("some.csv");
        exportAction->trigger();
        QFile filtered(QStringLiteral("some.csv"));
        QVERIFY(filtered.open(QIODevice::ReadOnly));
        const QList<QByteArray> kept = filtered.readAll().split('\n');
        QCOMPARE(kept.size(), 3);
        QVERIFY2(kept[1].startsWith("3,9,3,"), kept[1].constData());
        QVERIFY(!answerer.titles.contains(QStringLiteral("警告")));
    }

    // Following a capture from the simulator in the transaction view.
    void followWhileCapturing()
    {
        Sniffer s;
        MainWindow &w = s.window;
        w.resize(903, 462);
        w.show();
        auto *view = w.findChild<QTableView *>(QStringLiteral("displayTableView"));
        w.transactionViewAction()->trigger();
        ModalAnswerer answerer(answerDialogs());
        QAction *start = w.findChild<QAction *>(QStringLiteral("actionStart"));
        start->trigger();
        const auto last = [view] {
            const QStringList numbers = column(view, 0);
            return numbers.isEmpty() ? 0 : numbers.last().toInt();
        };
        QTRY_VERIFY_WITH_TIMEOUT(last() > 20, 10000);
        const int seen = last();
        QTRY_VERIFY_WITH_TIMEOUT(last() > seen + 5, 10000);
        // The newest whole at the bottom, and the scroll bar at its end.
        const QRect bottom =
            view->visualRect(view->model()->index(view->model()->rowCount() - 1, 0));
        QVERIFY(bottom.bottom() < view->viewport()->height());
        auto *bar = w.findChild<QScrollBar *>(QStringLiteral("verticalScrollBar"));
        QVERIFY(bar->maximum() > 0 && bar->value() == bar->maximum());
        w.findChild<QAction *>(QStringLiteral("actionStop"))->trigger();
        // The wheel where the platform sends it, the viewport: a transaction a notch.
        QTest::qWait(100);
        const int top = column(view, 0).first().toInt();
        for (int i = 0; i < 3; ++i) {
            QWheelEvent e(QPointF(5, 5), view->viewport()->mapToGlobal(QPoint(5, 5)), {}, {0, 120},
                          Qt::NoButton, {}, Qt::NoScrollPhase, false);
            QSpontaneKeyEvent::setSpontaneous(&e);
            qApp->notify(view->viewport(), &e);
        }
        QCOMPARE(column(view, 0).first().toInt(), top - 3);
        QVERIFY(bar->value() < bar->maximum());
        QVERIFY(!answerer.titles.contains(QStringLiteral("警告")));
    }
};

QTEST_MAIN(TestTransactions)
#include "tst_transactions.moc"
