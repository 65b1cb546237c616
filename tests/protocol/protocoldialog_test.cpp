#include "protocoldialog.h"
#include "symboldecoder.h"
#include "symbolfile.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
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
    for (int c = 0; c < 6; ++c) {
        const QTableWidgetItem *item = table(d)->item(row, c);
        l << (item ? item->text() : QStringLiteral("<none>"));
    }
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

const SymbolList twoSymbols{{"CMD", "DATA", "50", "A5", "1", "WRITE"},
                            {"EEPROM", "ADDR", "51", "-", "0x2", "READ"}};
} // namespace

class ProtocolDialogTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void formMatchesItsLayout();
    void hexBoxesKeepTwoUpperCaseCharacters();
    void invalidEditorsWarnAndAddNothing();
    void addressSymbolsStoreADash();
    void duplicatesDifferOnlyInNameCaseOrSpace();
    void removeAndRemoveAll();
    void rowClickFillsTheEditors();
    void openFileReplacesTheTable();
    void saveFileWritesTheTable();
    void applyAndOkWriteTheDefaultFile();
    void unwritableDefaultFileWarnsButOkStillAccepts();
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

void ProtocolDialogTest::cleanup()
{
    m_answerer.reset();
}

void ProtocolDialogTest::formMatchesItsLayout()
{
    ProtocolDialog d;
    QCOMPARE(d.windowTitle(), QString("Dialog"));
    QCOMPARE(d.size(), QSize(619, 392));
    QTableWidget *t = table(&d);
    QCOMPARE(t->columnCount(), 6);
    const QStringList headers{"字符串", "类型", "地址", "数据", "显示偏移", "读/写"};
    const int widths[] = {230, 80, 50, 50, 100, 60};
    for (int c = 0; c < 6; ++c) {
        QCOMPARE(t->horizontalHeaderItem(c)->text(), headers[c]);
        QCOMPARE(t->columnWidth(c), widths[c]);
    }
    QCOMPARE(t->editTriggers(), QAbstractItemView::NoEditTriggers);
    QCOMPARE(t->selectionBehavior(), QAbstractItemView::SelectRows);
    QVERIFY(t->verticalHeader()->isHidden());
    QCOMPARE(t->rowCount(), 0);

    QCOMPARE(child<QLineEdit>(&d, "symbolNameLineEdit")->text(), QString("协议解析显示字符串"));
    auto items = [&](const char *name) {
        QComboBox *b = child<QComboBox>(&d, name);
        QStringList l;
        for (int i = 0; i < b->count(); ++i)
            l << b->itemText(i);
        return l;
    };
    QCOMPARE(items("symbolTypeComboBox"), QStringList({"DATA", "ADDR"}));
    QCOMPARE(items("symbolRWComboBox"), QStringList({"WRITE", "READ"}));
    QCOMPARE(items("symbolDataComboBox"), QStringList({"00"}));
    QCOMPARE(items("symbolAddrComboBox"), QStringList({"00"}));
    QVERIFY(!child<QComboBox>(&d, "symbolTypeComboBox")->isEditable());
    QVERIFY(child<QComboBox>(&d, "symbolDataComboBox")->isEditable());
    QVERIFY(child<QComboBox>(&d, "symbolAddrComboBox")->isEditable());
    QSpinBox *spin = child<QSpinBox>(&d, "symbolBytePositionSpinBox");
    QCOMPARE(spin->minimum(), 0);
    QCOMPARE(spin->maximum(), 99);
    QCOMPARE(spin->text(), QString("0"));

    const QList<QPair<const char *, QString>> texts{{"label", "字符串："},
                                                    {"label_2", "类型："},
                                                    {"label_3", "数据(HEX)："},
                                                    {"label_7", "显示偏移："},
                                                    {"label_6", "读/写："},
                                                    {"label_4", "地址(HEX)："},
                                                    {"symbolAddPushButton", "添加"},
                                                    {"symbolRemovePushButton", "删除"},
                                                    {"symbolRemoveAllPushButton", "删除所有"},
                                                    {"openSymbolFilePushButton", "打开文件"},
                                                    {"saveSymbolFilePushButton", "保存文件"},
                                                    {"SetApplyPushButton", "应用"},
                                                    {"SetOkPushButton", "确认"},
                                                    {"SetCancelPushButton", "取消"}};
    for (const auto &[name, text] : texts) {
        QWidget *w = child<QWidget>(&d, name);
        const QString actual = qobject_cast<QLabel *>(w)
                                   ? qobject_cast<QLabel *>(w)->text()
                                   : qobject_cast<QAbstractButton *>(w)->text();
        QCOMPARE(actual, text);
    }
}

void ProtocolDialogTest::hexBoxesKeepTwoUpperCaseCharacters()
{
    ProtocolDialog d;
    QComboBox *addr = child<QComboBox>(&d, "symbolAddrComboBox");
    QComboBox *data = child<QComboBox>(&d, "symbolDataComboBox");
    typeInto(addr, "abc");
    QCOMPARE(addr->currentText(), QString("AB"));
    typeInto(addr, "f");
    QCOMPARE(addr->currentText(), QString("F"));
    typeInto(data, "a5x9");
    QCOMPARE(data->currentText(), QString("A5"));
    // Pasted or set texts are cut as well.
    data->setEditText("zz top");
    QCOMPARE(data->currentText(), QString("ZZ"));
}

void ProtocolDialogTest::invalidEditorsWarnAndAddNothing()
{
    TestDialog d;
    d.show();
    QVERIFY(QTest::qWaitForWindowActive(&d));

    addSymbol(&d, "x", "DATA", "", "00", 0, "WRITE");
    addSymbol(&d, "x", "DATA", "ZZ", "00", 0, "WRITE");
    QVERIFY(focusIsOn(&d, child<QComboBox>(&d, "symbolAddrComboBox")));
    addSymbol(&d, "x", "DATA", "50", "G", 0, "WRITE");
    QVERIFY(focusIsOn(&d, child<QComboBox>(&d, "symbolDataComboBox")));
    // The disabled data box of an address symbol is checked too.
    addSymbol(&d, "x", "ADDR", "50", "", 0, "WRITE");
    // The byte position is taken from the spin box's text.
    child<QComboBox>(&d, "symbolTypeComboBox")->setCurrentText("DATA");
    typeInto(child<QComboBox>(&d, "symbolDataComboBox"), "01");
    child<QSpinBox>(&d, "symbolBytePositionSpinBox")->findChild<QLineEdit *>()->clear();
    click(&d, "symbolAddPushButton");
    QVERIFY(focusIsOn(&d, child<QSpinBox>(&d, "symbolBytePositionSpinBox")));

    QCOMPARE(table(&d)->rowCount(), 0);
    const QStringList expected{"地址数据不合法!", "地址数据不合法!", "数据不合法!", "数据不合法!",
                               "显示偏移量不合法!"};
    QCOMPARE(boxes().size(), expected.size());
    for (int i = 0; i < expected.size(); ++i) {
        QCOMPARE(boxes()[i].title, QString("警告"));
        QCOMPARE(boxes()[i].text, expected[i]);
        QCOMPARE(boxes()[i].buttons, 1);
    }

    // Above 7F, an empty name and a one-digit address are all accepted.
    addSymbol(&d, "", "DATA", "FF", "0", 99, "READ");
    QCOMPARE(boxes().size(), expected.size());
    QCOMPARE(rowTexts(&d, 0), QStringList({"", "DATA", "FF", "0", "99", "READ"}));
    QCOMPARE(table(&d)->rowHeight(0), 20);
}

void ProtocolDialogTest::addressSymbolsStoreADash()
{
    ProtocolDialog d;
    QComboBox *type = child<QComboBox>(&d, "symbolTypeComboBox");
    QComboBox *data = child<QComboBox>(&d, "symbolDataComboBox");
    addSymbol(&d, "EEPROM", "ADDR", "50", "3C", 2, "WRITE");
    QVERIFY(!data->isEnabled());
    QCOMPARE(data->currentText(), QString("3C"));
    QCOMPARE(rowTexts(&d, 0), QStringList({"EEPROM", "ADDR", "50", "-", "2", "WRITE"}));
    type->setCurrentText("DATA");
    QVERIFY(data->isEnabled());
    QCOMPARE(data->currentText(), QString("3C"));
}

void ProtocolDialogTest::duplicatesDifferOnlyInNameCaseOrSpace()
{
    // A hand-edited row in lower case with stray white space.
    QDir().mkdir("symbols");
    writeFile(SymbolFile::defaultPath(),
              "<Symbols><Symbol Name=\"old\"><a>data</a><b> 50 </b><c>a5</c><d> 1</d>"
              "<e>write</e></Symbol></Symbols>");
    ProtocolDialog d;
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

void ProtocolDialogTest::removeAndRemoveAll()
{
    TestDialog d;
    click(&d, "symbolRemovePushButton");
    click(&d, "symbolRemoveAllPushButton");
    QCOMPARE(table(&d)->rowCount(), 0);

    for (int i = 0; i < 3; ++i)
        addSymbol(&d, QString("S%1").arg(i), "DATA", "50", QString("0%1").arg(i), 0, "WRITE");
    QCOMPARE(table(&d)->currentRow(), -1);
    click(&d, "symbolRemovePushButton");
    QCOMPARE(table(&d)->rowCount(), 3);

    table(&d)->setCurrentCell(1, 0);
    click(&d, "symbolRemovePushButton");
    QCOMPARE(table(&d)->rowCount(), 2);
    QCOMPARE(rowTexts(&d, 0)[0], QString("S0"));
    QCOMPARE(rowTexts(&d, 1)[0], QString("S2"));

    click(&d, "symbolRemoveAllPushButton");
    QCOMPARE(table(&d)->rowCount(), 0);
    QVERIFY(d.tableSymbols().isEmpty());
}

void ProtocolDialogTest::rowClickFillsTheEditors()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("s.xml");
    QVERIFY(SymbolFile::write(path, {{"CMD", "DATA", "5a", "a5", "0x2", "WRITE"},
                                     {"EEPROM", "ADDR", "51", "-", "abc", "READ"},
                                     {"FAR", "DATA", "50", "01", "250", "write"}}));
    TestDialog d;
    d.loadSymbolTable(path);
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    auto clickRow = [&](int row) {
        QTableWidget *t = table(&d);
        const QRect r = t->visualRect(t->model()->index(row, 1));
        QTest::mouseClick(t->viewport(), Qt::LeftButton, {}, r.center());
    };
    QComboBox *type = child<QComboBox>(&d, "symbolTypeComboBox");
    QComboBox *addr = child<QComboBox>(&d, "symbolAddrComboBox");
    QComboBox *data = child<QComboBox>(&d, "symbolDataComboBox");
    QSpinBox *spin = child<QSpinBox>(&d, "symbolBytePositionSpinBox");
    QComboBox *rw = child<QComboBox>(&d, "symbolRWComboBox");

    clickRow(0);
    QCOMPARE(child<QLineEdit>(&d, "symbolNameLineEdit")->text(), QString("CMD"));
    QCOMPARE(type->currentText(), QString("DATA"));
    // The boxes' own rule applies to what the row puts there.
    QCOMPARE(addr->currentText(), QString("5A"));
    QCOMPARE(data->currentText(), QString("A5"));
    QCOMPARE(spin->value(), 2);
    QCOMPARE(rw->currentText(), QString("WRITE"));

    clickRow(1);
    QCOMPARE(child<QLineEdit>(&d, "symbolNameLineEdit")->text(), QString("EEPROM"));
    QCOMPARE(type->currentText(), QString("ADDR"));
    QVERIFY(!data->isEnabled());
    QCOMPARE(data->currentText(), QString("A5"));
    QCOMPARE(addr->currentText(), QString("51"));
    QCOMPARE(spin->value(), 0);
    QCOMPARE(rw->currentText(), QString("READ"));

    clickRow(2);
    QVERIFY(data->isEnabled());
    QCOMPARE(spin->value(), 99);
    QCOMPARE(rw->currentText(), QString("READ"));
}

void ProtocolDialogTest::openFileReplacesTheTable()
{
    QTemporaryDir dir;
    const QString good = dir.filePath("good.xml");
    QVERIFY(SymbolFile::write(good, {twoSymbols[1]}));
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
    QCOMPARE(table(&d)->rowCount(), 1);
    QCOMPARE(rowTexts(&d, 0), twoSymbols[1].toStringList());

    // Missing fields become empty cells, not texts left from the row before.
    d.openAnswer = shortFile;
    click(&d, "openSymbolFilePushButton");
    QCOMPARE(rowTexts(&d, 0), QStringList({"S", "ADDR", "50", "", "", ""}));
    QCOMPARE(table(&d)->rowHeight(0), 20);
}

void ProtocolDialogTest::saveFileWritesTheTable()
{
    QTemporaryDir dir;
    TestDialog d;
    d.loadSymbolTable(SymbolFile::defaultPath()); // absent: stays empty
    addSymbol(&d, "A&<\"", "DATA", "50", "01", 3, "READ");

    d.saveAnswer = QString();
    click(&d, "saveSymbolFilePushButton");
    d.saveAnswer = dir.filePath("no/such/dir/out.xml");
    click(&d, "saveSymbolFilePushButton");
    QCOMPARE(boxes().size(), 1);
    QCOMPARE(boxes()[0].title, QString("KORVEX I2C Sniffer"));
    QCOMPARE(boxes()[0].text,
             QString("不能打开文件 %1:\nNo such file or directory.").arg(d.saveAnswer));

    d.saveAnswer = dir.filePath("out.xml");
    click(&d, "saveSymbolFilePushButton");
    QCOMPARE(boxes().size(), 1);
    SymbolList read;
    QVERIFY(SymbolFile::read(d.saveAnswer, &read));
    QCOMPARE(read, d.tableSymbols());
    QCOMPARE(read[0].name(), QString("A&<\""));
    QVERIFY(d.symbolList().isEmpty());
    QVERIFY(!QFile::exists(SymbolFile::defaultPath()));
}

void ProtocolDialogTest::applyAndOkWriteTheDefaultFile()
{
    {
        TestDialog d;
        d.show();
        addSymbol(&d, twoSymbols[0].name(), "DATA", "50", "A5", 1, "WRITE");
        click(&d, "SetApplyPushButton");
        QVERIFY(d.isVisible());
        QCOMPARE(d.symbolList(), SymbolList({twoSymbols[0]}));
        SymbolList read;
        QVERIFY(SymbolFile::read(SymbolFile::defaultPath(), &read));
        QCOMPARE(read, d.symbolList());

        // Changes after Apply reach symbolList only with the next save.
        addSymbol(&d, "EEPROM", "ADDR", "51", "00", 2, "READ");
        QCOMPARE(d.symbolList().size(), 1);
        click(&d, "SetOkPushButton"); // the directory exists now
        QCOMPARE(d.result(), int(QDialog::Accepted));
        QCOMPARE(d.symbolList().size(), 2);
    }
    // A new dialog starts from the default file.
    TestDialog again;
    QCOMPARE(again.tableSymbols().size(), 2);
    QCOMPARE(rowTexts(&again, 1), QStringList({"EEPROM", "ADDR", "51", "-", "2", "READ"}));
    QVERIFY(again.symbolList().isEmpty());
    again.show();
    click(&again, "SetCancelPushButton");
    QCOMPARE(again.result(), int(QDialog::Rejected));
    QVERIFY(QFile::exists(SymbolFile::defaultPath()));
}

void ProtocolDialogTest::unwritableDefaultFileWarnsButOkStillAccepts()
{
    // A plain file where the directory should be: neither mkdir nor open can succeed.
    writeFile("symbols", "not a directory");
    TestDialog d;
    d.show();
    addSymbol(&d, "CMD", "DATA", "50", "A5", 0, "WRITE");
    QVERIFY(!d.saveDefaultSymbolFile());
    click(&d, "SetApplyPushButton");
    QVERIFY(d.isVisible());
    click(&d, "SetOkPushButton");
    QCOMPARE(d.result(), int(QDialog::Accepted));
    QVERIFY(!d.isVisible());
    QVERIFY(d.symbolList().isEmpty());

    QCOMPARE(boxes().size(), 3);
    for (const ModalAnswerer::Box &b : boxes()) {
        QCOMPARE(b.title, QString("警告"));
        QVERIFY2(b.text.startsWith("不能打开文件 ./symbols/symboldef.xml:\n"), qPrintable(b.text));
        QVERIFY(b.text.endsWith("."));
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
