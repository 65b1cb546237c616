#include "modalanswerer.h"
#include "protocol/protocoldialog.h"
#include "protocol/symbolfile.h"
#include "protocol/symbollabeler.h"

#include <QComboBox>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>

#include <sys/stat.h>

namespace {
// The dialog with the file choosers answered by the test.
struct TestDialog : ProtocolDialog
{
    QString openAnswer, saveAnswer;
    QString chooseOpenFileName() override { return openAnswer; }
    QString chooseSaveFileName() override { return saveAnswer; }
    void press(const char *button) { findChild<QPushButton *>(button)->click(); }
};

// Sets the editors (name, type, address, data, byte position, direction)
// and presses Add when texts are given; returns what the editors show.
QStringList editors(QWidget *d, const QStringList &add = {})
{
    QStringList shown;
    int i = 0;
    for (const char *name : {"symbolNameLineEdit", "symbolTypeComboBox", "symbolAddrComboBox",
                             "symbolDataComboBox", "qt_spinbox_lineedit", "symbolRWComboBox"}) {
        QWidget *w = d->findChild<QWidget *>(name);
        const char *text = qobject_cast<QComboBox *>(w) ? "currentText" : "text";
        if (!add.isEmpty())
            w->setProperty(text, add[i++]);
        shown << w->property(text).toString();
    }
    if (!add.isEmpty())
        d->findChild<QPushButton *>("symbolAddPushButton")->click();
    return shown;
}
} // namespace

class ProtocolDialogTest : public QObject
{
    Q_OBJECT
    std::unique_ptr<ModalAnswerer> m_answerer; // no test can hang on a box

private slots:
    void init() { m_answerer = std::make_unique<ModalAnswerer>(); }

    void addChecksTheInput()
    {
        TestDialog d;
        const QStringList cases[] = {
            {"x", "DATA", "", "00", "0", "WRITE", "地址数据不合法!"},
            {"x", "DATA", "zz top", "00", "0", "WRITE", "地址数据不合法!"},
            {"x", "DATA", "123", "00", "0", "WRITE", "地址数据不合法!"}, // not cut to 12
            {"x", "DATA", "-5", "00", "0", "WRITE", "地址数据不合法!"},
            {"x", "DATA", "50", "G", "0", "WRITE", "数据不合法!"},
            {"x", "DATA", "50", "100", "0", "WRITE", "数据不合法!"},
            {" ", "DATA", "50", "01", "0", "WRITE", "名称不能为空!"},
            {"a,b", "DATA", "50", "01", "0", "WRITE", "名称不能包含逗号!"},
            {"x", "DATA", "50", "01", "", "WRITE", "显示偏移量不合法!"},
            {"x", "ADDR", "50", "G", "0", "WRITE", ""}, // its greyed-out data box is ignored
            {"y", "DATA", "FF", "0", "99", "READ", ""}, // above 7F; one digit gets two
            {"new", "DATA", "50", "a5", "2", "WRITE", ""},
            {"dup", "DATA", "50", "A5", " 2 ", "WRITE", "第 3 行已定义相同的符号!"},
            {"new", "ADDR", "5", "3c", "1", "WRITE", ""}};
        for (const QStringList &c : cases) {
            editors(&d, c);
            QCOMPARE(m_answerer->texts.join('|'), c[6]);
            m_answerer->texts.clear();
        }
        QVERIFY(!d.findChild<QComboBox *>("symbolDataComboBox")->isEnabled());
        QCOMPARE(d.tableSymbols(), SymbolList({{"x", "ADDR", "50", "-", "0", "WRITE"},
                                               {"y", "DATA", "FF", "00", "99", "READ"},
                                               {"new", "DATA", "50", "A5", "2", "WRITE"},
                                               {"new", "ADDR", "05", "-", "1", "WRITE"}}));
    }

    void clickRemoveApplyOkAndConfiguration()
    {
        TestDialog d;
        QTableWidget *table = d.findChild<QTableWidget *>();
        QVERIFY(SymbolFile::write("s.xml", {{"CMD", "DATA", "50", "A5", "0", "WRITE"},
                                            {"EEPROM", "ADDR", "5a", "-", "abc", "READ"}}));
        d.loadSymbolTable("s.xml");
        // A clicked row fills the editors; an address row leaves the data box as it was.
        table->setCurrentCell(1, 1);
        emit table->clicked(table->currentIndex());
        QCOMPARE(editors(&d), QStringList({"EEPROM", "ADDR", "5A", "00", "0", "READ"}));
        table->setCurrentCell(0, 0);
        d.press("symbolRemovePushButton");
        const SymbolList left{{"EEPROM", "ADDR", "5a", "-", "abc", "READ"}};
        QCOMPARE(d.tableSymbols(), left);
        // Apply writes the default file; later edits count from the next Apply or OK.
        d.press("SetApplyPushButton");
        d.press("symbolRemoveAllPushButton");
        QCOMPARE(d.symbolList(), left);
        QCOMPARE(TestDialog().tableSymbols(), left); // a new dialog starts from the file
        d.press("SetOkPushButton");
        QCOMPARE(d.symbolList(), SymbolList());
        // The configuration action puts only a confirmed dialog's symbols in force.
        SymbolLabeler decoder;
        const char *button = "SetCancelPushButton";
        m_answerer = std::make_unique<ModalAnswerer>([&button](QWidget *w) {
            editors(w, {"EEPROM", "ADDR", "50", "00", "0", "WRITE"});
            w->findChild<QPushButton *>(button)->click();
            return true;
        });
        QVERIFY(!runProtocolConfiguration(nullptr, decoder));
        button = "SetOkPushButton";
        QVERIFY(runProtocolConfiguration(nullptr, decoder));
        QCOMPARE(decoder.activeSymbols(),
                 SymbolList({{"EEPROM", "ADDR", "50", "-", "0", "WRITE"}}));
    }

    void importAndExport()
    {
        TestDialog d;
        editors(&d, {"A", "DATA", "50", "01", "0", "WRITE"});
        const SymbolList one = d.tableSymbols();
        for (const char *answer : {"", "missing.xml", "out.xml"}) {
            d.openAnswer = d.saveAnswer = answer; // cancelled; missing, then written
            d.press("openSymbolFilePushButton");
            d.press("saveSymbolFilePushButton");
            QCOMPARE(d.tableSymbols(), one);
        }
        QVERIFY(!d.writeSymbolFile("no/dir/out.xml"));
        QCOMPARE(m_answerer->titles, QStringList({"警告", "警告", "KORVEX I2C Sniffer"}));
        QCOMPARE(m_answerer->texts[2],
                 QString("不能打开文件 no/dir/out.xml:\nNo such file or directory."));
        editors(&d, {"B", "DATA", "50", "02", "0", "WRITE"});
        d.press("openSymbolFilePushButton"); // out.xml replaces the table
        QCOMPARE(d.tableSymbols(), one);
        QVERIFY(d.symbolList().isEmpty()); // exporting is not applying
        // A bare export name gets its suffix; malformed XML and a FIFO are
        // refused with their reason, the table untouched.
        d.saveAnswer = "bare";
        d.press("saveSymbolFilePushButton");
        QVERIFY(QFile::exists("bare.xml"));
        QFile bad("bad.xml");
        QVERIFY(bad.open(QIODevice::WriteOnly) && bad.write("<Symbols>\n<a>") && bad.flush());
        QCOMPARE(::mkfifo("fifo.xml", 0600), 0);
        for (const char *answer : {"bad.xml", "fifo.xml"}) {
            d.openAnswer = answer;
            d.press("openSymbolFilePushButton");
            QCOMPARE(d.tableSymbols(), one);
        }
        QCOMPARE(m_answerer->texts.mid(3),
                 QStringList({"不能打开文件 bad.xml:\n第 2 行: Premature end of document.",
                              "不能打开文件 fifo.xml:\n不是普通文件，而是命名管道."}));
    }
};

QTEST_MAIN(ProtocolDialogTest)
#include "protocoldialog_test.moc"
