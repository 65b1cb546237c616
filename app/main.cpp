#include "mainwindow.h"

#include <QApplication>
#include <QTextCodec>

int main(int argc, char *argv[])
{
    // The interface texts and the stored lines are UTF-8.
    QTextCodec::setCodecForLocale(QTextCodec::codecForName("UTF-8"));
    QApplication app(argc, argv);
    int code = 0;
    {
        MainWindow window;
        window.show();
        code = app.exec();
    }
    return code;
}
