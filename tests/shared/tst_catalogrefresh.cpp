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

// Entries as "id:user:description,...".
QByteArray listing(const QString &entries)
{
    QStringList items;
    for (const QString &entry : entries.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QStringList parts = entry.split(QLatin1Char(':'));
        items << QStringLiteral(R"({"id":%1,"user_name":"%2","port":%3,"description":"%4"})")
                     .arg(parts.at(0), parts.at(1))
                     .arg(9000 + parts.at(0).toInt())
                     .arg(parts.at(2));
    }
    return QStringLiteral(R"({"success":true,"ports":[%1]})").arg(items.join(QLatin1Char(','))).toUtf8();
}

} // namespace

class TestCatalogRefresh : public QObject
{
    Q_OBJECT

private slots:
    void onlyChangedEntriesMakeCards_data()
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

    void onlyChangedEntriesMakeCards()
    {
        QFETCH(QString, afterText);
        QFETCH(QString, viewer);
        QFETCH(QList<int>, made);

        QByteArray current = listing(QString::fromUtf8("3:Сом:a,5:Я:b,7:Лещ:c,9:Окунь:d"));
        CannedHttpServer server;
        server.setResponder([&current](const CannedRequest &) { return CannedReply {200, current, false}; });
        SharedPortsDialog dialog(QStringLiteral("Я"), nullptr);
        dialog.client()->setBaseUrl(server.baseUrl());
        dialog.show();
        QVERIFY(QTest::qWaitFor([&] { return !dialog.isLoading() && dialog.cardCount() == 4; }, 20000));
        QHash<int, const PortMessageWidget *> before;
        for (int row = 0; row < 4; ++row)
            before.insert(dialog.cardAt(row)->port().id, dialog.cardAt(row));

        current = listing(afterText);
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
        QCOMPARE(ids.size(), afterText.count(QLatin1Char(':')) / 2);
        QCOMPARE(madeIds, made);
    }
};

QTEST_MAIN(TestCatalogRefresh)
#include "tst_catalogrefresh.moc"
