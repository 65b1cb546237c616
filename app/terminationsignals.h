// Turns SIGTERM, SIGINT and SIGHUP into a Qt signal on the GUI thread, so that
// they end the program the way closing the window does (the capture stops, the
// capture file is removed) instead of killing it mid-capture. One per process.
#pragma once

#include <QObject>

#include <csignal>

class QSocketNotifier;

class TerminationSignals : public QObject
{
    Q_OBJECT

public:
    explicit TerminationSignals(QObject *parent = nullptr);
    // Puts the previous handlers back.
    ~TerminationSignals() override;

signals:
    // On the GUI thread, once per signal received.
    void received(int signalNumber);

private:
    void readPipe();

    QSocketNotifier *m_notifier = nullptr; // child of this object
    struct sigaction m_previous[3] = {};
    bool m_installed[3] = {};
};
