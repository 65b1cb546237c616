#include "export/capturefileactions.h"

#include "capture/capturepipeline.h"
#include "capture/capturestore.h"
#include "export/progresspump.h"
#include "export/savedcapturereader.h"
#include "export/savedcapturewriter.h"
#include "export/savedformat.h"
#include "export/transactionwriter.h"
#include "fileio/regularfile.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QProgressDialog>
#include <QSaveFile>

namespace {

const char kSaveFilter[] =
    "Text (*.txt);;Comma Separated Value (*.csv);;Hyper Text Markup Language (*.html)";
const char kOpenFilter[] = "Text (*.txt);;Comma Separated Value (*.csv)";

// Modal, with Cancel, and left alone at its maximum: it is closed here.
void setUp(QProgressDialog &dialog)
{
    dialog.setWindowModality(Qt::WindowModal);
    dialog.setAutoReset(false);
    dialog.setAutoClose(false);
}

// The folder of the capture last opened or saved; empty until then. Only the
// GUI thread runs the dialogs, so nothing else touches it.
QString &lastCaptureFolder()
{
    static QString folder;
    return folder;
}

void rememberFolderOf(const QString &file)
{
    lastCaptureFolder() = QFileInfo(file).absolutePath();
}

} // namespace

CaptureFileActions::CaptureFileActions(QWidget *parent)
    : m_parent(parent), m_askSave([](QWidget *p, const QString &caption, const QString &dir,
                                     const QString &filter, QString *selected) {
          return QFileDialog::getSaveFileName(p, caption, dir, filter, selected);
      }),
      m_askOpen([](QWidget *p, const QString &caption, const QString &dir, const QString &filter,
                   QString *selected) {
          return QFileDialog::getOpenFileName(p, caption, dir, filter, selected);
      })
{
}

QString CaptureFileActions::captureFolder()
{
    return lastCaptureFolder().isEmpty() ? QDir::currentPath() : lastCaptureFolder();
}

void CaptureFileActions::warn(const QString &text) const
{
    QMessageBox::warning(m_parent, QStringLiteral("警告"), text);
}

bool CaptureFileActions::ask(const QString &text) const
{
    return QMessageBox::warning(m_parent, QStringLiteral("警告"), text,
                                QMessageBox::Yes | QMessageBox::No,
                                QMessageBox::No) == QMessageBox::Yes;
}

CaptureFileActions::Result CaptureFileActions::save(const QString &storeFilePath, const Hook &begin,
                                                    const Hook &end)
{
    QFile store(storeFilePath);
    return runSave(
        [&store]() -> QIODevice * { return store.open(QIODevice::ReadOnly) ? &store : nullptr; },
        storeFilePath, begin, end);
}

CaptureFileActions::Result CaptureFileActions::save(QIODevice &store, const Hook &begin,
                                                    const Hook &end)
{
    const auto *file = qobject_cast<QFileDevice *>(&store);
    return runSave([&store] { return &store; }, file ? file->fileName() : QString(), begin, end);
}

CaptureFileActions::Result
CaptureFileActions::runSave(const std::function<QIODevice *()> &openStore, const QString &storeName,
                            const Hook &begin, const Hook &end)
{
    m_last = TransferResult();
    QString filter;
    m_chosen = m_askSave(m_parent, QStringLiteral("保存文件"), captureFolder(),
                         QLatin1String(kSaveFilter), &filter);
    if (m_chosen.isEmpty())
        return Result::NoFileChosen;
    // The dialog confirmed the name typed, not the one the extension makes.
    const QString named = savedFileName(m_chosen, filter);
    if (named != m_chosen) {
        m_chosen = named;
        if (QFileInfo::exists(m_chosen) &&
            !ask(QStringLiteral("%1 已存在。\n要替换它吗？").arg(m_chosen)))
            return Result::NoFileChosen;
    }

    // Opening the store itself as the target would cut the capture to nothing.
    const QString storePath = QFileInfo(storeName).canonicalFilePath();
    if (!storePath.isEmpty() && QFileInfo(m_chosen).canonicalFilePath() == storePath) {
        warn(QStringLiteral("不能保存到采集数据文件 %1").arg(m_chosen));
        return Result::FileNotOpened;
    }
    // Written beside the target and renamed over it once complete.
    QSaveFile target(m_chosen);
    QString why;
    const RegularFile::Status opened = RegularFile::openForReplace(
        // The writer sends large blocks; unbuffered, a short write's reason reaches the user.
        target, QIODevice::Unbuffered, &why);
    if (opened != RegularFile::Status::Opened) {
        qDebug() << "Open file error";
        // Saving nothing without a word would read as success.
        warn(opened == RegularFile::Status::NotRegular
                 ? QStringLiteral("无法保存到 %1：它%2。").arg(m_chosen, why)
                 : QStringLiteral("无法写入文件 %1：\n%2").arg(m_chosen, why));
        return Result::FileNotOpened;
    }
    rememberFolderOf(m_chosen);
    if (begin)
        begin();

    Result result = Result::Completed;
    QIODevice *store = openStore();
    if (!store) {
        m_last.error = QStringLiteral("%1: cannot be read").arg(storeName);
        warn(QStringLiteral("无法读取采集数据文件 %1").arg(storeName));
        result = Result::Failed;
    } else {
        QProgressDialog dialog(QStringLiteral("正在保存文件..."), QStringLiteral("取消"), 0, 0,
                               m_parent);
        setUp(dialog);
        ProgressPump pump(dialog, store->size());
        dialog.show();
        m_last = SavedCaptureWriter::save(*store, target, savedFormatForSave(m_chosen), m_chosen,
                                          std::ref(pump));
        // Only a complete file replaces the earlier one; else it is discarded.
        if (m_last.ok() && !m_last.cancelled && !target.commit())
            m_last.error = target.errorString();
        dialog.close();
        result = outcome(QStringLiteral("保存文件 %1 失败：\n%2"));
    }
    if (end)
        end();
    return result;
}

CaptureFileActions::Result
CaptureFileActions::exportTransactions(CapturePipeline &pipeline, const TransactionIndex &index,
                                       const VisibleRows *rows, const Hook &begin, const Hook &end,
                                       const ProfileAssignment *profiles)
{
    m_last = TransferResult();
    m_chosen = m_askSave(m_parent, QStringLiteral("导出事务"), captureFolder(),
                         QStringLiteral("Comma Separated Value (*.csv)"), nullptr);
    if (m_chosen.isEmpty())
        return Result::NoFileChosen;
    if (QFileInfo(m_chosen).suffix().isEmpty()) {
        m_chosen += QStringLiteral(".csv");
        if (QFileInfo::exists(m_chosen) &&
            !ask(QStringLiteral("%1 已存在。\n要替换它吗？").arg(m_chosen)))
            return Result::NoFileChosen;
    }
    const QString storePath = QFileInfo(pipeline.store().fileName()).canonicalFilePath();
    if (!storePath.isEmpty() && QFileInfo(m_chosen).canonicalFilePath() == storePath) {
        warn(QStringLiteral("不能导出到采集数据文件 %1").arg(m_chosen));
        return Result::FileNotOpened;
    }
    QSaveFile target(m_chosen);
    QString why;
    const RegularFile::Status opened =
        RegularFile::openForReplace(target, QIODevice::Unbuffered, &why);
    if (opened != RegularFile::Status::Opened) {
        warn(opened == RegularFile::Status::NotRegular
                 ? QStringLiteral("无法导出到 %1：它%2。").arg(m_chosen, why)
                 : QStringLiteral("无法写入文件 %1：\n%2").arg(m_chosen, why));
        return Result::FileNotOpened;
    }
    rememberFolderOf(m_chosen);
    if (begin)
        begin();
    {
        // Held while writing: the capture's rows wait, the index stays as counted.
        const StoreLease held = pipeline.leaseStore();
        QProgressDialog dialog(QStringLiteral("正在导出事务..."), QStringLiteral("取消"), 0, 0,
                               m_parent);
        setUp(dialog);
        ProgressPump pump(dialog, TransactionWriter::rowCount(index, rows));
        dialog.show();
        m_last =
            TransactionWriter::write(held.store(), index, rows, target, std::ref(pump), profiles);
        if (m_last.ok() && !m_last.cancelled && !target.commit())
            m_last.error = target.errorString();
        dialog.close();
    }
    const Result result = outcome(QStringLiteral("导出事务到 %1 失败：\n%2"));
    if (end)
        end();
    return result;
}

CaptureFileActions::Result CaptureFileActions::outcome(const QString &failureText) const
{
    if (!m_last.ok()) {
        warn(failureText.arg(m_chosen, m_last.error));
        return Result::Failed;
    }
    return m_last.cancelled ? Result::Cancelled : Result::Completed;
}

CaptureFileActions::Result CaptureFileActions::open(CaptureStore &store, const Hook &begin,
                                                    const Hook &end)
{
    m_last = TransferResult();
    if (store.unsavedRowCount() > 0 &&
        !ask(QStringLiteral(
            "当前捕获的数据尚未保存，打开文件将替换这些数据。\n要放弃未保存的数据吗？")))
        return Result::NoFileChosen;
    m_chosen = m_askOpen(m_parent, QStringLiteral("打开文件"), captureFolder(),
                         QLatin1String(kOpenFilter), nullptr);
    if (m_chosen.isEmpty())
        return Result::NoFileChosen;

    QFile in;
    QString why;
    const RegularFile::Status opened = RegularFile::open(in, m_chosen, QIODevice::ReadOnly, &why);
    if (opened == RegularFile::Status::NotRegular) {
        // A FIFO would block the window until some writer came.
        warn(QStringLiteral("无法打开 %1：它%2。\n当前数据未改变。").arg(m_chosen, why));
        return Result::FileNotOpened;
    }
    if (opened != RegularFile::Status::Opened) {
        qDebug() << "Open file error";
        warn(QStringLiteral("无法打开文件 %1：\n%2\n当前数据未改变。").arg(m_chosen, why));
        return Result::FileNotOpened;
    }
    rememberFolderOf(m_chosen);
    if (begin)
        begin();

    CaptureLoader::Outcome outcome;
    {
        // Not shown here: it appears by its own rule when the work lasts.
        QProgressDialog dialog(QStringLiteral("正在打开文件..."), QStringLiteral("取消"), 0, 0,
                               m_parent);
        setUp(dialog);
        ProgressPump pump(dialog, in.size());
        outcome = CaptureLoader::load(in, savedFormatForOpen(m_chosen), store, std::ref(pump));
        in.close();
    }
    m_last = outcome.transfer;
    explain(outcome);
    Result result = Result::Completed;
    if (!outcome.replaced)
        result = m_last.cancelled ? Result::Cancelled : Result::Refused;
    else if (!m_last.ok())
        result = Result::Failed;
    else if (m_last.cancelled)
        result = Result::Cancelled;
    if (end)
        end();
    return result;
}

void CaptureFileActions::explain(const CaptureLoader::Outcome &outcome) const
{
    using Refusal = CaptureLoader::Refusal;
    const TransferResult &t = outcome.transfer;
    QString what;
    if (!t.ok()) {
        what = t.lineTooLong ? QStringLiteral("文件 %1 的第 %2 行超过 %3 MB，不是捕获的数据。")
                                   .arg(m_chosen)
                                   .arg(outcome.failedLine)
                                   .arg(SavedCaptureReader::kMaxLineLength >> 20)
                             : QStringLiteral("读取文件 %1 失败：\n%2").arg(m_chosen, t.error);
    } else if (outcome.refusal == Refusal::Utf16) {
        what = QStringLiteral("文件 %1 是 UTF-16 编码的文本，不是保存的捕获数据。").arg(m_chosen);
    } else if (outcome.refusal == Refusal::Html) {
        what = QStringLiteral("文件 %1 是 HTML 格式，只能打开文本或 CSV 格式保存的数据。")
                   .arg(m_chosen);
    } else if (outcome.refusal == Refusal::NotACapture) {
        what =
            t.linesSkipped > 0
                ? QStringLiteral("文件 %1 不是保存的捕获数据：开头的 %2 行中没有一行是捕获的"
                                 "数据行（类型为 START、ADDR、DATA 或 STOP，地址为十六进制或 "
                                 "--）。")
                      .arg(m_chosen)
                      .arg(t.linesRead)
                : QStringLiteral("文件 %1 不是保存的捕获数据：既没有表头，也没有可以读取的数据行。")
                      .arg(m_chosen);
    }
    // Lines that are no rows are left out, but never without a word.
    const QString skipped =
        outcome.replaced && t.linesSkipped > 0
            ? QStringLiteral("有 %1 行不是捕获的数据行，没有打开（第一行是第 %2 行）。")
                  .arg(t.linesSkipped)
                  .arg(t.firstSkippedLine)
            : QString();
    if (what.isEmpty() && skipped.isEmpty())
        return;
    if (what.isEmpty()) {
        warn(QStringLiteral("文件 %1 中").arg(m_chosen) + skipped +
             QStringLiteral("\n已打开 %1 行。").arg(outcome.linesStored));
        return;
    }
    if (!skipped.isEmpty())
        what += QStringLiteral("\n此前") + skipped;
    warn(what + (outcome.replaced
                     ? QStringLiteral("\n已打开此前的 %1 行。").arg(outcome.linesStored)
                     : QStringLiteral("\n当前数据未改变。")));
}
