// A catalogue refresh makes again only the cards whose entry changed; the others stay the
// very same widgets, in id order.

#include "shared/portmessagewidget.h"
#include "shared/sharedportsclient.h"
#include "shared/sharedportsdialog.h"
#include "tools/cannedhttpserver.h"

#include <QHash>
#include <QListWidget>
#include <QTest>

namespace {

// Entries as "id:user:description".
QByteArray listing(const QStringList &entries)
{
    QStringList items;
    for (const QString &entry : entries) {
        const QStringList parts = entry.split(QLatin1Char(':'));
        items << QStringLiteral(R"({"id":%1,"user_name":"%2","port":%3,"description":"%4",)"
                                R"("status":1,"created_at":"2024-05-01 10:00:00"})")
                     .arg(parts.at(0), parts.at(1))
                     .arg(9000 + parts.at(0).toInt())
                     .arg(parts.at(2));
    }
    return QStringLiteral(R"({"success":true,"ports":[%1]})").arg(items.join(QLatin1Char(','))).toUtf8();
}

QHash<int, const PortMessageWidget *> cardsById(const SharedPortsDialog &dialog)
{
    QHash<int, const PortMessageWidget *> cards;
    for (int row = 0; row < dialog.portList()->count(); ++row)
        if (const PortMessageWidget *card = dialog.cardAt(row))
            cards.insert(card->port().id, card);
    return cards;
}

} // namespace

class TestCatalogRefresh : public QObject
{
    Q_OBJECT

private slots:
    void onlyChangedEntriesMakeCards_data();
    void onlyChangedEntriesMakeCards();
};

void TestCatalogRefresh::onlyChangedEntriesMakeCards_data()
{
    QTest::addColumn<QString>("afterText");
    QTest::addColumn<QString>("viewer");
    QTest::addColumn<QList<int>>("made");

    const auto row = [](const char *name, const char *after, const char *viewer, QList<int> made) {
        QTest::newRow(name) << QString::fromUtf8(after) << QString::fromUtf8(viewer) << made;
    };
    row("nothing changed", "3:Сом:a,5:Я:b,7:Лещ:c,9:Окунь:d", "Я", {});
    row("listed in another order", "9:Окунь:d,3:Сом:a,7:Лещ:c,5:Я:b", "Я", {});
    row("one text changed", "3:Сом:a,5:Я:b,7:Лещ:new,9:Окунь:d", "Я", {7});
    row("one withdrawn", "3:Сом:a,7:Лещ:c,9:Окунь:d", "Я", {});
    row("one published between", "3:Сом:a,5:Я:b,6:Карп:e,7:Лещ:c,9:Окунь:d", "Я", {6});
    row("first and last replaced", "2:Сом:a,5:Я:b,7:Лещ:c,11:Окунь:d", "Я", {2, 11});
    // Ownership follows the viewer's name: the cards that change hands are made again.
    row("viewer renamed", "3:Сом:a,5:Я:b,7:Лещ:c,9:Окунь:d", "Сом", {3, 5});
    row("all gone", "", "Я", {});
}

void TestCatalogRefresh::onlyChangedEntriesMakeCards()
{
    QFETCH(QString, afterText);
    QFETCH(QString, viewer);
    QFETCH(QList<int>, made);

    const QStringList after = afterText.split(QLatin1Char(','), Qt::SkipEmptyParts);
    QByteArray current
        = listing(QString::fromUtf8("3:Сом:a,5:Я:b,7:Лещ:c,9:Окунь:d").split(QLatin1Char(',')));
    CannedHttpServer server;
    server.setResponder([&current](const CannedRequest &) { return CannedReply {200, current, false}; });
    SharedPortsDialog dialog(QStringLiteral("Я"), nullptr);
    dialog.client()->setBaseUrl(server.baseUrl());
    dialog.show();
    QVERIFY(QTest::qWaitFor([&] { return !dialog.isLoading() && dialog.cardCount() == 4; }, 20000));
    const QHash<int, const PortMessageWidget *> before = cardsById(dialog);

    current = listing(after);
    if (viewer != dialog.userName())
        dialog.setUserName(viewer);
    else
        dialog.loadPorts();
    QVERIFY(QTest::qWaitFor([&] { return !dialog.isLoading(); }, 20000));

    QList<int> ids;
    QList<int> madeIds;
    for (int row = 0; row < dialog.portList()->count(); ++row) {
        const PortMessageWidget *card = dialog.cardAt(row);
        QVERIFY(card);
        ids << card->port().id;
        if (before.value(card->port().id) != card)
            madeIds << card->port().id;
        QCOMPARE(card->isOwn(), card->port().userName == viewer);
        QCOMPARE(card->descriptionText(), dialog.ports().at(row).description);
    }
    QVERIFY(std::is_sorted(ids.cbegin(), ids.cend()));
    QCOMPARE(ids.size(), after.size());
    QCOMPARE(madeIds, made);
}

QTEST_MAIN(TestCatalogRefresh)
#include "tst_catalogrefresh.moc"
