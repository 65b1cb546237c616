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
    // handler: called with each modal widget found; return true when handled
    // (it must close the widget). By default message boxes are accepted and
    // other dialogs rejected.
    using Handler = std::function<bool(QWidget *)>;

    explicit ModalAnswerer(Handler handler = {}) : m_handler(std::move(handler))
    {
        ++counter();
        m_timer.setInterval(20);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] { poll(); });
        m_timer.start();
    }
    ~ModalAnswerer() override { --counter(); }

    // Answerers alive now (GUI thread only).
    static int liveCount() { return counter(); }

    QStringList titles;
    QStringList texts;

private:
    static int &counter()
    {
        static int n = 0;
        return n;
    }

    void poll()
    {
        QWidget *w = QApplication::activeModalWidget();
        if (!w)
            return;
        titles << w->windowTitle();
        if (auto *box = qobject_cast<QMessageBox *>(w))
            texts << box->text();
        else
            texts << QString();
        if (m_handler && m_handler(w))
            return;
        if (auto *box = qobject_cast<QMessageBox *>(w)) {
            QAbstractButton *b = box->button(QMessageBox::Ok);
            if (b)
                b->click();
            else
                box->accept();
        } else if (auto *dlg = qobject_cast<QDialog *>(w)) {
            dlg->reject();
        } else {
            w->close();
        }
    }

    Handler m_handler;
    QTimer m_timer;
};
