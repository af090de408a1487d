#include "releaseserver.h"

#include <QtTest>

namespace {

// A listing, newest first, whose newest release has the given tag and assets and a three-line body.
QByteArray release(const QByteArray &tag, const QByteArray &assets)
{
    return "[{\"tag_name\":\"" + tag + "\",\"body\":\"first\\nsecond\\nthird\",\"assets\":" + assets
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
    void initTestCase()
    {
        const QString helper = qEnvironmentVariable("KESTREL_BIN_DIR") + QStringLiteral("/TORVAL_Updater");
        QVERIFY2(QFile::exists(helper), "TORVAL_Updater not built");
        UpdaterEngine::setHelperProgramForTest(helper);
    }

    void init()
    {
        UpdaterTimings timings = fastUpdaterTimings();
        timings.checkTimeoutMs = 3000;
        UpdaterEngine::setTimingsForTest(timings);
        m_recorder.install(false);
    }

    void cleanup()
    {
        UpdaterUi::setModalHookForTest({});
        UpdaterEngine::setTimingsForTest(UpdaterTimings());
        UpdaterEngine::setBackendForTest(std::nullopt);
        qunsetenv("TORVAL_RELEASES_URL");
    }

    void checkAgainstListing_data()
    {
        QTest::addColumn<int>("status"); // 0: the server never answers
        QTest::addColumn<QByteArray>("listing");
        QTest::addColumn<bool>("silent");
        QTest::addColumn<QString>("outcome"); // available / none / error
        QTest::addColumn<QString>("detail"); // changelog or start of the error
        QTest::addColumn<QString>("promptTitle");
        QTest::addColumn<QString>("promptText"); // its start
        const QByteArray fileAsset
            = "[{\"name\":\"KESTREL-linux\",\"browser_download_url\":\"file:///etc/passwd\"}]";
        // clang-format off
        QTest::newRow("update found, later") << 200 << release("v1.6.4", kAssets) << true << "available"
            << "first" << "Доступно обновление" << "Версия 1.6.3 → ";
        QTest::newRow("no releases") << 200 << QByteArray("[]") << false << "none" << ""
            << "Обновление" << "Нет информации об обновлениях.";
        QTest::newRow("no asset") << 200 << release("v1.7.0", "[]") << false << "none" << "" << "" << "";
        QTest::newRow("server error") << 500 << QByteArray("boom") << false << "error" << "PowerShell error: "
            << "Ошибка сети" << "Не удалось проверить обновления через PowerShell.\nОшибка: ";
        QTest::newRow("tag that climbs out of the folder") << 200 << release("../../x", kAssets) << false
            << "error" << "Invalid PowerShell output" << "" << "";
        QTest::newRow("asset on a local path") << 200 << release("v1.7.0", fileAsset) << true << "error"
            << "Invalid PowerShell output" << "" << "";
        QTest::newRow("hanging server killed at the time-out") << 0 << QByteArray() << false << "error"
            << "PowerShell error" << "Ошибка" << "Не удалось запустить PowerShell для проверки обновлений.";
        // clang-format on
    }

    void checkAgainstListing()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, listing);
        QFETCH(bool, silent);
        QFETCH(QString, outcome);
        QFETCH(QString, detail);
        QFETCH(QString, promptTitle);
        QFETCH(QString, promptText);

        ReleaseServer server;
        QVERIFY(server.listen());
        server.setRoute(QStringLiteral("/repos/o/r/releases"), {status, listing, status == 0});
        qputenv("TORVAL_RELEASES_URL", server.url(QStringLiteral("/repos/o/r/releases")).toUtf8());

        UpdaterEngine engine(QStringList {QStringLiteral("--current-version"), QStringLiteral("1.6.3")});
        QSignalSpy available(&engine, &UpdaterEngine::updateAvailable);
        QSignalSpy none(&engine, &UpdaterEngine::noUpdateAvailable);
        QSignalSpy errors(&engine, &UpdaterEngine::updateError);
        silent ? engine.startSilentUpdateCheck() : engine.startUpdateCheck();
        QVERIFY(QTest::qWaitFor([&] { return available.size() + none.size() + errors.size() > 0; }, 15000));
        QCOMPARE(server.requestedPaths(), QStringList {QStringLiteral("/repos/o/r/releases")});
        QCOMPARE(server.lastUserAgent(), QByteArray("TORVAL-Updater/1.0"));
        if (outcome == QLatin1String("available")) {
            QCOMPARE(available.at(0).at(0).toString(), QStringLiteral("1.6.4"));
            QCOMPARE(available.at(0).at(1).toString(), detail);
            QCOMPARE(engine.downloadUrl(), QStringLiteral("https://example.invalid/KESTREL-linux"));
        } else if (outcome == QLatin1String("none")) {
            QVERIFY(none.size() == 1 && errors.isEmpty());
        } else {
            QCOMPARE(errors.size(), 1);
            QVERIFY2(
                errors.at(0).at(0).toString().startsWith(detail), qPrintable(errors.at(0).at(0).toString()));
        }
        if (promptTitle.isEmpty()) {
            QVERIFY2(prompts().isEmpty(), qPrintable(prompts().value(0).first));
        } else {
            QCOMPARE(prompts().size(), 1);
            QCOMPARE(prompts().at(0).first, promptTitle);
            QVERIFY2(prompts().at(0).second.startsWith(promptText), qPrintable(prompts().at(0).second));
        }
    }

    void windowsScriptsThroughPowerShell()
    {
        QTemporaryDir fakeBin;
        // The program folder's name carries a quote, as "C:\Users\O'Neil\..." would.
        const QString appDir = fakeBin.filePath(QStringLiteral("O'Neil [games]"));
        QVERIFY(QDir().mkpath(appDir));
        const QString fake = fakeBin.filePath(QStringLiteral("powershell"));
        {
            // Records its arguments; the check answers a release, the download fails.
            QFile script(fake);
            QVERIFY(script.open(QIODevice::WriteOnly));
            script.write(
                "#!/bin/sh\n"
                "dir=\"$(dirname \"$0\")\"\n"
                "n=$(ls \"$dir\" | grep -c '_script$')\n"
                "printf '%s\\n%s' \"$1\" \"$2\" > \"$dir/recorded_${n}_script\"\n"
                "case \"$2\" in *DownloadFile*) printf 'ERROR:(404) Not Found.\\r\\n'; exit 1 ;; esac\n"
                "printf 'VERSION:1.7.0\\r\\nURL:https://downloads.example/it'\"'\"'s%%20new.exe\\r\\n"
                "CHANGELOG:Fixes\\r\\nmore\\r\\n'\n");
        }
        QFile::setPermissions(fake, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const QByteArray oldPath = qgetenv("PATH");
        qputenv("PATH", fakeBin.path().toUtf8() + ':' + oldPath);
        const QString releasesUrl = QStringLiteral("https://api.example/repos/o'x/kestrel/releases");
        qputenv("TORVAL_RELEASES_URL", releasesUrl.toUtf8());

        UpdaterEngine::setBackendForTest(UpdaterProtocol::Backend::PowerShell);
        m_recorder.install(true);
        UpdaterEngine engine(QStringList {QStringLiteral("--app-path"), appDir + QStringLiteral("/KESTREL"),
            QStringLiteral("--current-version"), QStringLiteral("1.6.3")});
        QSignalSpy available(&engine, &UpdaterEngine::updateAvailable);
        engine.startUpdateCheck();
        QVERIFY(available.wait(10000));
        QCOMPARE(available.at(0).at(1).toString(), QStringLiteral("Fixes"));
        QVERIFY(QTest::qWaitFor([&] { return prompts().size() >= 2; }, 10000));
        qputenv("PATH", oldPath);
        QCOMPARE(prompts().at(1).second,
            QStringLiteral("Не удалось скачать обновление через PowerShell:\n(404) Not Found."));

        const auto read = [&](const char *name) {
            QFile file(fakeBin.filePath(QLatin1String(name)));
            return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
        };
        const QString expectedPath
            = QDir::toNativeSeparators(appDir + QStringLiteral("/TORVAL_UPDATE_1.7.0"));
        QCOMPARE(engine.updateFilePath(), expectedPath);
        QCOMPARE(read("recorded_0_script"),
            QStringLiteral("-Command\n") + UpdaterProtocol::checkScript(releasesUrl));
        const QString download = read("recorded_1_script");
        QCOMPARE(download,
            QStringLiteral("-Command\n")
                + UpdaterProtocol::downloadScript(
                    QStringLiteral("https://downloads.example/it's%20new.exe"), expectedPath));
        QVERIFY(download.contains(QStringLiteral("$url = 'https://downloads.example/it''s%20new.exe'\n")));
    }
};

QTEST_MAIN(TestUpdaterCheck)
#include "tst_updatercheck.moc"
