// The transaction view in the window: the switch keeps the place both ways, Enter and a
// double click open the row, Go to, the columns, filter and export, following a capture.
#include "app/mainwindow.h"
#include "capture/capturepipeline.h"
#include "device/profileregistry.h"
#include "modalanswerer.h"
#include "protocol/symbollabeler.h"
#include "rowtestutil.h"
#include "search/findbar.h"
#include "view/transactioncolumn.h"

#include <QAction>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QTableView>
#include <QtTest/qtestspontaneevent.h>
#include <QtTest>

namespace {
// A window holding (unless capturing) lines 0-1: a capture begun mid-transfer; 2-8: write
// 0E, repeated START, read 41 NACKed; 9-11: the RTC's address NACKed; 12-13: open.
struct Sniffer
{
    CapturePipeline pipeline;
    SymbolLabeler labeler;
    MainWindow w{pipeline, labeler};
    QTableView *view = w.findChild<QTableView *>(QStringLiteral("displayTableView"));
    explicit Sniffer(bool known = true)
    {
        w.show();
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
        StoreLease lease = pipeline.leaseStore();
        for (size_t i = 0; known && i < rows.size(); ++i) {
            std::string line;
            StoredLine::append(line, int(i), rows[i]);
            lease->appendStoredLine(QByteArray::fromStdString(line));
        }
    }
    QStringList column(int c) const
    {
        QStringList texts;
        for (int r = 0; r < view->model()->rowCount(); ++r)
            texts << view->model()->index(r, c).data().toString();
        return texts;
    }
};

// Accepts the start dialog, and a file dialog with *file typed in.
ModalAnswerer::Handler answerDialogs(const QString *file = nullptr)
{
    return [file](QWidget *d) {
        auto *name = d->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        if (file && name && qobject_cast<QFileDialog *>(d)) {
            name->setText(QDir::current().absoluteFilePath(*file));
            QMetaObject::invokeMethod(d, "accept", Qt::QueuedConnection);
            return true;
        }
        auto *ok = d->findChild<QPushButton *>(QStringLiteral("positivePushButton"));
        return ok && (ok->click(), true);
    };
}
} // namespace

class TestTransactions : public QObject
{
    Q_OBJECT

private slots:
    void init() { qputenv("KORVEX_SIMULATOR", "1"); }

    void switchOpenGoToFilterAndExport()
    {
        Sniffer s;
        MainWindow &w = s.w;
        QAction *switchView = w.transactionViewAction();
        QCOMPARE(switchView->shortcut(), QKeySequence(QStringLiteral("Ctrl+T")));
        QTRY_VERIFY(s.view->model()->rowCount() > 0);
        w.showStoredLine(6);
        switchView->trigger();
        QTRY_COMPARE(s.column(0), (QStringList{"1", "2", "3", "4"}));
        QCOMPARE(w.currentStoredLine(), 2);
        QCOMPARE(s.view->selectionModel()->selectedRows()[0].row(), 1);
        QCOMPARE(s.column(4)[1] + s.column(7)[2] + s.column(9)[0],
                 QStringLiteral("50 写 → 50 读地址 NACK（68 写）无 START"));
        // Back on the row it came from; after a move, on the first row of the transaction.
        switchView->trigger();
        QCOMPARE(s.view->model()->columnCount() * 100 + w.currentStoredLine(), 806);
        switchView->trigger();
        QTest::keyClick(s.view, Qt::Key_Down);
        switchView->trigger();
        QCOMPARE(w.currentStoredLine(), 9);
        switchView->trigger();
        QTest::keyClick(s.view, Qt::Key_Up);
        switchView->trigger(); // row 9 is the next transaction's
        QCOMPARE(w.currentStoredLine(), 2);
        // Enter, and a double click (a click first, as the platform sends it), open the first row.
        switchView->trigger();
        QTest::keyClick(s.view, Qt::Key_Return);
        QVERIFY(!switchView->isChecked() && s.view->model()->columnCount() == 8);
        QCOMPARE(w.currentStoredLine(), 2);
        switchView->trigger();
        QTRY_COMPARE(s.view->model()->rowCount(), 4);
        const QPoint at = s.view->visualRect(s.view->model()->index(3, 2)).center();
        QTest::mouseClick(s.view->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(s.view->viewport(), Qt::LeftButton, {}, at);
        QVERIFY(!switchView->isChecked());
        QCOMPARE(w.currentStoredLine(), 12);
        // Go to a 序号, a row (the transaction holding it), a time, past the end, a wrong text.
        switchView->trigger();
        QVERIFY(w.goToText("3") && w.currentStoredLine() == 9);
        QVERIFY(w.goToText(" r7"));
        QTRY_COMPARE(w.currentStoredLine(), 2);
        QVERIFY(w.goToText("00.00.00.000.020.050"));
        QTRY_COMPARE(w.currentStoredLine(), 9);
        QVERIFY(w.goToText("99") && w.currentStoredLine() == 12);
        QVERIFY(w.statusBar()->currentMessage().contains(QStringLiteral("最后一个事务")));
        // Filter and find over transactions, the export of all of them and of the filter's.
        auto *bar = w.findChild<FindBar *>();
        bar->filterBy(QStringLiteral("addr=50 NACK"));
        QTRY_COMPARE(s.column(0), QStringList{"2"});
        bar->findChild<QLineEdit *>()->setText(QStringLiteral("dur>2us"));
        bar->setFilterOn(false);
        bar->findNext();
        QTRY_COMPARE(w.currentStoredLine(), 2);
        QTRY_VERIFY(!bar->statusText().contains(QStringLiteral("正在查找")));
        QString file = QStringLiteral("all.csv");
        ModalAnswerer answerer(answerDialogs(&file));
        QAction *exportAction = nullptr;
        for (QAction *a : w.findChildren<QAction *>())
            exportAction = a->text() == QStringLiteral("导出事务 (CSV)...") ? a : exportAction;
        exportAction->trigger();
        const auto lines = [&file] {
            QFile f(file);
            return f.open(QIODevice::ReadOnly) ? f.readAll().split('\n') : QList<QByteArray>();
        };
        QCOMPARE(lines().size(), 6);
        QCOMPARE(lines()[0],
                 "number,first_row,rows,start,duration_ns,segments,ack,status,labels,decoded\r");
        QVERIFY(lines()[2].startsWith("2,2,7,00.00.00.000.010.000,2600,50W:0E|50R:41*,"));
        std::string stop; // the open one ends: nothing is judged twice
        StoredLine::append(stop, 14, CaptureRow::stop(40000));
        s.pipeline.leaseStore()->appendStoredLine(QByteArray::fromStdString(stop));
        bar->filterBy(QStringLiteral("addr=68")); // as the address map's click does
        QTest::qWait(150);
        QTRY_COMPARE(s.column(0), QStringList{"3"});
        file = QStringLiteral("some.csv");
        exportAction->trigger();
        QCOMPARE(lines().size(), 3);
        QVERIFY(lines()[1].startsWith("3,9,3,") &&
                !answerer.titles.contains(QStringLiteral("警告")));
    }

    void followWhileCapturing()
    {
        Sniffer s(false);
        s.w.resize(903, 462);
        s.w.transactionViewAction()->trigger();
        // Filtered from the empty store on: the filter keeps up with the capture.
        s.w.findChild<FindBar *>()->filterBy(QStringLiteral("addr=50"));
        ModalAnswerer answerer(answerDialogs());
        s.w.findChild<QAction *>(QStringLiteral("actionStart"))->trigger();
        const auto last = [&s] { return s.column(0).value(s.column(0).size() - 1).toInt(); };
        QTRY_VERIFY_WITH_TIMEOUT(last() > 20, 10000);
        const int seen = last();
        QTRY_VERIFY_WITH_TIMEOUT(last() > seen + 5, 10000);
        // The newest whole at the bottom, and the scroll bar at its end.
        const int rows = s.view->model()->rowCount();
        QVERIFY(s.view->visualRect(s.view->model()->index(rows - 1, 0)).bottom() <
                s.view->viewport()->height());
        auto *bar = s.w.findChild<QScrollBar *>(QStringLiteral("verticalScrollBar"));
        QVERIFY(bar->maximum() > 0 && bar->value() == bar->maximum());
        s.w.findChild<QAction *>(QStringLiteral("actionStop"))->trigger();
        // The wheel where the platform sends it, the viewport: a row a notch.
        QTest::qWait(100);
        const QStringList before = s.column(0);
        for (int i = 0; i < 3; ++i) {
            QWheelEvent e(QPointF(5, 5), s.view->viewport()->mapToGlobal(QPoint(5, 5)), {},
                          {0, 120}, Qt::NoButton, {}, Qt::NoScrollPhase, false);
            QSpontaneKeyEvent::setSpontaneous(&e);
            qApp->notify(s.view->viewport(), &e);
        }
        QCOMPARE(s.column(0).mid(3), before.mid(0, before.size() - 3)); // three rows down
        QVERIFY(bar->value() < bar->maximum() && !answerer.titles.contains(QStringLiteral("警告")));
    }

    void decodedColumnWithTheSimulator()
    {
        qputenv("XDG_CONFIG_HOME", QDir::currentPath().toLocal8Bit()); // the choices stay here
        Sniffer s(false);
        QVERIFY(s.w.findChild<ProfileRegistry *>()->choose(0x68, QStringLiteral("ds1307")));
        s.w.transactionViewAction()->trigger();
        ModalAnswerer answerer(answerDialogs());
        s.w.findChild<QAction *>(QStringLiteral("actionStart"))->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(s.pipeline.storedLineCount() > 2000, 10000);
        s.w.findChild<QAction *>(QStringLiteral("actionStop"))->trigger();
        // The clock's reads, found by a register, show decoded.
        s.w.findChild<FindBar *>()->filterBy(QStringLiteral("reg=Seconds"));
        const auto decoded = [&s] { return s.column(TransactionColumn::Decoded); };
        QTRY_VERIFY(decoded().size() > 3 &&
                    decoded().filter(QStringLiteral("DS1307 读 Seconds=")).size() ==
                        decoded().size());
    }
};

QTEST_MAIN(TestTransactions)
#include "tst_transactions.moc"
