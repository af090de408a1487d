#include "overlay/autostart.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestAutoStart : public QObject
{
    Q_OBJECT

private slots:
    void cleanup()
    {
        writeAutoStartEntry(false);
        AutoStart::setExecutablePathForTesting(QString());
    }

    void execArgument_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("exec");
        // Expected values spelled as they appear in the file.
        QTest::newRow("plain") << "/opt/kestrel/KESTREL"
                               << "\"/opt/kestrel/KESTREL\"";
        QTest::newRow("blank") << "/opt/TORVAL Kestrel/KESTREL"
                               << "\"/opt/TORVAL Kestrel/KESTREL\"";
        QTest::newRow("dollar") << "/home/u/$HOME/KESTREL"
                                << "\"/home/u/\\\\$HOME/KESTREL\"";
        QTest::newRow("quote") << "/home/u/a\"b/KESTREL"
                               << "\"/home/u/a\\\\\"b/KESTREL\"";
        QTest::newRow("backtick") << "/home/u/a`b/KESTREL"
                                  << "\"/home/u/a\\\\`b/KESTREL\"";
        QTest::newRow("backslash") << "/home/u/a\\b/KESTREL"
                                   << "\"/home/u/a\\\\\\\\b/KESTREL\"";
        QTest::newRow("percent") << "/home/u/100%/KESTREL"
                                 << "\"/home/u/100%%/KESTREL\"";
        QTest::newRow("newline") << "/home/u/a\nb/KESTREL"
                                 << "\"/home/u/a\\nb/KESTREL\"";
        QTest::newRow("cyrillic") << "/home/u/Игры/KESTREL"
                                  << "\"/home/u/Игры/KESTREL\"";
    }

    void execArgument()
    {
        QFETCH(QString, program);
        QFETCH(QString, exec);
        QCOMPARE(AutoStart::desktopExecArgument(program), exec);
    }

    void entryFollowsSwitch()
    {
        const QString path = AutoStart::desktopEntryPath();
        QCOMPARE(path,
            qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/autostart/torval-kestrel.desktop"));
        QDir(QFileInfo(path).absolutePath()).removeRecursively(); // the folder is created when needed

        AutoStart::setExecutablePathForTesting(QStringLiteral("/opt/kestrel/KESTREL"));
        QVERIFY(!autoStartEntryExists());
        writeAutoStartEntry(true);
        QVERIFY(autoStartEntryExists());
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray text = file.readAll();
        QVERIFY(text.startsWith("[Desktop Entry]\n"));
        QVERIFY(text.contains("\nType=Application\n"));
        QVERIFY(text.contains("\nName=TORVAL Kestrel\n"));
        QVERIFY(text.contains("\nExec=\"/opt/kestrel/KESTREL\"\n"));
        file.close();

        writeAutoStartEntry(true); // rewriting is harmless
        QVERIFY(autoStartEntryExists());
        writeAutoStartEntry(false);
        QVERIFY(!autoStartEntryExists());
        QVERIFY(!QFile::exists(path));
        writeAutoStartEntry(false); // removing a missing entry is harmless
        QVERIFY(!autoStartEntryExists());
    }

    void hiddenEntryDoesNotCount()
    {
        const QString path = AutoStart::desktopEntryPath();
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[Desktop Entry]\nType=Application\nExec=/x\nHidden=true\n");
        file.close();
        QVERIFY(!autoStartEntryExists());
        writeAutoStartEntry(true);
        QVERIFY(autoStartEntryExists());
    }

    void configHomeFallback_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::newRow("unset") << QByteArray();
        QTest::newRow("relative") << QByteArray("relative/config");
    }

    void configHomeFallback()
    {
        QFETCH(QByteArray, value);
        const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
        if (value.isEmpty())
            qunsetenv("XDG_CONFIG_HOME");
        else
            qputenv("XDG_CONFIG_HOME", value);
        const QString path = AutoStart::desktopEntryPath();
        qputenv("XDG_CONFIG_HOME", saved);
        QCOMPARE(path, QDir::homePath() + QStringLiteral("/.config/autostart/torval-kestrel.desktop"));
    }
};

QTEST_GUILESS_MAIN(TestAutoStart)
#include "tst_autostart.moc"
