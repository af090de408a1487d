#include "app/firstrun.h"

#include "app/nicknameinputdialog.h"
#include "app/safetydialog.h"
#include "core/settingskeys.h"
#include "app/startupdialogs.h"

#include <QDebug>

namespace FirstRun {

void recordSafetyAccepted()
{
    QSettings settings = openSettings();
    settings.setValue(QLatin1String(SettingsKeys::kSafetyAccepted), true);
    settings.sync();
}

bool ensureSafetyAccepted()
{
    if (openSettings().value(QLatin1String(SettingsKeys::kSafetyAccepted), false).toBool())
        return true;
    SafetyDialog dialog;
    if (dialog.exec() != QDialog::Accepted) {
        qDebug() << "[STARTUP] Safety declaration declined";
        return false;
    }
    recordSafetyAccepted();
    return true;
}

bool ensureNickname()
{
    if (!openSettings().value(QLatin1String(SettingsKeys::kChatUserName)).toString().isEmpty())
        return true;
    NicknameInputDialog dialog;
    if (dialog.exec() != QDialog::Accepted) {
        qDebug() << "[STARTUP] Nickname prompt declined";
        return false;
    }
    QString nickname = dialog.nickname();
    if (nickname.isEmpty())
        nickname = StartupDialogs::madeUpNickname();
    QSettings settings = openSettings();
    settings.setValue(QLatin1String(SettingsKeys::kChatUserName), nickname);
    settings.sync();
    return true;
}

} // namespace FirstRun
