#include "app/nicknamechange.h"
#include "app/settingskeys.h"
#include "overlay/autostart.h"
#include "overlay/minioverlaywidget.h"
#include "overlay/settingsdialog.h"
#include "overlay/settingstarget.h"
#include "ui/messagebox.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Behaves as the main window does towards the dialog: each setter applies, stores and
// saves at once; the HUD is hidden when it is switched off.
class FakeMainWindow : public QWidget, public SettingsTarget
{
public:
    FakeMainWindow()
    {
        QSettings s = openSettings();
        m_alwaysOnTop = s.value(QLatin1String(SettingsKeys::kAlwaysOnTop), true).toBool();
        m_opacity = s.value(QLatin1String(SettingsKeys::kWindowOpacity), 85).toInt();
        m_autoStart = s.value(QLatin1String(SettingsKeys::kAutoStart), false).toBool();
        m_miniEnabled = s.value(QLatin1String(SettingsKeys::kMiniOverlayEnabled), true).toBool();
        m_notifications = s.value(QLatin1String(SettingsKeys::kNotificationsEnabled), true).toBool();
        m_miniOpacity = s.value(QLatin1String(SettingsKeys::kMiniOverlayOpacity), 85).toInt();
        m_changeCount = NicknameChange::storedChangeCount();
    }

    bool alwaysOnTop() const override { return m_alwaysOnTop; }
    int windowOpacityPercent() const override { return m_opacity; }
    bool autoStart() const override { return m_autoStart; }
    bool miniOverlayEnabled() const override { return m_miniEnabled; }
    bool notificationsEnabled() const override { return m_notifications; }
    int miniOverlayOpacity() const override { return m_miniOpacity; }

    void setAlwaysOnTop(bool enabled) override
    {
        apply([&] { m_alwaysOnTop = enabled; });
    }
    void setWindowOpacityPercent(int percent) override
    {
        apply([&] {
            m_opacity = percent;
            setWindowOpacity(percent / 100.0);
        });
    }
    void setAutoStart(bool enabled) override
    {
        apply([&] {
            writeAutoStartEntry(enabled);
            m_autoStart = enabled;
        });
    }
    void setMiniOverlayEnabled(bool enabled) override
    {
        apply([&] {
            m_miniEnabled = enabled;
            if (!enabled && hud && hud->isVisible())
                hud->hide();
        });
    }
    void setNotificationsEnabled(bool enabled) override
    {
        apply([&] { m_notifications = enabled; });
    }
    void setMiniOverlayOpacity(int percent) override
    {
        apply([&] {
            m_miniOpacity = qBound(30, percent, 100);
            if (hud && hud->isVisible())
                hud->setOpacityPercent(m_miniOpacity);
        });
    }
    void saveSettings() override
    {
        ++saves;
        QSettings s = openSettings();
        s.setValue(QLatin1String(SettingsKeys::kAlwaysOnTop), m_alwaysOnTop);
        s.setValue(QLatin1String(SettingsKeys::kWindowOpacity), m_opacity);
        s.setValue(QLatin1String(SettingsKeys::kAutoStart), m_autoStart);
        s.setValue(QLatin1String(SettingsKeys::kMiniOverlayEnabled), m_miniEnabled);
        s.setValue(QLatin1String(SettingsKeys::kNotificationsEnabled), m_notifications);
        s.setValue(QLatin1String(SettingsKeys::kMiniOverlayOpacity), m_miniOpacity);
        s.sync();
    }
    bool changeNickname(const QString &nickname) override
    {
        if (!NicknameChange::apply(this, nickname, m_changeCount))
            return false;
        this->nickname = nickname;
        return true;
    }

    MiniOverlayWidget *hud = nullptr;
    int setterCalls = 0;
    int saves = 0;
    QString nickname;

private:
    template<typename F> void apply(F change)
    {
        ++setterCalls;
        change();
        saveSettings();
    }

    bool m_alwaysOnTop = true;
    int m_opacity = 85;
    bool m_autoStart = false;
    bool m_miniEnabled = true;
    bool m_notifications = true;
    int m_miniOpacity = 85;
    int m_changeCount = 0;
};

QVariantMap storeSnapshot()
{
    QSettings s = openSettings();
    QVariantMap map;
    for (const QString &key : s.allKeys())
        map.insert(key, s.value(key));
    return map;
}

int stored(const char *key)
{
    return openSettings().value(QLatin1String(key)).toInt();
}

} // namespace

class TestSettingsDialog : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QSettings s = openSettings();
        s.clear();
        s.sync();
        QFile::remove(AutoStart::desktopEntryPath());
        MessageBox::clearNextAnswers();
        MessageBox::resetRecord();
    }

    void sliderAppliesAtOnce()
    {
        FakeMainWindow window;
        window.show();
        SettingsDialog dialog(&window);
        dialog.show();
        QCOMPARE(dialog.opacitySlider()->value(), 85);
        dialog.opacitySlider()->setValue(30);
        QCOMPARE(stored(SettingsKeys::kWindowOpacity), 30);
        QCOMPARE(window.windowOpacityPercent(), 30);
        QCOMPARE(dialog.opacitySpin()->value(), 30);
        QVERIFY(dialog.isVisible());
    }

    void spinMovesSlider_data()
    {
        QTest::addColumn<bool>("miniHud");
        QTest::addColumn<int>("typed");
        QTest::newRow("main window") << false << 55;
        QTest::newRow("mini HUD") << true << 40;
    }

    void spinMovesSlider()
    {
        QFETCH(bool, miniHud);
        QFETCH(int, typed);
        FakeMainWindow window;
        SettingsDialog dialog(&window);
        dialog.show();
        QSpinBox *spin = miniHud ? dialog.miniOverlayOpacitySpin() : dialog.opacitySpin();
        QSlider *slider = miniHud ? dialog.miniOverlayOpacitySlider() : dialog.opacitySlider();
        spin->setFocus();
        spin->selectAll();
        QTest::keyClicks(spin, QString::number(typed));
        QCOMPARE(spin->value(), typed);
        QCOMPARE(slider->value(), typed);
        QCOMPARE(stored(miniHud ? SettingsKeys::kMiniOverlayOpacity : SettingsKeys::kWindowOpacity), typed);
    }

    void untickingHudHidesIt()
    {
        FakeMainWindow window;
        MiniOverlayWidget hud;
        window.hud = &hud;
        hud.show();
        SettingsDialog dialog(&window);
        dialog.show();
        QVERIFY(dialog.miniOverlayCheck()->isChecked());
        dialog.miniOverlayCheck()->click();
        QVERIFY(!hud.isVisible());
        QCOMPARE(openSettings().value(QLatin1String(SettingsKeys::kMiniOverlayEnabled)).toBool(), false);
    }

    void autostartCheckBox()
    {
        AutoStart::setExecutablePathForTesting(QStringLiteral("/opt/TORVAL Kestrel/KESTREL"));
        FakeMainWindow window;
        SettingsDialog dialog(&window);
        dialog.show();
        QVERIFY(!autoStartEntryExists());
        dialog.autoStartCheck()->click();
        QVERIFY(autoStartEntryExists());
        QFile entry(AutoStart::desktopEntryPath());
        QVERIFY(entry.open(QIODevice::ReadOnly));
        QVERIFY(entry.readAll().contains("\nExec=\"/opt/TORVAL Kestrel/KESTREL\"\n"));
        entry.close();
        QCOMPARE(openSettings().value(QLatin1String(SettingsKeys::kAutoStart)).toBool(), true);

        dialog.autoStartCheck()->click();
        QVERIFY(!autoStartEntryExists());
        QVERIFY(!QFile::exists(AutoStart::desktopEntryPath()));
        AutoStart::setExecutablePathForTesting(QString());
    }

    void openAndCloseChangesNothing_data()
    {
        QTest::addColumn<bool>("defaults");
        QTest::newRow("defaults") << true;
        QTest::newRow("everything changed") << false;
    }

    void openAndCloseChangesNothing()
    {
        QFETCH(bool, defaults);
        if (!defaults) {
            QSettings s = openSettings();
            s.setValue(QLatin1String(SettingsKeys::kAlwaysOnTop), false);
            s.setValue(QLatin1String(SettingsKeys::kWindowOpacity), 42);
            s.setValue(QLatin1String(SettingsKeys::kAutoStart), false);
            s.setValue(QLatin1String(SettingsKeys::kMiniOverlayEnabled), false);
            s.setValue(QLatin1String(SettingsKeys::kNotificationsEnabled), false);
            s.setValue(QLatin1String(SettingsKeys::kMiniOverlayOpacity), 64);
            s.setValue(QLatin1String(SettingsKeys::kChatUserName), QStringLiteral("Щука"));
            s.sync();
        }
        FakeMainWindow window;
        window.saveSettings();
        const QVariantMap before = storeSnapshot();
        window.saves = 0;

        SettingsDialog dialog(&window);
        dialog.show();
        QCOMPARE(dialog.alwaysOnTopCheck()->isChecked(), window.alwaysOnTop());
        QCOMPARE(dialog.opacitySpin()->value(), window.windowOpacityPercent());
        QCOMPARE(dialog.miniOverlayCheck()->isChecked(), window.miniOverlayEnabled());
        QCOMPARE(dialog.notificationsCheck()->isChecked(), window.notificationsEnabled());
        QCOMPARE(dialog.miniOverlayOpacitySpin()->value(), window.miniOverlayOpacity());
        QCOMPARE(dialog.nicknameEdit()->text(), defaults ? QString() : QStringLiteral("Щука"));
        QTest::keyClick(&dialog, Qt::Key_Escape);
        QVERIFY(!dialog.isVisible());

        QCOMPARE(window.setterCalls, 0);
        QCOMPARE(window.saves, 0);
        QCOMPARE(storeSnapshot(), before);
        QVERIFY(!autoStartEntryExists());
    }

    void applySavesAndCloses()
    {
        FakeMainWindow window;
        SettingsDialog dialog(&window);
        dialog.show();
        dialog.applyButton()->click();
        QCOMPARE(window.saves, 1);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
    }

    void withoutMainWindowNothingHappens()
    {
        SettingsDialog dialog;
        dialog.show();
        dialog.opacitySlider()->setValue(50);
        dialog.autoStartCheck()->click();
        QVERIFY(storeSnapshot().isEmpty());
        QVERIFY(!autoStartEntryExists());
    }

    void nickname_data()
    {
        QTest::addColumn<int>("usedBefore");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("titles");
        QTest::addColumn<QString>("firstText");
        QTest::addColumn<QString>("storedName");
        QTest::newRow("blank") << 0 << QStringLiteral("   ") << QStringList {QStringLiteral("Ошибка")}
                               << QStringLiteral("Ник не может быть пустым") << QStringLiteral("Старый");
        QTest::newRow("first change")
            << 0 << QStringLiteral("  Карась ")
            << QStringList {QStringLiteral("Ник изменён"), QStringLiteral("Успех")}
            << QStringLiteral("Ваш новый ник: Карась\nОсталось смен: 2") << QStringLiteral("Карась");
        QTest::newRow("third change")
            << 2 << QStringLiteral("Лещ")
            << QStringList {QStringLiteral("Ник изменён"), QStringLiteral("Успех")}
            << QStringLiteral("Ваш новый ник: Лещ\nОсталось смен: 0") << QStringLiteral("Лещ");
        QTest::newRow("fourth change")
            << 3 << QStringLiteral("Лещ") << QStringList {QStringLiteral("Лимит исчерпан")}
            << QStringLiteral("Вы можете сменить ник не более 3 раз.") << QStringLiteral("Старый");
    }

    void nickname()
    {
        QFETCH(int, usedBefore);
        QFETCH(QString, typed);
        QFETCH(QStringList, titles);
        QFETCH(QString, firstText);
        QFETCH(QString, storedName);
        {
            QSettings s = openSettings();
            s.setValue(QLatin1String(SettingsKeys::kChatUserName), QStringLiteral("Старый"));
            s.setValue(QLatin1String(SettingsKeys::kNicknameChangeCount), usedBefore);
            s.sync();
        }
        FakeMainWindow window;
        SettingsDialog dialog(&window);
        QCOMPARE(dialog.nicknameEdit()->text(), QStringLiteral("Старый"));
        dialog.nicknameEdit()->setText(typed);

        QStringList shownTitles;
        QString first;
        for (int i = 0; i < titles.size(); ++i)
            MessageBox::setNextAnswer(QMessageBox::Ok);
        const int before = MessageBox::shownCount();
        dialog.nicknameButton()->click();
        QCOMPARE(MessageBox::shownCount() - before, titles.size());
        QCOMPARE(MessageBox::lastShown().title, titles.last());
        if (titles.size() == 2)
            QCOMPARE(
                MessageBox::lastShown().text, QStringLiteral("Ник изменён!\nНовый ник: %1").arg(storedName));
        else
            QCOMPARE(MessageBox::lastShown().text, firstText);

        QCOMPARE(openSettings().value(QLatin1String(SettingsKeys::kChatUserName)).toString(), storedName);
        const bool changed = titles.size() == 2;
        QCOMPARE(NicknameChange::storedChangeCount(), usedBefore + (changed ? 1 : 0));
    }

    void changeMessageReportsRemaining()
    {
        int count = 0;
        for (int i = 1; i <= 4; ++i) {
            MessageBox::setNextAnswer(QMessageBox::Ok);
            const bool changed = NicknameChange::apply(nullptr, QStringLiteral("Ник%1").arg(i), count);
            QCOMPARE(changed, i <= 3);
            if (changed)
                QCOMPARE(MessageBox::lastShown().text,
                    QStringLiteral("Ваш новый ник: Ник%1\nОсталось смен: %2").arg(i).arg(3 - i));
        }
        QCOMPARE(MessageBox::lastShown().title, QStringLiteral("Лимит исчерпан"));
        QCOMPARE(MessageBox::lastShown().icon, QMessageBox::Warning);
        QCOMPARE(count, 3);
        QCOMPARE(openSettings().value(QLatin1String(SettingsKeys::kChatUserName)).toString(),
            QStringLiteral("Ник3"));
    }
};

QTEST_MAIN(TestSettingsDialog)
#include "tst_settingsdialog.moc"
