#include "releaseserver.h"

#include <QtTest>

namespace {

// A listing, newest first, whose newest release has the given tag and assets and two lines of notes.
QByteArray release(const QByteArray &tag, const QByteArray &assets)
{
    return "[{\"tag_name\":\"" + tag + "\",\"body\":\"first\\nsecond\",\"assets\":" + assets
        + "},{\"tag_name\":\"v1.0.0\",\"body\":\"\",\"assets\":[]}]";
}

const QByteArray kAssets
    = "[{\"name\":\"KESTREL.exe\",\"browser_download_url\":\"https://x.invalid/a.exe\"},"
      "{\"name\":\"KESTREL-linux\",\"browser_download_url\":\"https://example.invalid/KESTREL-linux\"}]";

} // namespace

// The release check: the real helper against a local listing; PowerShell against a scripted fake.
class TestUpdaterCheck : public QObject
{
    Q_OBJECT

    PromptRecorder m_recorder;
    const QList<QPair<QString, QString>> &prompts() const { return m_recorder.prompts; }

private slots:
    void init()
    {
        UpdaterEngine::setHelperProgramForTest(
            qEnvironmentVariable("KESTREL_BIN_DIR") + QStringLiteral("/TORVAL_Updater"));
        UpdaterEngine::setTimingsForTest(UpdaterTimings::shortened());
        m_recorder.install(false);
    }

    void cleanup()
    {
        UpdaterUi::setModalHookForTest({});
        UpdaterEngine::setBackendForTest(std::nullopt);
    }

    void checkAgainstListing_data()
    {
        QTest::addColumn<int>("status"); // 0: the server never answers
        QTest::addColumn<QByteArray>("listing");
        QTest::addColumn<bool>("silent");
        QTest::addColumn<QString>("outcome"); // the signal and its arguments
        QTest::addColumn<QString>("prompt"); // "title|" and the start of the text; empty: none
        // clang-format off
        QTest::newRow("update found, later") << 200 << release("v1.6.4", kAssets) << true
            << "available 1.6.4 first" << "Доступно обновление|Версия 1.6.3 → ";
        QTest::newRow("no releases") << 200 << QByteArray("[]") << false << "none"
            << "Обновление|Нет информации об обновлениях.";
        QTest::newRow("no asset") << 200 << release("v1.7.0", "[]") << false << "none" << "";
        QTest::newRow("server error") << 500 << QByteArray("boom") << false << "error PowerShell error: "
            << "Ошибка сети|Не удалось проверить обновления через PowerShell.\nОшибка: ";
        QTest::newRow("line break in the tag") << 200 << release("v1.6.4\\nURL:https://evil.invalid/x", kAssets)
            << true << "error PowerShell error: Invalid release listing" << "";
        QTest::newRow("hanging server killed at the time-out") << 0 << QByteArray() << false
            << "error PowerShell error" << "Ошибка|Не удалось запустить PowerShell для проверки обновлений.";
        // clang-format on
    }

    void checkAgainstListing()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, listing);
        QFETCH(bool, silent);
        QFETCH(QString, outcome);
        QFETCH(QString, prompt);

        ReleaseServer server;
        QVERIFY(server.listen());
        server.setRoute(QStringLiteral("/repos/o/r/releases"), {status, listing});
        qputenv("TORVAL_RELEASES_URL", server.url(QStringLiteral("/repos/o/r/releases")).toUtf8());

        UpdaterEngine engine(QStringList {QStringLiteral("--current-version"), QStringLiteral("1.6.3")});
        QStringList signalled;
        connect(&engine, &UpdaterEngine::updateAvailable, this,
            [&](const QString &version, const QString &notes) {
                signalled << QStringLiteral("available %1 %2").arg(version, notes);
            });
        connect(
            &engine, &UpdaterEngine::noUpdateAvailable, this, [&] { signalled << QStringLiteral("none"); });
        connect(&engine, &UpdaterEngine::updateError, this,
            [&](const QString &e) { signalled << QStringLiteral("error ") + e; });
        silent ? engine.startSilentUpdateCheck() : engine.startUpdateCheck();
        QTRY_COMPARE_WITH_TIMEOUT(signalled.size(), 1, 15000);
        QVERIFY2(signalled.at(0).startsWith(outcome), qPrintable(signalled.at(0)));
        QCOMPARE(server.requestedPaths(), QStringList {QStringLiteral("/repos/o/r/releases")});
        QCOMPARE(server.lastUserAgent(), QByteArray("TORVAL-Updater/1.0"));
        if (outcome.startsWith(QLatin1String("available")))
            QCOMPARE(engine.downloadUrl(), QStringLiteral("https://example.invalid/KESTREL-linux"));
        QCOMPARE(prompts().size(), prompt.isEmpty() ? 0 : 1);
        const QString shown
            = prompts().isEmpty() ? QString() : prompts().at(0).first + u'|' + prompts().at(0).second;
        QVERIFY2(prompt.isEmpty() || shown.startsWith(prompt), qPrintable(shown));
    }

    void windowsScriptsThroughPowerShell()
    {
        QTemporaryDir fakeBin;
        // The program folder's name carries a quote, as "C:\Users\O'Neil\..." would.
        const QString appDir = fakeBin.filePath(QStringLiteral("O'Neil [games]"));
        QVERIFY(QDir().mkpath(appDir));
        // Records each script; the check answers a release whose notes try to name another file,
        // the download fails.
        QFile fake(fakeBin.filePath(QStringLiteral("powershell")));
        QVERIFY(fake.open(QIODevice::WriteOnly));
        fake.write("#!/bin/sh\n"
                   "printf '%s\\n%s' \"$1\" \"$2\" > \"$(dirname \"$0\")/script_$(ls \"$(dirname \"$0\")\" | "
                   "wc -l)\"\n"
                   "case \"$2\" in *DownloadFile*) printf 'ERROR:(404) Not Found.\\r\\n'; exit 1 ;; esac\n"
                   "printf 'VERSION:1.7.0\\r\\nURL:https://downloads.example/it'\"'\"'s%%20new.exe\\r\\n"
                   "CHANGELOG:Fixes\\r\\nURL:https://evil.example/x\\r\\n'\n");
        fake.close();
        fake.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const QByteArray oldPath = qgetenv("PATH");
        qputenv("PATH", fakeBin.path().toUtf8() + ':' + oldPath);
        qputenv("TORVAL_RELEASES_URL", "https://api.example/repos/o'x/kestrel/releases");

        UpdaterEngine::setBackendForTest(UpdaterProtocol::Backend::PowerShell);
        m_recorder.install(true);
        UpdaterEngine engine(QStringList {QStringLiteral("--app-path"), appDir + QStringLiteral("/KESTREL"),
            QStringLiteral("--current-version"), QStringLiteral("1.6.3")});
        engine.startUpdateCheck();
        QVERIFY(QTest::qWaitFor([&] { return prompts().size() >= 2; }, 10000));
        qputenv("PATH", oldPath);
        QCOMPARE(prompts().at(1).second,
            QStringLiteral("Не удалось скачать обновление через PowerShell:\n(404) Not Found."));

        // What matters in what PowerShell ran: data quoted, the path taken literally, UTF-8 output.
        const QString check = QString::fromUtf8(readFile(fakeBin.filePath(QStringLiteral("script_2"))));
        const QString download = QString::fromUtf8(readFile(fakeBin.filePath(QStringLiteral("script_3"))));
        const QString output = QDir::toNativeSeparators(appDir + QStringLiteral("/TORVAL_UPDATE_1.7.0"));
        QVERIFY(check.contains(QLatin1String("-Uri 'https://api.example/repos/o''x/kestrel/releases'")));
        QVERIFY(download.contains(QLatin1String("$url = 'https://downloads.example/it''s%20new.exe'\n")));
        QVERIFY(download.contains(QString(output).replace(QLatin1String("'"), QLatin1String("''"))));
        QVERIFY(download.contains(QLatin1String("Get-Item -LiteralPath $output")));
        for (const QString &script : {check, download})
            QVERIFY(script.startsWith(
                QLatin1String("-Command\n[Console]::OutputEncoding = [System.Text.Encoding]::UTF8")));
    }
};

QTEST_MAIN(TestUpdaterCheck)
#include "tst_updatercheck.moc"
