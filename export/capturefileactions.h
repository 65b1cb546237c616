// The Save and Open actions of the main window: the file dialogs, the
// progress dialog with Cancel, and the warnings. The window keeps what is
// its own (the refresh timer, the capture store) in the hooks it passes.
#pragma once

#include "export/captureloader.h"
#include "export/transferresult.h"

#include <QIODevice>
#include <QString>

#include <functional>

class CapturePipeline;
class CaptureStore;
class QWidget;
class ProfileAssignment;
class TransactionIndex;
class VisibleRows;

class CaptureFileActions
{
public:
    // Asks for a file name, starting in `dir`; an empty result means the
    // user cancelled. The filter chosen goes to selectedFilter (when not null).
    using AskFileName =
        std::function<QString(QWidget *parent, const QString &caption, const QString &dir,
                              const QString &filter, QString *selectedFilter)>;
    // `begin` runs once the chosen file is open, right before the work;
    // `end` runs after the work, only when `begin` ran.
    using Hook = std::function<void()>;

    enum class Result {
        NoFileChosen,  // a dialog or question was declined: nothing happened
        FileNotOpened, // the chosen file could not be opened (or is the store): nothing changed
        Refused,       // Open: the file is no saved capture (the user was told); nothing changed
        Completed,
        Cancelled, // stopped by the user; the part done so far stays (Open: if it replaced any)
        Failed,    // a read or write error stopped the work (the user was told)
    };

    // `parent` parents the dialogs and boxes (the main window).
    explicit CaptureFileActions(QWidget *parent);

    // The defaults are QFileDialog::getSaveFileName / getOpenFileName.
    void setAskSaveFileName(AskFileName ask) { m_askSave = std::move(ask); }
    void setAskOpenFileName(AskFileName ask) { m_askOpen = std::move(ask); }

    // Where the Open and Save dialogs start: the folder of the capture last
    // opened or saved in this process, else the working directory. Kept
    // here, so other file dialogs do not move it. GUI thread only.
    static QString captureFolder();

    // Save: asks for the target, writes the stored lines of `store` (opened
    // read-only after `begin`, so `begin` can flush the store) in the format
    // its name selects, with a progress dialog shown at once. A name that
    // selects no format gets the extension of the chosen filter. The target
    // is replaced only by a complete file: a failure or Cancel leaves the
    // earlier one as it was.
    Result save(const QString &storeFilePath, const Hook &begin = {}, const Hook &end = {});
    // The same with the store as an open, readable device.
    Result save(QIODevice &store, const Hook &begin = {}, const Hook &end = {});

    // Open: when the store holds rows not saved yet, first asks whether to
    // discard them; asks for a text or CSV capture and loads it into `store`
    // (see CaptureLoader), which keeps its capture when the file is refused.
    Result open(CaptureStore &store, const Hook &begin = {}, const Hook &end = {});

    // 导出事务: asks for a CSV file and writes the transactions rows shows
    // (each a transaction's first line; null: every one of index) with a
    // progress dialog, holding the pipeline's store while it writes. Like
    // Save, only a complete file replaces an earlier one. profiles (may be
    // null): adds the column `decoded`.
    Result exportTransactions(CapturePipeline &pipeline, const TransactionIndex &index,
                              const VisibleRows *rows, const Hook &begin = {}, const Hook &end = {},
                              const ProfileAssignment *profiles = nullptr);

    // The name chosen and the transfer's figures of the last call.
    QString fileName() const { return m_chosen; }
    const TransferResult &transfer() const { return m_last; }

private:
    Result runSave(const std::function<QIODevice *()> &openStore, const QString &storeName,
                   const Hook &begin, const Hook &end);
    void warn(const QString &text) const;
    bool ask(const QString &text) const;
    // Tells why an Open did not replace the store, or stopped part-way.
    void explain(const CaptureLoader::Outcome &outcome) const;
    // The result of the transfer in m_last; a failure is told with
    // failureText (file name %1, reason %2).
    Result outcome(const QString &failureText) const;

    QWidget *m_parent;
    AskFileName m_askSave;
    AskFileName m_askOpen;
    QString m_chosen;
    TransferResult m_last;
};
