// The modal dialog shown before every capture: adapter, sample rate and
// channel pair. The caller reads the three results after it was accepted.
#pragma once

#include "settings/adaptercatalog.h"

#include <QDialog>

#include <cstdint>
#include <memory>

namespace Ui {
class StartDialog;
}

class StartDialog : public QDialog
{
    Q_OBJECT

public:
    // Lists the adapters the adapter library reports.
    explicit StartDialog(QWidget *parent = nullptr);
    // Lists the adapters of the given catalog instead.
    explicit StartDialog(const AdapterCatalog &adapters, QWidget *parent = nullptr);
    ~StartDialog() override;

    // Set when the user presses OK; -1 until then.
    int32_t deviceIndex = -1;
    int32_t channelIndex = -1;
    int32_t sampleRate = -1;

    // Presets the channel and sample-rate boxes from the settings file.
    void loadStartSettings();
    // Writes the two boxes to the settings file; on failure tells the user
    // and returns false.
    bool saveStartSettings();

    // "2.5MHz" -> 2500000: the text without its unit, in hertz, truncated.
    static int32_t sampleRateFromText(const QString &text);

private slots:
    void on_channelComboBox_currentIndexChanged(int index);
    void on_positivePushButton_clicked();
    void on_negativePushButton_clicked();

private:
    std::unique_ptr<Ui::StartDialog> m_ui;
};
