// The program's window and signal handling, capturing from the simulator; prints
// "capturing" once rows are stored, then waits for tst_capture's signal.
#include "app/mainwindow.h"
#include "app/terminationsignals.h"
#include "capture/capturepipeline.h"
#include "modalanswerer.h"
#include "protocol/symbollabeler.h"

#include <QAction>
#include <QPushButton>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    TerminationSignals termination; // as in the program's main()
    CapturePipeline pipeline;
    SymbolLabeler labeler;
    MainWindow window(pipeline, labeler);
    QObject::connect(&termination, &TerminationSignals::received, &window, &QWidget::close);
    window.show();
    ModalAnswerer answerer([](QWidget *d) {
        d->findChild<QPushButton *>(QStringLiteral("positivePushButton"))->click();
        return true;
    });
    window.findChild<QAction *>(QStringLiteral("actionStart"))->trigger();
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&poll, &pipeline] {
        if (pipeline.storedLineCount() > 0 && (std::puts("capturing"), true))
            poll.stop(), std::fflush(stdout);
    });
    poll.start(10);
    return app.exec();
}
