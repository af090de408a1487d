// The settings dialog on the real main window, and the autostart entry it writes.

#include "app/pingmonitorwidget.h"
#include "core/settingskeys.h"
#include "monitor/connectionmonitor.h"
#include "overlay/autostart.h"
#include "overlay/minioverlaywidget.h"
#include "overlay/settingsdialog.h"
#include "ui/messagebox.h"

#include <QtTest>
#include <QtWidgets>

using namespace SettingsKeys;

namespace {

QVariant stored(const char *key)
{
    return openSettings().value(QLatin1String(key));
}

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

    QTemporaryDir m_records;

    std::unique_ptr<PingMonitorWidget> window()
    {
        auto window = std::make_unique<PingMonitorWidget>(nullptr, m_records.path());
        window->monitor()->stop();
        return window;
    }

private slots:
    void init()
    {
        openSettings().clear();
        QFile::remove(AutoStart::desktopEntryPath());
        MessageBox::clearNextAnswers();
        MessageBox::resetRecord();
    }

    // Opened from the mini HUD while the window is hidden, every control applies at once.
    void controlsApplyAtOnce()
    {
        const auto main = window();
        main->toggleWindowVisibility();
        QVERIFY(main->isMiniHudShown());
        SettingsDialog dialog(main.get());
        dialog.show();

        dialog.opacitySlider()->setValue(30);
        QCOMPARE(stored(kWindowOpacity).toInt(), 30);
        QCOMPARE(dialog.opacitySpin()->value(), 30);
        QVERIFY(qAbs(main->windowOpacity() - 0.30) < 0.01);
        dialog.opacitySpin()->setValue(55);
        QCOMPARE(dialog.opacitySlider()->value(), 55);
        QCOMPARE(stored(kWindowOpacity).toInt(), 55);

        dialog.miniOverlayOpacitySlider()->setValue(40);
        QCOMPARE(main->miniHud()->opacity(), 0.40);
        QCOMPARE(stored(kMiniOverlayOpacity).toInt(), 40);
        dialog.miniOverlayCheck()->click();
        QVERIFY(!main->miniHud()->isVisible());
        QVERIFY(!main->isMiniHudShown());
        QCOMPARE(stored(kMiniOverlayEnabled).toBool(), false);

        dialog.autoStartCheck()->click();
        QVERIFY(autoStartEntryExists() && stored(kAutoStart).toBool());
        dialog.autoStartCheck()->click();
        QVERIFY(!autoStartEntryExists() && !stored(kAutoStart).toBool());
        QVERIFY(dialog.isVisible());
    }

    // Checked with the defaults and with every setting changed from them (the opacity below
    // the sliders' range, which a control set while filling would clamp).
    void openAndCloseChangesNothing()
    {
        for (const bool defaults : {true, false}) {
            const std::pair<const char *, QVariant> changed[] {{kAlwaysOnTop, false}, {kWindowOpacity, 20},
                {kMiniOverlayEnabled, false}, {kNotificationsEnabled, false}, {kMiniOverlayOpacity, 64},
                {kChatUserName, QStringLiteral("Щука")}};
            for (const auto &[key, value] : changed) {
                if (!defaults)
                    openSettings().setValue(QLatin1String(key), value);
            }
            const auto main = window();
            const QVariantMap before = storeSnapshot();
            const Qt::WindowFlags flags = main->windowFlags();
            QSignalSpy opacity(main.get(), &PingMonitorWidget::opacityChanged);
            SettingsDialog dialog(main.get());
            dialog.show();
            QCOMPARE(dialog.alwaysOnTopCheck()->isChecked(), defaults);
            QCOMPARE(dialog.miniOverlayOpacitySpin()->value(), defaults ? 85 : 64);
            QCOMPARE(dialog.nicknameEdit()->text(), main->nickname());
            QTest::keyClick(&dialog, Qt::Key_Escape);
            QVERIFY(!dialog.isVisible());
            QCOMPARE(storeSnapshot(), before);
            QCOMPARE(main->windowFlags(), flags);
            QCOMPARE(opacity.count(), 0);
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
        const auto main = window();
        SettingsDialog dialog(main.get());
        dialog.nicknameEdit()->setText(typed);
        MessageBox::setNextAnswer(QMessageBox::Ok);
        MessageBox::setNextAnswer(QMessageBox::Ok);
        dialog.nicknameButton()->click();
        QCOMPARE(MessageBox::lastShown().title, title);
        QCOMPARE(MessageBox::lastShown().text, text);
        QCOMPARE(stored(kChatUserName).toString(), storedName);
        QCOMPARE(main->nickname(), storedName);
        QCOMPARE(stored(kNicknameChangeCount).toInt(), usedBefore + (storedName == typed.trimmed() ? 1 : 0));
    }

    // The autostart entry names the program however odd its path.
    void execArgument_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("exec"); // as it appears in the file
        // clang-format off
        QTest::newRow("blank") << "/opt/TORVAL Kestrel/KESTREL" << "\"/opt/TORVAL Kestrel/KESTREL\"";
        QTest::newRow("dollar") << "/home/u/$HOME/KESTREL" << "\"/home/u/\\\\$HOME/KESTREL\"";
        QTest::newRow("quote") << "/home/u/a\"b/KESTREL" << "\"/home/u/a\\\\\"b/KESTREL\"";
        QTest::newRow("backtick") << "/home/u/a`b/KESTREL" << "\"/home/u/a\\\\`b/KESTREL\"";
        QTest::newRow("backslash") << "/home/u/a\\b/KESTREL" << "\"/home/u/a\\\\\\\\b/KESTREL\"";
        QTest::newRow("percent") << "/home/u/100%/KESTREL" << "\"/home/u/100%%/KESTREL\"";
        QTest::newRow("newline") << "/home/u/a\nb/KESTREL" << "\"/home/u/a\\nb/KESTREL\"";
        // clang-format on
    }

    void execArgument()
    {
        QFETCH(QString, program);
        QFETCH(QString, exec);
        QCOMPARE(AutoStart::desktopExecArgument(program), exec);
    }
};

QTEST_MAIN(TestSettingsDialog)
#include "tst_settingsdialog.moc"
