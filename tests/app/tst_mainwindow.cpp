// The window shell: its form, the temporary capture file's life cycle, and
// the Help and About boxes.
#include "mainwindow.h"
#include "modalanswerer.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QScrollBar>
#include <QTableView>
#include <QTextCodec>
#include <QToolBar>
#include <QtTest>

namespace {
const QString tempFile = QStringLiteral("I2CDataTemp.dat");

QStringList actionNames(const QList<QAction *> &actions)
{
    QStringList names;
    for (QAction *a : actions)
        names << (a->isSeparator() ? QStringLiteral("|") : a->objectName());
    return names;
}

void removeTempPath()
{
    QDir().rmdir(tempFile);
    QFile::remove(tempFile);
}
} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void init() { removeTempPath(); }
    void cleanup() { removeTempPath(); }

    void formHasActionsMenusAndToolBar()
    {
        MainWindow w;
        QCOMPARE(w.objectName(), QStringLiteral("MainWindow"));
        QCOMPARE(w.windowTitle(), QStringLiteral("KORVEX I2C Sniffer"));
        QCOMPARE(w.size(), QSize(903, 462));

        struct Expected
        {
            const char *name;
            const char *text;
            const char *icon;
            bool checkable;
        };
        const Expected actions[] = {
            {"actionStart", "启动", "gif_48_081.gif", false},
            {"actionStop", "停止", "gif_48_078.gif", false},
            {"actionClear", "清除数据", "clear.png", false},
            {"actionMerge", "合并显示", "Liste_list_item.png", true},
            {"actionDecode", "开启协议解析", "Shopping_List.png", true},
            {"actionProtocolConfig", "配置协议解析", "settings.png", false},
            {"actionHelp", "帮助", "help.png", false},
            {"actionAbout", "关于", "about.png", false},
            {"actionOpenFile", "打开文件", "gif_48_072.gif", false},
            {"actionSaveFile", "保存文件", "gif_48_089.gif", false},
            {"actionExit", "退出", "gif_48_026.gif", false},
        };
        for (const Expected &e : actions) {
            auto *a = w.findChild<QAction *>(QString::fromLatin1(e.name));
            QVERIFY2(a, e.name);
            QCOMPARE(a->text(), QString::fromUtf8(e.text));
            QCOMPARE(a->isCheckable(), e.checkable);
            QVERIFY(!a->isChecked());
            // Only Stop starts disabled: nothing is being captured yet.
            QCOMPARE(a->isEnabled(), qstrcmp(e.name, "actionStop") != 0);
            QVERIFY(a->toolTip() == a->text() || a->toolTip().isEmpty());
            QVERIFY(a->shortcut().isEmpty());
            QVERIFY2(!a->icon().isNull(), e.icon);
            QVERIFY2(QFile::exists(QStringLiteral(":/images/") + QString::fromLatin1(e.icon)),
                     e.icon);
        }

        auto *bar = w.findChild<QMenuBar *>(QStringLiteral("menuBar"));
        QVERIFY(bar);
        QStringList titles;
        for (QAction *m : bar->actions())
            titles << m->text();
        QCOMPARE(titles, (QStringList{"文件", "操作", "帮助"}));
        QCOMPARE(actionNames(w.findChild<QMenu *>("menu_2")->actions()),
                 (QStringList{"actionOpenFile", "actionSaveFile", "actionExit"}));
        QCOMPARE(actionNames(w.findChild<QMenu *>("menu")->actions()),
                 (QStringList{"actionStart", "actionStop", "actionClear", "actionMerge",
                              "actionDecode", "actionProtocolConfig"}));
        QCOMPARE(actionNames(w.findChild<QMenu *>("menuHelp")->actions()),
                 (QStringList{"actionHelp", "actionAbout"}));
        auto *tools = w.findChild<QToolBar *>(QStringLiteral("mainToolBar"));
        QVERIFY(tools);
        QCOMPARE(w.toolBarArea(tools), Qt::TopToolBarArea);
        QCOMPARE(actionNames(tools->actions()),
                 (QStringList{"actionStart", "actionStop", "|", "actionClear", "actionMerge",
                              "actionDecode", "actionProtocolConfig", "|", "actionHelp",
                              "actionAbout", "|"}));

        // One action object serves menu and tool bar, so their checked states agree.
        auto *merge = w.findChild<QAction *>(QStringLiteral("actionMerge"));
        QVERIFY(w.findChild<QMenu *>("menu")->actions().contains(merge));
        QVERIFY(tools->actions().contains(merge));

        auto *view = w.findChild<QTableView *>(QStringLiteral("displayTableView"));
        QVERIFY(view);
        QCOMPARE(view->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
        QCOMPARE(view->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
        QCOMPARE(view->model()->columnCount(), 8);
        QCOMPARE(view->model()->rowCount(), 0);
        const QStringList headers{
            "行号",      "类型",        "地址(HEX)", "读/写",
            "数据(HEX)", "数据(ASCII)", "响应",      "时间戳(h.m.s.ms.us.ns)"};
        const int widths[] = {50, 70, 70, 60, 200, 200, 60, 150};
        for (int c = 0; c < 8; ++c) {
            QCOMPARE(view->model()->headerData(c, Qt::Horizontal).toString(), headers[c]);
            QCOMPARE(view->columnWidth(c), widths[c]);
        }
        auto *scroll = w.findChild<QScrollBar *>(QStringLiteral("verticalScrollBar"));
        QVERIFY(scroll);
        QCOMPARE(scroll->orientation(), Qt::Vertical);
        QCOMPARE(scroll->minimum(), 0);
        QCOMPARE(scroll->maximum(), 0);
    }

    void temporaryFileLifeCycle()
    {
        {
            QFile stale(tempFile);
            QVERIFY(stale.open(QIODevice::WriteOnly));
            stale.write("0,START,--,--,--,--,00.00.00.000.000.000\n");
        }
        {
            MainWindow w;
            QVERIFY(QFile::exists(tempFile));
            QCOMPARE(QFileInfo(tempFile).size(), 0);
        }
        QVERIFY(!QFile::exists(tempFile));

        auto w = std::make_unique<MainWindow>();
        w->setAttribute(Qt::WA_DeleteOnClose, false);
        w->show();
        QVERIFY(QFile::exists(tempFile));
        w->findChild<QAction *>(QStringLiteral("actionExit"))->trigger();
        QVERIFY(!w->isVisible());
        w.reset();
        QVERIFY(!QFile::exists(tempFile));
    }

    void unusableTemporaryFileIsReported()
    {
        // A directory in the file's place cannot be opened, even by root.
        QVERIFY(QDir().mkdir(tempFile));
        ModalAnswerer answerer;
        {
            MainWindow w;
            w.show();
            QTRY_COMPARE(answerer.titles.size(), 1);
        }
        QCOMPARE(answerer.titles.first(), QStringLiteral("警告"));
        QVERIFY(answerer.texts.first().contains(tempFile));
        QVERIFY(QFileInfo(tempFile).isDir());
    }

    void helpAndAboutBoxes()
    {
        MainWindow w;
        w.show();
        ModalAnswerer answerer;
        w.findChild<QAction *>(QStringLiteral("actionHelp"))->trigger();
        w.findChild<QAction *>(QStringLiteral("actionAbout"))->trigger();
        QCOMPARE(answerer.titles, (QStringList{"帮助", "关于"}));
        const QString help = answerer.texts[0];
        QVERIFY(help.startsWith(
            QStringLiteral("官方网站<span style=\"font-size:12px;\"></span>：<a href=\"")));
        QVERIFY(help.contains(QStringLiteral("<br>技术支持：")));
        QVERIFY(help.endsWith(QStringLiteral("<br>")));
        QVERIFY(!help.contains(QStringLiteral("版本信息")));
        QCOMPARE(answerer.texts[1], help + QStringLiteral("版本信息：v1.1.6"));
    }
};

int main(int argc, char **argv)
{
    QTextCodec::setCodecForLocale(QTextCodec::codecForName("UTF-8"));
    QApplication app(argc, argv);
    TestMainWindow t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_mainwindow.moc"
