#include "releaseserver.h"
#include "updater/updaterengine.h"
#include "updater/updaterui.h"

#include <QDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

// The release check from start to verdict: the real helper child against a local
// release listing, and the PowerShell path against a scripted "powershell".
class TestUpdaterCheck : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void checkAgainstListing_data();
    void checkAgainstListing();
    void hangingServerIsKilledAtTimeout();
    void checkProgramMissing();
    void windowsScriptsThroughPowerShell();

private:
    struct Prompt
    {
        QString title;
        QString text;
    };
    void installPromptRecorder(bool acceptUpdate);

    QList<Prompt> m_prompts;
    QString m_binDir;
};

namespace {

// A listing, newest first, whose newest release has the given tag and assets and a
// three-line body.
QByteArray release(const QByteArray &tag, const QByteArray &assets)
{
    return "[{\"tag_name\":\"" + tag + "\",\"body\":\"first\\nsecond\\nthird\",\"assets\":" + assets
        + "},{\"tag_name\":\"v1.0.0\",\"body\":\"\",\"assets\":[]}]";
}

const QByteArray kLinuxAsset =
    R"([{"name":"KESTREL.exe","browser_download_url":"https://example.invalid/KESTREL.exe"},
        {"name":"KESTREL-linux-x86_64","browser_download_url":"https://example.invalid/KESTREL-linux"}])";

UpdaterTimings fastTimings()
{
    UpdaterTimings t;
    t.checkNoticeMs = 10;
    t.quitNoUpdateSilentMs = 10;
    t.quitNoUpdateMs = 10;
    t.progressTickMs = 20;
    t.installAfterDownloadMs = 10;
    t.finalDialogMs = 10;
    t.sleepBeforeKillMs = 0;
    t.sleepAfterKillMs = 0;
    t.sleepAfterDeleteMs = 0;
    t.copyRetrySleepMs = 0;
    t.quitAfterInstallMs = 10;
    t.quitAfterFailureMs = 10;
    return t;
}

} // namespace

void TestUpdaterCheck::initTestCase()
{
    m_binDir = qEnvironmentVariable("KESTREL_BIN_DIR");
    QVERIFY2(QFile::exists(m_binDir + QStringLiteral("/TORVAL_Updater")), "TORVAL_Updater not built");
    UpdaterEngine::setHelperProgramForTest(m_binDir + QStringLiteral("/TORVAL_Updater"));
}

void TestUpdaterCheck::init()
{
    m_prompts.clear();
    UpdaterEngine::setTimingsForTest(fastTimings());
    UpdaterEngine::setBackendForTest(std::nullopt);
}

void TestUpdaterCheck::cleanup()
{
    UpdaterUi::setModalHookForTest({});
    UpdaterEngine::setTimingsForTest(UpdaterTimings());
    UpdaterEngine::setBackendForTest(std::nullopt);
    qunsetenv("TORVAL_RELEASES_URL");
}

void TestUpdaterCheck::installPromptRecorder(bool acceptUpdate)
{
    UpdaterUi::setModalHookForTest([this, acceptUpdate](QDialog &dialog) {
        if (auto *box = qobject_cast<QMessageBox *>(&dialog)) {
            m_prompts.append({box->windowTitle(), box->text()});
            return int(QMessageBox::Ok);
        }
        const auto *versions = dialog.findChild<QLabel *>(QStringLiteral("versionLabel"));
        m_prompts.append({dialog.windowTitle(), versions ? versions->text() : QString()});
        auto *button = dialog.findChild<QPushButton *>(
            acceptUpdate ? QStringLiteral("updateButton") : QStringLiteral("laterButton"));
        if (button)
            button->click();
        return dialog.result();
    });
}

void TestUpdaterCheck::checkAgainstListing_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("listing");
    QTest::addColumn<bool>("silent");
    QTest::addColumn<QString>("outcome"); // available / none / error
    QTest::addColumn<QString>("detail"); // changelog or error text
    QTest::addColumn<QString>("promptTitle");
    QTest::addColumn<QString>("promptText");
    QTest::addColumn<bool>("quits");

    QTest::newRow("update found, later") << 200 << release("v1.6.4", kLinuxAsset) << true << "available"
                                         << "first"
                                         << "Доступно обновление"
                                         << "Версия 1.6.3 → " << true;
    QTest::newRow("same version, silent") << 200 << release("v1.6.3", kLinuxAsset) << true << "none"
                                          << ""
                                          << ""
                                          << "" << true;
    QTest::newRow("same version, interactive") << 200 << release("v1.6.3", kLinuxAsset) << false << "none"
                                               << ""
                                               << "Обновление"
                                               << "У вас установлена последняя версия программы." << true;
    QTest::newRow("V2.0 is not newer") << 200 << release("V2.0", kLinuxAsset) << true << "none"
                                       << ""
                                       << ""
                                       << "" << true;
    QTest::newRow("no releases") << 200 << QByteArray("[]") << false << "none"
                                 << ""
                                 << "Обновление"
                                 << "Нет информации об обновлениях." << false;
    QTest::newRow("no releases, silent") << 200 << QByteArray("[]") << true << "none"
                                         << ""
                                         << ""
                                         << "" << false;
    QTest::newRow("no asset") << 200 << release("v1.7.0", "[]") << false << "none"
                              << ""
                              << ""
                              << "" << false;
    QTest::newRow("server error") << 500 << QByteArray("boom") << false << "error"
                                  << "PowerShell error: "
                                  << "Ошибка сети"
                                  << "Не удалось проверить обновления через PowerShell.\nОшибка: " << false;
    QTest::newRow("server error, silent") << 500 << QByteArray("boom") << true << "error"
                                          << "PowerShell error: "
                                          << ""
                                          << "" << false;
    QTest::newRow("tag that climbs out of the folder")
        << 200 << release("../../x", kLinuxAsset) << false << "error"
        << "Invalid PowerShell output"
        << ""
        << "" << false;
    QTest::newRow("asset on a local path")
        << 200
        << release("v1.7.0", R"([{"name":"KESTREL-linux","browser_download_url":"file:///etc/passwd"}])")
        << true << "error"
        << "Invalid PowerShell output"
        << ""
        << "" << false;
}

void TestUpdaterCheck::checkAgainstListing()
{
    QFETCH(int, status);
    QFETCH(QByteArray, listing);
    QFETCH(bool, silent);
    QFETCH(QString, outcome);
    QFETCH(QString, detail);
    QFETCH(QString, promptTitle);
    QFETCH(QString, promptText);
    QFETCH(bool, quits);

    ReleaseServer server;
    QVERIFY(server.listen());
    server.setRoute(QStringLiteral("/repos/o/r/releases"), {status, listing, false});
    qputenv("TORVAL_RELEASES_URL", server.url(QStringLiteral("/repos/o/r/releases")).toUtf8());
    installPromptRecorder(false);

    UpdaterEngine engine(QStringList {QStringLiteral("--current-version"), QStringLiteral("1.6.3")});
    QSignalSpy available(&engine, &UpdaterEngine::updateAvailable);
    QSignalSpy none(&engine, &UpdaterEngine::noUpdateAvailable);
    QSignalSpy errors(&engine, &UpdaterEngine::updateError);
    QSignalSpy quit(&engine, &UpdaterEngine::quitRequested);
    if (silent)
        engine.startSilentUpdateCheck();
    else
        engine.startUpdateCheck();

    QVERIFY(QTest::qWaitFor([&]() { return available.size() + none.size() + errors.size() > 0; }, 15000));
    QCOMPARE(server.lastUserAgent(), QByteArray("TORVAL-Updater/1.0"));
    if (outcome == QLatin1String("available")) {
        QCOMPARE(available.size(), 1);
        QCOMPARE(available.at(0).at(0).toString(), QStringLiteral("1.6.4"));
        QCOMPARE(available.at(0).at(1).toString(), detail);
        QCOMPARE(engine.downloadUrl(), QStringLiteral("https://example.invalid/KESTREL-linux"));
    } else if (outcome == QLatin1String("none")) {
        QCOMPARE(none.size(), 1);
        QCOMPARE(errors.size(), 0);
    } else {
        QCOMPARE(errors.size(), 1);
        QVERIFY2(errors.at(0).at(0).toString().startsWith(detail), qPrintable(errors.at(0).at(0).toString()));
    }

    if (quits)
        QTRY_COMPARE_WITH_TIMEOUT(quit.size(), 1, 5000);
    if (promptTitle.isEmpty()) {
        QVERIFY2(m_prompts.isEmpty(), qPrintable(m_prompts.value(0).title));
    } else {
        QCOMPARE(m_prompts.size(), 1);
        QCOMPARE(m_prompts.at(0).title, promptTitle);
        QVERIFY2(m_prompts.at(0).text.startsWith(promptText), qPrintable(m_prompts.at(0).text));
    }
}

void TestUpdaterCheck::hangingServerIsKilledAtTimeout()
{
    UpdaterTimings timings = fastTimings();
    timings.checkTimeoutMs = 1500;
    UpdaterEngine::setTimingsForTest(timings);

    ReleaseServer server;
    QVERIFY(server.listen());
    server.setRoute(QStringLiteral("/releases"), {200, {}, true});
    qputenv("TORVAL_RELEASES_URL", server.url(QStringLiteral("/releases")).toUtf8());
    installPromptRecorder(false);

    UpdaterEngine engine(QStringList {});
    QSignalSpy errors(&engine, &UpdaterEngine::updateError);
    QSignalSpy none(&engine, &UpdaterEngine::noUpdateAvailable);
    engine.startUpdateCheck();
    QVERIFY(errors.wait(15000));
    QCOMPARE(errors.at(0).at(0).toString(), QStringLiteral("PowerShell error"));
    QCOMPARE(none.size(), 0);
    QCOMPARE(server.requestedPaths(), QStringList {QStringLiteral("/releases")});
    QCOMPARE(m_prompts.size(), 1);
    QCOMPARE(m_prompts.at(0).title, QStringLiteral("Ошибка"));
    QCOMPARE(
        m_prompts.at(0).text, QStringLiteral("Не удалось запустить PowerShell для проверки обновлений."));
}

void TestUpdaterCheck::checkProgramMissing()
{
    QTemporaryDir dir;
    UpdaterEngine::setHelperProgramForTest(dir.filePath(QStringLiteral("no-such-updater")));
    installPromptRecorder(false);
    UpdaterEngine engine(QStringList{});
    QSignalSpy errors(&engine, &UpdaterEngine::updateError);
    engine.startUpdateCheck();
    QTRY_COMPARE_WITH_TIMEOUT(errors.size(), 1, 10000);
    UpdaterEngine::setHelperProgramForTest(m_binDir + QStringLiteral("/TORVAL_Updater"));
    QCOMPARE(errors.at(0).at(0).toString(), QStringLiteral("PowerShell error"));
    QCOMPARE(m_prompts.size(), 1);
    QCOMPARE(m_prompts.at(0).text, QStringLiteral("Не удалось запустить PowerShell для проверки обновлений."));
}

void TestUpdaterCheck::windowsScriptsThroughPowerShell()
{
    QTemporaryDir fakeBin;
    QTemporaryDir root;
    QVERIFY(fakeBin.isValid() && root.isValid());
    // The program folder's name carries a quote, as "C:\Users\O'Neil\..." would.
    const QString appDir = root.filePath(QStringLiteral("O'Neil [games]"));
    QVERIFY(QDir().mkpath(appDir));
    const QString appExe = appDir + QStringLiteral("/KESTREL");
    {
        QFile app(appExe);
        QVERIFY(app.open(QIODevice::WriteOnly));
        app.write("installed program");
    }

    const QString fake = fakeBin.filePath(QStringLiteral("powershell"));
    {
        QFile script(fake);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write(
            "#!/bin/sh\n"
            "dir=\"$(dirname \"$0\")\"\n"
            "n=$(ls \"$dir\" | grep -c '_script$')\n"
            "printf '%s' \"$1\" > \"$dir/recorded_${n}_arg1\"\n"
            "printf '%s' \"$2\" > \"$dir/recorded_${n}_script\"\n"
            "case \"$2\" in\n"
            "  *DownloadFile*) printf 'ERROR:The remote server returned an error: (404) Not Found.\\r\\n'; "
            "exit 1 ;;\n"
            "esac\n"
            "printf 'VERSION:1.7.0\\r\\nURL:https://downloads.example/it'\"'\"'s%%20new.exe\\r\\n"
            "CHANGELOG:Fixes\\r\\nmore\\r\\n'\n");
    }
    QFile::setPermissions(fake, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QByteArray oldPath = qgetenv("PATH");
    qputenv("PATH", fakeBin.path().toUtf8() + ':' + oldPath);
    const QString releasesUrl = QStringLiteral("https://api.example/repos/o'x/kestrel/releases");
    qputenv("TORVAL_RELEASES_URL", releasesUrl.toUtf8());

    UpdaterEngine::setBackendForTest(UpdaterProtocol::Backend::PowerShell);
    installPromptRecorder(true);
    UpdaterEngine engine(QStringList {
        QStringLiteral("--app-path"), appExe, QStringLiteral("--current-version"), QStringLiteral("1.6.3")});
    QSignalSpy available(&engine, &UpdaterEngine::updateAvailable);
    engine.startUpdateCheck();
    QVERIFY(available.wait(10000));
    QCOMPARE(available.at(0).at(1).toString(), QStringLiteral("Fixes"));
    // The download reports its failure through the box; then the updater waits.
    QVERIFY(QTest::qWaitFor([&]() { return m_prompts.size() >= 2; }, 10000));
    qputenv("PATH", oldPath);

    QCOMPARE(m_prompts.at(0).title, QStringLiteral("Доступно обновление"));
    QCOMPARE(m_prompts.at(1).title, QStringLiteral("Ошибка"));
    QCOMPARE(m_prompts.at(1).text,
        QStringLiteral("Не удалось скачать обновление через PowerShell:\n"
                       "The remote server returned an error: (404) Not Found."));

    auto read = [&](const QString &name) {
        QFile file(fakeBin.filePath(name));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    };
    QCOMPARE(read(QStringLiteral("recorded_0_arg1")), QStringLiteral("-Command"));
    QCOMPARE(read(QStringLiteral("recorded_0_script")), UpdaterProtocol::checkScript(releasesUrl));
    QVERIFY(read(QStringLiteral("recorded_0_script"))
                .contains(QStringLiteral("-Uri 'https://api.example/repos/o''x/kestrel/releases'")));

    QCOMPARE(read(QStringLiteral("recorded_1_arg1")), QStringLiteral("-Command"));
    const QString downloadScript = read(QStringLiteral("recorded_1_script"));
    const QString expectedPath = QDir::toNativeSeparators(appDir + QStringLiteral("/TORVAL_UPDATE_1.7.0"));
    QCOMPARE(engine.updateFilePath(), expectedPath);
    QVERIFY2(downloadScript.contains(QStringLiteral("$url = 'https://downloads.example/it''s%20new.exe'\n")),
        qPrintable(downloadScript));
    QVERIFY2(downloadScript.contains(
                 QStringLiteral("$output = '%1'\n")
                     .arg(QString(expectedPath).replace(QLatin1Char('\''), QStringLiteral("''")))),
        qPrintable(downloadScript));
    QVERIFY(!QFile::exists(expectedPath));
}

QTEST_MAIN(TestUpdaterCheck)
#include "tst_updatercheck.moc"
