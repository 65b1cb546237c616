// The address map dock: counts and names reach grid and table, clicks select and clear,
// activity fades, Clear empties it, and the menu shows and hides it.
#include "addressmap/addressgrid.h"
#include "addressmap/addressmapdock.h"

#include "capture/capturepipeline.h"
#include "device/profileregistry.h"
#include "modalanswerer.h"
#include "protocol/symbollabeler.h"
#include "view/rowstyle.h"

#include <QMainWindow>
#include <QMenu>
#include <QTableWidget>
#include <QtTest>

class AddressMapDockTest : public QObject
{
    Q_OBJECT
private slots:
    void figuresNamesClicksAndMenu();
    void profileMenuChoosesTheDecoderOfAnAddress();
};

void AddressMapDockTest::figuresNamesClicksAndMenu()
{
    CapturePipeline pipeline;
    QVERIFY(pipeline.leaseStore()->open(QStringLiteral("I2CDataTemp.dat")));
    SymbolLabeler labeler;
    labeler.setActiveSymbols({SymbolDef("24Cxx EEPROM", "ADDR", "50", "-", "0", "WRITE"),
                              SymbolDef("Very Long Device Name", "ADDR", "3C", "-", "0", "READ"),
                              SymbolDef("later", "ADDR", "50", "-", "1", "WRITE"),
                              SymbolDef("byte", "DATA", "50", "12", "0", "WRITE")});
    QMainWindow window;
    QMenu menu;
    AddressMapDock *dock = AddressMapDock::install(&window, &menu, pipeline, &labeler);
    window.show();
    std::vector<I2CEvent> events;
    const int codes[][2] = {{1, 0}, {2, 0xA0}, {6, 0},    {3, 0x12}, {5, 0},
                            {4, 0}, {1, 0},    {2, 0x79}, {5, 0},    {4, 0}};
    for (auto [type, data] : codes)
        events.push_back(I2CEvent{type, uint8_t(data), {}, int64_t(events.size()) * 90000});
    pipeline.onI2CEvents(events.data(), int(events.size()));
    dock->refresh();
    AddressGrid *grid = dock->grid();
    QTableWidget *table = dock->table();
    QCOMPARE(table->rowCount(), 2);
    const QStringList row0 = {"3C", "Very Long Device Name", "1", "0", "0", "1", "0"};
    const QStringList row1 = {"50", "24Cxx EEPROM", "1", "1", "0", "0", "1"};
    for (int c = 0; c < row0.size(); ++c) {
        QCOMPARE(table->item(0, c)->text(), row0[c]);
        QCOMPARE(table->item(1, c)->text(), row1[c]);
    }
    for (int c : {9, 10}) // the clock and its range
        QVERIFY(table->item(1, c)->text() == QStringLiteral("50.0 kHz") &&
                table->item(0, c)->text() == QStringLiteral("未知"));
    QCOMPARE(AddressMapDock::clockRangeText(88540, 91210), QStringLiteral("88.5–91.2 kHz"));
    QCOMPARE(AddressMapDock::clockRangeText(0, 91210), QStringLiteral("未知"));
    QVERIFY(grid->toolTipText(0x50).endsWith(
        QStringLiteral("总线时钟：50.0 kHz\n时钟范围：50.0 kHz（八成字节）")));
    QVERIFY(grid->toolTipText(0x3C).endsWith(QStringLiteral("总线时钟：未知")));
    QVERIFY(grid->toolTipText(0x50).startsWith(
        QStringLiteral("地址 0x50 [24Cxx EEPROM]\n传输次数：1")));
    QVERIFY(grid->toolTipText(0x51).endsWith(QStringLiteral("未出现")));
    // Names readable in the cell: whole on two lines where they fit, else cut at the end of
    // the second; the colours are the record rows'.
    grid->resize(grid->sizeHint());
    QCOMPARE(grid->cellNameLines(0x50), QStringList({"24Cxx", "EEPROM"}));
    QVERIFY(grid->cellNameLines(0x3C).size() == 2 &&
            grid->cellNameLines(0x3C).last().endsWith(QChar(0x2026)));
    QVERIFY(grid->cellNameLines(0x51).isEmpty());
    grid->resize(grid->minimumSizeHint()); // room for one name line below the address
    QCOMPARE(grid->cellNameLines(0x50).size(), 1);
    grid->resize(grid->sizeHint());
    const QFontMetrics m(grid->font());
    const int w = m.horizontalAdvance("aaa aaa/");
    QCOMPARE(AddressGrid::nameLines("aaa aaa/aaa  aaa", m, w, 3),
             QStringList({"aaa aaa/", "aaa aaa"}));
    QCOMPARE(AddressGrid::nameLines("aaa aaa/aaa aaa", m, w, 1).size(), 1);
    QVERIFY(AddressGrid::nameLines("aaa aaa/aaa aaa", m, w, 1)[0].endsWith(QChar(0x2026)));
    QVERIFY(AddressGrid::nameLines("aaa", m, w, 0).isEmpty());
    AddressFigures answered, probed;
    answered.activity = answered.ackedAddresses = probed.activity = probed.nackedAddresses = 1;
    QCOMPARE(AddressGrid::stateColour(answered), RowStyle::color(RowStyle::Magenta));
    QCOMPARE(AddressGrid::stateColour(probed), RowStyle::color(RowStyle::Pink));
    probed.nackedAddresses = 0;
    QCOMPARE(AddressGrid::stateColour(probed), RowStyle::color(RowStyle::Orange));
    // Lit when its activity moved, fading to nothing; an idle address stays dark.
    std::array<AddressFigures, AddressGrid::kCells> figures{};
    figures[5].activity = 1;
    grid->setFigures(figures, 1000);
    QCOMPARE(grid->activityAt(5, 1000), 1.0);
    QCOMPARE(grid->activityAt(5, 1000 + AddressGrid::kFadeMs / 2), 0.5);
    QCOMPARE(grid->activityAt(5, 1000 + AddressGrid::kFadeMs), 0.0);
    QCOMPARE(grid->activityAt(6, 1000), 0.0);
    grid->setFigures(figures, 1000 + AddressGrid::kFadeMs / 2); // unchanged: keeps fading
    QCOMPARE(grid->activityAt(5, 1000 + AddressGrid::kFadeMs / 2), 0.5);
    QSignalSpy activated(dock, &AddressMapDock::addressActivated);
    QSignalSpy cleared(dock, &AddressMapDock::filterCleared);
    const QPoint cell50 = grid->cellRect(0x50).center();
    QCOMPARE(grid->addressAt(cell50), 0x50);
    QCOMPARE(grid->addressAt(grid->cellRect(0x7F).bottomRight()), 0x7F);
    QTest::mouseClick(grid, Qt::LeftButton, {}, grid->cellRect(0x3C).center());
    QTest::mouseClick(grid, Qt::LeftButton, {}, cell50);
    QCOMPARE(activated.size(), 2);
    QCOMPARE(activated.last().at(0).toInt(), 0x50);
    QCOMPARE(grid->selectedAddress(), 0x50);
    QTest::mouseClick(grid, Qt::LeftButton, {}, cell50);
    QCOMPARE(cleared.size(), 1);
    QCOMPARE(grid->selectedAddress(), -1);
    dock->setSelectedAddress(0x3C);
    QCOMPARE(grid->selectedAddress(), 0x3C);
    pipeline.leaseStore()->resetStore();
    dock->refresh();
    QCOMPARE(table->rowCount(), 0);
    QAction *toggle = menu.actions().value(0);
    QVERIFY(toggle && toggle->isCheckable() && toggle->isChecked());
    QCOMPARE(toggle->text(), QStringLiteral("地址映射"));
    toggle->trigger();
    const bool hidden = !dock->isVisible();
    toggle->trigger();
    QVERIFY(hidden && dock->isVisible());
}

void AddressMapDockTest::profileMenuChoosesTheDecoderOfAnAddress()
{
    QVERIFY(QDir().mkpath("config/device-profiles"));
    QFile bad("config/device-profiles/bad.xml");
    QVERIFY(bad.open(QIODevice::WriteOnly) && bad.write("<Nope/>") > 0);
    bad.close();
    ProfileRegistry registry("config", KORVEX_PROFILE_DIR);
    CapturePipeline pipeline;
    QMainWindow window;
    QMenu windowMenu;
    AddressMapDock *dock = AddressMapDock::install(&window, &windowMenu, pipeline, nullptr);
    dock->setProfiles(&registry);
    QCOMPARE(dock->grid()->contextMenuPolicy(), Qt::CustomContextMenu);
    // The menu's entries, "*" before the one checked; then the one named `choose` triggered.
    const auto entries = [&](int address, const QString &choose = {}) {
        QMenu menu;
        dock->fillProfileMenu(&menu, address);
        QStringList texts;
        for (QAction *a : menu.actions()) {
            texts << (a->isChecked() ? "*" : "") + a->text();
            if (a->text() == choose)
                a->trigger();
        }
        return texts;
    };
    const QString failed = "1 个器件配置文件未能载入…";
    QCOMPARE(entries(0x68), QStringList({"0x68 的器件配置", "DS1307 (ds1307)", "DS3231 (ds3231)",
                                         "MPU-6050 (mpu6050)", "PCA9685 (pca9685)", "*无", "",
                                         "添加器件配置文件…", failed}));
    QCOMPARE(entries(0x3A), QStringList({"0x3A 的器件配置", "*PCF8574A (pcf8574a)", "无", "",
                                         "添加器件配置文件…", failed}));
    entries(0x68, "DS3231 (ds3231)");
    QCOMPARE(registry.assignment().choice(0x68), std::string("ds3231"));
    QCOMPARE(entries(0x68).mid(1, 6),
             QStringList({"DS1307 (ds1307)", "*DS3231 (ds3231)", "MPU-6050 (mpu6050)",
                          "PCA9685 (pca9685)", "无", "自动选择"}));
    entries(0x3A, "无");
    QVERIFY(entries(0x3A).contains("*无"));
    entries(0x3A, "自动选择");
    QVERIFY(!registry.assignment().hasChoice(0x3A) &&
            entries(0x3A).contains("*PCF8574A (pcf8574a)"));
    // What failed to load, and a choice that could not be saved, are told.
    ModalAnswerer answerer;
    entries(0x68, failed);
    QVERIFY(QFile::remove(registry.choicesPath()) && QDir().mkdir(registry.choicesPath()));
    entries(0x68, "无");
    QTRY_COMPARE(answerer.texts.size(), 2);
    QVERIFY(answerer.texts[0].contains("bad.xml: 第 1 行: 此处不能有 <Nope>"));
    QVERIFY(answerer.texts[1].startsWith("器件选择未能保存（本次运行仍然有效）：\n" +
                                         registry.choicesPath()));
    QCOMPARE(registry.assignment().choice(0x68), std::string());
}

QTEST_MAIN(AddressMapDockTest)
#include "addressmapdock_test.moc"
