#include "updater/updaterhelper.h"
#include "updater/updaterprotocol.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QtTest>

using namespace UpdaterProtocol;

class TestUpdaterProtocol : public QObject
{
    Q_OBJECT

private slots:
    void releaseTagAgainstCurrentVersion_data();
    void releaseTagAgainstCurrentVersion();
    void checkOutput_data();
    void checkOutput();
    void changelogLimit_data();
    void changelogLimit();
    void failureMessage();
    void fileNameVersion_data();
    void fileNameVersion();
    void downloadUrl_data();
    void downloadUrl();
    void powerShellQuote_data();
    void powerShellQuote();
    void scriptsCarryQuotedData();
    void downloadLines_data();
    void downloadLines();
    void assetChoice_data();
    void assetChoice();
    void helperListing_data();
    void helperListing();
    void commandLine_data();
    void commandLine();
    void instanceKeys();
};

void TestUpdaterProtocol::releaseTagAgainstCurrentVersion_data()
{
    QTest::addColumn<QString>("tag");
    QTest::addColumn<QString>("current");
    QTest::addColumn<int>("latestCode");
    QTest::addColumn<bool>("offered");

    QTest::newRow("v1.6.4 vs 1.6.3") << "v1.6.4"
                                     << "1.6.3" << 10604 << true;
    QTest::newRow("same version") << "v1.6.3"
                                  << "1.6.3" << 10603 << false;
    QTest::newRow("older release") << "1.6.2"
                                   << "1.6.3" << 10602 << false;
    QTest::newRow("V2.0 has two parts") << "V2.0"
                                        << "1.6.3" << 0 << false;
    QTest::newRow("1.6.3-beta") << "1.6.3-beta"
                                << "1.6.2" << 0 << false;
    QTest::newRow("vivid-1.7.0") << "vivid-1.7.0"
                                 << "1.6.3" << 0 << false;
    QTest::newRow("fourth part ignored") << "v1.7.0.9"
                                         << "1.6.3" << 10700 << true;
    QTest::newRow("minor above 99 overflows") << "1.100.0"
                                              << "2.0.0" << 20000 << false;
    QTest::newRow("empty part") << "1..3"
                                << "1.0.0" << 0 << false;
    QTest::newRow("garbage current is 0") << "1.0.0"
                                          << "dev" << 10000 << true;
}

void TestUpdaterProtocol::releaseTagAgainstCurrentVersion()
{
    QFETCH(QString, tag);
    QFETCH(QString, current);
    QFETCH(int, latestCode);
    QFETCH(bool, offered);
    const QString latest = versionFromTag(tag);
    QVERIFY(!latest.contains(QLatin1Char('v'), Qt::CaseInsensitive));
    QCOMPARE(versionCode(latest), latestCode);
    QCOMPARE(versionCode(current) < versionCode(latest), offered);
}

void TestUpdaterProtocol::checkOutput_data()
{
    QTest::addColumn<QString>("output");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("changelog");

    QTest::newRow("no releases") << "NO_RELEASES" << int(CheckOutput::NoReleases) << ""
                                 << ""
                                 << "";
    QTest::newRow("no asset") << "NO_DOWNLOAD_URL" << int(CheckOutput::NoDownloadUrl) << ""
                              << ""
                              << "";
    QTest::newRow("three-line body keeps the first line")
        << "VERSION:1.7.0\nURL:https://h/a.exe\nCHANGELOG:first line\nsecond line\nthird line"
        << int(CheckOutput::Release) << "1.7.0"
        << "https://h/a.exe"
        << "first line";
    QTest::newRow("windows line ends")
        << "VERSION: 1.7.0 \r\nURL:https://h/a.exe\r\nCHANGELOG:fix\r" << int(CheckOutput::Release) << "1.7.0"
        << "https://h/a.exe"
        << "fix";
    QTest::newRow("later line wins") << "VERSION:1.7.0\nURL:https://h/a\nVERSION:1.8.0"
                                     << int(CheckOutput::Release) << "1.8.0"
                                     << "https://h/a"
                                     << "";
    QTest::newRow("missing version") << "URL:https://h/a.exe\nCHANGELOG:x" << int(CheckOutput::Invalid) << ""
                                     << "https://h/a.exe"
                                     << "x";
    QTest::newRow("missing url") << "VERSION:1.7.0\nCHANGELOG:x" << int(CheckOutput::Invalid) << "1.7.0"
                                 << ""
                                 << "x";
    QTest::newRow("empty version value") << "VERSION:   \nURL:https://h/a" << int(CheckOutput::Invalid) << ""
                                         << "https://h/a"
                                         << "";
    QTest::newRow("prefixes are case-sensitive")
        << "version:1.7.0\nurl:https://h/a" << int(CheckOutput::Invalid) << ""
        << ""
        << "";
    QTest::newRow("NO_RELEASES inside other output")
        << "NO_RELEASES\nVERSION:1" << int(CheckOutput::Invalid) << "1"
        << ""
        << "";
}

void TestUpdaterProtocol::checkOutput()
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

void TestUpdaterProtocol::changelogLimit_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("expectedLength");
    QTest::newRow("500 kept") << 500 << 500;
    QTest::newRow("501 cut") << 501 << 503;
    QTest::newRow("empty") << 0 << 0;
}

void TestUpdaterProtocol::changelogLimit()
{
    QFETCH(int, length);
    QFETCH(int, expectedLength);
    QString text;
    for (int i = 0; i < length; ++i)
        text += QChar(u'а' + i % 20);
    const QString result = truncateChangelog(text);
    QCOMPARE(result.size(), expectedLength);
    if (length > 500) {
        QVERIFY(result.endsWith(QLatin1String("...")));
        QCOMPARE(result.left(500), text.left(500));
    } else {
        QCOMPARE(result, text);
    }
}

void TestUpdaterProtocol::failureMessage()
{
    QCOMPARE(checkFailureMessage(QStringLiteral("ERROR:The remote name could not be resolved\r\n")),
        QStringLiteral("The remote name could not be resolved\r\n"));
    QCOMPARE(checkFailureMessage(QStringLiteral("crash dump")), QStringLiteral("crash dump"));
    QCOMPARE(checkFailureMessage(QStringLiteral("error:lower")), QStringLiteral("error:lower"));
}

void TestUpdaterProtocol::fileNameVersion_data()
{
    QTest::addColumn<QString>("version");
    QTest::addColumn<bool>("safe");
    QTest::newRow("plain") << "1.7.0" << true;
    QTest::newRow("suffix") << "1.7.0-rc_2" << true;
    QTest::newRow("parent folders") << "../../x" << false;
    QTest::newRow("slash") << "1.7/0" << false;
    QTest::newRow("backslash") << "1.7\\..\\0" << false;
    QTest::newRow("drive") << "C:1.7" << false;
    QTest::newRow("space") << "1.7 0" << false;
    QTest::newRow("quote") << "1.7'0" << false;
    QTest::newRow("non-latin letters") << "1.7.0-бета" << false;
    QTest::newRow("empty") << "" << false;
}

void TestUpdaterProtocol::fileNameVersion()
{
    QFETCH(QString, version);
    QFETCH(bool, safe);
    QCOMPARE(isSafeVersion(version), safe);
}

void TestUpdaterProtocol::downloadUrl_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("https") << "https://github.com/o/r/releases/download/v1/KESTREL.exe" << true;
    QTest::newRow("http with port") << "http://127.0.0.1:8080/a" << true;
    QTest::newRow("quote inside") << "https://h/it's.exe" << true;
    QTest::newRow("local file") << "file:///etc/passwd" << false;
    QTest::newRow("unc share") << "\\\\server\\share\\x.exe" << false;
    QTest::newRow("no host") << "https:///x" << false;
    QTest::newRow("ftp") << "ftp://h/x" << false;
    QTest::newRow("empty") << "" << false;
}

void TestUpdaterProtocol::downloadUrl()
{
    QFETCH(QString, url);
    QFETCH(bool, accepted);
    QCOMPARE(isAcceptableDownloadUrl(url), accepted);
}

void TestUpdaterProtocol::powerShellQuote_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("quoted");
    QTest::newRow("plain") << "https://h/a.exe"
                           << "'https://h/a.exe'";
    QTest::newRow("apostrophe") << "https://h/a'; Remove-Item C:\\ #"
                                << "'https://h/a''; Remove-Item C:\\ #'";
    QTest::newRow("typographic quotes")
        << QStringLiteral("a\u2018b\u2019c\u201Ad\u201Be")
        << QStringLiteral("'a\u2018\u2018b\u2019\u2019c\u201A\u201Ad\u201B\u201Be'");
    QTest::newRow("dollar and backtick stay literal") << "$env:x `n"
                                                      << "'$env:x `n'";
    QTest::newRow("empty") << ""
                           << "''";
}

void TestUpdaterProtocol::powerShellQuote()
{
    QFETCH(QString, text);
    QFETCH(QString, quoted);
    QCOMPARE(UpdaterProtocol::powerShellQuote(text), quoted);
}

void TestUpdaterProtocol::scriptsCarryQuotedData()
{
    const QString check = checkScript(QStringLiteral("https://api.example/repos/o'x/r/releases"));
    QVERIFY(check.contains(QLatin1String("Invoke-RestMethod -Uri 'https://api.example/repos/o''x/r/releases' "
                                         "-Headers @{'User-Agent'='TORVAL-Updater/1.0'}")));
    QVERIFY(check.contains(QLatin1String("$ErrorActionPreference = 'Stop'")));

    const QString download = downloadScript(QStringLiteral("https://h/%2'%1.exe"),
        QStringLiteral("C:\\Games\\O'Neil [x]\\TORVAL_UPDATE_1.7.0.exe"));
    // One substitution pass: "%1"/"%2" inside the address stay as they are.
    QVERIFY(download.contains(QLatin1String("$url = 'https://h/%2''%1.exe'\n")));
    QVERIFY(
        download.contains(QLatin1String("$output = 'C:\\Games\\O''Neil [x]\\TORVAL_UPDATE_1.7.0.exe'\n")));
    QVERIFY(download.contains(QLatin1String("DownloadFile($url, $output)")));

    // Windows PowerShell drops double quotes from its command line.
    QVERIFY(!check.contains(QLatin1Char('"')));
    QVERIFY(!download.contains(QLatin1Char('"')));
}

void TestUpdaterProtocol::downloadLines_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("kind");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<QString>("message");
    QTest::newRow("complete") << "DOWNLOAD_COMPLETE:5242880" << int(DownloadLine::Complete) << qint64(5242880)
                              << "";
    QTest::newRow("above 4 GiB") << "DOWNLOAD_COMPLETE:5000000000" << int(DownloadLine::Complete)
                                 << qint64(5000000000) << "";
    QTest::newRow("empty file") << "ERROR:File is empty" << int(DownloadLine::Error) << qint64(0)
                                << "File is empty";
    QTest::newRow("other") << "Progress 10%" << int(DownloadLine::Other) << qint64(0) << "";
}

void TestUpdaterProtocol::downloadLines()
{
    QFETCH(QString, line);
    QFETCH(int, kind);
    QFETCH(qint64, size);
    QFETCH(QString, message);
    const DownloadLine parsed = parseDownloadLine(line);
    QCOMPARE(int(parsed.kind), kind);
    QCOMPARE(parsed.size, size);
    QCOMPARE(parsed.message, message);
}

void TestUpdaterProtocol::assetChoice_data()
{
    QTest::addColumn<QByteArray>("assets");
    QTest::addColumn<bool>("preferLinux");
    QTest::addColumn<QString>("url");

    const QByteArray mixed = R"([{"name":"notes.txt","browser_download_url":"u0"},
        {"name":"KESTREL-linux-x86_64.exe","browser_download_url":"u1"},
        {"name":"KESTREL-Linux-x86_64","browser_download_url":"u2"},
        {"name":"KESTREL.EXE","browser_download_url":"u3"}])";
    QTest::newRow("windows takes first .exe") << mixed << false << "u1";
    QTest::newRow("linux build, not an .exe") << mixed << true << "u2";
    const QByteArray windowsOnly = R"([{"name":"readme","browser_download_url":"u0"},
        {"name":"torval-port-tool.zip","browser_download_url":"u1"}])";
    QTest::newRow("name contains TORVAL") << windowsOnly << false << "u1";
    QTest::newRow("linux falls back to windows rule") << windowsOnly << true << "u1";
    QTest::newRow("nothing matches: first asset") << QByteArray(
        R"([{"name":"a.zip","browser_download_url":"u0"},{"name":"b","browser_download_url":"u1"}])")
                                                  << false << "u0";
    QTest::newRow("no assets") << QByteArray("[]") << true << "";
}

void TestUpdaterProtocol::assetChoice()
{
    QFETCH(QByteArray, assets);
    QFETCH(bool, preferLinux);
    QFETCH(QString, url);
    QCOMPARE(chooseAssetUrl(QJsonDocument::fromJson(assets).array(), preferLinux), url);
}

void TestUpdaterProtocol::helperListing_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("output");
    QTest::addColumn<int>("exitCode");

    QTest::newRow("empty list") << QByteArray("[]") << "NO_RELEASES" << 0;
    QTest::newRow("newest first, v removed, body kept whole") << QByteArray(
        R"([{"tag_name":"v1.7.0","body":"a\nb","assets":[{"name":"KESTREL.exe","browser_download_url":"https://h/1"}]},
                          {"tag_name":"v1.6.0","body":"","assets":[]}])")
                                                              << "VERSION:1.7.0\nURL:https://h/"
                                                                 "1\nCHANGELOG:a\nb"
                                                              << 0;
    QTest::newRow("no asset") << QByteArray(R"([{"tag_name":"v1.7.0","assets":[]}])") << "NO_DOWNLOAD_URL"
                              << 0;
    QTest::newRow("not JSON") << QByteArray("<html>") << "ERROR:" << 1;
    QTest::newRow("not a list") << QByteArray("42") << "ERROR:" << 1;
}

void TestUpdaterProtocol::helperListing()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, output);
    QFETCH(int, exitCode);
    int code = -1;
    const QString result = UpdaterHelper::checkOutputForListing(json, &code);
    QCOMPARE(code, exitCode);
    if (exitCode == 0)
        QCOMPARE(result, output);
    else
        QVERIFY2(result.startsWith(output), qPrintable(result));
}

static QStringList args(std::initializer_list<const char *> items)
{
    QStringList list;
    for (const char *item : items)
        list << QString::fromUtf8(item);
    return list;
}

void TestUpdaterProtocol::commandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("appPath");
    QTest::addColumn<QString>("version");
    QTest::addColumn<bool>("silent");

    QTest::newRow("from the launcher")
        << args({"/bin/u", "--app-path", "/opt/k/KESTREL", "--current-version", "1.6.3", "--silent"})
        << "/opt/k/KESTREL"
        << "1.6.3" << true;
    QTest::newRow("show-dialog overrides silent") << args({"--silent", "--show-dialog"}) << ""
                                                  << "1.5.2" << false;
    QTest::newRow("version without value") << args({"--app-path", "/a", "--current-version"}) << "/a"
                                           << "1.5.2" << false;
    QTest::newRow("later occurrence wins") << args({"--app-path", "/a", "--app-path", "/b"}) << "/b"
                                           << "1.5.2" << false;
    QTest::newRow("flags match whole arguments only") << args({"--SILENT", "--silently"}) << ""
                                                      << "1.5.2" << false;
}

void TestUpdaterProtocol::commandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, appPath);
    QFETCH(QString, version);
    QFETCH(bool, silent);
    const Options options = parseArguments(arguments);
    QCOMPARE(options.appPath, appPath);
    QCOMPARE(options.currentVersion, version);
    QCOMPARE(options.effectiveSilent(), silent);
}

void TestUpdaterProtocol::instanceKeys()
{
    QCOMPARE(instanceKey(QStringLiteral("C:\\Program Files/KESTREL\\TORVAL_Updater.exe")),
        QStringLiteral("TORVAL_Updater_C__Program Files_KESTREL_TORVAL_Updater.exe"));
    QVERIFY(instanceKey(QStringLiteral("/opt/a/TORVAL_Updater"))
        != instanceKey(QStringLiteral("/opt/b/TORVAL_Updater")));
}

QTEST_GUILESS_MAIN(TestUpdaterProtocol)
#include "tst_updaterprotocol.moc"
