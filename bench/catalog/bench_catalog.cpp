// "Сеть портов" over a thousand published entries in the real kestrel-service on loopback:
//   open        show the window until every card is in the list;
//   refresh     a refresh where nothing changed (goal: no card made again);
//   one changed a refresh after one entry was published again with a new text (goal: one card).
// Reference measured in the same run: the catalogue request alone (the same client, the same
// thousand entries), which every refresh waits for in any case. Each figure is the median of
// several runs, in milliseconds, with its ratio to the reference.
// Usage: bench_catalog [--entries N] [--runs N]   (offscreen unless QT_QPA_PLATFORM is set)

#include "favorites/favoriteportsmanager.h"
#include "shared/portmessagewidget.h"
#include "shared/sharedportsclient.h"
#include "shared/sharedportsdialog.h"
#include "tools/serviceprocess.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QListWidget>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstdio>

namespace {

// Goals, set from the figures of the first measured run (see README): opening may take what
// building the cards takes, a refresh that changes nothing no more than the request itself
// plus a little, and one changed entry one card more.
constexpr double kOpenGoalMs = 1500.0;
constexpr double kRefreshOverheadGoal = 1.5; // ratio to the request alone
constexpr double kOneChangedOverheadGoal = 2.0;

const QString kViewer = QStringLiteral("Рыбак 0");

QString userOf(int entry)
{
    return QStringLiteral("Рыбак %1").arg(entry % 40);
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0.0 : values.at(values.size() / 2);
}

QSet<const PortMessageWidget *> cards(const SharedPortsDialog &dialog)
{
    QSet<const PortMessageWidget *> set;
    for (int row = 0; row < dialog.portList()->count(); ++row)
        if (const PortMessageWidget *card = dialog.cardAt(row))
            set.insert(card);
    return set;
}

bool publish(SharedPortsClient &client, int entry, const QString &comment)
{
    QSignalSpy done(&client, &SharedPortsClient::publishFinished);
    client.publishPort(userOf(entry), quint16(9000 + entry),
        QStringLiteral("Озеро %1, у коряги на выходе из залива").arg(entry), entry % 3, comment);
    return done.wait(20000) && done.first().at(0).toBool();
}

// Publishes entries 0..count-1, several requests at a time.
bool publishAll(SharedPortsClient &client, int count)
{
    int sent = 0;
    int finished = 0;
    bool ok = true;
    QObject::connect(&client, &SharedPortsClient::publishFinished, &client, [&](bool success) {
        ++finished;
        ok = ok && success;
        if (sent < count) {
            client.publishPort(userOf(sent), quint16(9000 + sent),
                QStringLiteral("Озеро %1, у коряги на выходе из залива").arg(sent), sent % 3,
                QStringLiteral("Клюёт на рассвете, пинг ровный"));
            ++sent;
        }
    });
    for (; sent < qMin(count, 8); ++sent)
        client.publishPort(userOf(sent), quint16(9000 + sent),
            QStringLiteral("Озеро %1, у коряги на выходе из залива").arg(sent), sent % 3,
            QStringLiteral("Клюёт на рассвете, пинг ровный"));
    const bool all = QTest::qWaitFor([&] { return finished == count; }, 300000);
    QObject::disconnect(&client, &SharedPortsClient::publishFinished, &client, nullptr);
    return all && ok;
}

double fetchMs(SharedPortsClient &client, int expected)
{
    QSignalSpy received(&client, &SharedPortsClient::portsReceived);
    QElapsedTimer timer;
    timer.start();
    client.fetchPorts(kViewer);
    if (!received.wait(20000) || received.first().at(0).value<QList<SharedPort>>().size() != expected)
        return -1;
    return double(timer.nsecsElapsed()) / 1e6;
}

// Runs a refresh of the open window and reports its time and how many cards it made.
double refreshMs(SharedPortsDialog &dialog, int *made)
{
    const QSet<const PortMessageWidget *> before = cards(dialog);
    QElapsedTimer timer;
    timer.start();
    dialog.loadPorts();
    if (!QTest::qWaitFor([&] { return !dialog.isLoading(); }, 20000))
        return -1;
    const double ms = double(timer.nsecsElapsed()) / 1e6;
    *made = 0;
    for (const PortMessageWidget *card : cards(dialog))
        *made += !before.contains(card);
    return ms;
}

void row(const char *name, double ms, double reference, const QString &goal, bool met, const QString &extra)
{
    std::printf("%-30s %9.1f ms  ratio to the request %6.2f  %-32s %s\n", name, ms, ms / reference,
        qPrintable(
            QStringLiteral("(%1: %2)").arg(goal, met ? QStringLiteral("met") : QStringLiteral("MISSED"))),
        qPrintable(extra));
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.filePath(QStringLiteral("config")).toUtf8());
    QApplication app(argc, argv);
    if (qEnvironmentVariableIsEmpty("KESTREL_BIN_DIR"))
        qputenv("KESTREL_BIN_DIR", QCoreApplication::applicationDirPath().toLocal8Bit());

    int entries = 1000;
    int runs = 5;
    const QStringList args = QCoreApplication::arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args.at(i) == QLatin1String("--entries"))
            entries = qBound(1, args.at(i + 1).toInt(), 1000);
        else if (args.at(i) == QLatin1String("--runs"))
            runs = qMax(1, args.at(i + 1).toInt());
    }

    ServiceProcess service;
    if (!service.start()) {
        std::fprintf(stderr, "bench_catalog: kestrel-service does not start (%s)\n",
            qPrintable(ServiceProcess::binary()));
        return 1;
    }
    qputenv("KESTREL_SERVICE_URL", service.baseUrl().toUtf8());
    SharedPortsClient client;
    client.setBaseUrl(service.baseUrl());
    if (!publishAll(client, entries)) {
        std::fprintf(stderr, "bench_catalog: publishing failed\n%s\n", service.log().constData());
        return 1;
    }

    QList<double> requests;
    for (int i = 0; i < runs; ++i)
        requests << fetchMs(client, entries);
    const double reference = median(requests);
    if (reference <= 0) {
        std::fprintf(stderr, "bench_catalog: the catalogue request failed\n");
        return 1;
    }
    std::printf("Catalogue window over %d entries, median of %d runs\n", entries, runs);
    std::printf("%-30s %9.1f ms  (reference)\n", "request alone", reference);

    QList<double> opens;
    FavoritePortsManager favorites;
    for (int i = 0; i < runs; ++i) {
        SharedPortsDialog dialog(kViewer, &favorites);
        QElapsedTimer timer;
        timer.start();
        dialog.show();
        if (!QTest::qWaitFor([&] { return !dialog.isLoading() && dialog.cardCount() == entries; }, 60000)) {
            std::fprintf(stderr, "bench_catalog: the window did not fill\n");
            return 1;
        }
        opens << double(timer.nsecsElapsed()) / 1e6;
    }
    const double open = median(opens);
    row("open", open, reference, QStringLiteral("goal < %1 ms").arg(kOpenGoalMs), open < kOpenGoalMs,
        QString());

    SharedPortsDialog dialog(kViewer, &favorites);
    dialog.show();
    if (!QTest::qWaitFor([&] { return !dialog.isLoading() && dialog.cardCount() == entries; }, 60000)) {
        std::fprintf(stderr, "bench_catalog: the window did not fill\n");
        return 1;
    }
    QList<double> unchanged;
    int madeUnchanged = 0;
    for (int i = 0; i < runs; ++i) {
        int made = 0;
        unchanged << refreshMs(dialog, &made);
        madeUnchanged += made;
    }
    const double refresh = median(unchanged);
    row("refresh, nothing changed", refresh, reference,
        QStringLiteral("goal 0 cards, < %1x").arg(kRefreshOverheadGoal),
        madeUnchanged == 0 && refresh < kRefreshOverheadGoal * reference,
        QStringLiteral("cards made: %1").arg(madeUnchanged));

    QList<double> oneChanged;
    int madeOne = 0;
    for (int i = 0; i < runs; ++i) {
        const int entry = 100 + i * 7;
        if (!publish(client, entry, QStringLiteral("Изменено, прогон %1").arg(i))) {
            std::fprintf(stderr, "bench_catalog: publishing again failed\n");
            return 1;
        }
        int made = 0;
        oneChanged << refreshMs(dialog, &made);
        madeOne += made;
    }
    const double changed = median(oneChanged);
    row("refresh, one entry changed", changed, reference,
        QStringLiteral("goal 1 card, < %1x").arg(kOneChangedOverheadGoal),
        madeOne == runs && changed < kOneChangedOverheadGoal * reference,
        QStringLiteral("cards made: %1 in %2 runs").arg(madeOne).arg(runs));
    return 0;
}
