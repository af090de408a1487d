#include "updater/updaterhelper.h"
#include "updater/updaterprotocol.h"

#include <QtTest>

using namespace UpdaterProtocol;

class TestUpdaterProtocol : public QObject
{
    Q_OBJECT

private slots:
    void releaseTagAgainstCurrentVersion_data()
    {
        QTest::addColumn<QString>("tag");
        QTest::addColumn<QString>("current");
        QTest::addColumn<int>("latestCode");
        QTest::addColumn<bool>("offered");
        // clang-format off
        QTest::newRow("v1.6.4 vs 1.6.3") << "v1.6.4" << "1.6.3" << 10604 << true;
        QTest::newRow("same version") << "v1.6.3" << "1.6.3" << 10603 << false;
        QTest::newRow("V2.0 has two parts") << "V2.0" << "1.6.3" << 0 << false;
        QTest::newRow("1.6.3-beta") << "1.6.3-beta" << "1.6.2" << 0 << false;
        QTest::newRow("vivid-1.7.0") << "vivid-1.7.0" << "1.6.3" << 0 << false;
        QTest::newRow("fourth part ignored") << "v1.7.0.9" << "1.6.3" << 10700 << true;
        QTest::newRow("garbage current is 0") << "1.0.0" << "dev" << 10000 << true;
        // clang-format on
    }

    void releaseTagAgainstCurrentVersion()
    {
        QFETCH(QString, tag);
        QFETCH(QString, current);
        QFETCH(int, latestCode);
        QFETCH(bool, offered);
        const QString latest = versionFromTag(tag);
        QCOMPARE(versionCode(latest), latestCode);
        QCOMPARE(versionCode(current) < versionCode(latest), offered);
    }

    void checkOutput_data()
    {
        QTest::addColumn<QString>("output");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("version");
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("changelog");
        const int release = int(CheckOutput::Release);
        const int invalid = int(CheckOutput::Invalid);
        // clang-format off
        QTest::newRow("no releases") << "NO_RELEASES" << int(CheckOutput::NoReleases) << "" << "" << "";
        QTest::newRow("no asset") << "NO_DOWNLOAD_URL" << int(CheckOutput::NoDownloadUrl) << "" << "" << "";
        QTest::newRow("three-line body keeps the first line")
            << "VERSION:1.7.0\nURL:https://h/a.exe\nCHANGELOG:first line\nsecond line\nthird line"
            << release << "1.7.0" << "https://h/a.exe" << "first line";
        QTest::newRow("windows line ends") << "VERSION: 1.7.0 \r\nURL:https://h/a.exe\r\nCHANGELOG:fix\r"
            << release << "1.7.0" << "https://h/a.exe" << "fix";
        QTest::newRow("missing version") << "URL:https://h/a.exe\nCHANGELOG:x" << invalid << ""
            << "https://h/a.exe" << "x";
        QTest::newRow("missing url") << "VERSION:1.7.0\nCHANGELOG:x" << invalid << "1.7.0" << "" << "x";
        // clang-format on
    }

    void checkOutput()
    {
        QFETCH(QString, output);
        QFETCH(int, kind);
        QFETCH(QString, version);
        QFETCH(QString, url);
        QFETCH(QString, changelog);
        const CheckOutput result = parseCheckOutput(output.trimmed());
        QCOMPARE(int(result.kind), kind);
        QCOMPARE(result.version, version);
        QCOMPARE(result.url, url);
        QCOMPARE(result.changelog, changelog);
    }

    void changelogLimit()
    {
        QString text;
        for (int i = 0; i < 501; ++i)
            text += QChar(u'а' + i % 20);
        QCOMPARE(truncateChangelog(text.left(500)), text.left(500));
        QCOMPARE(truncateChangelog(text), text.left(500) + QStringLiteral("..."));
    }

    // The version names a file next to the program; the address is handed to a downloader.
    void hostileReleaseDataRefused()
    {
        QVERIFY(isSafeVersion(QStringLiteral("1.7.0-rc_2")));
        for (const char *version : {"../../x", "1.7\\..\\0", "C:1.7", "1.7'0", ""})
            QVERIFY2(!isSafeVersion(QString::fromUtf8(version)), version);
        QVERIFY(isAcceptableDownloadUrl(QStringLiteral("http://127.0.0.1:8080/a")));
        for (const char *url : {"file:///etc/passwd", "\\\\server\\share\\x.exe", "https:///x", "ftp://h/x"})
            QVERIFY2(!isAcceptableDownloadUrl(QString::fromUtf8(url)), url);
    }

    void scriptsCarryQuotedData()
    {
        QCOMPARE(powerShellQuote(QStringLiteral("https://h/a'; Remove-Item C:\\ #")),
            QStringLiteral("'https://h/a''; Remove-Item C:\\ #'"));
        QCOMPARE(powerShellQuote(QStringLiteral("\u2018$env:x `n\u201B")),
            QStringLiteral("'\u2018\u2018$env:x `n\u201B\u201B'"));
        const QString check = checkScript(QStringLiteral("https://api.example/repos/o'x/r/releases"));
        QVERIFY(check.contains(QLatin1String("-Uri 'https://api.example/repos/o''x/r/releases'")));
        // One substitution pass: "%1"/"%2" inside the address stay as they are.
        const QString download = downloadScript(
            QStringLiteral("https://h/%2'%1.exe"), QStringLiteral("C:\\O'Neil\\TORVAL_UPDATE_1.7.0.exe"));
        QVERIFY(download.contains(QLatin1String("$url = 'https://h/%2''%1.exe'\n")));
        QVERIFY(download.contains(QLatin1String("$output = 'C:\\O''Neil\\TORVAL_UPDATE_1.7.0.exe'\n")));
        // Windows PowerShell drops double quotes from its command line.
        QVERIFY(!check.contains(QLatin1Char('"')) && !download.contains(QLatin1Char('"')));
    }
};

QTEST_GUILESS_MAIN(TestUpdaterProtocol)
#include "tst_updaterprotocol.moc"
