#include "app/settingskeys.h"
#include "overlay/minioverlaywidget.h"

#include <QApplication>
#include <QEnterEvent>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>

namespace {

constexpr double kOpacityStep = 1.0 / 255; // a window keeps its opacity in 8 bits

QLabel *value(MiniOverlayWidget &hud, const char *key)
{
    return hud.findChild<QLabel *>(QStringLiteral("miniValue_%1").arg(QLatin1String(key)));
}

QPushButton *button(MiniOverlayWidget &hud, const QString &name)
{
    return hud.findChild<QPushButton *>(name);
}

void hover(QWidget *widget, bool enter)
{
    if (enter) {
        QEnterEvent event(QPointF(5, 5), QPointF(5, 5), widget->mapToGlobal(QPointF(5, 5)));
        QApplication::sendEvent(widget, &event);
    } else {
        QEvent event(QEvent::Leave);
        QApplication::sendEvent(widget, &event);
    }
}

// The favourites store's interface as the HUD uses it.
struct FakeFavorite
{
    quint16 port = 0;
    QString description;
    QDateTime addedDate;
    int status = 0;
};

class FakeFavoritesStore : public QObject
{
    Q_OBJECT

public:
    bool isFavorite(quint16 port) const { return m_items.contains(port); }
    FakeFavorite getFavorite(quint16 port) const { return m_items.value(port); }
    void add(const FakeFavorite &favorite)
    {
        m_items.insert(favorite.port, favorite);
        emit favoriteAdded(favorite);
    }
    void update(const FakeFavorite &favorite)
    {
        m_items.insert(favorite.port, favorite);
        emit favoriteUpdated(favorite);
    }
    void remove(quint16 port)
    {
        m_items.remove(port);
        emit favoriteRemoved(port);
    }

signals:
    void favoriteAdded(const FakeFavorite &favorite);
    void favoriteRemoved(quint16 port);
    void favoriteUpdated(FakeFavorite favorite);

private:
    QHash<quint16, FakeFavorite> m_items;
};

} // namespace

class TestMiniOverlay : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QSettings settings = openSettings();
        settings.clear();
        settings.sync();
    }

    void opacityPercent_data()
    {
        QTest::addColumn<int>("percent");
        QTest::addColumn<double>("applied");
        QTest::newRow("below range") << 20 << 0.30;
        QTest::newRow("above range") << 150 << 1.00;
        QTest::newRow("inside") << 55 << 0.55;
        QTest::newRow("lower bound") << 30 << 0.30;
    }

    void opacityPercent()
    {
        QFETCH(int, percent);
        QFETCH(double, applied);

        MiniOverlayWidget hud;
        hud.setOpacityPercent(percent);
        QCOMPARE(openSettings().value(QLatin1String(SettingsKeys::kMiniOverlayOpacity)).toInt(), percent);
        QVERIFY(qAbs(hud.opacity() - applied) < 1e-9);
        QVERIFY(qAbs(hud.windowOpacity() - applied) <= kOpacityStep);

        // The stored value, read at construction, gives the same opacity.
        MiniOverlayWidget fromStore;
        QVERIFY(qAbs(fromStore.opacity() - applied) < 1e-9);
    }

    void equalOpacityWritesNothing()
    {
        MiniOverlayWidget hud; // default 85
        hud.setOpacityPercent(85);
        QVERIFY(!openSettings().contains(QLatin1String(SettingsKeys::kMiniOverlayOpacity)));
        // 20 and 30 both mean 0.30: the second changes nothing and keeps the first percent.
        hud.setOpacityPercent(20);
        hud.setOpacityPercent(30);
        QCOMPARE(openSettings().value(QLatin1String(SettingsKeys::kMiniOverlayOpacity)).toInt(), 20);
    }

    void placement_data()
    {
        QTest::addColumn<QVariant>("saved");
        QTest::addColumn<bool>("expectDefault");
        QTest::newRow("nothing saved") << QVariant() << true;
        QTest::newRow("monitor removed") << QVariant(QPoint(-5000, -4000)) << true;
        QTest::newRow("far right") << QVariant(QPoint(100000, 10)) << true;
        QTest::newRow("on screen") << QVariant(QPoint(40, 60)) << false;
    }

    void placement()
    {
        QFETCH(QVariant, saved);
        QFETCH(bool, expectDefault);
        if (saved.isValid()) {
            QSettings settings = openSettings();
            settings.setValue(QLatin1String(SettingsKeys::kMiniHudPos), saved);
            settings.sync();
        }
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        const QPoint expected
            = expectDefault ? QPoint(area.x() + area.width() - 180 - 15, area.y() + 25) : saved.toPoint();
        MiniOverlayWidget hud;
        QCOMPARE(hud.pos(), expected);
        // The place it took is the one remembered.
        QCOMPARE(openSettings().value(QLatin1String(SettingsKeys::kMiniHudPos)).toPoint(), expected);
    }

    void dragIsSavedOnHide()
    {
        MiniOverlayWidget hud;
        hud.show();
        QVERIFY(QTest::qWaitForWindowExposed(&hud));
        const QPoint start = hud.pos();
        QTest::mousePress(&hud, Qt::LeftButton, Qt::NoModifier, QPoint(20, 20));
        QMouseEvent move(QEvent::MouseMove, QPointF(20, 20),
            hud.mapToGlobal(QPointF(20, 20)) + QPointF(-60, 30), Qt::NoButton, Qt::LeftButton,
            Qt::NoModifier);
        QApplication::sendEvent(&hud, &move);
        QTest::mouseRelease(&hud, Qt::LeftButton, Qt::NoModifier, QPoint(20, 20));
        QCOMPARE(hud.pos(), start + QPoint(-60, 30));
        QCOMPARE(openSettings().value(QLatin1String(SettingsKeys::kMiniHudPos)).toPoint(), start);
        hud.hide();
        QCOMPARE(openSettings().value(QLatin1String(SettingsKeys::kMiniHudPos)).toPoint(),
            start + QPoint(-60, 30));
    }

    void values_data()
    {
        QTest::addColumn<int>("ping");
        QTest::addColumn<QString>("pingText");
        QTest::addColumn<QString>("pingColor");
        QTest::newRow("no sample") << 0 << QStringLiteral("—") << QStringLiteral("#94a3b8");
        QTest::newRow("negative") << -5 << QStringLiteral("—") << QStringLiteral("#94a3b8");
        QTest::newRow("no answer") << 999 << QStringLiteral("—") << QStringLiteral("#94a3b8");
        QTest::newRow("beyond the scale") << 1000 << QStringLiteral("1000") << QStringLiteral("#94a3b8");
        QTest::newRow("1 ms") << 1 << QStringLiteral("1") << QStringLiteral("#48bb78");
        QTest::newRow("29") << 29 << QStringLiteral("29") << QStringLiteral("#48bb78");
        QTest::newRow("30") << 30 << QStringLiteral("30") << QStringLiteral("#66bb6a");
        QTest::newRow("60") << 60 << QStringLiteral("60") << QStringLiteral("#ffa726");
        QTest::newRow("100") << 100 << QStringLiteral("100") << QStringLiteral("#ff7043");
        QTest::newRow("199") << 199 << QStringLiteral("199") << QStringLiteral("#ff7043");
        QTest::newRow("200") << 200 << QStringLiteral("200") << QStringLiteral("#f44336");
        QTest::newRow("998") << 998 << QStringLiteral("998") << QStringLiteral("#f44336");
    }

    void values()
    {
        QFETCH(int, ping);
        QFETCH(QString, pingText);
        QFETCH(QString, pingColor);
        MiniOverlayWidget hud;
        hud.updateValues(ping, 9123, QStringLiteral("01:02:03"));
        QCOMPARE(value(hud, "ping")->text(), pingText);
        QVERIFY2(value(hud, "ping")->styleSheet().contains(pingColor),
            qPrintable(value(hud, "ping")->styleSheet()));
        QCOMPARE(value(hud, "port")->text(), QStringLiteral("9123"));
        QCOMPARE(value(hud, "duration")->text(), QStringLiteral("01:02:03"));
        QCOMPARE(hud.currentPort(), quint16(9123));

        hud.updateValues(ping, 0, QStringLiteral("00:00:00"));
        QCOMPARE(value(hud, "port")->text(), QStringLiteral("—"));
        QCOMPARE(hud.currentPort(), quint16(0));
    }

    void hoverIsCapped_data()
    {
        QTest::addColumn<int>("percent");
        QTest::addColumn<double>("hovered");
        QTest::newRow("half") << 50 << 0.55;
        QTest::newRow("near the cap") << 93 << 0.95;
        QTest::newRow("above the cap") << 97 << 0.97;
        QTest::newRow("opaque") << 100 << 1.00;
    }

    void hoverIsCapped()
    {
        QFETCH(int, percent);
        QFETCH(double, hovered);
        MiniOverlayWidget hud;
        hud.setOpacityPercent(percent);
        hud.show();
        QVERIFY(QTest::qWaitForWindowExposed(&hud));
        const double base = percent / 100.0;
        QVERIFY(QTest::qWaitFor([&] { return qAbs(hud.windowOpacity() - base) <= kOpacityStep; }, 2000));

        hover(&hud, true);
        QVERIFY(hud.isHovered());
        QVERIFY(qAbs(hud.targetOpacity() - hovered) < 1e-9);
        QVERIFY(QTest::qWaitFor([&] { return qAbs(hud.windowOpacity() - hovered) <= kOpacityStep; }, 2000));

        // Hidden while hovered: the next show fades in to the base, not the brightened value.
        hud.hide();
        QVERIFY(!hud.isHovered());
        hud.show();
        QVERIFY(QTest::qWaitFor([&] { return qAbs(hud.windowOpacity() - base) <= kOpacityStep; }, 2000));

        hover(&hud, true);
        QVERIFY(QTest::qWaitFor([&] { return qAbs(hud.windowOpacity() - hovered) <= kOpacityStep; }, 2000));
        hover(&hud, false);
        QVERIFY(!hud.isHovered());
        QVERIFY(QTest::qWaitFor([&] { return qAbs(hud.windowOpacity() - base) <= kOpacityStep; }, 2000));
        QVERIFY(qAbs(hud.opacity() - base) < 1e-9);
    }

    void starWithoutPortEmitsNothing()
    {
        MiniOverlayWidget hud;
        QSignalSpy spy(&hud, &MiniOverlayWidget::favoriteClicked);
        QPushButton *star = button(hud, QStringLiteral("miniFavoriteButton"));
        QVERIFY(star);
        star->click();
        QCOMPARE(spy.count(), 0);

        hud.updateValues(40, 9100, QStringLiteral("00:00:01"));
        star->click();
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).value<quint16>(), quint16(9100));

        hud.updateValues(40, 0, QStringLiteral("00:00:02"));
        star->click();
        QCOMPARE(spy.count(), 1);
    }

    void favoriteStar_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("color");
        QTest::addColumn<QString>("name");
        QTest::newRow("normal") << 0 << QStringLiteral("#facc15") << QStringLiteral("НОРМАЛЬНЫЙ");
        QTest::newRow("good") << 1 << QStringLiteral("#22c55e") << QStringLiteral("ХОРОШИЙ");
        QTest::newRow("bad") << 2 << QStringLiteral("#ef4444") << QStringLiteral("ПЛОХОЙ");
        QTest::newRow("unknown") << 7 << QStringLiteral("#facc15") << QStringLiteral("НОРМАЛЬНЫЙ");
    }

    void favoriteStar()
    {
        QFETCH(int, status);
        QFETCH(QString, color);
        QFETCH(QString, name);
        MiniOverlayWidget hud;
        QPushButton *star = button(hud, QStringLiteral("miniFavoriteButton"));

        hud.updateValues(40, 9100, QStringLiteral("00:00:01"));
        QCOMPARE(star->toolTip(), QStringLiteral("Добавить в избранное")); // no store yet

        QHash<quint16, MiniOverlayWidget::Favorite> store;
        hud.setFavoriteLookup([&store](quint16 port) -> std::optional<MiniOverlayWidget::Favorite> {
            const auto it = store.constFind(port);
            return it == store.constEnd() ? std::nullopt : std::optional(*it);
        });
        QCOMPARE(star->text(), QStringLiteral("☆"));
        QCOMPARE(star->toolTip(), QStringLiteral("☆ Добавить порт 9100 в избранное"));

        store.insert(9100, {QStringLiteral("Озеро"), status, QDateTime(QDate(2026, 3, 7), QTime(10, 0))});
        hud.onFavoriteChanged(9200); // another port: nothing to refresh
        QCOMPARE(star->text(), QStringLiteral("☆"));
        hud.onFavoriteChanged(9100);
        QCOMPARE(star->text(), QStringLiteral("★"));
        QVERIFY(star->styleSheet().contains(QStringLiteral("color: %1;").arg(color)));
        QVERIFY(star->styleSheet().contains(QColor(color).lighter(130).name()));
        QCOMPARE(star->toolTip(),
            QStringLiteral(
                "⭐ Порт 9100 в избранном\n📝 Озеро\n📊 Статус: %1\n📅 Добавлен: 07.03.2026\n"
                "─────────────────\n🖱️ Нажмите, чтобы "
                "удалить")
                .arg(name));
    }

    void followsFavoritesStore()
    {
        MiniOverlayWidget hud;
        QPushButton *star = button(hud, QStringLiteral("miniFavoriteButton"));
        auto *store = new FakeFavoritesStore;
        hud.setFavoritesManager(store);
        hud.updateValues(30, 9100, QStringLiteral("00:00:01"));
        QCOMPARE(star->text(), QStringLiteral("☆"));

        store->add({9200, QStringLiteral("Другой"), QDateTime::currentDateTime(), 1});
        QCOMPARE(star->text(), QStringLiteral("☆"));
        store->add({9100, QStringLiteral("Ладога"), QDateTime::currentDateTime(), 1});
        QCOMPARE(star->text(), QStringLiteral("★"));
        QVERIFY(star->styleSheet().contains(QStringLiteral("#22c55e")));
        store->update({9100, QStringLiteral("Ладога"), QDateTime::currentDateTime(), 2});
        QVERIFY(star->styleSheet().contains(QStringLiteral("#ef4444")));
        store->remove(9100);
        QCOMPARE(star->text(), QStringLiteral("☆"));

        // A detached store no longer reaches the HUD.
        FakeFavoritesStore other;
        hud.setFavoritesManager(&other);
        store->add({9100, QStringLiteral("Ладога"), QDateTime::currentDateTime(), 1});
        QCOMPARE(star->text(), QStringLiteral("☆"));
        hud.setFavoritesManager(store);
        QCOMPARE(star->text(), QStringLiteral("★"));

        // A store that goes away first leaves a plain star, not a crash.
        delete store;
        hud.refreshFavoriteButton();
        QCOMPARE(star->text(), QStringLiteral("☆"));
    }

    void controlsEmit_data()
    {
        QTest::addColumn<QString>("buttonName");
        QTest::addColumn<QByteArray>("signal");
        QTest::newRow("hide") << QStringLiteral("miniHideButton") << QByteArray(SIGNAL(hideRequested()));
        QTest::newRow("firewall") << QStringLiteral("miniFirewallButton")
                                  << QByteArray(SIGNAL(firewallRequested()));
        QTest::newRow("settings") << QStringLiteral("miniSettingsButton")
                                  << QByteArray(SIGNAL(settingsRequested()));
    }

    void controlsEmit()
    {
        QFETCH(QString, buttonName);
        QFETCH(QByteArray, signal);
        MiniOverlayWidget hud;
        QSignalSpy spy(&hud, signal.constData());
        QSignalSpy hideSpy(&hud, &MiniOverlayWidget::hideRequested);
        button(hud, buttonName)->click();
        QCOMPARE(spy.count(), 1);
        QCOMPARE(hideSpy.count(), buttonName == QLatin1String("miniHideButton") ? 1 : 0);
    }

    void mouseRestoresMainWindow()
    {
        MiniOverlayWidget hud;
        hud.show();
        QVERIFY(QTest::qWaitForWindowExposed(&hud));
        QSignalSpy restore(&hud, &MiniOverlayWidget::restoreRequested);
        QSignalSpy doubleClick(&hud, &MiniOverlayWidget::doubleClicked);
        QTest::mouseClick(&hud, Qt::RightButton, Qt::NoModifier, QPoint(30, 30));
        QCOMPARE(restore.count(), 1);
        QTest::mouseDClick(&hud, Qt::LeftButton, Qt::NoModifier, QPoint(30, 30));
        QCOMPARE(doubleClick.count(), 1);
    }

    void neverTakesFocus()
    {
        MiniOverlayWidget hud;
        const Qt::WindowFlags flags = hud.windowFlags();
        QVERIFY(flags.testFlag(Qt::Tool));
        QVERIFY(flags.testFlag(Qt::FramelessWindowHint));
        QVERIFY(flags.testFlag(Qt::WindowStaysOnTopHint));
        QVERIFY(flags.testFlag(Qt::WindowDoesNotAcceptFocus));
        QVERIFY(hud.testAttribute(Qt::WA_ShowWithoutActivating));
        QCOMPARE(hud.focusPolicy(), Qt::NoFocus);
        for (const QWidget *child : hud.findChildren<QWidget *>())
            QVERIFY2(child->focusPolicy() == Qt::NoFocus, qPrintable(child->objectName()));

        // The offscreen platform activates every window it shows, whatever it asks for, so
        // the focus itself is checked on a real X server (Xvfb), in a child process.
        if (QGuiApplication::platformName() != QLatin1String("xcb")) {
            const QString xvfbRun = QStandardPaths::findExecutable(QStringLiteral("xvfb-run"));
            if (xvfbRun.isEmpty())
                QSKIP("xvfb-run is not installed");
            QProcess child;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
            child.setProcessEnvironment(env);
            child.setProcessChannelMode(QProcess::MergedChannels);
            child.start(xvfbRun,
                {QStringLiteral("-a"), QCoreApplication::applicationFilePath(),
                    QStringLiteral("neverTakesFocus")});
            QVERIFY(child.waitForFinished(60000));
            const QByteArray output = child.readAll();
            QVERIFY2(child.exitCode() == 0, output.constData());
            QVERIFY2(output.contains("PASS   : TestMiniOverlay::neverTakesFocus()"), output.constData());
            return;
        }

        // The game stands in for the window that has the focus. An ordinary window shown
        // here does take it (so the check can fail); the HUD must not.
        QWidget game;
        game.resize(200, 200);
        game.show();
        game.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&game));
        {
            QWidget ordinary;
            ordinary.resize(100, 100);
            ordinary.show();
            ordinary.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&ordinary));
        }
        game.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&game));

        hud.show();
        QVERIFY(QTest::qWaitForWindowExposed(&hud));
        hud.activateWindow();
        QTest::mouseClick(button(hud, QStringLiteral("miniHideButton")), Qt::LeftButton);
        QVERIFY(!QTest::qWaitFor([&] { return QApplication::activeWindow() != &game; }, 300));
        QVERIFY(!hud.isActiveWindow());
        QCOMPARE(hud.focusWidget(), nullptr);
    }
};

QTEST_MAIN(TestMiniOverlay)
#include "tst_minioverlay.moc"
