#include "core/settingskeys.h"
#include "overlay/minioverlaywidget.h"

#include <QtTest>
#include <QtWidgets>

namespace {

QLabel *value(MiniOverlayWidget &hud, const char *key)
{
    return hud.findChild<QLabel *>(QStringLiteral("miniValue_%1").arg(QLatin1String(key)));
}

QPushButton *star(MiniOverlayWidget &hud)
{
    return hud.findChild<QPushButton *>(QStringLiteral("miniFavoriteButton"));
}

// A window keeps its opacity in 8 bits.
bool opacityReaches(QWidget &widget, double target)
{
    return QTest::qWaitFor([&] { return qAbs(widget.windowOpacity() - target) <= 1.0 / 255; }, 2000);
}

} // namespace

class TestMiniOverlay : public QObject
{
    Q_OBJECT

private slots:
    void init() { openSettings().clear(); }

    // Out-of-range percentages are stored as given and applied clamped.
    void opacityPercent()
    {
        const QString key = QLatin1String(SettingsKeys::kMiniOverlayOpacity);
        for (const auto &[percent, applied] :
            {std::pair(20, 0.30), std::pair(150, 1.00), std::pair(55, 0.55)}) {
            MiniOverlayWidget hud;
            hud.setOpacityPercent(percent);
            QCOMPARE(openSettings().value(key).toInt(), percent);
            QVERIFY2(opacityReaches(hud, applied), qPrintable(QString::number(percent)));
            QCOMPARE(MiniOverlayWidget().opacity(), applied); // the stored value gives the same
        }
    }

    // A saved place off every screen falls back to the top-right corner rule.
    void placement()
    {
        const QString key = QLatin1String(SettingsKeys::kMiniHudPos);
        const auto placed = [&](const QPoint &saved) {
            openSettings().setValue(key, saved);
            return MiniOverlayWidget().pos();
        };
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        QCOMPARE(placed(QPoint(-5000, -4000)), QPoint(area.right() + 1 - 180 - 15, area.y() + 25));
        QCOMPARE(openSettings().value(key).toPoint(), QPoint(area.right() + 1 - 180 - 15, area.y() + 25));
        QCOMPARE(placed(QPoint(40, 60)), QPoint(40, 60));
    }

    // "—" without a value; 1000 and more is shown but not rated.
    void values()
    {
        const struct
        {
            int ping;
            const char *text, *color;
        } cases[] = {{0, "—", "#94a3b8"}, {999, "—", "#94a3b8"}, {1000, "1000", "#94a3b8"},
            {29, "29", "#48bb78"}, {200, "200", "#f44336"}};
        MiniOverlayWidget hud;
        for (const auto &c : cases) {
            hud.updateValues(c.ping, 9123, QStringLiteral("01:02:03"));
            QCOMPARE(value(hud, "ping")->text(), QString::fromUtf8(c.text));
            QVERIFY2(value(hud, "ping")->styleSheet().contains(QLatin1String(c.color)), c.text);
        }
        QCOMPARE(value(hud, "port")->text(), QStringLiteral("9123"));
        hud.updateValues(40, 0, QStringLiteral("00:00:00"));
        QCOMPARE(value(hud, "port")->text(), QStringLiteral("—"));
    }

    void starWithoutPortEmitsNothing()
    {
        MiniOverlayWidget hud;
        QSignalSpy spy(&hud, &MiniOverlayWidget::favoriteClicked);
        star(hud)->click();
        hud.updateValues(40, 9100, QStringLiteral("00:00:01"));
        star(hud)->click();
        hud.updateValues(40, 0, QStringLiteral("00:00:02"));
        star(hud)->click();
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).value<quint16>(), quint16(9100));
    }
};

QTEST_MAIN(TestMiniOverlay)
#include "tst_minioverlay.moc"
