// The window end to end on the built-in simulator: capture file, enabling, warnings, follow,
// labelling, Save then Open, a failing store; and the soak, run on its own as tst_soak.
#include "addressmap/addressmapdock.h"
#include "app/mainwindow.h"
#include "capture/capturecontroller.h"
#include "capture/capturepipeline.h"
#include "capture/storedline.h"
#include "modalanswerer.h"
#include "protocol/symbolfile.h"
#include "protocol/symbollabeler.h"
#include "quietdebug.h"
#include "rowtestutil.h"
#include "search/findbar.h"
#include "view/healthdock.h"

#include <korvex/korvex.h>
#include <korvex/korvexhealth.h>

#include <QAction>
#include <QComboBox>
#include <QDockWidget>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QScopeGuard>
#include <QScrollBar>
#include <QSpinBox>
#include <QStatusBar>
#include <QTableView>
#include <QTableWidget>
#include <QToolTip>
#include <QtTest/qtestspontaneevent.h>
#include <QtTest>

#include <csignal>
#include <cstring>
#include <random>
#include <sys/resource.h>

namespace {
const QString kTempFile = QStringLiteral("I2CDataTemp.dat");

QAction *action(const QWidget &w, const char *name)
{
    return w.findChild<QAction *>(name);
}

// Start, Stop, Save and Open: '1' where enabled.
QString enabled(const QWidget &w)
{
    QString s;
    for (const char *name : {"actionStart", "actionStop", "actionSaveFile", "actionOpenFile"})
        s += action(w, name)->isEnabled() ? '1' : '0';
    return s;
}

// Accepts the start dialog with its defaults, running onAccept first.
ModalAnswerer::Handler acceptStartDialog(std::function<void()> onAccept = [] {})
{
    return [onAccept](QWidget *d) {
        if (d->objectName() != QLatin1String("StartDialog"))
            return false;
        onAccept();
        d->findChild<QPushButton *>(QStringLiteral("positivePushButton"))->click();
        return true;
    };
}

// A window with a pipeline and a labeler of its own, as main() builds it.
struct Sniffer
{
    CapturePipeline pipeline;
    SymbolLabeler labeler;
    MainWindow window{pipeline, labeler};
    MainWindow &shown() { return window.show(), window; }
};

// The status bar's labels, an empty text for a hidden one.
QStringList statusLabels(QWidget &w)
{
    QStringList texts;
    for (QLabel *l : w.findChild<QStatusBar *>()->findChildren<QLabel *>())
        texts << (l->isVisible() ? l->text() : QString());
    return texts;
}

QByteArray storedText(CapturePipeline &pipeline)
{
    const StoreLease store = pipeline.leaseStore();
    return store->readLines(0, store->lineCount());
}

// The soak's callback: the program's, then a converter of its own, fresh like the program's.
EventConverter converter;
std::vector<CaptureRow> batch;
std::string line;
uint64_t expectedRows = 0;
QCryptographicHash expectedHash(QCryptographicHash::Md5);
std::atomic<bool> expecting{false};
std::atomic<uint64_t> converted{0};

int32_t recordingCallback(int32_t index, int32_t sequence, const I2CEvent *events, int32_t count)
{
    onI2CEvents(index, sequence, events, count);
    batch.clear();
    converter.convertEvents(events, count, batch);
    for (size_t i = 0; i < batch.size() && expecting.load(std::memory_order_acquire); ++i) {
        line.clear();
        StoredLine::append(line, int(expectedRows++), batch[i]);
        expectedHash.addData(line.data(), int(line.size()));
    }
    converted.fetch_add(batch.size(), std::memory_order_release);
    return 0;
}

// With no capture running, one empty call stores the rows still kept back.
void storeKeptRows(CapturePipeline &pipeline)
{
    QVERIFY(pipeline.tryLeaseStore());
    onI2CEvents(0, 0, nullptr, 0);
}
} // namespace

class TestCapture : public QObject
{
    Q_OBJECT

private slots:
    void init() { qputenv("KORVEX_SIMULATOR", "1"); }
    void cleanup() { QDir().rmdir(kTempFile); }

    void temporaryFileLifeCycle()
    {
        QCOMPARE(enabled(Sniffer().window), QStringLiteral("1011"));
        QVERIFY(!QFile::exists(kTempFile));
        QVERIFY(QDir().mkdir(kTempFile)); // cannot be opened, even by root
        ModalAnswerer answerer;
        Sniffer s;
        QTRY_COMPARE(answerer.titles, QStringList{"警告"});
        QVERIFY(answerer.texts[0].contains(kTempFile));
    }

    void oneWindowPerCaptureFile()
    {
        // A lock left by a process that no longer runs does not block.
        QFile stale(kTempFile + QStringLiteral(".lock")), capture(kTempFile);
        QVERIFY(stale.open(QIODevice::WriteOnly) &&
                stale.write("4194303\nx\n" + QSysInfo::machineHostName().toUtf8() + "\n") > 0);
        stale.close();
        auto first = std::make_unique<Sniffer>();
        QVERIFY(capture.open(QIODevice::Append) && capture.write("0,START\n") == 8);
        capture.close();
        {
            ModalAnswerer answerer;
            Sniffer other;
            MainWindow &second = other.shown();
            QTRY_VERIFY(!second.isVisible()); // it says so, then closes
            QCOMPARE(answerer.titles, QStringList{"警告"});
            QVERIFY(
                answerer.texts[0].contains(QString::number(QCoreApplication::applicationPid())));
        }
        QCOMPARE(QFileInfo(kTempFile).size(), 8); // neither emptied nor removed
        first.reset();
        QVERIFY(!QFile::exists(kTempFile) && !QFile::exists(stale.fileName()));
        // No lock can be held (a directory in its place): said, and no capture file made.
        QVERIFY(QDir().mkdir(stale.fileName()));
        ModalAnswerer answerer;
        Sniffer blocked; // it says so, then closes
        QTRY_VERIFY(answerer.texts.value(0).contains(QStringLiteral("而是目录")) &&
                    answerer.texts[0].endsWith(QStringLiteral("本窗口将关闭。")));
        QVERIFY(!QFile::exists(kTempFile) && QDir().rmdir(stale.fileName()));
    }

    void signalsEndTheProgramLikeClosingIt()
    {
        QVERIFY(QDir().mkpath(QStringLiteral("child")));
        const QString capture = QStringLiteral("child/") + kTempFile;
        for (int signalNumber : {SIGTERM, SIGINT, SIGHUP}) {
            QProcess child;
            child.setWorkingDirectory(QStringLiteral("child"));
            child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            child.start(QStringLiteral(KORVEX_SIGNAL_CHILD), QStringList());
            QVERIFY(child.waitForStarted());
            while (!child.canReadLine() && child.waitForReadyRead(10000)) {
            }
            QCOMPARE(child.readLine(), QByteArray("capturing\n"));
            QVERIFY(QFileInfo(capture).size() > 0);
            ::kill(pid_t(child.processId()), signalNumber);
            QVERIFY(child.waitForFinished(10000));
            QVERIFY(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0);
            QVERIFY2(!QFile::exists(capture), qPrintable(QString::number(signalNumber)));
        }
    }

    void startFailuresSayWhyAndAReplaySaysItEnded()
    {
        qputenv("KORVEX_REPLAY", "missing.sr:" KORVEX_TEST_DATA_DIR
                                 "/captures/peer-suite/rtc_dallas_ds1307/rtc_ds1307_200khz.sr");
        qputenv("KORVEX_REPLAY_SPEED", "max");
        const auto restore = qScopeGuard([] { qunsetenv("KORVEX_REPLAY"); });
        Sniffer s;
        MainWindow &w = s.shown();
        int device = 1;
        ModalAnswerer answerer([&device, accept = acceptStartDialog()](QWidget *d) {
            if (auto *devices = d->findChild<QComboBox *>(QStringLiteral("deviceIndexComboBox")))
                devices->setCurrentIndex(device);
            return accept(d);
        });
        action(w, "actionStart")->trigger();
        QTRY_COMPARE(answerer.texts.size(), 2);
        QCOMPARE(
            answerer.texts[1],
            QStringLiteral("打开设备失败！\ncannot replay missing.sr: No such file or directory"));
        device = 2;
        action(w, "actionStart")->trigger();
        QCOMPARE(enabled(w), QStringLiteral("0100"));
        QTRY_VERIFY_WITH_TIMEOUT(w.statusBar()->currentMessage().contains(QStringLiteral(
                                     "回放已结束，不会再有新数据：adapter 2: replay of ")),
                                 10000);
        QCOMPARE(enabled(w), QStringLiteral("0100")); // quiet until Stop
        QVERIFY(statusLabels(w).contains(QStringLiteral("回放结束")));
        action(w, "actionStop")->trigger();
        QVERIFY(statusLabels(w).contains(QStringLiteral("已停止")));
        QCOMPARE(answerer.texts.size(), 3);
    }

    void startStopClearAndFollow()
    {
        Sniffer s;
        MainWindow &w = s.shown();
        auto *model = w.findChild<QTableView *>(QStringLiteral("displayTableView"))->model();
        auto *bar = w.findChild<QScrollBar *>(QStringLiteral("verticalScrollBar"));
        const auto following = [bar] {
            return bar->maximum() > 0 && bar->value() == bar->maximum();
        };
        // The first time, as if the only adapter were unplugged while the start dialog is open.
        const char *simulator = "0";
        ModalAnswerer answerer(acceptStartDialog([&] { qputenv("KORVEX_SIMULATOR", simulator); }));
        action(w, "actionStart")->trigger();
        QTRY_COMPARE(answerer.texts.last(), QStringLiteral("无设备连接！"));
        QCOMPARE(enabled(w), QStringLiteral("1011"));
        qputenv("KORVEX_SIMULATOR", simulator = "1");
        action(w, "actionStart")->trigger();
        QCOMPARE(enabled(w), QStringLiteral("0100"));
        QTRY_VERIFY_WITH_TIMEOUT(model->rowCount() > 3 && following(), 10000);
        QCOMPARE(w.statusBar()->currentMessage(), QString()); // a running capture has not ended
        QVERIFY(w.captureController().judgedHealthMode() >= KORVEX_HEALTH_MODE_AUTO);
        bar->setValue(0);
        QTRY_COMPARE(model->index(0, 0).data().toString(), QStringLiteral("0"));
        action(w, "actionStop")->trigger();
        QVERIFY(enabled(w) == QStringLiteral("1011") && !w.captureController().capturing());
        // Clear while capturing empties, and follows again.
        action(w, "actionStart")->trigger();
        action(w, "actionClear")->trigger();
        QCOMPARE(model->rowCount(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(following(), 10000);
        action(w, "actionStop")->trigger();
        QCOMPARE(answerer.titles.count(QStringLiteral("警告")), 1);
    }

    void decodeThenSaveAndOpen()
    {
        Sniffer s;
        MainWindow &w = s.shown();
        // Written after the window is up: Decode loads the symbols as it is switched on.
        SymbolFile::makeDefaultDir();
        QVERIFY(SymbolFile::write(SymbolFile::defaultPath(),
                                  {{"RTC", "ADDR", "68", "-", "0", "WRITE"}}));
        ModalAnswerer answerer([start = acceptStartDialog()](QWidget *d) {
            auto *name = d->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
            if (!qobject_cast<QFileDialog *>(d) || !name)
                return start(d);
            // The name typed into the file dialog, then confirmed, as a user would.
            name->setText(QDir::current().absoluteFilePath(QStringLiteral("capture.csv")));
            QMetaObject::invokeMethod(d, "accept", Qt::QueuedConnection);
            return true;
        });
        QAction *merge = action(w, "actionMerge"), *decode = action(w, "actionDecode");
        decode->trigger();
        QVERIFY(!merge->isEnabled());
        action(w, "actionStart")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(storedText(s.pipeline).contains(",ADDR,68,WRITE,-- [RTC],"),
                                 15000);
        action(w, "actionStop")->trigger();
        decode->trigger();
        merge->trigger();
        QVERIFY(!decode->isEnabled() && s.pipeline.mergeEnabled && !s.pipeline.decodeEnabled);
        const QByteArray before = storedText(s.pipeline);
        // Rows not saved yet: Open asks first, and anything but Yes keeps them.
        action(w, "actionOpenFile")->trigger();
        QCOMPARE(storedText(s.pipeline), before);
        QVERIFY(answerer.texts.last().contains(QStringLiteral("尚未保存")));
        action(w, "actionSaveFile")->trigger();
        action(w, "actionClear")->trigger();
        action(w, "actionOpenFile")->trigger();
        QCOMPARE(storedText(s.pipeline), before);
        QTRY_VERIFY(w.findChild<QTableView *>()->model()->rowCount() > 0);
        QCOMPARE(answerer.titles.count(QStringLiteral("警告")), 1);
    }

    void storeFailureWarnsOnceAndClearRecovers()
    {
        std::signal(SIGXFSZ, SIG_IGN); // as the program: the write fails, the process lives
        qputenv("KORVEX_SIM_SPEED", "max");
        rlimit limit{};
        QVERIFY(getrlimit(RLIMIT_FSIZE, &limit) == 0);
        const auto restore = qScopeGuard([limit] { setrlimit(RLIMIT_FSIZE, &limit); });
        limit.rlim_cur = 300001; // the capture file fails within a second at full speed
        QVERIFY(setrlimit(RLIMIT_FSIZE, &limit) == 0);
        Sniffer s;
        MainWindow &w = s.shown();
        ModalAnswerer answerer(acceptStartDialog());
        action(w, "actionStart")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(answerer.titles.contains(QStringLiteral("警告")), 20000);
        QTest::qWait(400); // the capture goes on, with no second box
        action(w, "actionStop")->trigger();
        QCOMPARE(answerer.titles.count(QStringLiteral("警告")), 1);
        QVERIFY2(answerer.texts.last().contains(QString::fromLocal8Bit(strerror(EFBIG))),
                 qPrintable(answerer.texts.last()));
        // A failed store refuses Start until Clear gives a working one.
        action(w, "actionStart")->trigger();
        QTRY_COMPARE(answerer.titles.size(), 4);
        QCOMPARE(enabled(w), QStringLiteral("1011"));
        action(w, "actionClear")->trigger();
        QVERIFY(!s.pipeline.store().failed() && s.pipeline.store().lineCount() == 0);
    }

    // Find, the filter and the address map together; a refused symbol file is told.
    // Findings placed by the callback: the panel lists their kinds, its jumps move the table,
    // its mode goes to the controller, and an ERR filter shows only marked rows.
    void busHealthPanel()
    {
        Sniffer s;
        MainWindow &w = s.shown();
        HealthDock *dock = w.healthDock();
        QVERIFY(!dock->isVisible() &&
                dock->toggleViewAction()->shortcut() == QKeySequence(Qt::CTRL + Qt::Key_H));
        using K = HealthFinding::Kind;
        using S = HealthFinding::Severity;
        const auto finding = [&s](int64_t event, K kind, S severity, int64_t measured) {
            s.pipeline.onHealthFinding(healthFinding(event, kind, severity, measured, 1300));
        };
        s.pipeline.beginCapture();
        // Transfer k: events 6k..6k+5, lines 4k..4k+3 (START, ADDR, DATA, STOP).
        finding(6 * 10 + 3, K::TLow, S::Warning, 1250);  // line 42
        finding(6 * 20 + 3, K::TLow, S::Error, 900);     // line 82
        finding(6 * 30 + 3, K::TLow, S::Error, 1100);    // line 122
        finding(6 * 40 + 0, K::Stretch, S::Info, 70000); // line 160
        const std::vector<I2CEvent> events = busTransfers(100);
        dropDebugMessages();
        s.pipeline.onI2CEvents(events.data(), int(events.size()));
        dock->toggleViewAction()->trigger();
        QVERIFY(dock->isVisible());
        QTableWidget *table = dock->table();
        QCOMPARE(table->rowCount(), 2);
        QCOMPARE(table->item(0, HealthDock::KindColumn)->text(), QStringLiteral("t-low"));
        QCOMPARE(table->item(0, HealthDock::SeverityColumn)->text(), QStringLiteral("错误/警告"));
        QCOMPARE(table->item(0, HealthDock::CountColumn)->text(), QStringLiteral("3"));
        QCOMPARE(table->item(0, HealthDock::WorstColumn)->text(), QStringLiteral("900 ns"));
        QCOMPARE(table->item(1, HealthDock::KindColumn)->text(), QStringLiteral("stretch"));
        // No kind chosen: no jump.
        const qint64 before = w.currentStoredLine();
        table->setCurrentCell(-1, -1);
        dock->jumpButton(HealthDock::Jump::First)->click();
        QCOMPARE(w.currentStoredLine(), before);
        table->setCurrentCell(0, 0);
        const std::pair<HealthDock::Jump, qint64> jumps[] = {{HealthDock::Jump::First, 42},
                                                             {HealthDock::Jump::Next, 82},
                                                             {HealthDock::Jump::Next, 122},
                                                             {HealthDock::Jump::Next, 42},
                                                             {HealthDock::Jump::Worst, 82}};
        for (const auto &[jump, line] : jumps) {
            dock->jumpButton(jump)->click();
            QCOMPARE(w.currentStoredLine(), line);
        }
        // The row's marker and tooltip, the text as it was.
        auto *model = w.findChild<QTableView *>(QStringLiteral("displayTableView"))->model();
        QTRY_VERIFY(model->rowCount() > 0);
        int row = -1;
        for (int r = 0; r < model->rowCount(); ++r)
            row = model->index(r, 0).data().toString() == QStringLiteral("82") ? r : row;
        QVERIFY(row >= 0);
        QVERIFY(model->index(row, 0)
                    .data(Qt::ToolTipRole)
                    .toString()
                    .startsWith(QStringLiteral("错误 t-low：测得 900 ns")));
        // The mode goes to the next Start.
        dock->modeBox()->setCurrentIndex(KORVEX_HEALTH_MODE_FM);
        emit dock->modeBox()->activated(KORVEX_HEALTH_MODE_FM);
        QCOMPARE(w.captureController().healthMode(), int(KORVEX_HEALTH_MODE_FM));
        // So do the PEC addresses (a list that cannot be read changes nothing) and the filter.
        for (const char *text : {"0b, 0x50", "0B 80"}) {
            dock->pecEdit()->setText(QString::fromLatin1(text));
            emit dock->pecEdit()->editingFinished();
        }
        QCOMPARE(w.captureController().pecAddresses(), (QVector<int>{0x0B, 0x50}));
        dock->glitchFilterBox()->setValue(50);
        QCOMPARE(w.captureController().glitchFilterNs(), 50);
        // ERR: the two error rows only.
        w.findChild<FindBar *>()->filterBy(QStringLiteral("ERR"));
        QTRY_VERIFY2(statusLabels(w).contains(QStringLiteral("筛选：2 / 400 行")),
                     qPrintable(statusLabels(w).join('|')));
        w.showStoredLine(0);
        QTRY_COMPARE(model->rowCount(), 2);
        QCOMPARE(model->index(0, 0).data().toString(), QStringLiteral("82"));
        QCOMPARE(model->index(1, 0).data().toString(), QStringLiteral("122"));
        QVERIFY(model->index(1, 0).data(Qt::DecorationRole).value<QColor>().isValid());
        // Clear empties the panel.
        action(w, "actionClear")->trigger();
        dock->refresh();
        QCOMPARE(table->rowCount(), 0);
        QVERIFY(!dock->jumpButton(HealthDock::Jump::First)->isEnabled());
    }

    void findFilterAndTheAddressMap()
    {
        Sniffer s;
        MainWindow &w = s.shown();
        for (int i = 0; i < 5000; ++i) {
            std::string line;
            StoredLine::append(line, i, addrRow(i % 97 == 50 ? 0x3C : 0x50, false, i % 2, i));
            QVERIFY(s.pipeline.leaseStore()->appendStoredLine(line.c_str()));
        }
        auto *bar = w.findChild<FindBar *>();
        QVERIFY(bar && !bar->isVisible());
        QAction *find = nullptr;
        for (QAction *a : w.findChildren<QAction *>())
            find = a->text() == QStringLiteral("查找...") ? a : find;
        find->trigger();
        QVERIFY(bar->isVisible());
        bar->findChild<QLineEdit *>()->setText(QStringLiteral("addr=3c"));
        bar->findNext();
        QTRY_COMPARE(w.currentStoredLine(), 50);
        bar->findNext();
        QTRY_COMPARE(w.currentStoredLine(), 147);
        // The map opens from its action; a click on 0x3C shows its rows only, a second one all.
        auto *map = w.findChild<AddressMapDock *>();
        QVERIFY(!map->isVisible());
        w.addressMapAction()->trigger();
        QVERIFY(map->isVisible() && w.width() >= 903);
        emit map->addressActivated(0x3C);
        auto *view = w.findChild<QTableView *>(QStringLiteral("displayTableView"));
        const auto column = [view](int c) {
            QStringList texts;
            for (int r = 0; r < view->model()->rowCount(); ++r)
                texts << view->model()->index(r, c).data().toString();
            return texts;
        };
        QTRY_VERIFY(view->model()->rowCount() > 5 &&
                    column(2).count(QStringLiteral("3C")) == view->model()->rowCount());
        QTRY_COMPARE(w.currentStoredLine(), 147); // still on the row it was on
        QTRY_VERIFY2(statusLabels(w).contains(QStringLiteral("筛选：52 / 5000 行")),
                     qPrintable(statusLabels(w).join('|')));
        emit map->filterCleared();
        QTRY_VERIFY(column(2).contains(QStringLiteral("50")));
        QCOMPARE(w.currentStoredLine(), 147);
        // Decode on a symbol file nested too deep: told, and labelling keeps the old symbols.
        SymbolFile::makeDefaultDir();
        QFile deep(SymbolFile::defaultPath());
        QVERIFY(deep.open(QIODevice::WriteOnly) &&
                deep.write("<Symbols>" + QByteArray("<a>").repeated(5000) +
                           QByteArray("</a>").repeated(5000) + "</Symbols>") > 0);
        deep.close();
        ModalAnswerer answerer;
        action(w, "actionDecode")->trigger();
        QTRY_COMPARE(answerer.texts.size(), 1);
        QVERIFY(answerer.texts[0].startsWith(QStringLiteral("无法读取符号文件")) &&
                s.pipeline.decodeEnabled);
        action(w, "actionDecode")->trigger();
        QFile::remove(SymbolFile::defaultPath());
    }

    // A stored capture walked at three window sizes: the last row whole while following, one
    // row per wheel step, the keys, a click, Go to, cut cells, the thumb, Start follows.
    void tableWalksTheWholeCapture()
    {
        Sniffer s;
        MainWindow &w = s.shown();
        QCOMPARE(w.size(), QSize(903, 462)); // the map starts closed and takes no room
        QVERIFY(!w.findChild<QDockWidget *>()->isVisible());
        auto *view = w.findChild<QTableView *>(QStringLiteral("displayTableView"));
        auto *model = view->model();
        const auto append = [&s](int from, int to) {
            for (int i = from; i < to; ++i) {
                std::string line;
                CaptureRow row = CaptureRow::start(i * 1000LL);
                row.data = i == 10 ? std::string(300, '7') : "--";
                StoredLine::append(line, i, row);
                QVERIFY(s.pipeline.leaseStore()->appendStoredLine(line.c_str()));
            }
        };
        append(0, 1000);
        const auto number = [model](int row) { return model->index(row, 0).data().toInt(); };
        const auto last = [model] { return model->rowCount() - 1; };
        for (const QSize size : {QSize(903, 462), QSize(1300, 850), QSize(600, 300)}) {
            w.resize(size);
            // The newest row whole, and no room for one more.
            QTRY_VERIFY(number(last()) == 999 && [&] {
                const QRect bottom = view->visualRect(model->index(last(), 0));
                const int height = view->viewport()->height();
                return bottom.bottom() < height && bottom.bottom() + bottom.height() >= height;
            }());
            // Every column can be reached: sideways scrolling when they need more room.
            QCOMPARE(view->horizontalScrollBar()->isVisible(), size.width() < 700);
        }
        const int rows = model->rowCount();
        // The wheel as the platform delivers it: to the widget under the pointer, and what that
        // leaves unaccepted to its parents and the window.
        const auto wheelOn = [](QWidget *target, int dy, int times) {
            for (int i = 0; i < times; ++i) {
                QWheelEvent e(QPointF(5, 5), target->mapToGlobal(QPoint(5, 5)), {}, {0, dy},
                              Qt::NoButton, {}, Qt::NoScrollPhase, false);
                QSpontaneKeyEvent::setSpontaneous(&e);
                qApp->notify(target, &e); // sendEvent would make it look synthetic
            }
        };
        // A row a step; a fine wheel a row per 120 of its steps, the other way starts afresh.
        for (auto [dy, times, up] :
             {std::tuple{120, 20, 20}, {-120, 3, 17}, {40, 2, 17}, {40, 1, 18}, {-60, 1, 18}}) {
            wheelOn(view->viewport(), dy, times);
            QCOMPARE(number(0), 1000 - rows - up);
        }
        wheelOn(w.findChild<QScrollBar *>(QStringLiteral("verticalScrollBar")), -120, 1);
        wheelOn(w.statusBar(), -120, 1); // the window's own handler takes the rest
        QCOMPARE(number(0), 1000 - rows - 16);
        const auto key = [view](Qt::Key k, Qt::KeyboardModifiers m = {}) {
            QTest::keyClick(view, k, m);
        };
        const auto selected = [view, &number] {
            const QModelIndexList s = view->selectionModel()->selectedRows();
            return s.size() == 1 ? number(s[0].row()) : -1;
        };
        key(Qt::Key_Home, Qt::ControlModifier);
        QCOMPARE(number(0) * 1000 + selected(), 0);
        key(Qt::Key_PageDown);
        key(Qt::Key_Down);
        QCOMPARE(number(0) * 1000 + selected(), rows * 1000 + rows + 1);
        key(Qt::Key_End, Qt::ControlModifier);
        QCOMPARE(selected(), 999);
        append(1000, 1005); // following: the newest rows show
        QTRY_COMPARE(number(last()), 1004);
        // A clicked row keeps its highlight on its data while the page stays.
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                          view->visualRect(model->index(2, 3)).center());
        QCOMPARE(w.currentStoredLine(), 1005 - rows + 2);
        append(1005, 1010);
        QTest::qWait(100);
        QCOMPARE(selected(), 1005 - rows + 2);
        ModalAnswerer answerer(acceptStartDialog());
        // Found beside the GUI thread: the answer comes a moment later.
        QVERIFY(w.goToText(" 500 "));
        QTRY_VERIFY(w.currentStoredLine() == 500 && selected() == 500);
        QVERIFY(w.goToText("00.00.00.000.600.5"));
        QTRY_COMPARE(selected(), 601);
        QVERIFY(w.goToText("99999")); // past the end: the last row, and a word why
        QTRY_COMPARE(selected(), 1009);
        QVERIFY(w.statusBar()->currentMessage().contains(QStringLiteral("已转到最后一行")));
        QVERIFY(!w.goToText("6o0") && selected() == 1009);
        QTRY_COMPARE(answerer.titles, QStringList{"警告"});
        // A cut cell tells its whole text.
        w.showStoredLine(10);
        const QModelIndex cut = model->index(view->selectionModel()->selectedRows()[0].row(), 4);
        QHelpEvent help(QEvent::ToolTip, view->visualRect(cut).center(),
                        view->viewport()->mapToGlobal(view->visualRect(cut).center()));
        QApplication::sendEvent(view->viewport(), &help);
        QTRY_VERIFY(QToolTip::text().contains(QString(300, '7')));
        // The thumb dragged to the bottom while rows come: the table follows them again.
        auto *bar = w.findChild<QScrollBar *>(QStringLiteral("verticalScrollBar"));
        QStyleOptionSlider option; // as the bar draws itself
        option.initFrom(bar);
        option.orientation = bar->orientation();
        option.minimum = bar->minimum();
        option.maximum = bar->maximum();
        option.sliderPosition = option.sliderValue = bar->value();
        option.pageStep = bar->pageStep();
        const QPoint thumb =
            bar->style()
                ->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider, bar)
                .center();
        const QPoint bottom(thumb.x(), bar->height() - 1);
        const auto mouse = [bar](QEvent::Type type, QPoint at, Qt::MouseButtons held) {
            QMouseEvent e(type, at, bar->mapToGlobal(at), Qt::LeftButton, held, {});
            QSpontaneKeyEvent::setSpontaneous(&e);
            qApp->notify(bar, &e);
        };
        mouse(QEvent::MouseButtonPress, thumb, Qt::LeftButton);
        QVERIFY(bar->isSliderDown());
        append(1010, 1015);
        QTest::qWait(100); // ticks while the thumb is held
        mouse(QEvent::MouseMove, bottom, Qt::LeftButton);
        append(1015, 1020);
        QTest::qWait(100);
        mouse(QEvent::MouseButtonRelease, bottom, Qt::NoButton);
        QTRY_COMPARE(number(last()), 1019);
        append(1020, 1022);
        QTRY_COMPARE(number(last()), 1021);
        // Start from the first rows: the capture is followed.
        key(Qt::Key_Home, Qt::ControlModifier);
        action(w, "actionStart")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(number(last()) > 1100, 10000);
        action(w, "actionStop")->trigger();
        QCOMPARE(answerer.titles.size(), 2);
    }

    // KORVEX_SOAK_ROWS rows at full speed while the test scrolls, clears and toggles Merge and
    // Decode, then only scrolls: the store must hold exactly the rows since the last Clear.
    void simulatorAtFullSpeedIntoTheWindow()
    {
        dropDebugMessages();
        const qint64 rows = qEnvironmentVariable("KORVEX_SOAK_ROWS", "10000000").toLongLong();
        qputenv("KORVEX_SIM_SPEED", "max");
        Sniffer s;
        MainWindow &w = s.shown();
        ModalAnswerer answerer; // no box is expected; none may hang the run
        auto *bar = w.findChild<QScrollBar *>(QStringLiteral("verticalScrollBar"));
        QAction *merge = action(w, "actionMerge"), *decode = action(w, "actionDecode");
        std::mt19937 rng(20240611);
        s.labeler.setActiveSymbols({{"A", "ADDR", "68", "-", "0", "WRITE"}});
        const auto scroll = [&] {
            bar->setValue(rng() % 2 ? int(rng() % unsigned(bar->maximum() + 1)) : bar->maximum());
        };
        auto peakResidentBytes = [usage = rusage{}]() mutable {
            return getrusage(RUSAGE_SELF, &usage) == 0 ? qint64(usage.ru_maxrss) * 1024 : 0;
        };
        const qint64 rssBaseline = peakResidentBytes();
        QVERIFY(scanAdapters(nullptr) >= 1 && openAdapter(0));
        CapturePipeline::setCallbackTarget(&s.pipeline);
        QCOMPARE(startI2CCapture(0, 0, 1000000, recordingCallback), 0);
        for (int step = 0; qint64(converted) < rows * 2 / 5 || step < 120; ++step) {
            QTest::qWait(25);
            const unsigned what = rng() % 7;
            if (what == 0)
                action(w, "actionClear")->trigger();
            else if (what < 3) // only one of the two is enabled while the other is on
                (merge->isChecked() || (!decode->isChecked() && rng() % 2) ? merge : decode)
                    ->trigger();
            else
                scroll();
        }
        for (QAction *a : {merge, decode})
            if (a->isChecked())
                a->trigger();
        // The last Clear with nothing kept back, then the quiet 60%.
        QCOMPARE(stopI2CCapture(0), 0);
        storeKeptRows(s.pipeline);
        action(w, "actionClear")->trigger();
        expecting.store(true, std::memory_order_release);
        const qint64 convertedAtClear = qint64(converted);
        QCOMPARE(startI2CCapture(0, 0, 1000000, recordingCallback), 0);
        while (qint64(converted) - convertedAtClear < rows - rows * 2 / 5) {
            QTest::qWait(25);
            scroll();
        }
        QCOMPARE(stopI2CCapture(0), 0);
        storeKeptRows(s.pipeline);
        const CaptureStore &store = s.pipeline.store();
        QCryptographicHash storedHash(QCryptographicHash::Md5);
        for (int first = 0; first < store.lineCount(); first += 100000)
            storedHash.addData(store.readLines(first, 100000));
        // The final segment is the longest, so the index is at its peak now.
        const qint64 beyondIndex =
            peakResidentBytes() - rssBaseline - qint64(store.lineIndex().memoryBytes());
        QCOMPARE(qint64(store.lineCount()), qint64(expectedRows)); // none lost or stored twice
        QCOMPARE(storedHash.result().toHex(), expectedHash.result().toHex()); // and in order
        QVERIFY(expectedRows > 0 && !store.failed() && answerer.titles.isEmpty());
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
        // Page, batch and pending buffers, allocator slack (a sanitizer allocates otherwise).
        QVERIFY2(beyondIndex < 64ll << 20, "resident memory grew beyond the index");
#endif
    }
};

QTEST_MAIN(TestCapture)
#include "tst_capture.moc"
