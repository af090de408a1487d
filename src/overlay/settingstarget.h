#pragma once

#include <QString>

// The window whose behaviour the settings dialog edits (the main window). Each setter
// applies the value at once and saves the window's settings.
class SettingsTarget
{
public:
    virtual ~SettingsTarget() = default;

    virtual bool alwaysOnTop() const = 0;
    virtual int windowOpacityPercent() const = 0;
    virtual bool autoStart() const = 0;
    virtual bool miniOverlayEnabled() const = 0;
    virtual bool notificationsEnabled() const = 0;
    virtual int miniOverlayOpacity() const = 0;

    virtual void setAlwaysOnTop(bool enabled) = 0;
    virtual void setWindowOpacityPercent(int percent) = 0;
    virtual void setAutoStart(bool enabled) = 0;
    virtual void setMiniOverlayEnabled(bool enabled) = 0;
    virtual void setNotificationsEnabled(bool enabled) = 0;
    virtual void setMiniOverlayOpacity(int percent) = 0;
    virtual void saveSettings() = 0;

    // Changes the game nickname (at most three times); true when it was changed.
    virtual bool changeNickname(const QString &nickname) = 0;

protected:
    SettingsTarget() = default;
    SettingsTarget(const SettingsTarget &) = default;
    SettingsTarget &operator=(const SettingsTarget &) = default;
};
