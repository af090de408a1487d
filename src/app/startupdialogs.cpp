#include "app/startupdialogs.h"

#include "app/settingskeys.h"
#include "ui/messagebox.h"

#include <QApplication>
#include <QDebug>
#include <QDialog>
#include <QInputDialog>
#include <QPointer>
#include <QTimer>
#include <QUuid>

namespace StartupDialogs {

bool ensureSafetyAccepted()
{
    QSettings settings = openSettings();
    if (settings.value(QLatin1String(SettingsKeys::kSafetyAccepted), false).toBool())
        return true;

    const auto answer = MessageBox::question(
        nullptr, QStringLiteral("KESTREL"),
        QStringLiteral("KESTREL читает таблицу сетевых соединений компьютера, чтобы найти сервер игры, "
                       "и измеряет пинг до него. Программа не изменяет файлы игры и не вмешивается в её работу.\n\n"
                       "Продолжить?"));
    if (answer != QMessageBox::Yes)
        return false;
    settings.setValue(QLatin1String(SettingsKeys::kSafetyAccepted), true);
    settings.sync();
    return true;
}

QString madeUpNickname()
{
    return QStringLiteral("Игрок_") + QUuid::createUuid().toString(QUuid::WithBraces).left(6);
}

bool ensureNickname()
{
    QSettings settings = openSettings();
    if (!settings.value(QLatin1String(SettingsKeys::kChatUserName)).toString().isEmpty())
        return true;

    bool ok = false;
    QString nickname = QInputDialog::getText(nullptr, QStringLiteral("KESTREL"), QStringLiteral("Ваш никнейм:"),
                                             QLineEdit::Normal, QString(), &ok)
                           .trimmed()
                           .left(30);
    if (!ok)
        return false;
    if (nickname.isEmpty())
        nickname = madeUpNickname();
    settings.setValue(QLatin1String(SettingsKeys::kChatUserName), nickname);
    settings.sync();
    return true;
}

void installTestAutoClose()
{
    bool ok = false;
    const int delay = qEnvironmentVariableIntValue("KESTREL_TEST_AUTOCLOSE_MS", &ok);
    if (!ok)
        return;
    auto *timer = new QTimer(qApp);
    timer->setInterval(qMax(10, delay));
    QObject::connect(timer, &QTimer::timeout, qApp, [] {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        qDebug().noquote() << "[STARTUP] Closing modal window:" << modal->windowTitle()
                           << modal->metaObject()->className();
        if (auto *dialog = qobject_cast<QDialog *>(modal))
            dialog->reject();
        else
            modal->close();
    });
    timer->start();
}

}  // namespace StartupDialogs
