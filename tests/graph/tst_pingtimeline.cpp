#include "monitor/pinggraphaxes.h"
#include "monitor/pingtimeline.h"

#include <QDateTime>
#include <QTest>

namespace {

// Plays a script of events a second apart: "run", "stop", "ADDRESS:PORT" (the server), a ping,
// or "back" (the clock is set back ten seconds).
void play(PingTimeline &timeline, const QString &script)
{
    qint64 at = 100000;
    for (const QString &event : script.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        at += event == QLatin1String("back") ? -10000 : 1000;
        if (event == QLatin1String("run") || event == QLatin1String("stop"))
            timeline.setGameRunning(event == QLatin1String("run"), at);
        else if (event.contains(QLatin1Char(':')))
            timeline.setServer(
                event.section(QLatin1Char(':'), 0, 0), event.section(QLatin1Char(':'), 1).toUShort(), at);
        else if (event != QLatin1String("back"))
            timeline.addPing(event.toInt(), at);
    }
}

QString marksOf(const PingTimeline &timeline)
{
    QStringList marks;
    for (const PingTimeline::Mark &mark : timeline.marks())
        marks << (mark.kind == PingTimeline::MarkKind::GameEnded ? QStringLiteral("end") : mark.label);
    return marks.join(QLatin1Char(' '));
}

} // namespace

class TestPingTimeline : public QObject
{
    Q_OBJECT

private slots:
    void marksAndGating_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<int>("samples");
        QTest::addColumn<QString>("marks");
        QTest::newRow("same server again") << QStringLiteral("run a:1 20 a:1 30") << 2 << QString();
        QTest::newRow("server change") << QStringLiteral("run a:1 20 b:2 999") << 2 << QStringLiteral("b:2");
        QTest::newRow("port change alone") << QStringLiteral("run a:1 20 a:2") << 1 << QStringLiteral("a:2");
        QTest::newRow("unpinged game end") << QStringLiteral("run a:1 stop") << 0 << QString();
        QTest::newRow("unpinged 2nd game")
            << QStringLiteral("run a:1 20 stop run stop") << 1 << QStringLiteral("end");
        QTest::newRow("no game") << QStringLiteral("20 30 run a:1 40 stop 50") << 1 << QStringLiteral("end");
        QTest::newRow("new game elsewhere")
            << QStringLiteral("run a:1 20 stop run b:2 30") << 2 << QStringLiteral("end b:2");
        QTest::newRow("clock set back") << QStringLiteral("run a:1 20 b:2 30 back 40") << 1 << QString();
    }
    void marksAndGating()
    {
        QFETCH(QString, script);
        QFETCH(int, samples);
        QFETCH(QString, marks);
        PingTimeline timeline;
        play(timeline, script);
        QCOMPARE(timeline.size(), samples);
        QCOMPARE(marksOf(timeline), marks);
    }

    void ringKeepsTheLastHourAndItsMarks()
    {
        PingTimeline timeline;
        timeline.setGameRunning(true, 0);
        timeline.setServer(QStringLiteral("a"), 1, 0);
        timeline.addPing(10, 0);
        timeline.setServer(QStringLiteral("b"), 2, 500); // dropped with the first second
        for (int i = 1; i <= PingTimeline::kCapacity; ++i)
            timeline.addPing(20, qint64(i) * 1000);
        QCOMPARE(timeline.size(), PingTimeline::kCapacity);
        QCOMPARE(timeline.sample(0).atMs, 1000);
        QVERIFY(timeline.marks().isEmpty());
    }

    void nearestSample_data()
    {
        QTest::addColumn<qint64>("at");
        QTest::addColumn<qint64>("from");
        QTest::addColumn<int>("index");
        // Samples at 0, 1000, 2000 and 5000 ms.
        QTest::newRow("halfway takes the later") << qint64(1500) << qint64(-60000) << 2;
        QTest::newRow("in a gap") << qint64(3600) << qint64(-60000) << 3;
        QTest::newRow("outside the span") << qint64(0) << qint64(1500) << 2;
        QTest::newRow("span empty") << qint64(9000) << qint64(6000) << -1;
    }
    void nearestSample()
    {
        PingTimeline timeline;
        timeline.setGameRunning(true, 0);
        for (qint64 at : {0, 1000, 2000, 5000})
            timeline.addPing(20, at);
        QFETCH(qint64, at);
        QFETCH(qint64, from);
        QFETCH(int, index);
        QCOMPARE(timeline.nearestIndex(at, from), index);
    }

    void timeAxis_data()
    {
        QTest::addColumn<int>("minutes");
        QTest::addColumn<QString>("labels");
        QTest::newRow("1 min") << 1 << QStringLiteral("04:10 04:20 04:30 04:40 04:50 05:00");
        QTest::newRow("10 min") << 10 << QStringLiteral("18:06 18:08 18:10 18:12 18:14");
        QTest::newRow("60 min") << 60 << QStringLiteral("18:10 18:20 18:30 18:40 18:50 19:00");
    }
    void timeAxis()
    {
        QFETCH(int, minutes);
        QFETCH(QString, labels);
        const qint64 from = QDateTime(QDate(2025, 3, 1), QTime(18, 4, 7)).toMSecsSinceEpoch();
        const qint64 span = qint64(minutes) * 60 * 1000;
        const qint64 step = PingGraphAxes::timeStepMs(span);
        QStringList drawn;
        for (qint64 tick : PingGraphAxes::timeTicks(from, from + span, step))
            drawn << QDateTime::fromMSecsSinceEpoch(tick).toString(PingGraphAxes::timeFormat(step));
        QCOMPARE(drawn.join(QLatin1Char(' ')), labels);
    }
};

QTEST_GUILESS_MAIN(TestPingTimeline)
#include "tst_pingtimeline.moc"
