#include "app/startupdialogs.h"

#include <QApplication>
#include <QDebug>
#include <QDialog>
#include <QPointer>
#include <QTimer>
#include <QUuid>

namespace StartupDialogs {

QString madeUpNickname()
{
    return QStringLiteral("Игрок_") + QUuid::createUuid().toString(QUuid::WithBraces).left(6);
}

void installTestAutoClose()
{
    bool ok = false;
    const int delay = qEnvironmentVariableIntValue("KESTREL_TEST_AUTOCLOSE_MS", &ok);
    if (!ok)
        return;
    const bool accept = qEnvironmentVariable("KESTREL_TEST_AUTOCLOSE_ACTION") == QLatin1String("accept");
    auto *timer = new QTimer(qApp);
    timer->setInterval(qMax(10, delay));
    QObject::connect(timer, &QTimer::timeout, qApp, [accept] {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        qDebug().noquote() << "[STARTUP] Closing modal window:" << modal->windowTitle()
                           << modal->metaObject()->className();
        if (auto *dialog = qobject_cast<QDialog *>(modal))
            accept ? dialog->accept() : dialog->reject();
        else
            modal->close();
    });
    timer->start();
}

} // namespace StartupDialogs
