#include "modalanswerer.h"
#include "protocoldialog.h"
#include "symboldecoder.h"
#include "symbolfile.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

namespace {
// The dialog with the file choosers answered by the test.
class TestDialog : public ProtocolDialog
{
public:
    using ProtocolDialog::ProtocolDialog;
    QString openAnswer, saveAnswer;

protected:
    QString chooseOpenFileName() override { return openAnswer; }
    QString chooseSaveFileName() override { return saveAnswer; }
};

template <typename T = QPushButton> T *child(QWidget *dialog, const char *name)
{
    T *w = dialog->findChild<T *>(QString::fromLatin1(name));
    if (!w)
        qFatal("missing widget %s", name);
    return w;
}

void typeInto(QComboBox *box, const QString &text)
{
    box->lineEdit()->clear();
    QTest::keyClicks(box->lineEdit(), text);
}

// Fills the editors and presses Add.
void addSymbol(QWidget *d, const QString &name, const QString &type, const QString &addr,
               const QString &data, int position, const QString &rw)
{
    child<QLineEdit>(d, "symbolNameLineEdit")->setText(name);
    // The data box takes typing only while the type is DATA.
    child<QComboBox>(d, "symbolTypeComboBox")->setCurrentText("DATA");
    typeInto(child<QComboBox>(d, "symbolDataComboBox"), data);
    child<QComboBox>(d, "symbolTypeComboBox")->setCurrentText(type);
    typeInto(child<QComboBox>(d, "symbolAddrComboBox"), addr);
    child<QSpinBox>(d, "symbolBytePositionSpinBox")->setValue(position);
    child<QComboBox>(d, "symbolRWComboBox")->setCurrentText(rw);
    child(d, "symbolAddPushButton")->click();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}
} // namespace

class ProtocolDialogTest : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        // The default file lives in the working directory; start each test without it.
        QFile::remove("symbols");
        QDir("symbols").removeRecursively();
        m_answerer = std::make_unique<ModalAnswerer>();
    }
    void cleanup() { m_answerer.reset(); }
    void editorsCheckWhatIsAdded();
    void duplicatesDifferOnlyInNameCaseOrSpace();
    void rowClickAndRemove();
    void openAndSaveFiles();
    void applyOkAndCancel();
    void configurationHandsConfirmedSymbolsToTheDecoder();

private:
    // Every test runs with modal boxes answered, so none can hang it.
    std::unique_ptr<ModalAnswerer> m_answerer;
};

void ProtocolDialogTest::editorsCheckWhatIsAdded()
{
    TestDialog d;
    QComboBox *addr = child<QComboBox>(&d, "symbolAddrComboBox");
    QComboBox *data = child<QComboBox>(&d, "symbolDataComboBox");
    typeInto(addr, "abc");
    QCOMPARE(addr->currentText(), QString("AB"));
    data->setEditText("zz top");
    QCOMPARE(data->currentText(), QString("ZZ"));

    addSymbol(&d, "x", "DATA", "", "00", 0, "WRITE");
    addSymbol(&d, "x", "DATA", "ZZ", "00", 0, "WRITE");
    addSymbol(&d, "x", "DATA", "50", "G", 0, "WRITE");
    // The disabled data box of an address symbol is checked too.
    addSymbol(&d, "x", "ADDR", "50", "", 0, "WRITE");
    // The byte position is taken from the spin box's text.
    child<QComboBox>(&d, "symbolTypeComboBox")->setCurrentText("DATA");
    typeInto(data, "01");
    child<QSpinBox>(&d, "symbolBytePositionSpinBox")->findChild<QLineEdit *>()->clear();
    child(&d, "symbolAddPushButton")->click();
    const QStringList warnings{"地址数据不合法!", "地址数据不合法!", "数据不合法!", "数据不合法!",
                               "显示偏移量不合法!"};
    QCOMPARE(m_answerer->texts, warnings);
    QCOMPARE(m_answerer->titles.count("警告"), warnings.size());

    // Above 7F, an empty name and one digit are all accepted; ADDR stores "-".
    addSymbol(&d, "", "DATA", "FF", "0", 99, "READ");
    addSymbol(&d, "EEPROM", "ADDR", "5", "3C", 2, "WRITE");
    QVERIFY(!data->isEnabled());
    QCOMPARE(m_answerer->texts.size(), warnings.size());
    QCOMPARE(d.tableSymbols(), SymbolList({{"", "DATA", "FF", "0", "99", "READ"},
                                           {"EEPROM", "ADDR", "5", "-", "2", "WRITE"}}));
    child<QComboBox>(&d, "symbolTypeComboBox")->setCurrentText("DATA");
    QVERIFY(data->isEnabled());
}

void ProtocolDialogTest::duplicatesDifferOnlyInNameCaseOrSpace()
{
    // A hand-edited row in lower case with stray white space.
    QDir().mkdir("symbols");
    writeFile(SymbolFile::defaultPath(),
              "<Symbols><Symbol Name=\"old\"><a>data</a><b> 50 </b><c>a5</c><d> 1</d>"
              "<e>write</e></Symbol></Symbols>");
    TestDialog d;
    addSymbol(&d, "new name", "DATA", "50", "A5", 1, "WRITE");
    QCOMPARE(d.tableSymbols().size(), 1);
    addSymbol(&d, "new name", "DATA", "50", "A5", 2, "WRITE");
    addSymbol(&d, "new name", "DATA", "50", "A5", 1, "READ");
    addSymbol(&d, "old", "ADDR", "50", "A5", 1, "WRITE");
    // Address symbols compare their "-": any data text duplicates them.
    addSymbol(&d, "other", "ADDR", "50", "00", 1, "WRITE");
    QCOMPARE(d.tableSymbols().size(), 4);
    QVERIFY(m_answerer->titles.isEmpty());
}

void ProtocolDialogTest::rowClickAndRemove()
{
    TestDialog d;
    QTableWidget *table = child<QTableWidget>(&d, "symbolTableWidget");
    QTemporaryDir dir;
    const QString path = dir.filePath("s.xml");
    QVERIFY(SymbolFile::write(path, {{"CMD", "DATA", "5a", "a5", "0x2", "WRITE"},
                                     {"EEPROM", "ADDR", "51", "-", "abc", "READ"},
                                     {"FAR", "DATA", "50", "01", "250", "write"},
                                     {"LAST", "DATA", "50", "02", "0", "WRITE"}}));
    d.loadSymbolTable(path);
    child(&d, "symbolRemovePushButton")->click(); // no current row
    QCOMPARE(table->rowCount(), 4);

    // A clicked row fills the editors, through their own upper-casing and
    // limits; an address row leaves the data box as it was.
    const QStringList expected[] = {{"CMD", "DATA", "5A", "A5", "2", "WRITE"},
                                    {"EEPROM", "ADDR", "51", "A5", "0", "READ"},
                                    {"FAR", "DATA", "50", "01", "99", "READ"}};
    for (int row = 0; row < 3; ++row) {
        table->setCurrentCell(row, 1);
        emit table->clicked(table->currentIndex());
        const QStringList editors{child<QLineEdit>(&d, "symbolNameLineEdit")->text(),
                                  child<QComboBox>(&d, "symbolTypeComboBox")->currentText(),
                                  child<QComboBox>(&d, "symbolAddrComboBox")->currentText(),
                                  child<QComboBox>(&d, "symbolDataComboBox")->currentText(),
                                  child<QSpinBox>(&d, "symbolBytePositionSpinBox")->text(),
                                  child<QComboBox>(&d, "symbolRWComboBox")->currentText()};
        QCOMPARE(editors, expected[row]);
        QCOMPARE(child<QComboBox>(&d, "symbolDataComboBox")->isEnabled(), row != 1);
    }

    child(&d, "symbolRemovePushButton")->click();
    table->setCurrentCell(0, 0);
    child(&d, "symbolRemovePushButton")->click();
    QCOMPARE(d.tableSymbols(), SymbolList({{"EEPROM", "ADDR", "51", "-", "abc", "READ"},
                                           {"LAST", "DATA", "50", "02", "0", "WRITE"}}));
    child(&d, "symbolRemoveAllPushButton")->click();
    QCOMPARE(table->rowCount(), 0);
}

void ProtocolDialogTest::openAndSaveFiles()
{
    QTemporaryDir dir;
    const QString good = dir.filePath("good.xml"), bad = dir.filePath("bad.xml");
    QVERIFY(SymbolFile::write(good, {{"EEPROM", "ADDR", "51", "-", "0x2", "READ"}}));
    writeFile(bad, "<Symbols>");

    TestDialog d;
    addSymbol(&d, "A", "DATA", "50", "01", 0, "WRITE");
    addSymbol(&d, "B", "DATA", "50", "02", 0, "WRITE");
    const SymbolList two = d.tableSymbols();
    for (const QString &answer : {QString(), bad, dir.filePath("missing.xml")}) {
        d.openAnswer = answer; // cancelled, malformed, missing: the table stays
        child(&d, "openSymbolFilePushButton")->click();
        QCOMPARE(d.tableSymbols(), two);
    }
    QCOMPARE(m_answerer->titles, QStringList({"警告"}));
    QCOMPARE(m_answerer->texts.last(),
             QString("不能打开文件 %1:\nNo such file or directory.").arg(d.openAnswer));

    d.openAnswer = good;
    child(&d, "openSymbolFilePushButton")->click();
    QCOMPARE(d.tableSymbols(), SymbolList({{"EEPROM", "ADDR", "51", "-", "0x2", "READ"}}));

    addSymbol(&d, "A&<\"", "DATA", "50", "01", 3, "READ");
    d.saveAnswer = QString();
    child(&d, "saveSymbolFilePushButton")->click();
    d.saveAnswer = dir.filePath("no/such/dir/out.xml");
    QVERIFY(!d.writeSymbolFile(d.saveAnswer));
    QCOMPARE(m_answerer->titles, QStringList({"警告", "KORVEX I2C Sniffer"}));
    QCOMPARE(m_answerer->texts.last(),
             QString("不能打开文件 %1:\nNo such file or directory.").arg(d.saveAnswer));
    d.saveAnswer = dir.filePath("out.xml");
    child(&d, "saveSymbolFilePushButton")->click();
    QCOMPARE(m_answerer->titles.size(), 2);
    SymbolList read;
    QVERIFY(SymbolFile::read(d.saveAnswer, &read));
    QCOMPARE(read, d.tableSymbols());
    // Exporting is not applying.
    QVERIFY(d.symbolList().isEmpty());
    QVERIFY(!QFile::exists(SymbolFile::defaultPath()));
}

void ProtocolDialogTest::applyOkAndCancel()
{
    {
        TestDialog d;
        d.show();
        addSymbol(&d, "CMD", "DATA", "50", "A5", 1, "WRITE");
        child(&d, "SetApplyPushButton")->click(); // creates the directory
        QVERIFY(d.isVisible());
        QCOMPARE(d.symbolList(), SymbolList({{"CMD", "DATA", "50", "A5", "1", "WRITE"}}));
        // Later edits reach symbolList only with the next save.
        addSymbol(&d, "EEPROM", "ADDR", "51", "00", 2, "READ");
        QCOMPARE(d.symbolList().size(), 1);
        child(&d, "SetOkPushButton")->click(); // the directory exists now
        QCOMPARE(d.result(), int(QDialog::Accepted));
        QCOMPARE(d.symbolList(), d.tableSymbols());
    }
    {
        // A new dialog starts from the default file, with every cell of a
        // short Symbol element set; Cancel writes nothing.
        writeFile(SymbolFile::defaultPath(), "<Symbols><Symbol Name=\"S\"><Type>ADDR</Type>"
                                             "</Symbol><Symbol Name=\"T\"/></Symbols>");
        TestDialog d;
        QCOMPARE(d.tableSymbols(),
                 SymbolList({{"S", "ADDR", "", "", "", ""}, {"T", "", "", "", "", ""}}));
        d.show();
        child(&d, "SetCancelPushButton")->click();
        QCOMPARE(d.result(), int(QDialog::Rejected));
        QVERIFY(d.symbolList().isEmpty());
    }
    QVERIFY(m_answerer->titles.isEmpty());

    // A plain file where the directory should be: neither mkdir nor open can succeed.
    QDir("symbols").removeRecursively();
    writeFile("symbols", "not a directory");
    TestDialog d;
    d.show();
    addSymbol(&d, "CMD", "DATA", "50", "A5", 0, "WRITE");
    child(&d, "SetApplyPushButton")->click();
    QVERIFY(d.isVisible());
    child(&d, "SetOkPushButton")->click();
    QCOMPARE(d.result(), int(QDialog::Accepted));
    QVERIFY(d.symbolList().isEmpty());
    QCOMPARE(m_answerer->titles, QStringList({"警告", "警告"}));
    for (const QString &text : m_answerer->texts)
        QVERIFY2(text.startsWith("不能打开文件 ./symbols/symboldef.xml:\n"), qPrintable(text));
    QFile::remove("symbols");
}

void ProtocolDialogTest::configurationHandsConfirmedSymbolsToTheDecoder()
{
    QWidget parent;
    SymbolDecoder decoder;
    const SymbolList before{{"KEEP", "ADDR", "10", "-", "0", "WRITE"}};
    decoder.setActiveSymbols(before);
    bool confirm = false;
    m_answerer = std::make_unique<ModalAnswerer>([&confirm](QWidget *w) {
        if (!qobject_cast<ProtocolDialog *>(w))
            return false;
        if (confirm)
            addSymbol(w, "EEPROM", "ADDR", "50", "00", 0, "WRITE");
        child(w, confirm ? "SetOkPushButton" : "SetCancelPushButton")->click();
        return true;
    });
    QVERIFY(!runProtocolConfiguration(&parent, decoder));
    QCOMPARE(decoder.activeSymbols(), before);
    confirm = true;
    QVERIFY(runProtocolConfiguration(&parent, decoder));
    QCOMPARE(decoder.activeSymbols(), SymbolList({{"EEPROM", "ADDR", "50", "-", "0", "WRITE"}}));
    QCOMPARE(m_answerer->titles, QStringList({"配置I2C总线解析协议", "配置I2C总线解析协议"}));
}

QTEST_MAIN(ProtocolDialogTest)
#include "protocoldialog_test.moc"
