#include "search/findbar.h"
#include "searchtestutil.h"

#include <QCheckBox>
#include <QDockWidget>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QTableView>
#include <QVBoxLayout>
#include <QtTest>

// The bar against a window made of hooks: what it shows, filters and says.
class FindBarTest : public QObject
{
    Q_OBJECT
    SearchFixture f;
    qint64 current = -1;
    QList<qint64> shown;
    VisibleRows *visible = nullptr;
    QString filterStatus;

    FindBar::Hooks hooks()
    {
        return {[this] { return current; }, [this](qint64 l) { shown << (current = l); },
                [this](VisibleRows *rows) { visible = rows; },
                [this](const QString &s) { filterStatus = s; }};
    }
    void find(FindBar &bar, const QString &text, bool shift = false)
    {
        auto *edit = bar.findChild<QLineEdit *>();
        edit->setText(text);
        QTest::keyClick(edit, Qt::Key_Return, shift ? Qt::ShiftModifier : Qt::NoModifier);
        settle(bar);
    }
    // The worker's answer comes queued: wait for it, then let it arrive.
    static void settle(FindBar &bar)
    {
        QTRY_VERIFY(!bar.search().findRunning());
        QCoreApplication::processEvents();
    }

private slots:
    // At the window's own 903 px, beside a docked panel, a long message is cut rather than
    // squeezing the query; a new search or filter clears an old message.
    void keepsRoomForTheQueryAndClearsOldMessages()
    {
        f.store(3000, false, 900);
        QMainWindow window;
        auto *central = new QWidget(&window);
        auto *layout = new QVBoxLayout(central);
        layout->addWidget(new QTableView(central), 1);
        auto *bar = new FindBar(f.pipeline, f.blocks, hooks(), central);
        layout->addWidget(bar);
        window.setCentralWidget(central);
        auto *dock = new QDockWidget(QStringLiteral("地址映射"), &window);
        dock->setWidget(new QWidget(dock));
        dock->widget()->setMinimumWidth(416); // as wide as the address map asks to be
        window.addDockWidget(Qt::RightDockWidgetArea, dock);
        window.resize(903, 462);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto *edit = bar->findChild<QLineEdit *>();
        auto *status = bar->findChildren<QLabel *>().first();
        auto *filter = bar->findChild<QCheckBox *>();
        const QString word(200, QLatin1Char('y'));
        find(*bar, QStringLiteral("addr=3 ") + word);
        QCOMPARE(bar->statusText(), QStringLiteral("无法识别的查找条件：") + word);
        // From wide to narrow: the query keeps its room, the message is cut,
        // the window keeps its width; one row where it fits, else two.
        const auto oneRow = [&] { return qAbs(filter->y() - edit->y()) < edit->height(); };
        for (const int width : {1300, 1150, 1050, 960, 903}) {
            window.resize(width, 462);
            QTest::qWait(1);
            QTRY_VERIFY(status->width() > 0 && (width < 1300 || oneRow()) &&
                        (width > 903 || !oneRow()));
            QCOMPARE(window.width(), width);
            QVERIFY2(edit->width() >= 25 * edit->fontMetrics().averageCharWidth(),
                     qPrintable(QString::number(edit->width())));
            QVERIFY(status->text().endsWith(QChar(0x2026)) &&
                    status->toolTip() == bar->statusText());
            QVERIFY(edit->x() < filter->x() && filter->x() < status->x());
        }

        // An old message goes with a new query, a new search and a new filter.
        find(*bar, "addr=34");
        QCOMPARE(bar->statusText(), QStringLiteral("未找到"));
        QTest::keyClick(edit, Qt::Key_3);
        QCOMPARE(bar->statusText(), QString());
        find(*bar, "addr=34");
        find(*bar, "addr=33");
        QCOMPARE(bar->statusText(), QString());
        find(*bar, "addr=34");
        edit->setText("addr=33");
        filter->click();
        QCOMPARE(bar->statusText(), QString());
        QTRY_VERIFY(filterStatus.startsWith(QStringLiteral("筛选：")));
    }

    void findsRoundTheCaptureAndFilters()
    {
        f.store(12000, false, 900);
        const QStringList lines = f.lines();
        const std::vector<qint64> rare = bruteForce(lines, oracleQueries()[0]);
        QVERIFY(rare.size() >= 3);
        QWidget window;
        FindBar bar(f.pipeline, f.blocks, hooks(), &window);
        window.show();
        // From the middle; round the end; backwards round the start.
        for (const auto &[from, back, to, said] :
             {std::tuple(rare[1], false, rare[2], QString()),
              std::tuple(rare.back(), false, rare[0], QStringLiteral("已到末尾，从开头继续查找")),
              std::tuple(rare[0], true, rare.back(), QStringLiteral("已到开头，从末尾继续查找"))}) {
            current = from;
            find(bar, "addr=33", back);
            QCOMPARE(shown.last(), to);
            QCOMPARE(bar.statusText(), said);
        }
        find(bar, "addr=34");
        QCOMPARE(bar.statusText(), QStringLiteral("未找到"));
        bar.findChild<QLineEdit *>()->setText("addr=x");
        bar.findNext();
        QCOMPARE(bar.statusText(), QStringLiteral("地址应为 00 到 7F 的十六进制数：x"));
        // The filter shows the matching rows; clearing it returns to the row shown.
        bar.findChild<QLineEdit *>()->setText("addr=33");
        current = 100;
        bar.findChild<QCheckBox *>()->click();
        QVERIFY(visible);
        QTRY_COMPARE(visible->count(), qint64(rare.size()));
        QTRY_COMPARE(
            filterStatus,
            QStringLiteral("筛选：%1 / %2 行").arg(rare.size()).arg(f.pipeline.storedLineCount()));
        current = rare[1];
        bar.findChild<QCheckBox *>()->click();
        QCOMPARE(visible, nullptr);
        QCOMPARE(shown.last(), rare[1]);
        QTRY_COMPARE(filterStatus, QString());
        // Esc with nothing running closes the bar.
        current = rare[0];
        bar.findNext();
        settle(bar);
        QCOMPARE(shown.last(), rare[1]);
        QTest::keyClick(bar.findChild<QLineEdit *>(), Qt::Key_Escape);
        QVERIFY(bar.isHidden());
    }
};

QTEST_MAIN(FindBarTest)
#include "findbar_test.moc"
