#include "settings/startdialog.h"

#include "settings/startsettingsfile.h"
#include "ui_startdialog.h"

#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>

namespace {

// The pins of each channel pair, by the channel box's index.
const char *const kChannelNotes[] = {"D0-->SDA D1-->SCL", "D2-->SDA D3-->SCL", "D4-->SDA D5-->SCL",
                                     "D6-->SDA D7-->SCL"};

// A stored index outside the list would leave the box without a current
// item, and OK would then yield channel -1 or 0 Hz; keep the default instead.
void presetIndex(QComboBox *box, int index)
{
    if (index >= 0 && index < box->count())
        box->setCurrentIndex(index);
}

} // namespace

StartDialog::StartDialog(QWidget *parent) : StartDialog(AdapterCatalog::library(), parent) {}

StartDialog::StartDialog(const AdapterCatalog &adapters, QWidget *parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::StartDialog>())
{
    m_ui->setupUi(this);
    loadStartSettings();

    const int count = adapters.count ? adapters.count() : 0;
    if (count <= 0) {
        // Say why OK is greyed out rather than leave the user guessing.
        auto *none = new QLabel(QStringLiteral("无设备连接！请连接设备后重新启动。"), this);
        none->setObjectName(QStringLiteral("noAdapterLabel"));
        m_ui->gridLayout_2->addWidget(none, m_ui->gridLayout_2->rowCount(), 0);
        m_ui->positivePushButton->setEnabled(false);
        return;
    }
    for (int i = 0; i < count; ++i) {
        m_ui->deviceIndexComboBox->addItem(QString::number(i));
        if (adapters.describe)
            m_ui->deviceIndexComboBox->setItemData(i, adapters.describe(i), Qt::ToolTipRole);
    }
    m_ui->positivePushButton->setEnabled(true);
}

StartDialog::~StartDialog() = default;

void StartDialog::loadStartSettings()
{
    const QString path = StartSettingsFile::locate().read;
    QString why;
    const auto values = StartSettingsFile::read(path, &why);
    if (!values) {
        // A missing file is the first start; anything else the user should know of.
        if (QFileInfo::exists(path)) {
            auto *note = new QLabel(
                QStringLiteral("无法读取启动设置 %1：%2\n已使用默认设置。").arg(path, why), this);
            note->setObjectName(QStringLiteral("settingsErrorLabel"));
            note->setWordWrap(true);
            m_ui->gridLayout_2->addWidget(note, m_ui->gridLayout_2->rowCount(), 0, 1, -1);
        }
        return;
    }
    presetIndex(m_ui->channelComboBox, values->channelIndex);
    presetIndex(m_ui->samleRateComboBox, values->sampleRateIndex);
}

bool StartDialog::saveStartSettings()
{
    const QString path = StartSettingsFile::locate().write;
    StartSettingsFile::Values values;
    values.channelIndex = m_ui->channelComboBox->currentIndex();
    values.sampleRateIndex = m_ui->samleRateComboBox->currentIndex();
    QString reason;
    if (StartSettingsFile::write(path, values, &reason))
        return true;
    QMessageBox::warning(this, QStringLiteral("Warning"),
                         QStringLiteral("Cannot open file %1:\n%2.").arg(path, reason));
    return false;
}

int32_t StartDialog::sampleRateFromText(const QString &text)
{
    QString number = text;
    number.chop(3); // "MHz"
    return static_cast<int32_t>(number.toFloat() * 1000000.0);
}

void StartDialog::on_channelComboBox_currentIndexChanged(int index)
{
    if (index >= 0 && index < 4)
        m_ui->channelNoteLabel->setText(QString::fromLatin1(kChannelNotes[index]));
}

void StartDialog::on_positivePushButton_clicked()
{
    saveStartSettings(); // a failure was shown to the user; the start goes on
    deviceIndex = m_ui->deviceIndexComboBox->currentIndex();
    channelIndex = m_ui->channelComboBox->currentIndex();
    sampleRate = sampleRateFromText(m_ui->samleRateComboBox->currentText());
    accept();
}

void StartDialog::on_negativePushButton_clicked()
{
    reject();
}
