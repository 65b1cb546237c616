#include "app/mainwindow.h"
#include "app/terminationsignals.h"
#include "capture/capturepipeline.h"
#include "protocol/symbollabeler.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTextCodec>
#include <QTranslator>

#include <csignal>

int main(int argc, char *argv[])
{
    // The interface texts and the stored lines are UTF-8.
    QTextCodec::setCodecForLocale(QTextCodec::codecForName("UTF-8"));
    // A file-size limit must fail the capture file's write, not kill the process.
    std::signal(SIGXFSZ, SIG_IGN);
    QApplication app(argc, argv);
    // The window is Chinese: so are the standard dialogs and buttons (Qt's own catalogue).
    QTranslator qtTexts;
    if (qtTexts.load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"),
                     QStringLiteral("_"), QLibraryInfo::location(QLibraryInfo::TranslationsPath)))
        app.installTranslator(&qtTexts);
    int code = 0;
    {
        // Created first, so a signal during start-up already closes the window.
        TerminationSignals termination;
        // They outlive the window, which captures and labels through them.
        CapturePipeline pipeline;
        SymbolLabeler labeler;
        MainWindow window(pipeline, labeler);
        QObject::connect(&termination, &TerminationSignals::received, &window, &QWidget::close);
        window.show();
        code = app.exec();
    }
    return code;
}
