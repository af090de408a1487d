#include "app/nicknamechange.h"
#include "core/settingskeys.h"
#include "overlay/autostart.h"
#include "overlay/minioverlaywidget.h"
#include "overlay/settingsdialog.h"
#include "overlay/settingstarget.h"
#include "ui/messagebox.h"

#include <QtTest>
#include <QtWidgets>

using namespace SettingsKeys;

namespace {

QVariant stored(const char *key, const QVariant &fallback = {})
{
    return openSettings().value(QLatin1String(key), fallback);
}

// Behaves as the main window towards the dialog: setters store at once; unticking hides the HUD.
class FakeMainWindow : public QWidget, public SettingsTarget
{
public:
    bool alwaysOnTop() const override { return stored(kAlwaysOnTop, true).toBool(); }
    int windowOpacityPercent() const override { return stored(kWindowOpacity, 85).toInt(); }
    bool autoStart() const override { return stored(kAutoStart, false).toBool(); }
    bool miniOverlayEnabled() const override { return stored(kMiniOverlayEnabled, true).toBool(); }
    bool notificationsEnabled() const override { return stored(kNotificationsEnabled, true).toBool(); }
    int miniOverlayOpacity() const override { return stored(kMiniOverlayOpacity, 85).toInt(); }

    void setAlwaysOnTop(bool enabled) override { set(kAlwaysOnTop, enabled); }
    void setWindowOpacityPercent(int percent) override { set(kWindowOpacity, percent); }
    void setAutoStart(bool enabled) override
    {
        writeAutoStartEntry(enabled);
        set(kAutoStart, enabled);
    }
    void setMiniOverlayEnabled(bool enabled) override
    {
        set(kMiniOverlayEnabled, enabled);
        if (!enabled && hud)
            hud->hide();
    }
    void setNotificationsEnabled(bool enabled) override { set(kNotificationsEnabled, enabled); }
    void setMiniOverlayOpacity(int percent) override { set(kMiniOverlayOpacity, percent); }
    void saveSettings() override { ++calls; }
    bool changeNickname(const QString &nickname) override
    {
        int count = NicknameChange::storedChangeCount();
        return NicknameChange::apply(this, nickname, count);
    }

    MiniOverlayWidget *hud = nullptr;
    int calls = 0;

private:
    void set(const char *key, const QVariant &value)
    {
        ++calls;
        openSettings().setValue(QLatin1String(key), value);
    }
};

QVariantMap storeSnapshot()
{
    QSettings s = openSettings();
    QVariantMap map;
    for (const QString &key : s.allKeys())
        map.insert(key, s.value(key));
    return map;
}

} // namespace

class TestSettingsDialog : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        openSettings().clear();
        QFile::remove(AutoStart::desktopEntryPath());
        MessageBox::clearNextAnswers();
        MessageBox::resetRecord();
    }

    void controlsApplyAtOnce()
    {
        AutoStart::setExecutablePathForTesting(QStringLiteral("/opt/TORVAL Kestrel/KESTREL"));
        FakeMainWindow window;
        MiniOverlayWidget hud;
        window.hud = &hud;
        hud.show();
        SettingsDialog dialog(&window);
        dialog.show();
        dialog.opacitySlider()->setValue(30);
        QCOMPARE(stored(kWindowOpacity).toInt(), 30);
        QCOMPARE(dialog.opacitySpin()->value(), 30);
        dialog.opacitySpin()->setFocus();
        dialog.opacitySpin()->selectAll();
        QTest::keyClicks(dialog.opacitySpin(), QStringLiteral("55"));
        QCOMPARE(dialog.opacitySlider()->value(), 55);
        QCOMPARE(stored(kWindowOpacity).toInt(), 55);

        dialog.miniOverlayCheck()->click();
        QVERIFY(!hud.isVisible());
        QCOMPARE(stored(kMiniOverlayEnabled).toBool(), false);
        dialog.autoStartCheck()->click();
        QFile entry(AutoStart::desktopEntryPath());
        QVERIFY(entry.open(QIODevice::ReadOnly));
        QVERIFY(entry.readAll().contains("\nExec=\"/opt/TORVAL Kestrel/KESTREL\"\n"));
        QCOMPARE(stored(kAutoStart).toBool(), true);
        dialog.autoStartCheck()->click();
        QVERIFY(!QFile::exists(AutoStart::desktopEntryPath()));
        QVERIFY(dialog.isVisible());
        AutoStart::setExecutablePathForTesting(QString());
    }

    // Checked with the defaults and with every setting changed from them.
    void openAndCloseChangesNothing()
    {
        for (const bool defaults : {true, false}) {
            if (!defaults) {
                QSettings s = openSettings();
                s.setValue(QLatin1String(kAlwaysOnTop), false);
                s.setValue(QLatin1String(kWindowOpacity), 42);
                s.setValue(QLatin1String(kMiniOverlayEnabled), false);
                s.setValue(QLatin1String(kNotificationsEnabled), false);
                s.setValue(QLatin1String(kMiniOverlayOpacity), 64);
                s.setValue(QLatin1String(kChatUserName), QStringLiteral("Щука"));
            }
            const QVariantMap before = storeSnapshot();
            FakeMainWindow window;
            SettingsDialog dialog(&window);
            dialog.show();
            QCOMPARE(dialog.opacitySpin()->value(), window.windowOpacityPercent());
            QCOMPARE(dialog.miniOverlayOpacitySpin()->value(), window.miniOverlayOpacity());
            QCOMPARE(dialog.nicknameEdit()->text(), defaults ? QString() : QStringLiteral("Щука"));
            QTest::keyClick(&dialog, Qt::Key_Escape);
            QVERIFY(!dialog.isVisible());
            QCOMPARE(window.calls, 0);
            QCOMPARE(storeSnapshot(), before);
            QVERIFY(!autoStartEntryExists());
        }
    }

    void nickname_data()
    {
        QTest::addColumn<int>("usedBefore");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("storedName");
        // clang-format off
        QTest::newRow("blank") << 0 << "   " << "Ошибка" << "Ник не может быть пустым" << "Старый";
        QTest::newRow("third change, trimmed") << 2 << " Лещ " << "Успех" << "Ник изменён!\nНовый ник: Лещ" << "Лещ";
        QTest::newRow("fourth change") << 3 << "Лещ" << "Лимит исчерпан" << "Вы можете сменить ник не более 3 раз."
                                       << "Старый";
        // clang-format on
    }

    void nickname()
    {
        QFETCH(int, usedBefore);
        QFETCH(QString, typed);
        QFETCH(QString, title);
        QFETCH(QString, text);
        QFETCH(QString, storedName);
        openSettings().setValue(QLatin1String(kChatUserName), QStringLiteral("Старый"));
        openSettings().setValue(QLatin1String(kNicknameChangeCount), usedBefore);
        FakeMainWindow window;
        SettingsDialog dialog(&window);
        dialog.nicknameEdit()->setText(typed);
        MessageBox::setNextAnswer(QMessageBox::Ok);
        MessageBox::setNextAnswer(QMessageBox::Ok);
        dialog.nicknameButton()->click();
        QCOMPARE(MessageBox::lastShown().title, title);
        QCOMPARE(MessageBox::lastShown().text, text);
        QCOMPARE(stored(kChatUserName).toString(), storedName);
        QCOMPARE(NicknameChange::storedChangeCount(), usedBefore + (storedName == typed.trimmed() ? 1 : 0));
    }
};

QTEST_MAIN(TestSettingsDialog)
#include "tst_settingsdialog.moc"
