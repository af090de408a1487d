#pragma once

#include <QString>

class QWidget;

// The nickname change offered in the settings: at most three changes, ever.
namespace NicknameChange {

inline constexpr int kMaxChanges = 3;

// Applies a change for a window whose change count is changeCount. After three changes
// it refuses with "Лимит исчерпан" and changes nothing. Otherwise it writes
// "chatUserName" and the increased "nicknameChangeCount", updates changeCount and tells
// the player how many changes remain. True when the nickname was changed.
bool apply(QWidget *parent, const QString &nickname, int &changeCount);

// The count as stored ("nicknameChangeCount", 0 when absent).
int storedChangeCount();

} // namespace NicknameChange
