// Linked into every Qt Test program: a modal box that no ModalAnswerer is there to answer, or that
// stays up for ten seconds (an answerer stuck inside a box of its own), fails the test at once,
// naming the box, instead of leaving the run to hang until the watchdog kills it.
#include "modalanswerer.h"

#include <QCoreApplication>
#include <QElapsedTimer>

namespace {
void startModalGuard()
{
    if (!qobject_cast<QApplication *>(QCoreApplication::instance()))
        return;                                             // no widgets, no boxes
    auto *timer = new QTimer(QCoreApplication::instance()); // owned by the application
    QObject::connect(timer, &QTimer::timeout, [] {
        static QPointer<QWidget> seen;
        static QElapsedTimer since;
        QWidget *w = QApplication::activeModalWidget();
        if (w != seen) {
            seen = w;
            since.start();
        }
        if (!w || (ModalAnswerer::liveCount() > 0 && since.elapsed() < 10000))
            return;
        const auto *box = qobject_cast<QMessageBox *>(w);
        qFatal("unanswered modal window \"%s\": %s", qPrintable(w->windowTitle()),
               box ? qPrintable(box->text()) : "(not a message box)");
    });
    timer->start(50);
}
} // namespace

Q_COREAPP_STARTUP_FUNCTION(startModalGuard)
