#include "overlay/autostart.h"

#include <QtTest>

class TestAutoStart : public QObject
{
    Q_OBJECT

private slots:
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

QTEST_GUILESS_MAIN(TestAutoStart)
#include "tst_autostart.moc"
