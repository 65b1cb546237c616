#include "modalanswerer.h"
#include "protocoldialog.h"
#include "symboldecoder.h"
#include "symbolfile.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QtTest>

namespace {
// The dialog with the file choosers answered by the test.
class TestDialog : public ProtocolDialog
{
public:
    QString openAnswer, saveAnswer;

protected:
    QString chooseOpenFileName() override { return openAnswer; }
    QString chooseSaveFileName() override { return saveAnswer; }
};

template <typename T = QPushButton> T *child(QWidget *d, const char *name)
{
    return d->findChild<T *>(QString::fromLatin1(name));
}

// Fills the editors (name, type, address, data, byte position, direction) and presses Add.
void addSymbol(QWidget *d, const QStringList &f)
{
    child<QLineEdit>(d, "symbolNameLineEdit")->setText(f[0]);
    child<QComboBox>(d, "symbolTypeComboBox")->setCurrentText(f[1]);
    child<QComboBox>(d, "symbolAddrComboBox")->setEditText(f[2]);
    child<QComboBox>(d, "symbolDataComboBox")->setEditText(f[3]);
    child<QSpinBox>(d, "symbolBytePositionSpinBox")->findChild<QLineEdit *>()->setText(f[4]);
    child<QComboBox>(d, "symbolRWComboBox")->setCurrentText(f[5]);
    child(d, "symbolAddPushButton")->click();
}
} // namespace

class ProtocolDialogTest : public QObject
{
    Q_OBJECT
    std::unique_ptr<ModalAnswerer> m_answerer; // no test can hang on a box

private slots:
    void init()
    {
        QDir("symbols").removeRecursively(); // the default file's, in the shared working directory
        m_answerer = std::make_unique<ModalAnswerer>();
    }

    void addChecksTheInput()
    {
        TestDialog d;
        // A hand-edited row in lower case with stray white space.
        QVERIFY(SymbolFile::write("old.xml", {{"old", "data", " 50 ", "a5", " 1", "write"}}));
        d.loadSymbolTable("old.xml");
        const QStringList cases[] = {
            {"x", "DATA", "", "00", "0", "WRITE", "地址数据不合法!"},
            {"x", "DATA", "zz top", "00", "0", "WRITE", "地址数据不合法!"},
            {"x", "DATA", "50", "G", "0", "WRITE", "数据不合法!"},
            {"x", "ADDR", "50", "", "0", "WRITE", "数据不合法!"}, // its disabled box counts
            {"x", "DATA", "50", "01", "", "WRITE", "显示偏移量不合法!"},
            {"", "DATA", "FF", "0", "99", "READ", ""},     // above 7F, no name, one digit
            {"dup", "DATA", "50", "a5", "1", "WRITE", ""}, // differs in name, case, space only
            {"new", "DATA", "50", "A5", "2", "WRITE", ""},
            {"new", "ADDR", "5", "3c", "1", "WRITE", ""}, // stores "-" as data
            {"dup", "ADDR", "5", "00", "1", "WRITE", ""},
        };
        QStringList warnings;
        for (const QStringList &c : cases) {
            addSymbol(&d, c);
            warnings << c[6];
        }
        warnings.removeAll("");
        QCOMPARE(m_answerer->texts, warnings);
        QCOMPARE(m_answerer->titles.count("警告"), warnings.size());
        QVERIFY(!child<QComboBox>(&d, "symbolDataComboBox")->isEnabled());
        QCOMPARE(d.tableSymbols(), SymbolList({{"old", "data", " 50 ", "a5", " 1", "write"},
                                               {"", "DATA", "FF", "0", "99", "READ"},
                                               {"new", "DATA", "50", "A5", "2", "WRITE"},
                                               {"new", "ADDR", "5", "-", "1", "WRITE"}}));
    }

    void clickRemoveApplyAndOk()
    {
        TestDialog d;
        QTableWidget *table = child<QTableWidget>(&d, "symbolTableWidget");
        QVERIFY(SymbolFile::write("s.xml", {{"CMD", "DATA", "5a", "a5", "0x2", "WRITE"},
                                            {"EEPROM", "ADDR", "51", "-", "abc", "READ"},
                                            {"LAST", "DATA", "50", "02", "0", "WRITE"}}));
        d.loadSymbolTable("s.xml");
        child(&d, "symbolRemovePushButton")->click(); // no current row
        // A clicked row fills the editors through their own checks; an
        // address row leaves the data box as it was.
        const QStringList expected[] = {{"CMD", "DATA", "5A", "A5", "2", "WRITE"},
                                        {"EEPROM", "ADDR", "51", "A5", "0", "READ"}};
        for (int row : {0, 1}) {
            table->setCurrentCell(row, 1);
            emit table->clicked(table->currentIndex());
            QStringList shown{child<QLineEdit>(&d, "symbolNameLineEdit")->text()};
            for (const char *box : {"symbolTypeComboBox", "symbolAddrComboBox",
                                    "symbolDataComboBox", "symbolRWComboBox"})
                shown << child<QComboBox>(&d, box)->currentText();
            shown.insert(4, child<QSpinBox>(&d, "symbolBytePositionSpinBox")->text());
            QCOMPARE(shown, expected[row]);
        }
        table->setCurrentCell(0, 0);
        child(&d, "symbolRemovePushButton")->click();
        const SymbolList left = d.tableSymbols();
        QCOMPARE(left.size(), 2);
        QCOMPARE(left[0].name(), QString("EEPROM"));

        // Apply writes the default file, making its directory; later edits
        // count only from the next Apply or OK.
        d.show();
        child(&d, "SetApplyPushButton")->click();
        QVERIFY(d.isVisible());
        child(&d, "symbolRemoveAllPushButton")->click();
        QCOMPARE(d.symbolList(), left);
        QCOMPARE(TestDialog().tableSymbols(), left); // a new dialog starts from the file
        child(&d, "SetOkPushButton")->click();
        QCOMPARE(d.result(), int(QDialog::Accepted));
        QCOMPARE(d.symbolList(), SymbolList());
        QVERIFY(m_answerer->titles.isEmpty());
    }

    void configurationAndUnwritableDefaultFile()
    {
        // Only a confirmed dialog puts its symbols in force.
        SymbolDecoder decoder;
        const SymbolList before{{"KEEP", "ADDR", "10", "-", "0", "WRITE"}};
        decoder.setActiveSymbols(before);
        bool confirm = false;
        m_answerer = std::make_unique<ModalAnswerer>([&confirm](QWidget *w) {
            addSymbol(w, {"EEPROM", "ADDR", "50", "00", "0", "WRITE"});
            child(w, confirm ? "SetOkPushButton" : "SetCancelPushButton")->click();
            return true;
        });
        QVERIFY(!runProtocolConfiguration(nullptr, decoder));
        QCOMPARE(decoder.activeSymbols(), before);
        confirm = true;
        QVERIFY(runProtocolConfiguration(nullptr, decoder));
        QCOMPARE(decoder.activeSymbols(),
                 SymbolList({{"EEPROM", "ADDR", "50", "-", "0", "WRITE"}}));
        QCOMPARE(m_answerer->titles, QStringList({"配置I2C总线解析协议", "配置I2C总线解析协议"}));

        // A plain file where the directory should be: OK warns and still closes.
        init();
        QFile blocker("symbols");
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        TestDialog d;
        d.show();
        addSymbol(&d, {"CMD", "DATA", "50", "A5", "0", "WRITE"});
        child(&d, "SetOkPushButton")->click();
        QCOMPARE(d.result(), int(QDialog::Accepted));
        QVERIFY(d.symbolList().isEmpty());
        QCOMPARE(m_answerer->titles, QStringList({"警告"}));
        QVERIFY(m_answerer->texts[0].startsWith("不能打开文件 ./symbols/symboldef.xml:\n"));
        blocker.remove();
    }

    void importAndExport()
    {
        const SymbolList good{{"EEPROM", "ADDR", "51", "-", "0x2", "READ"}};
        QVERIFY(SymbolFile::write("good.xml", good));
        QFile bad("bad.xml");
        QVERIFY(bad.open(QIODevice::WriteOnly) && bad.write("<Symbols>") > 0);
        bad.close();
        TestDialog d;
        addSymbol(&d, {"A", "DATA", "50", "01", "0", "WRITE"});
        const SymbolList one = d.tableSymbols();
        for (const char *answer : {"", "bad.xml", "missing.xml"}) {
            d.openAnswer = answer; // cancelled, malformed, missing: the table stays
            child(&d, "openSymbolFilePushButton")->click();
            QCOMPARE(d.tableSymbols(), one);
        }
        for (const char *answer : {"", "no/such/dir/out.xml", "out.xml"}) {
            d.saveAnswer = answer; // cancelled, failed, written
            child(&d, "saveSymbolFilePushButton")->click();
        }
        QVERIFY(!d.writeSymbolFile("no/such/dir/out.xml"));
        const QString reason = "不能打开文件 %1:\nNo such file or directory.";
        QCOMPARE(m_answerer->titles,
                 QStringList({"警告", "KORVEX I2C Sniffer", "KORVEX I2C Sniffer"}));
        QCOMPARE(m_answerer->texts,
                 QStringList({reason.arg("missing.xml"), reason.arg("no/such/dir/out.xml"),
                              reason.arg("no/such/dir/out.xml")}));
        d.openAnswer = "good.xml";
        child(&d, "openSymbolFilePushButton")->click();
        QCOMPARE(d.tableSymbols(), good);
        SymbolList exported;
        QVERIFY(SymbolFile::read("out.xml", &exported));
        QCOMPARE(exported, one);
        // Exporting is not applying.
        QVERIFY(d.symbolList().isEmpty() && !QFile::exists(SymbolFile::defaultPath()));
    }
};

QTEST_MAIN(ProtocolDialogTest)
#include "protocoldialog_test.moc"
