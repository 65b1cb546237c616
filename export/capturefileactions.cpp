#include "capturefileactions.h"

#include "progresspump.h"
#include "savedcapturewriter.h"
#include "savedformat.h"

#include <QDebug>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QProgressDialog>

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

} // namespace

CaptureFileActions::CaptureFileActions(QWidget *parent)
    : m_parent(parent), m_askSave([](QWidget *p, const QString &caption, const QString &filter) {
          return QFileDialog::getSaveFileName(p, caption, QString(), filter);
      }),
      m_askOpen([](QWidget *p, const QString &caption, const QString &filter) {
          return QFileDialog::getOpenFileName(p, caption, QString(), filter);
      })
{
}

void CaptureFileActions::warn(const QString &text) const
{
    QMessageBox::warning(m_parent, QStringLiteral("警告"), text);
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
    m_chosen = m_askSave(m_parent, QStringLiteral("保存文件"), QLatin1String(kSaveFilter));
    if (m_chosen.isEmpty())
        return Result::NoFileChosen;

    // Opening the store itself as the target would cut the capture to nothing.
    const QString storePath = QFileInfo(storeName).canonicalFilePath();
    if (!storePath.isEmpty() && QFileInfo(m_chosen).canonicalFilePath() == storePath) {
        warn(QStringLiteral("不能保存到采集数据文件 %1").arg(m_chosen));
        return Result::FileNotOpened;
    }
    QFile target(m_chosen);
    if (!target.open(QIODevice::ReadWrite | QIODevice::Truncate)) {
        qDebug() << "Open file error";
        // Saving nothing without a word would read as success.
        warn(QStringLiteral("无法写入文件 %1：\n%2").arg(m_chosen, target.errorString()));
        return Result::FileNotOpened;
    }
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
        target.close();
        dialog.close();
        result = outcome(QStringLiteral("保存文件 %1 失败：\n%2"));
    }
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

CaptureFileActions::Result CaptureFileActions::open(const StoredLineSink &sink, const Hook &begin,
                                                    const Hook &end)
{
    m_last = TransferResult();
    m_chosen = m_askOpen(m_parent, QStringLiteral("打开文件"), QLatin1String(kOpenFilter));
    if (m_chosen.isEmpty())
        return Result::NoFileChosen;

    QFile in(m_chosen);
    if (!in.open(QIODevice::ReadOnly)) {
        qDebug() << "Open file error";
        return Result::FileNotOpened;
    }
    if (begin)
        begin();

    Result result = Result::Completed;
    {
        // Not shown here: it appears by its own rule when the work lasts.
        QProgressDialog dialog(QStringLiteral("正在打开文件..."), QStringLiteral("取消"), 0, 0,
                               m_parent);
        setUp(dialog);
        ProgressPump pump(dialog, in.size());
        m_last = SavedCaptureReader::open(in, savedFormatForOpen(m_chosen), sink, std::ref(pump));
        in.close();
    }
    // On failure the store holds only part of the file: say so.
    result = outcome(QStringLiteral("读取文件 %1 失败：\n%2"));
    if (end)
        end();
    return result;
}
