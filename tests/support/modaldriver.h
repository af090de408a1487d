#pragma once

// Acts on the next modal window that opens while a call exec()s it (checked every 10 ms).
// With a name, only the window of that object name is acted on; any other dialog is rejected
// and recorded, so an unexpected box fails the test instead of hanging it.

#include <QApplication>
#include <QDialog>
#include <QTimer>

#include <functional>

class ModalDriver final : public QObject
{
public:
    explicit ModalDriver(std::function<void(QWidget *)> action, const QString &name = QString())
    {
        connect(&m_timer, &QTimer::timeout, this, [this, action, name] {
            QWidget *modal = QApplication::activeModalWidget();
            if (!modal || !modal->isVisible())
                return;
            if (!fired && (name.isEmpty() || modal->objectName() == name)) {
                fired = true;
                action(modal);
            } else if (auto *dialog = qobject_cast<QDialog *>(modal)) {
                unexpected << modal->objectName();
                dialog->reject();
            }
        });
        m_timer.start(10);
    }

    bool fired = false;
    QStringList unexpected;

private:
    QTimer m_timer;
};
