// The capture file reaches the process's file size limit during a capture
// through the window: storing stops at the last whole line, "警告" comes
// once, and Clear gives a working store again.
// An executable of its own: the limit is process-wide.
#include "capturepipeline.h"
#include "mainwindow.h"
#include "modalanswerer.h"
#include "quietdebug.h"

#include <QAction>
#include <QPushButton>
#include <QTextCodec>
#include <QtTest>

#include <csignal>
#include <cstring>
#include <sys/resource.h>

namespace {
QAction *action(QWidget &w, const char *name)
{
    return w.findChild<QAction *>(QString::fromLatin1(name));
}

// Lowers the soft file size limit for its lifetime.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        m_ok = ::getrlimit(RLIMIT_FSIZE, &m_saved) == 0;
        rlimit lowered = m_saved;
        lowered.rlim_cur = bytes;
        m_ok = m_ok && ::setrlimit(RLIMIT_FSIZE, &lowered) == 0;
    }
    ~FileSizeLimit()
    {
        if (m_ok)
            ::setrlimit(RLIMIT_FSIZE, &m_saved);
    }
    bool ok() const { return m_ok; }

private:
    bool m_ok = false;
    rlimit m_saved{};
};

QList<QByteArray> storedLines()
{
    CaptureStore &store = capturePipeline().store();
    const QByteArray all = store.readLines(0, store.lineCount());
    QList<QByteArray> lines = all.split('\n');
    lines.removeLast();
    return lines;
}
} // namespace

class TestFileSizeLimit : public QObject
{
    Q_OBJECT

private slots:
    void limitReachedDuringCapture();
};

void TestFileSizeLimit::limitReachedDuringCapture()
{
    dropDebugMessages();
    qputenv("KORVEX_SIMULATOR", "1");
    qputenv("KORVEX_SIM_SPEED", "max");
    qunsetenv("KORVEX_REPLAY");
    // As the program does: the limit must fail the write, not kill the process.
    std::signal(SIGXFSZ, SIG_IGN);
    // Not a multiple of a line or a page, so the last write is cut mid-line.
    constexpr rlim_t limit = 300001;

    MainWindow w;
    w.show();
    ModalAnswerer answerer([](QWidget *d) {
        if (d->objectName() != QLatin1String("StartDialog"))
            return false;
        d->findChild<QPushButton *>(QStringLiteral("positivePushButton"))->click();
        return true;
    });
    CaptureStore &store = capturePipeline().store();
    {
        FileSizeLimit fsize(limit);
        QVERIFY(fsize.ok());
        action(w, "actionStart")->trigger();
        QVERIFY(action(w, "actionStop")->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(answerer.titles.contains(QStringLiteral("警告")), 20000);
        QVERIFY(store.failed());
        const int lines = store.lineCount();
        QVERIFY(lines > 1000);
        // The capture goes on, but nothing more is stored or announced.
        QTest::qWait(400);
        QCOMPARE(store.lineCount(), lines);
        action(w, "actionStop")->trigger();
        QCOMPARE(answerer.titles.count(QStringLiteral("警告")), 1);
        QCOMPARE(answerer.titles.size(), 2); // the start dialog, then the warning
        QVERIFY(answerer.texts.last().contains(QStringLiteral("I2CDataTemp.dat")));
        QVERIFY2(answerer.texts.last().contains(QString::fromLocal8Bit(std::strerror(EFBIG))),
                 qPrintable(answerer.texts.last()));
    }

    // Whole lines only, numbered without a gap, within the limit.
    const int lines = store.lineCount();
    QVERIFY(store.dataSize() <= qint64(limit));
    QCOMPARE(QFileInfo(store.fileName()).size(), store.dataSize());
    const QList<QByteArray> stored = storedLines();
    QCOMPARE(stored.size(), lines);
    for (int i = 0; i < lines; ++i) {
        QCOMPARE(stored[i].split(',').size(), 7);
        QCOMPARE(stored[i].left(stored[i].indexOf(',')).toInt(), i);
    }
    const QByteArray last = stored.last();
    QVERIFY2(QRegularExpression(QStringLiteral("\\.\\d{3}\\.\\d{3}\\.\\d{3}$"))
                 .match(QString::fromLatin1(last))
                 .hasMatch(),
             last.constData());

    // Clear gives a working store again.
    action(w, "actionClear")->trigger();
    QVERIFY(!store.failed());
    QCOMPARE(store.lineCount(), 0);
}

int main(int argc, char **argv)
{
    QTextCodec::setCodecForLocale(QTextCodec::codecForName("UTF-8"));
    QApplication app(argc, argv);
    TestFileSizeLimit t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_filesizelimit.moc"
