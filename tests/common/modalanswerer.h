// Answers modal boxes from inside a test: polls for the active modal widget,
// records its title and text, and closes it, so a test never hangs on a box.
// While none lives, a modal box fails the test at once (modalguard.cpp).
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPointer>
#include <QStringList>
#include <QTimer>

#include <functional>

class ModalAnswerer : public QObject
{
public:
    // handler: called with each modal widget found; return true when handled (it must close the
    // widget). By default message boxes are accepted and other dialogs rejected.
    using Handler = std::function<bool(QWidget *)>;

    explicit ModalAnswerer(Handler handler = {}) : m_handler(std::move(handler))
    {
        ++m_liveCount;
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] { poll(); });
        m_timer.start(20);
    }
    ~ModalAnswerer() override { --m_liveCount; }

    // Answerers alive now (GUI thread only).
    static int liveCount() { return m_liveCount; }

    QStringList titles;
    QStringList texts;

private:
    void poll()
    {
        QWidget *w = QApplication::activeModalWidget();
        if (!w)
            return;
        auto *box = qobject_cast<QMessageBox *>(w);
        titles << w->windowTitle();
        texts << (box ? box->text() : QString());
        if (m_handler && m_handler(w))
            return;
        if (box && box->button(QMessageBox::Ok))
            box->button(QMessageBox::Ok)->click();
        else if (auto *dialog = qobject_cast<QDialog *>(w))
            box ? box->accept() : dialog->reject();
        else
            w->close();
    }

    inline static int m_liveCount = 0;
    Handler m_handler;
    QTimer m_timer;
};
