// The player journeys on one machine: port hops recorded, exported and closed on exit;
// no tray and still never lost; stalled web services that recover. Each runs through the
// real main window; the game is the fake one holding a real connection.

#include "app/exitconfirmdialog.h"
#include "app/pingmonitorwidget.h"
#include "core/appconfig.h"
#include "core/singleinstance.h"
#include "journeys/journey.h"
#include "monitor/connectionmonitor.h"
#include "monitor/geolocator.h"
#include "monitor/presenceclient.h"
#include "overlay/minioverlaywidget.h"
#include "overlay/settingsdialog.h"
#include "records/gamesession.h"
#include "records/porthistory.h"
#include "records/porthistorydialog.h"
#include "records/sessionmanager.h"
#include "tools/cannedhttpserver.h"
#include "ui/filedialog.h"
#include "ui/messagebox.h"

#include <QTest>
#include <QtWidgets>

using namespace Journey;

namespace {

const QString kHost = QStringLiteral("127.0.0.8");
const quint16 kFirst = 9481;
const quint16 kSecond = 9482;
// A documentation address: looked up like any public server, answered only here.
const QString kPublicServer = QStringLiteral("203.0.113.9");

} // namespace

class TestJourneys : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    // Minimising without a tray hides the window behind the HUD.
    static bool minimiseToHud(PingMonitorWidget &window)
    {
        window.setWindowState(Qt::WindowMinimized);
        return QTest::qWaitFor([&] { return !window.isVisible() && window.miniHud()->isVisible(); }, 3000);
    }

private slots:
    void initTestCase()
    {
        NoChildPrograms::install();
        QVERIFY(!QSystemTrayIcon::isSystemTrayAvailable());
    }

    // The game hops to another port and back: the visits appear in the history window,
    // its CSV and HTML exports hold them, and a confirmed exit closes them on disk.
    void portHopsAreRecordedExportedAndClosed()
    {
        Game game;
        QVERIFY(game.start(kHost, {kFirst, kSecond}));
        int exitCode = -1;
        PingMonitorWidget::setExitHook([&](int code) { exitCode = code; });
        PingMonitorWidget window(nullptr, m_dir.path());
        auto showsPort = [&](quint16 port) {
            return QTest::qWaitFor(
                [&] { return labelText(window, "metricValuePort") == QString::number(port); }, 6000);
        };
        QVERIFY(showsPort(kFirst));
        QVERIFY(game.move(kSecond));
        QVERIFY(showsPort(kSecond));
        QVERIFY(game.move(kFirst));
        QVERIFY(showsPort(kFirst));

        // The history window lists the three visits, newest first; it exports both ways.
        QStringList shownPorts;
        const QString csv = m_dir.filePath(QStringLiteral("visits.csv"));
        const QString html = m_dir.filePath(QStringLiteral("visits.html"));
        whenModal<PortHistoryDialog>([&](PortHistoryDialog *history) {
            const auto *table = history->findChild<QTableWidget *>();
            for (int row = 0; row < table->rowCount(); ++row)
                shownPorts << table->item(row, 0)->text();
            shot(QStringLiteral("records-history"));
            for (const QString &path : {csv, html}) {
                FileDialog::setNextFileName(path);
                MessageBox::setNextAnswer(QMessageBox::Ok);
                history->onExportClicked();
            }
            history->reject();
        });
        window.showPortHistory();
        QCOMPARE(shownPorts,
            (QStringList {QString::number(kFirst), QString::number(kSecond), QString::number(kFirst)}));
        // A port cell in each format: ";9481;127.0.0.8;" and "<td><b>9481</b></td>".
        const QList<QPair<QString, QString>> cells {{csv, QStringLiteral(";%1;") + kHost + QLatin1Char(';')},
            {html, QStringLiteral("<td><b>%1</b></td>")}};
        for (const auto &[path, cell] : cells) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QString text = QString::fromUtf8(file.readAll());
            QCOMPARE(text.count(cell.arg(kFirst)), 2);
            QCOMPARE(text.count(cell.arg(kSecond)), 1);
        }

        // Exit: the running session and the open visit are closed in the files.
        ExitConfirmDialog::setNextAnswer(true);
        window.close();
        QCOMPARE(exitCode, 0);
        PingMonitorWidget::setExitHook({});
        SessionManager sessions(window.sessionManager()->filePath());
        QCOMPARE(sessions.sessions().size(), 1);
        QVERIFY(sessions.sessions().first()->endTime().isValid());
        const PortHistory history(window.portHistory()->filePath());
        QCOMPARE(history.sessions().size(), 3);
        for (const PortSession &visit : history.sessions())
            QVERIFY(visit.endTime.isValid());
    }
    // Without a tray the HUD's eye button, or the HUD switched off in the settings opened
    // on it, brings the window back; a second start of the real program shows it too.
    void hudWaysBackWithoutATray()
    {
        PingMonitorWidget window(nullptr, m_dir.path());
        window.monitor()->stop();
        MiniOverlayWidget *hud = window.miniHud();

        QVERIFY(minimiseToHud(window));
        shot(QStringLiteral("reachable-hud"));
        QTest::mouseClick(hud->findChild<QPushButton *>(QStringLiteral("miniHideButton")), Qt::LeftButton);
        QVERIFY(window.isVisible() && !hud->isVisible() && !window.isMiniHudShown());

        QVERIFY(minimiseToHud(window));
        whenModal<SettingsDialog>([](SettingsDialog *settings) {
            settings->miniOverlayCheck()->setChecked(false);
            shot(QStringLiteral("reachable-settings-on-hud"));
            settings->reject();
        });
        QTest::mouseClick(
            hud->findChild<QPushButton *>(QStringLiteral("miniSettingsButton")), Qt::LeftButton);
        QVERIFY(!window.miniOverlayEnabled() && window.isVisible() && !hud->isVisible());
        window.setMiniOverlayEnabled(true);
    }

    void secondStartShowsTheRunningWindow()
    {
        // What start-up does: the guard per user, in the user's runtime folder, and the channel.
        const QString key = SingleInstanceGuard::userKey(QLatin1String(AppConfig::kSingleInstanceKey));
        SingleInstanceGuard guard(key);
        QCOMPARE(guard.acquire(), SingleInstanceGuard::Result::Acquired);
        QCOMPARE(QFileInfo(SingleInstanceGuard::lockFilePath(key)).absolutePath(),
            QFileInfo(qEnvironmentVariable("XDG_RUNTIME_DIR")).absoluteFilePath());
        InstanceChannel channel(key);
        QVERIFY(channel.listen());
        PingMonitorWidget window(nullptr, m_dir.path());
        window.monitor()->stop();
        connect(&channel, &InstanceChannel::showRequested, &window, &PingMonitorWidget::showFromBackground);
        QVERIFY(minimiseToHud(window));

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("KESTREL_TEST_AUTOCLOSE_MS"), QStringLiteral("300"));
        ToolProcess second;
        QVERIFY(second.start(QStringLiteral("KESTREL"), {}, env, true));
        QVERIFY(QTest::qWaitFor([&] { return window.isVisible(); }, 15000));
        QVERIFY(!window.miniHud()->isVisible() && !(window.windowState() & Qt::WindowMinimized));
        shot(QStringLiteral("reachable-after-second-start"));
        QVERIFY(second.waitForExit(15000));
        QVERIFY(second.exitStatus() == QProcess::NormalExit && second.exitCode() == 0);
        const QByteArray output = second.allOutput();
        QVERIFY2(output.contains("asked to show its window: true"), output.constData());
        QVERIFY2(output.contains("Приложение уже запущено"), output.constData());
    }
    // The geolocation and presence servers accept and never answer: each request is given
    // up in time, no second one of a kind is sent meanwhile, and the location and the
    // count come back as soon as the servers answer again.
    void stalledServersRecover()
    {
        bool stalled = true;
        CannedHttpServer geo;
        geo.setResponder([&stalled](const CannedRequest &) {
            return CannedReply {200,
                R"({"status":"success","country":"Norway","city":"<b>Oslo</b>","region":"Oslo","isp":"x & y"})",
                stalled};
        });
        CannedHttpServer presence;
        presence.setResponder([&stalled](const CannedRequest &request) {
            return CannedReply {200,
                request.target.startsWith("/online") ? R"({"online":3})" : R"({"success":true})", stalled};
        });
        qputenv(AppConfig::kGeoUrlEnv, geo.baseUrl().toUtf8());
        qputenv(AppConfig::kServiceUrlEnv, presence.baseUrl().toUtf8());

        PingMonitorWidget window(nullptr, m_dir.path());
        window.monitor()->stop();
        window.geoLocator()->setTransferTimeout(400);
        window.geoLocator()->setRetryInterval(300);
        window.presence()->setTransferTimeout(400);

        // Ticks while everything hangs: one request of each kind at a time.
        window.lookupGeoLocation(kPublicServer);
        QCOMPARE(labelText(window, "metricValueGeo"), QStringLiteral("🔍 Определение..."));
        for (int tick = 0; tick < 3; ++tick) {
            window.lookupGeoLocation(kPublicServer);
            window.presence()->sendHeartbeat();
            window.presence()->requestOnlineCount();
        }
        QVERIFY(QTest::qWaitFor([&] { return geo.heldCount() == 1 && presence.heldCount() == 2; }, 5000));
        QCOMPARE(geo.requests().size(), 1);
        QCOMPARE(presence.requests().size(), 2); // a heartbeat and an online count

        // The time-out ends the wait; the tile and the counter say so.
        QVERIFY(QTest::qWaitFor(
            [&] {
                return labelText(window, "metricValueGeo") == QStringLiteral("🔎 Ожидания подключение к игре")
                    && labelText(window, "onlineCountLabel") == QStringLiteral("?");
            },
            5000));
        shot(QStringLiteral("stalls-waiting"));

        // The servers answer again: the location comes back by itself, the count at the next tick.
        stalled = false;
        QVERIFY(QTest::qWaitFor(
            [&] { return labelText(window, "metricValueGeo") == QStringLiteral("Norway · <b>Oslo</b>"); },
            5000));
        window.presence()->requestOnlineCount();
        QVERIFY(QTest::qWaitFor(
            [&] { return labelText(window, "onlineCountLabel") == QStringLiteral("3"); }, 5000));
        shot(QStringLiteral("stalls-recovered"));

        // Network text stays text: the tile is plain, the tooltip escaped.
        const auto *tile = window.findChild<QLabel *>(QStringLiteral("metricValueGeo"));
        QCOMPARE(tile->textFormat(), Qt::PlainText);
        QVERIFY2(tile->toolTip().contains(QStringLiteral("Город: &lt;b&gt;Oslo&lt;/b&gt;")),
            qPrintable(tile->toolTip()));
        QVERIFY(tile->toolTip().contains(QStringLiteral("Провайдер: x &amp; y")));
    }
};

QTEST_MAIN(TestJourneys)
#include "tst_journeys.moc"
