#include "protocol/protocoldialog.h"

#include "protocol/symbolfile.h"
#include "protocol/symbollabeler.h"
#include "protocol/symbollibrary.h"
#include "ui_protocoldialog.h"

#include <QBoxLayout>
#include <QComboBox>
#include <QDebug>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QMessageBox>
#include <QPushButton>

namespace {
// The symbol table's own geometry, independent of the main window's table.
constexpr int kSymbolRowHeight = 20;
const int kSymbolColumnWidths[SymbolDef::kFieldCount] = {230, 80, 50, 50, 100, 60};

// The box layout below root that holds widget, or null.
QBoxLayout *boxLayoutOf(QLayout *root, QWidget *widget)
{
    if (!root)
        return nullptr;
    if (root->indexOf(widget) >= 0)
        return qobject_cast<QBoxLayout *>(root);
    for (int i = 0; i < root->count(); ++i) {
        if (QBoxLayout *found = boxLayoutOf(root->itemAt(i)->layout(), widget))
            return found;
    }
    return nullptr;
}

// Rows carry addresses and data bytes as two upper-case hex digits, so a
// symbol's text is brought to that form ("5" -> "05"); false for a text that
// is no byte at all (empty, signed, above FF), which could never match.
bool normaliseHexByte(QString *text)
{
    bool ok = false;
    const QString t = text->trimmed();
    const int value = t.toInt(&ok, 16);
    if (!ok || value < 0 || value > 0xFF)
        return false;
    *text = QString::asprintf("%02X", value);
    return true;
}
} // namespace

ProtocolDialog::ProtocolDialog(QWidget *parent) : QDialog(parent), m_ui(new Ui::ProtocolDialog)
{
    m_ui->setupUi(this);
    for (int c = 0; c < SymbolDef::kFieldCount; ++c)
        m_ui->symbolTableWidget->setColumnWidth(c, kSymbolColumnWidths[c]);
    loadSymbolTable(SymbolFile::defaultPath());

    // The device library button, built here beside the import button so the
    // form stays as drawn.
    auto *libraryButton = new QPushButton(tr("添加器件库…"), this);
    libraryButton->setObjectName(QStringLiteral("addLibraryPushButton"));
    libraryButton->setToolTip(tr("把器件库中常用I2C器件的符号添加到表中"));
    if (QBoxLayout *row = boxLayoutOf(layout(), m_ui->openSymbolFilePushButton))
        row->insertWidget(row->indexOf(m_ui->openSymbolFilePushButton) + 1, libraryButton);
    connect(libraryButton, &QPushButton::clicked, this,
            [this] { addLibraryFiles(chooseLibraryFileNames()); });
}

QStringList ProtocolDialog::chooseLibraryFileNames()
{
    return QFileDialog::getOpenFileNames(this, tr("添加器件库"), SymbolLibrary::directory(),
                                         tr("Extensible Markup Language Files(*.xml)"));
}

void ProtocolDialog::addLibraryFiles(const QStringList &paths)
{
    if (paths.isEmpty())
        return;
    const SymbolList before = tableSymbols();
    SymbolList symbols = before;
    QStringList unreadable;
    SymbolLibrary::addFiles(paths, &symbols, &unreadable);
    for (int i = before.size(); i < symbols.size(); ++i)
        appendRow(symbols[i]);
    if (!unreadable.isEmpty())
        warn(tr("不能读取器件库文件:\n%1").arg(unreadable.join(QLatin1Char('\n'))));
}

ProtocolDialog::~ProtocolDialog() = default;

void ProtocolDialog::warn(const QString &text)
{
    QMessageBox::warning(this, tr("警告"), text);
}

void ProtocolDialog::appendRow(const SymbolDef &symbol)
{
    QTableWidget *table = m_ui->symbolTableWidget;
    const int row = table->rowCount();
    table->insertRow(row);
    table->setRowHeight(row, kSymbolRowHeight);
    for (int c = 0; c < SymbolDef::kFieldCount; ++c)
        table->setItem(row, c, new QTableWidgetItem(symbol[c]));
}

void ProtocolDialog::loadSymbolTable(const QString &path)
{
    SymbolList symbols;
    QString error;
    if (!SymbolFile::read(path, &symbols, &error)) {
        m_lastLoadError = error;
        return;
    }
    m_lastLoadError.clear();
    // Every cell is set: a short Symbol element gives empty cells rather than
    // leaving texts of a previously shown row behind. Rows take their 20
    // pixels as the header's default size: sizing them one by one costs
    // time quadratic in the rows, minutes for a large file.
    QTableWidget *table = m_ui->symbolTableWidget;
    table->setUpdatesEnabled(false);
    table->setRowCount(0);
    table->verticalHeader()->setDefaultSectionSize(kSymbolRowHeight);
    table->setRowCount(symbols.size());
    for (int r = 0; r < symbols.size(); ++r)
        for (int c = 0; c < SymbolDef::kFieldCount; ++c)
            table->setItem(r, c, new QTableWidgetItem(symbols[r][c]));
    table->setUpdatesEnabled(true);
}

SymbolList ProtocolDialog::tableSymbols() const
{
    const QTableWidget *table = m_ui->symbolTableWidget;
    SymbolList symbols;
    symbols.reserve(table->rowCount());
    for (int r = 0; r < table->rowCount(); ++r) {
        SymbolDef s;
        for (int c = 0; c < SymbolDef::kFieldCount; ++c) {
            const QTableWidgetItem *item = table->item(r, c);
            s[c] = item ? item->text() : QString();
        }
        symbols << s;
    }
    return symbols;
}

bool ProtocolDialog::saveDefaultSymbolFile()
{
    SymbolFile::makeDefaultDir();
    const SymbolList symbols = tableSymbols();
    QString error;
    if (!SymbolFile::write(SymbolFile::defaultPath(), symbols, &error)) {
        warn(tr("不能打开文件 %1:\n%2.").arg(SymbolFile::defaultPath(), error));
        return false;
    }
    m_symbolList = symbols;
    return true;
}

bool ProtocolDialog::writeSymbolFile(const QString &path)
{
    QString error;
    if (!SymbolFile::write(path, tableSymbols(), &error)) {
        QMessageBox::warning(this, tr("KORVEX I2C Sniffer"),
                             tr("不能打开文件 %1:\n%2.").arg(path, error));
        return false;
    }
    return true;
}

QString ProtocolDialog::chooseOpenFileName()
{
    return QFileDialog::getOpenFileName(
        this, tr("打开文件"), QString(),
        tr("Extensible Markup Language Files(*.xml);;All Files (*.*)"));
}

QString ProtocolDialog::chooseSaveFileName()
{
    return QFileDialog::getSaveFileName(
        this, tr("保存文件"), QString(),
        tr("Extensible Markup Language Files(*.xml);;Any files (*)"));
}

void ProtocolDialog::on_symbolAddPushButton_clicked()
{
    SymbolDef s(m_ui->symbolNameLineEdit->text(), m_ui->symbolTypeComboBox->currentText(),
                m_ui->symbolAddrComboBox->currentText(), m_ui->symbolDataComboBox->currentText(),
                m_ui->symbolBytePositionSpinBox->text(), m_ui->symbolRWComboBox->currentText());
    const bool isAddr = s.type() == QLatin1String("ADDR");

    // The name is the label in the stored line: empty gives "[]", and a ","
    // would split the line's fields.
    if (s.name().trimmed().isEmpty()) {
        warn(tr("名称不能为空!"));
        m_ui->symbolNameLineEdit->setFocus();
        return;
    }
    if (s.name().contains(QLatin1Char(','))) {
        warn(tr("名称不能包含逗号!"));
        m_ui->symbolNameLineEdit->setFocus();
        return;
    }
    if (!normaliseHexByte(&s[SymbolDef::Addr])) {
        warn(tr("地址数据不合法!"));
        m_ui->symbolAddrComboBox->setFocus();
        return;
    }
    // An address symbol has no data byte: its greyed-out box is not looked at.
    if (isAddr) {
        s[SymbolDef::Data] = QStringLiteral("-");
    } else if (!normaliseHexByte(&s[SymbolDef::Data])) {
        warn(tr("数据不合法!"));
        m_ui->symbolDataComboBox->setFocus();
        return;
    }
    bool ok = false;
    SymbolDef::convertBytePosition(s[SymbolDef::BytePosition], &ok);
    if (!ok) {
        warn(tr("显示偏移量不合法!"));
        m_ui->symbolBytePositionSpinBox->setFocus();
        return;
    }

    // A symbol differing from an existing row only in its name, letter case
    // or surrounding white space would label the same rows again.
    const QTableWidget *table = m_ui->symbolTableWidget;
    for (int r = 0; r < table->rowCount(); ++r) {
        bool same = true;
        for (int c = SymbolDef::Type; c <= SymbolDef::ReadWrite && same; ++c) {
            const QTableWidgetItem *item = table->item(r, c);
            const QString cell = item ? item->text() : QString();
            same = s[c].simplified().toUpper() == cell.simplified().toUpper();
        }
        if (same) {
            warn(tr("第 %1 行已定义相同的符号!").arg(r + 1));
            return;
        }
    }

    qDebug() << s;
    appendRow(s);
}

void ProtocolDialog::on_symbolTypeComboBox_currentTextChanged(const QString &text)
{
    m_ui->symbolDataComboBox->setEnabled(text != QLatin1String("ADDR"));
}

// Upper case only: a text too long for a byte is refused by Add with a
// message rather than cut here without a word.
void ProtocolDialog::on_symbolDataComboBox_currentTextChanged(const QString &text)
{
    if (text != text.toUpper())
        m_ui->symbolDataComboBox->setEditText(text.toUpper());
}

void ProtocolDialog::on_symbolAddrComboBox_currentTextChanged(const QString &text)
{
    if (text != text.toUpper())
        m_ui->symbolAddrComboBox->setEditText(text.toUpper());
}

void ProtocolDialog::on_symbolRemovePushButton_clicked()
{
    const int row = m_ui->symbolTableWidget->currentRow();
    if (row >= 0)
        m_ui->symbolTableWidget->removeRow(row);
}

void ProtocolDialog::on_symbolRemoveAllPushButton_clicked()
{
    while (m_ui->symbolTableWidget->rowCount() > 0)
        m_ui->symbolTableWidget->removeRow(0);
}

void ProtocolDialog::on_symbolTableWidget_clicked(const QModelIndex &index)
{
    if (!index.isValid())
        return;
    SymbolDef s;
    for (int c = 0; c < SymbolDef::kFieldCount; ++c) {
        const QTableWidgetItem *item = m_ui->symbolTableWidget->item(index.row(), c);
        s[c] = item ? item->text() : QString();
    }
    qDebug() << s;

    const bool isData = s.type() == QLatin1String("DATA");
    m_ui->symbolNameLineEdit->setText(s.name());
    m_ui->symbolTypeComboBox->setCurrentIndex(isData ? 0 : 1);
    m_ui->symbolAddrComboBox->setEditText(s.addr());
    if (isData)
        m_ui->symbolDataComboBox->setEditText(s.data());
    m_ui->symbolBytePositionSpinBox->setValue(SymbolDef::convertBytePosition(s.bytePosition()));
    m_ui->symbolRWComboBox->setCurrentIndex(s.readWrite() == QLatin1String("WRITE") ? 0 : 1);
}

void ProtocolDialog::on_saveSymbolFilePushButton_clicked()
{
    QString path = chooseSaveFileName();
    if (path.isEmpty())
        return;
    // Symbol files are found by their suffix; a bare name gets it.
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".xml");
    writeSymbolFile(path);
}

void ProtocolDialog::on_openSymbolFilePushButton_clicked()
{
    const QString path = chooseOpenFileName();
    if (path.isEmpty())
        return;
    // One read: it refuses what is not a regular file without blocking, and
    // its reason (cannot open, or where the XML is wrong) goes to the user.
    loadSymbolTable(path);
    if (!m_lastLoadError.isEmpty())
        warn(tr("不能打开文件 %1:\n%2.").arg(path, m_lastLoadError));
}

void ProtocolDialog::on_SetApplyPushButton_clicked()
{
    saveDefaultSymbolFile();
}

void ProtocolDialog::on_SetOkPushButton_clicked()
{
    // Closes whether or not the file could be written; the warning told the user.
    saveDefaultSymbolFile();
    accept();
}

void ProtocolDialog::on_SetCancelPushButton_clicked()
{
    reject();
}

bool runProtocolConfiguration(QWidget *parent, SymbolLabeler &labeler)
{
    ProtocolDialog dialog(parent);
    dialog.setWindowTitle(QObject::tr("配置I2C总线解析协议"));
    // A symbol file that exists but was refused (malformed, nested too deep,
    // not a regular file) is told before the empty table could be taken for it.
    if (!dialog.lastLoadError().isEmpty() && QFileInfo::exists(SymbolFile::defaultPath()))
        QMessageBox::warning(parent, QObject::tr("警告"),
                             QObject::tr("不能打开文件 %1:\n%2.")
                                 .arg(SymbolFile::defaultPath(), dialog.lastLoadError()));
    if (dialog.exec() != QDialog::Accepted)
        return false;
    labeler.setActiveSymbols(dialog.symbolList());
    return true;
}
