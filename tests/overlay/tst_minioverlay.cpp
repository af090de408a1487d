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

void hover(QWidget *widget, bool enter)
{
    QEnterEvent in(QPointF(5, 5), QPointF(5, 5), widget->mapToGlobal(QPointF(5, 5)));
    QEvent out(QEvent::Leave);
    QApplication::sendEvent(widget, enter ? static_cast<QEvent *>(&in) : &out);
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

    void values_data()
    {
        QTest::addColumn<int>("ping");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("color");
        QTest::newRow("no sample") << 0 << QStringLiteral("—") << QStringLiteral("#94a3b8");
        QTest::newRow("no answer") << 999 << QStringLiteral("—") << QStringLiteral("#94a3b8");
        QTest::newRow("beyond the scale") << 1000 << QStringLiteral("1000") << QStringLiteral("#94a3b8");
        QTest::newRow("29") << 29 << QStringLiteral("29") << QStringLiteral("#48bb78");
        QTest::newRow("200") << 200 << QStringLiteral("200") << QStringLiteral("#f44336");
    }

    void values()
    {
        QFETCH(int, ping);
        QFETCH(QString, text);
        QFETCH(QString, color);
        MiniOverlayWidget hud;
        hud.updateValues(ping, 9123, QStringLiteral("01:02:03"));
        QCOMPARE(value(hud, "ping")->text(), text);
        QVERIFY(value(hud, "ping")->styleSheet().contains(color));
        QCOMPARE(value(hud, "port")->text(), QStringLiteral("9123"));
        hud.updateValues(ping, 0, QStringLiteral("00:00:00"));
        QCOMPARE(value(hud, "port")->text(), QStringLiteral("—"));
    }

    // Hovering brightens by 5 points up to 0.95, never below the set opacity.
    void hoverIsCapped()
    {
        for (const auto &[percent, hovered] :
            {std::pair(50, 0.55), std::pair(93, 0.95), std::pair(97, 0.97)}) {
            const double base = percent / 100.0;
            MiniOverlayWidget hud;
            hud.setOpacityPercent(percent);
            hud.show();
            QVERIFY(opacityReaches(hud, base));
            hover(&hud, true);
            QVERIFY2(opacityReaches(hud, hovered), qPrintable(QString::number(percent)));
            // Hidden while hovered: the next show fades in to the base, not the brightened value.
            hud.hide();
            hud.show();
            QVERIFY(opacityReaches(hud, base));
            hover(&hud, true);
            hover(&hud, false);
            QVERIFY(opacityReaches(hud, base));
        }
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
