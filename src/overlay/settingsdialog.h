#pragma once

#include "ui/movabledialog.h"

class QCheckBox;
class QLineEdit;
class QPushButton;
class QSlider;
class QSpinBox;
class SettingsTarget;

// The settings window. Every control applies at once through the main window's setters
// (which save immediately); "Применить" saves once more and closes.
class SettingsDialog : public MovableDialog
{
    Q_OBJECT

public:
    // target: the window whose values are edited; by default the parent, when it is one.
    explicit SettingsDialog(QWidget *parent = nullptr, SettingsTarget *target = nullptr);

    QCheckBox *alwaysOnTopCheck() const { return m_alwaysOnTopCheck; }
    QSlider *opacitySlider() const { return m_opacitySlider; }
    QSpinBox *opacitySpin() const { return m_opacitySpin; }
    QCheckBox *autoStartCheck() const { return m_autoStartCheck; }
    QCheckBox *miniOverlayCheck() const { return m_miniOverlayCheck; }
    QSlider *miniOverlayOpacitySlider() const { return m_miniOverlayOpacitySlider; }
    QSpinBox *miniOverlayOpacitySpin() const { return m_miniOverlayOpacitySpin; }
    QLineEdit *nicknameEdit() const { return m_nicknameEdit; }
    QPushButton *nicknameButton() const { return m_nicknameButton; }

public slots:
    void onOpacityChanged(int value);
    void onAlwaysOnTopToggled(bool checked);
    void onAutoStartToggled(bool checked);
    void onMiniOverlayToggled(bool checked);
    void onNotificationsToggled(bool checked);
    void onMiniOverlayOpacityChanged(int value);
    void saveSettings();
    void loadSettings();

private:
    void buildUi();
    void onNicknameSaveClicked();

    SettingsTarget *m_target;
    QCheckBox *m_alwaysOnTopCheck = nullptr;
    QSlider *m_opacitySlider = nullptr;
    QSpinBox *m_opacitySpin = nullptr;
    QCheckBox *m_autoStartCheck = nullptr;
    QCheckBox *m_miniOverlayCheck = nullptr;
    QCheckBox *m_notificationsCheck = nullptr;
    QSlider *m_miniOverlayOpacitySlider = nullptr;
    QSpinBox *m_miniOverlayOpacitySpin = nullptr;
    QLineEdit *m_nicknameEdit = nullptr;
    QPushButton *m_nicknameButton = nullptr;
    QPushButton *m_applyButton = nullptr;
};
