// The dialog in which the user edits the protocol symbols, imports and
// exports symbol files, and confirms the symbols for labelling.
#pragma once

#include "protocol/symboldef.h"

#include <QDialog>
#include <QModelIndex>

#include <memory>

namespace Ui {
class ProtocolDialog;
}
class SymbolLabeler;

class ProtocolDialog : public QDialog
{
    Q_OBJECT

public:
    explicit ProtocolDialog(QWidget *parent = nullptr);
    ~ProtocolDialog() override;

    // The table as it stood at the last successful Apply or OK; empty when
    // none succeeded. Read by the opener after the dialog was accepted.
    const SymbolList &symbolList() const { return m_symbolList; }

    // Replaces the table's rows with the symbols of path; an unreadable or
    // malformed file changes nothing and leaves its reason in lastLoadError().
    void loadSymbolTable(const QString &path);
    const QString &lastLoadError() const { return m_lastLoadError; }
    // Writes the table to the default symbol file and rebuilds symbolList();
    // false (after a warning) when the file cannot be written.
    bool saveDefaultSymbolFile();
    // Writes the table to a user-chosen file; false (after a warning) on failure.
    bool writeSymbolFile(const QString &path);
    // The table's rows, six cell texts each.
    SymbolList tableSymbols() const;
    // Appends the symbols of device library files to the table, leaving out
    // those it holds already; warns about files that cannot be read.
    void addLibraryFiles(const QStringList &paths);

protected:
    // Ask the user for a symbol file; an empty text means cancelled.
    virtual QString chooseOpenFileName();
    virtual QString chooseSaveFileName();
    // Ask for device library files (in the library folder); empty: cancelled.
    virtual QStringList chooseLibraryFileNames();

private slots:
    void on_symbolAddPushButton_clicked();
    void on_symbolTypeComboBox_currentTextChanged(const QString &text);
    void on_symbolDataComboBox_currentTextChanged(const QString &text);
    void on_symbolAddrComboBox_currentTextChanged(const QString &text);
    void on_symbolRemovePushButton_clicked();
    void on_symbolRemoveAllPushButton_clicked();
    void on_symbolTableWidget_clicked(const QModelIndex &index);
    void on_saveSymbolFilePushButton_clicked();
    void on_openSymbolFilePushButton_clicked();
    void on_SetApplyPushButton_clicked();
    void on_SetOkPushButton_clicked();
    void on_SetCancelPushButton_clicked();

private:
    void warn(const QString &text);
    void appendRow(const SymbolDef &symbol);

    std::unique_ptr<Ui::ProtocolDialog> m_ui;
    SymbolList m_symbolList;
    QString m_lastLoadError;
};

// The protocol configuration action: runs the dialog modally over parent
// and, when it is confirmed, puts its symbols in force in labeler.
// Returns whether the dialog was confirmed.
bool runProtocolConfiguration(QWidget *parent, SymbolLabeler &labeler);
