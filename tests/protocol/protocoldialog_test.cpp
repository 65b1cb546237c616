#include "protocoldialog.h"
#include "symboldecoder.h"
#include "symbolfile.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QHeaderView>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <functional>

namespace {
// Answers every modal widget that comes up while it lives: message boxes are
// recorded and confirmed with their OK button; anything else goes to onOther.
class ModalAnswerer : public QObject
{
public:
    struct Box
    {
        QString title, text;
        int buttons;
    };
    QList<Box> boxes;
    std::function<void(QWidget *)> onOther;

    ModalAnswerer()
    {
        connect(&m_timer, &QTimer::timeout, this, &ModalAnswerer::poll);
        m_timer.start(10);
    }

private:
    void poll()
    {
        QWidget *w = QApplication::activeModalWidget();
        if (!w || m_handled.contains(w))
            return;
        m_handled << w;
        if (auto *box = qobject_cast<QMessageBox *>(w)) {
            boxes << Box{box->windowTitle(), box->text(), int(box->buttons().size())};
            box->button(QMessageBox::Ok)->click();
        } else if (onOther) {
            onOther(w);
        }
    }
    QTimer m_timer;
    QList<QPointer<QWidget>> m_handled;
};

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

template <typename T> T *child(QWidget *dialog, const char *name)
{
    T *w = dialog->findChild<T *>(QString::fromLatin1(name));
    if (!w)
        qFatal("missing widget %s", name);
    return w;
}

QTableWidget *table(QWidget *d)
{
    return child<QTableWidget>(d, "symbolTableWidget");
}

void click(QWidget *d, const char *button)
{
    child<QPushButton>(d, button)->click();
}

QStringList rowTexts(QWidget *d, int row)
{
    QStringList l;
    for (int c = 0; c < 6; ++c)
        l << (table(d)->item(row, c) ? table(d)->item(row, c)->text() : "<none>");
    return l;
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
    click(d, "symbolAddPushButton");
}

// Where the window's keyboard focus is (or goes once it is active again).
bool focusIsOn(QWidget *dialog, QWidget *w)
{
    QWidget *f = dialog->focusWidget();
    return f && (f == w || f == w->focusProxy());
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
    void init();
    void cleanup() { m_answerer.reset(); }
    void editorsCheckWhatIsAdded();
    void duplicatesDifferOnlyInNameCaseOrSpace();
    void removeAndRowClick();
    void openAndSaveFiles();
    void applyOkAndCancel();
    void fileChoosersAskWithTheirTitlesAndFilters();
    void configurationHandsConfirmedSymbolsToTheDecoder();

private:
    // Every test runs with modal widgets answered, so none can hang it.
    std::unique_ptr<ModalAnswerer> m_answerer;
    QList<ModalAnswerer::Box> &boxes() { return m_answerer->boxes; }
};

void ProtocolDialogTest::init()
{
    // The default file lives in the working directory; start each test without it.
    QFile::remove("symbols");
    QDir("symbols").removeRecursively();
    m_answerer = std::make_unique<ModalAnswerer>();
}

void ProtocolDialogTest::editorsCheckWhatIsAdded()
{
    TestDialog d;
    QCOMPARE(d.size(), QSize(619, 392));
    const QStringList headers{"字符串", "类型", "地址", "数据", "显示偏移", "读/写"};
    const int widths[] = {230, 80, 50, 50, 100, 60};
    for (int c = 0; c < 6; ++c) {
        QCOMPARE(table(&d)->horizontalHeaderItem(c)->text(), headers[c]);
        QCOMPARE(table(&d)->columnWidth(c), widths[c]);
    }
    d.show();
    QVERIFY(QTest::qWaitForWindowActive(&d));

    QComboBox *addr = child<QComboBox>(&d, "symbolAddrComboBox");
    QComboBox *data = child<QComboBox>(&d, "symbolDataComboBox");
    typeInto(addr, "abc");
    QCOMPARE(addr->currentText(), QString("AB"));
    typeInto(addr, "f");
    QCOMPARE(addr->currentText(), QString("F"));
    data->setEditText("zz top");
    QCOMPARE(data->currentText(), QString("ZZ"));

    addSymbol(&d, "x", "DATA", "", "00", 0, "WRITE");
    addSymbol(&d, "x", "DATA", "ZZ", "00", 0, "WRITE");
    QVERIFY(focusIsOn(&d, addr));
    addSymbol(&d, "x", "DATA", "50", "G", 0, "WRITE");
    QVERIFY(focusIsOn(&d, data));
    // The disabled data box of an address symbol is checked too.
    addSymbol(&d, "x", "ADDR", "50", "", 0, "WRITE");
    // The byte position is taken from the spin box's text.
    QSpinBox *spin = child<QSpinBox>(&d, "symbolBytePositionSpinBox");
    child<QComboBox>(&d, "symbolTypeComboBox")->setCurrentText("DATA");
    typeInto(data, "01");
    spin->findChild<QLineEdit *>()->clear();
    click(&d, "symbolAddPushButton");
    QVERIFY(focusIsOn(&d, spin));

    QCOMPARE(table(&d)->rowCount(), 0);
    const QStringList expected{"地址数据不合法!", "地址数据不合法!", "数据不合法!", "数据不合法!",
                               "显示偏移量不合法!"};
    QCOMPARE(boxes().size(), expected.size());
    for (int i = 0; i < expected.size(); ++i) {
        QCOMPARE(boxes()[i].title, QString("警告"));
        QCOMPARE(boxes()[i].text, expected[i]);
        QCOMPARE(boxes()[i].buttons, 1);
    }

    // Above 7F, an empty name and one digit are all accepted; ADDR stores "-".
    addSymbol(&d, "", "DATA", "FF", "0", 99, "READ");
    addSymbol(&d, "EEPROM", "ADDR", "5", "3C", 2, "WRITE");
    QVERIFY(!data->isEnabled());
    QCOMPARE(data->currentText(), QString("3C"));
    QCOMPARE(boxes().size(), expected.size());
    QCOMPARE(rowTexts(&d, 0), QStringList({"", "DATA", "FF", "0", "99", "READ"}));
    QCOMPARE(rowTexts(&d, 1), QStringList({"EEPROM", "ADDR", "5", "-", "2", "WRITE"}));
    QCOMPARE(table(&d)->rowHeight(1), 20);
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
    QCOMPARE(table(&d)->rowCount(), 1);
    addSymbol(&d, "new name", "DATA", "50", "A5", 1, "WRITE");
    QCOMPARE(table(&d)->rowCount(), 1);
    addSymbol(&d, "new name", "DATA", "50", "A5", 2, "WRITE");
    addSymbol(&d, "new name", "DATA", "50", "A5", 1, "READ");
    addSymbol(&d, "old", "ADDR", "50", "A5", 1, "WRITE");
    QCOMPARE(table(&d)->rowCount(), 4);
    // Address symbols compare their "-": any data text duplicates them.
    addSymbol(&d, "other", "ADDR", "50", "00", 1, "WRITE");
    QCOMPARE(table(&d)->rowCount(), 4);
    QVERIFY(boxes().isEmpty());
}

void ProtocolDialogTest::removeAndRowClick()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("s.xml");
    QVERIFY(SymbolFile::write(path, {{"CMD", "DATA", "5a", "a5", "0x2", "WRITE"},
                                     {"EEPROM", "ADDR", "51", "-", "abc", "READ"},
                                     {"FAR", "DATA", "50", "01", "250", "write"},
                                     {"LAST", "DATA", "50", "02", "0", "WRITE"}}));
    TestDialog d;
    click(&d, "symbolRemovePushButton");
    click(&d, "symbolRemoveAllPushButton");
    d.loadSymbolTable(path);
    QCOMPARE(table(&d)->rowHeight(3), 20);
    QCOMPARE(table(&d)->currentRow(), -1);
    click(&d, "symbolRemovePushButton");
    QCOMPARE(table(&d)->rowCount(), 4);
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));

    auto clickRow = [&](int row) {
        const QRect r = table(&d)->visualRect(table(&d)->model()->index(row, 1));
        QTest::mouseClick(table(&d)->viewport(), Qt::LeftButton, {}, r.center());
    };
    QComboBox *type = child<QComboBox>(&d, "symbolTypeComboBox");
    QComboBox *data = child<QComboBox>(&d, "symbolDataComboBox");
    QSpinBox *spin = child<QSpinBox>(&d, "symbolBytePositionSpinBox");
    auto editors = [&] {
        return QStringList{child<QLineEdit>(&d, "symbolNameLineEdit")->text(),
                           type->currentText(),
                           child<QComboBox>(&d, "symbolAddrComboBox")->currentText(),
                           data->currentText(),
                           spin->text(),
                           child<QComboBox>(&d, "symbolRWComboBox")->currentText()};
    };
    // The boxes' own upper-casing applies to what the row puts there.
    clickRow(0);
    QCOMPARE(editors(), QStringList({"CMD", "DATA", "5A", "A5", "2", "WRITE"}));
    // An address row leaves the data box as it was.
    clickRow(1);
    QCOMPARE(editors(), QStringList({"EEPROM", "ADDR", "51", "A5", "0", "READ"}));
    QVERIFY(!data->isEnabled());
    clickRow(2);
    QCOMPARE(editors(), QStringList({"FAR", "DATA", "50", "01", "99", "READ"}));
    QVERIFY(data->isEnabled());

    QCOMPARE(table(&d)->currentRow(), 2);
    click(&d, "symbolRemovePushButton");
    QCOMPARE(table(&d)->rowCount(), 3);
    QCOMPARE(rowTexts(&d, 2)[0], QString("LAST"));
    click(&d, "symbolRemoveAllPushButton");
    QCOMPARE(table(&d)->rowCount(), 0);
}

void ProtocolDialogTest::openAndSaveFiles()
{
    QTemporaryDir dir;
    const SymbolDef eeprom("EEPROM", "ADDR", "51", "-", "0x2", "READ");
    const QString good = dir.filePath("good.xml");
    QVERIFY(SymbolFile::write(good, {eeprom}));
    const QString shortFile = dir.filePath("short.xml");
    writeFile(shortFile, "<Symbols><Symbol Name=\"S\"><Type>ADDR</Type><Addr>50</Addr></Symbol>"
                         "</Symbols>");
    const QString bad = dir.filePath("bad.xml");
    writeFile(bad, "<Symbols>");

    TestDialog d;
    addSymbol(&d, "A", "DATA", "50", "01", 0, "WRITE");
    addSymbol(&d, "B", "DATA", "50", "02", 0, "WRITE");
    d.openAnswer = QString(); // cancelled
    click(&d, "openSymbolFilePushButton");
    d.openAnswer = bad;
    click(&d, "openSymbolFilePushButton");
    QCOMPARE(table(&d)->rowCount(), 2);
    QVERIFY(boxes().isEmpty());

    d.openAnswer = dir.filePath("missing.xml");
    click(&d, "openSymbolFilePushButton");
    QCOMPARE(boxes().size(), 1);
    QCOMPARE(boxes()[0].title, QString("警告"));
    QCOMPARE(boxes()[0].text,
             QString("不能打开文件 %1:\nNo such file or directory.").arg(d.openAnswer));
    QCOMPARE(table(&d)->rowCount(), 2);

    d.openAnswer = good;
    click(&d, "openSymbolFilePushButton");
    QCOMPARE(d.tableSymbols(), SymbolList({eeprom}));
    // Missing fields become empty cells, not texts left from the row before.
    d.openAnswer = shortFile;
    click(&d, "openSymbolFilePushButton");
    QCOMPARE(rowTexts(&d, 0), QStringList({"S", "ADDR", "50", "", "", ""}));

    addSymbol(&d, "A&<\"", "DATA", "50", "01", 3, "READ");
    d.saveAnswer = QString();
    click(&d, "saveSymbolFilePushButton");
    d.saveAnswer = dir.filePath("no/such/dir/out.xml");
    click(&d, "saveSymbolFilePushButton");
    QCOMPARE(boxes().size(), 2);
    QCOMPARE(boxes()[1].title, QString("KORVEX I2C Sniffer"));
    QCOMPARE(boxes()[1].text,
             QString("不能打开文件 %1:\nNo such file or directory.").arg(d.saveAnswer));
    d.saveAnswer = dir.filePath("out.xml");
    click(&d, "saveSymbolFilePushButton");
    QCOMPARE(boxes().size(), 2);
    SymbolList read;
    QVERIFY(SymbolFile::read(d.saveAnswer, &read));
    QCOMPARE(read, d.tableSymbols());
    QVERIFY(d.symbolList().isEmpty());
    QVERIFY(!QFile::exists(SymbolFile::defaultPath()));
}

void ProtocolDialogTest::applyOkAndCancel()
{
    const SymbolDef cmd("CMD", "DATA", "50", "A5", "1", "WRITE");
    {
        TestDialog d;
        d.show();
        addSymbol(&d, "CMD", "DATA", "50", "A5", 1, "WRITE");
        click(&d, "SetApplyPushButton"); // creates the directory
        QVERIFY(d.isVisible());
        QCOMPARE(d.symbolList(), SymbolList({cmd}));
        SymbolList read;
        QVERIFY(SymbolFile::read(SymbolFile::defaultPath(), &read));
        QCOMPARE(read, d.symbolList());
        // Later edits reach symbolList only with the next save.
        addSymbol(&d, "EEPROM", "ADDR", "51", "00", 2, "READ");
        QCOMPARE(d.symbolList().size(), 1);
        click(&d, "SetOkPushButton"); // the directory exists now
        QCOMPARE(d.result(), int(QDialog::Accepted));
        QCOMPARE(d.symbolList().size(), 2);
    }
    {
        // A new dialog starts from the default file; Cancel writes nothing.
        TestDialog d;
        QCOMPARE(d.tableSymbols().size(), 2);
        d.show();
        click(&d, "SetCancelPushButton");
        QCOMPARE(d.result(), int(QDialog::Rejected));
        QVERIFY(d.symbolList().isEmpty());
    }
    QVERIFY(boxes().isEmpty());

    // A plain file where the directory should be: neither mkdir nor open can succeed.
    QDir("symbols").removeRecursively();
    writeFile("symbols", "not a directory");
    TestDialog d;
    d.show();
    addSymbol(&d, "CMD", "DATA", "50", "A5", 0, "WRITE");
    click(&d, "SetApplyPushButton");
    QVERIFY(d.isVisible());
    click(&d, "SetOkPushButton");
    QCOMPARE(d.result(), int(QDialog::Accepted));
    QVERIFY(d.symbolList().isEmpty());
    QCOMPARE(boxes().size(), 2);
    for (const ModalAnswerer::Box &b : boxes()) {
        QCOMPARE(b.title, QString("警告"));
        QVERIFY2(b.text.startsWith("不能打开文件 ./symbols/symboldef.xml:\n"), qPrintable(b.text));
    }
    QFile::remove("symbols");
}

void ProtocolDialogTest::fileChoosersAskWithTheirTitlesAndFilters()
{
    ProtocolDialog d;
    d.show();
    QStringList seen;
    m_answerer->onOther = [&seen](QWidget *w) {
        auto *fd = qobject_cast<QFileDialog *>(w);
        if (!fd)
            return;
        seen << fd->windowTitle() + "|" + fd->nameFilters().join(";;") + "|" +
                    (fd->acceptMode() == QFileDialog::AcceptOpen ? "open" : "save");
        fd->reject();
    };
    addSymbol(&d, "A", "DATA", "50", "01", 0, "WRITE");
    click(&d, "openSymbolFilePushButton");
    click(&d, "saveSymbolFilePushButton");
    QCOMPARE(seen,
             QStringList({"打开文件|Extensible Markup Language Files(*.xml);;All Files (*.*)|open",
                          "保存文件|Extensible Markup Language Files(*.xml);;Any files (*)|save"}));
    QCOMPARE(table(&d)->rowCount(), 1);
    QVERIFY(boxes().isEmpty());
}

void ProtocolDialogTest::configurationHandsConfirmedSymbolsToTheDecoder()
{
    QWidget parent;
    SymbolDecoder decoder;
    const SymbolList before{{"KEEP", "ADDR", "10", "-", "0", "WRITE"}};
    decoder.setActiveSymbols(before);

    QString title;
    m_answerer->onOther = [&title](QWidget *w) {
        title = w->windowTitle();
        child<QPushButton>(w, "SetCancelPushButton")->click();
    };
    QVERIFY(!runProtocolConfiguration(&parent, decoder));
    QCOMPARE(title, QString("配置I2C总线解析协议"));
    QCOMPARE(decoder.activeSymbols(), before);

    m_answerer->onOther = [](QWidget *w) {
        addSymbol(w, "EEPROM", "ADDR", "50", "00", 0, "WRITE");
        click(w, "SetOkPushButton");
    };
    QVERIFY(runProtocolConfiguration(&parent, decoder));
    QCOMPARE(decoder.activeSymbols(),
             SymbolList({SymbolDef("EEPROM", "ADDR", "50", "-", "0", "WRITE")}));
    CaptureRow row;
    row.type = CaptureRow::Type::Addr;
    row.hasAddress = true;
    row.address = 0x50;
    row.direction = CaptureRow::Direction::Write;
    row.fieldCount = 6;
    row.data = "--";
    decoder.applySymbols(row);
    QCOMPARE(QString::fromStdString(row.data), QString("-- [EEPROM]"));
}

QTEST_MAIN(ProtocolDialogTest)
#include "protocoldialog_test.moc"
