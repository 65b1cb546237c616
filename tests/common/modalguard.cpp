// Linked into every Qt Test program: a modal box that no ModalAnswerer is
// there to answer fails the test at once, naming the box, instead of leaving
// the run to hang until the watchdog kills it.
#include "modalanswerer.h"

#include <QCoreApplication>

namespace {
void startModalGuard()
{
    if (!qobject_cast<QApplication *>(QCoreApplication::instance()))
        return;                                             // no widgets, no boxes
    auto *timer = new QTimer(QCoreApplication::instance()); // owned by the application
    QObject::connect(timer, &QTimer::timeout, [] {
        QWidget *w = QApplication::activeModalWidget();
        if (!w || ModalAnswerer::liveCount() > 0)
            return;
        const auto *box = qobject_cast<QMessageBox *>(w);
        qFatal("unexpected modal window \"%s\": %s", qPrintable(w->windowTitle()),
               box ? qPrintable(box->text()) : "(not a message box)");
    });
    timer->start(50);
}
} // namespace

Q_COREAPP_STARTUP_FUNCTION(startModalGuard)
