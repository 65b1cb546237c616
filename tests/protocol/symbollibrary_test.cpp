// The device symbol library: every shipped file loads through the symbol file reader and
// labels a transfer made for its part; the dialog adds files.
#include "modalanswerer.h"
#include "protocol/protocoldialog.h"
#include "protocol/symbolfile.h"
#include "protocol/symbollabeler.h"
#include "protocol/symbollibrary.h"
#include "rowtestutil.h"

#include <QPushButton>
#include <QTableWidget>
#include <QtTest>

class SymbolLibraryTest : public QObject
{
    Q_OBJECT
private slots:
    void everyFileLabelsItsPartAndTheDialogAddsThem();
};

namespace {
struct Dialog : ProtocolDialog
{
    QStringList answer;
    QStringList chooseLibraryFileNames() override { return answer; }
};
} // namespace

void SymbolLibraryTest::everyFileLabelsItsPartAndTheDialogAddsThem()
{
    // The file, a device address, a register and what labels the device and that register.
    const std::tuple<const char *, int, const char *, const char *, const char *> cases[] = {
        {"display-ssd1306.xml", 0x3D, "40", "SSD1306 Display", " [Control: data] [Control Byte]"},
        {"eeprom-24cxx.xml", 0x57, "10", "24Cxx EEPROM", " [Word Address]"},
        {"humidity-sht3x.xml", 0x44, "2C", "SHT3x Humidity",
         " [Single Shot with clock stretching] [Command MSB]"},
        {"imu-mpu6050.xml", 0x69, "75", "MPU-6050", " [WHO_AM_I] [Register Address]"},
        {"io-pca9555.xml", 0x20, "06", "PCA9555 I/O", " [Configuration port 0] [Command]"},
        {"io-pcf8574.xml", 0x38, "FF", "PCF8574 I/O", ""},
        {"power-ina219.xml", 0x4F, "05", "INA219 Power", " [Calibration] [Register Pointer]"},
        {"pressure-bmp280-bme280.xml", 0x77, "D0", "BMP280/BME280", " [id] [Register Address]"},
        {"rtc-ds1307.xml", 0x68, "07", "DS1307 RTC", " [Control] [Register Pointer]"},
        {"rtc-ds3231.xml", 0x68, "0E", "DS3231 RTC", " [Control] [Register Pointer]"},
        {"temperature-lm75.xml", 0x4B, "01", "LM75 Temperature", " [Configuration] [Pointer]"}};
    const QStringList files = SymbolLibrary::files();
    QCOMPARE(files.size(), int(std::size(cases)));
    for (int i = 0; i < files.size(); ++i) {
        const auto &[fileName, address, reg, device, regLabels] = cases[i];
        QVERIFY2(files[i].endsWith(QLatin1String(fileName)), qPrintable(files[i]));
        QFile file(files[i]);
        QVERIFY(file.open(QIODevice::ReadOnly) && file.readAll().contains("Follows:"));
        SymbolList symbols;
        QVERIFY(SymbolFile::read(files[i], &symbols));
        SymbolLabeler labeler;
        labeler.setActiveSymbols(symbols);
        CaptureRow rows[] = {CaptureRow::start(0), addrRow(address, false, true, 0),
                             dataRow(address, false, reg, true, 0), CaptureRow::stop(0),
                             addrRow(address, true, true, 0)};
        for (CaptureRow &row : rows)
            labeler.applySymbols(row);
        const QString named = QStringLiteral("-- [%1]").arg(QLatin1String(device));
        QCOMPARE(QString::fromStdString(rows[1].data), named);
        QCOMPARE(QString::fromStdString(rows[2].data), QLatin1String(reg) + regLabels);
        QCOMPARE(QString::fromStdString(rows[4].data), named);
    }

    // The dialog's button adds the files' symbols once, and names the unreadable.
    Dialog dialog;
    dialog.answer = QStringList{files[0], files[0], files[1]};
    ModalAnswerer answerer;
    dialog.findChild<QPushButton *>(QStringLiteral("addLibraryPushButton"))->click();
    SymbolList expected, second;
    QVERIFY(SymbolFile::read(files[0], &expected) && SymbolFile::read(files[1], &second));
    QCOMPARE(dialog.tableSymbols(), expected + second);
    dialog.answer = QStringList{files[1], QStringLiteral("missing.xml")};
    dialog.findChild<QPushButton *>(QStringLiteral("addLibraryPushButton"))->click();
    QCOMPARE(dialog.tableSymbols().size(), expected.size() + second.size());
    QTRY_COMPARE(answerer.texts.size(), 1);
    QVERIFY(answerer.texts[0].contains(QLatin1String("missing.xml")));
}

QTEST_MAIN(SymbolLibraryTest)
#include "symbollibrary_test.moc"
