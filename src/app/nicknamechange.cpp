#include "app/nicknamechange.h"

#include "core/settingskeys.h"
#include "ui/messagebox.h"

#include <QDebug>

namespace NicknameChange {

bool apply(QWidget *parent, const QString &nickname, int &changeCount)
{
    if (changeCount >= kMaxChanges) {
        MessageBox::warning(parent, QStringLiteral("Лимит исчерпан"),
            QStringLiteral("Вы можете сменить ник не более 3 раз."));
        return false;
    }
    QSettings settings = openSettings();
    settings.setValue(QLatin1String(SettingsKeys::kChatUserName), nickname);
    ++changeCount;
    settings.setValue(QLatin1String(SettingsKeys::kNicknameChangeCount), changeCount);
    settings.sync();
    qDebug() << "[NICKNAME] Changed, changes used:" << changeCount;
    MessageBox::information(parent, QStringLiteral("Ник изменён"),
        QStringLiteral("Ваш новый ник: %1\nОсталось смен: %2").arg(nickname).arg(kMaxChanges - changeCount));
    return true;
}

int storedChangeCount()
{
    return openSettings().value(QLatin1String(SettingsKeys::kNicknameChangeCount), 0).toInt();
}

} // namespace NicknameChange
