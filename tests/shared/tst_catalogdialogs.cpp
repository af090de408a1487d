// The catalogue and comments dialogs against kestrel-service (or a local server that answers as told).

#include "app/pingmonitorwidget.h"
#include "core/appconfig.h"
#include "core/settingskeys.h"
#include "favorites/favoriteportsmanager.h"
#include "monitor/connectionmonitor.h"
#include "shared/portmessagewidget.h"
#include "shared/sharedportsclient.h"
#include "shared/sharedportsdialog.h"
#include "tools/cannedhttpserver.h"
#include "tools/serviceprocess.h"
#include "ui/messagebox.h"
#include "ui/svgbutton.h"

#include <QtTest>
#include <QtWidgets>

namespace {

const QString kMe = QStringLiteral("Я");

bool waitLoaded(SharedPortsDialog &dialog)
{
    return QTest::qWaitFor([&dialog] { return !dialog.isLoading(); }, 20000);
}

PortMessageWidget *findCard(const SharedPortsDialog &dialog, const QString &user, quint16 port)
{
    for (int row = 0; row < dialog.portList()->count(); ++row) {
        PortMessageWidget *card = dialog.cardAt(row);
        if (card && card->port().userName == user && card->port().port == port)
            return card;
    }
    return nullptr;
}

QString commentRow(const CommentDialog &dialog, int row)
{
    const auto *label
        = qobject_cast<QLabel *>(dialog.commentList()->itemWidget(dialog.commentList()->item(row)));
    return label ? label->text() : QString();
}

} // namespace

class TestCatalogDialogs : public QObject
{
    Q_OBJECT

    ServiceProcess m_service;
    SharedPortsClient *m_client = nullptr;
    FavoritePortsManager *m_favorites = nullptr;

    bool publish(const QString &user, quint16 port, const QString &description, const QString &comment)
    {
        QSignalSpy spy(m_client, &SharedPortsClient::publishFinished);
        m_client->publishPort(user, port, description, 1, comment);
        return spy.wait(20000) && spy.first().at(0).toBool();
    }

    bool addComment(int id, const QString &user, const QString &text)
    {
        QSignalSpy spy(m_client, &SharedPortsClient::commentAdded);
        m_client->addComment(id, user, text);
        return spy.wait(20000) && spy.first().at(0).toBool();
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(QFileInfo(ServiceProcess::binary()).isExecutable(), "kestrel-service must be built");
        QVERIFY2(m_service.start(), m_service.log().constData());
        qputenv(AppConfig::kServiceUrlEnv, m_service.baseUrl().toUtf8());
        m_client = new SharedPortsClient(this);
        m_client->setBaseUrl(m_service.baseUrl());
    }

    void init()
    {
        delete m_favorites;
        openSettings().remove(QStringLiteral("FavoritePorts"));
        m_favorites = new FavoritePortsManager(this);
        MessageBox::clearNextAnswers();
        MessageBox::resetRecord();
    }

    void cleanup() { QCOMPARE(MessageBox::pendingAnswers(), 0); }

    void cardsOrderOwnershipAndClicks()
    {
        CannedHttpServer server;
        server.setReply(200,
            R"({"success":true,"ports":[{"id":7,"user_name":"Сом","port":9007},)"
            R"({"id":3,"user_name":"Я","port":9003},{"id":5,"user_name":"я","port":9005}]})");
        SharedPortsDialog dialog(kMe, m_favorites);
        dialog.client()->setBaseUrl(server.baseUrl());
        dialog.show();
        QVERIFY(waitLoaded(dialog));
        QCOMPARE(dialog.portList()->count(), 3); // the loading row is gone
        QCOMPARE((QList<int> {
                     dialog.cardAt(0)->port().id, dialog.cardAt(1)->port().id, dialog.cardAt(2)->port().id}),
            (QList<int> {3, 5, 7}));

        // Ownership is by exact name: "я" is someone else.
        PortMessageWidget *own = dialog.cardAt(0);
        PortMessageWidget *other = dialog.cardAt(1);
        QVERIFY(own->isOwn() && !own->favoriteButton());
        QCOMPARE(own->deleteButton()->text(), QStringLiteral("Удалить"));
        QVERIFY(!other->isOwn() && other->favoriteButton() && !other->deleteButton());

        // The own card opens no comments; another's opens one window, however often clicked.
        QTest::mouseClick(own, Qt::LeftButton, {}, QPoint(5, 5));
        QCOMPARE(dialog.selectedPortId(), 3);
        QVERIFY(dialog.findChildren<CommentDialog *>().isEmpty());
        QTest::mouseClick(other, Qt::LeftButton, {}, QPoint(5, 5));
        QTest::mouseClick(other, Qt::LeftButton, {}, QPoint(5, 5));
        QVERIFY(dialog.commentDialogFor(5) && dialog.commentDialogFor(5)->isVisible());
        QCOMPARE(dialog.findChildren<CommentDialog *>().size(), 1);

        // A failed refresh keeps the cards and bothers nobody.
        server.setReply(500, "{}");
        dialog.onTimerRefresh();
        QVERIFY(waitLoaded(dialog));
        QCOMPARE(dialog.portList()->count(), 3);
        QCOMPARE(MessageBox::shownCount(), 0);

        // A blank comment is refused before anything is sent (publishing itself is a journey).
        QVERIFY(m_favorites->addFavorite({9403, QStringLiteral("Волга"), QDateTime::currentDateTime(), 2}));
        dialog.commentEditor()->setPlainText(QStringLiteral(" \n\t "));
        QVERIFY(!dialog.publishButton()->isEnabled());
        MessageBox::setNextAnswer(QMessageBox::Ok);
        dialog.onPublishClicked();
        QCOMPARE(MessageBox::lastShown().text, QStringLiteral("Введите комментарий"));
        QVERIFY(!dialog.client()->isBusy());
    }

    void hostileContentIsLiteral()
    {
        // Anything these would fetch lands on this server.
        CannedHttpServer trap;
        trap.setReply(200, "{}");
        const QString image
            = QStringLiteral("<img src=\"%1evil.png\" width=300 height=300>").arg(trap.baseUrl());
        const QString description = image + QStringLiteral("<style>*{color:red}</style><b>жирный</b>");
        // Only the first separator splits description from comment.
        const QString comment = QStringLiteral("<a href=\"%1link\">клик</a>\n📝 ").arg(trap.baseUrl()) + image;
        const QString name = QStringLiteral("<i>Злой</i>");
        QVERIFY(publish(name, 9901, description, comment));
        SharedPortsDialog dialog(kMe, m_favorites);
        dialog.show();
        QVERIFY(waitLoaded(dialog));
        PortMessageWidget *card = findCard(dialog, name, 9901);
        QVERIFY(card);
        QCOMPARE(card->descriptionText(), description);
        QCOMPARE(card->commentText(), QStringLiteral("💬 ") + comment);
        for (const QLabel *label : card->findChildren<QLabel *>())
            QCOMPARE(label->textFormat(), Qt::PlainText);

        // Comment rows are rich text (time, bold name) with everything from the network escaped.
        const int id = card->port().id;
        QVERIFY(
            addComment(id, QStringLiteral("<b>%3</b>"), image + QStringLiteral(" &amp; <script>x</script>")));
        QTest::mouseClick(card, Qt::LeftButton, {}, QPoint(5, 5));
        CommentDialog *comments = dialog.commentDialogFor(id);
        QVERIFY(comments);
        QVERIFY(QTest::qWaitFor([comments] { return comments->commentList()->count() == 1; }, 20000));
        const QString row = commentRow(*comments, 0);
        QVERIFY2(row.contains(QStringLiteral("<b>&lt;b&gt;%3&lt;/b&gt;</b>: &lt;img src=")), qPrintable(row));
        QVERIFY(!row.contains(QStringLiteral("<img")));
        QVERIFY(row.endsWith(QStringLiteral("&amp;amp; &lt;script&gt;x&lt;/script&gt;")));

        // Paint both windows, then let a request of our own reach the trap: nothing came before it.
        (void)dialog.grab();
        (void)comments->grab();
        SharedPortsClient probe;
        probe.setBaseUrl(trap.baseUrl() + QStringLiteral("probe"));
        QSignalSpy probed(&probe, &SharedPortsClient::portsReceived);
        probe.fetchPorts(QString());
        QVERIFY(probed.wait(20000));
        QCOMPARE(trap.requests().size(), 1);
        QVERIFY(trap.requests().first().target.startsWith("/probe/"));
    }

    void commentsWindowsKeepTheirOwnResults()
    {
        QVERIFY(publish(QStringLiteral("Карп"), 9911, QStringLiteral("Пруд"), QStringLiteral("к")));
        QVERIFY(publish(QStringLiteral("Линь"), 9912, QStringLiteral("Старица"), QStringLiteral("к")));
        SharedPortsDialog catalogue(kMe, m_favorites);
        catalogue.loadPorts();
        QVERIFY(waitLoaded(catalogue));
        const int first = findCard(catalogue, QStringLiteral("Карп"), 9911)->port().id;
        const int second = findCard(catalogue, QStringLiteral("Линь"), 9912)->port().id;
        QVERIFY(addComment(first, QStringLiteral("Гость"), QStringLiteral("для первого")));
        QVERIFY(addComment(second, QStringLiteral("Гость"), QStringLiteral("для второго")));

        // Both windows share the catalogue's client and load at the same time.
        CommentDialog a(first, kMe, catalogue.client(), &catalogue);
        CommentDialog b(second, kMe, catalogue.client(), &catalogue);
        QVERIFY(QTest::qWaitFor(
            [&] { return a.commentList()->count() == 1 && b.commentList()->count() == 1; }, 20000));
        QVERIFY(commentRow(a, 0).endsWith(QStringLiteral("для первого")));
        QVERIFY(commentRow(b, 0).endsWith(QStringLiteral("для второго")));

        // A refused send keeps the text for another try.
        const QString tooLong(501, QLatin1Char('x'));
        MessageBox::setNextAnswer(QMessageBox::Ok);
        a.editor()->setPlainText(tooLong);
        QTest::mouseClick(a.sendButton(), Qt::LeftButton);
        QVERIFY(QTest::qWaitFor([] { return MessageBox::shownCount() == 1; }, 20000));
        QVERIFY(
            MessageBox::lastShown().text.startsWith(QStringLiteral("Не удалось отправить:\nКомментарий")));
        QCOMPARE(a.editor()->toPlainText(), tooLong);
        QVERIFY(a.sendButton()->isEnabled());

        // A send from one window: one success box, one reload, and only there.
        MessageBox::setNextAnswer(QMessageBox::Ok);
        a.editor()->setPlainText(QStringLiteral("  ещё  "));
        QTest::mouseClick(a.sendButton(), Qt::LeftButton);
        QVERIFY(QTest::qWaitFor([&] { return a.commentList()->count() == 2; }, 20000));
        QVERIFY(QTest::qWaitFor([&] { return !catalogue.client()->isBusy(); }, 20000));
        QCOMPARE(MessageBox::shownCount(), 2);
        QCOMPARE(MessageBox::lastShown().text, QStringLiteral("Комментарий отправлен"));
        QVERIFY(a.editor()->toPlainText().isEmpty());
        QVERIFY(commentRow(a, 1).contains(QStringLiteral("<b>Я</b>: ещё")));
        QCOMPARE(b.commentList()->count(), 1);
    }
};

QTEST_MAIN(TestCatalogDialogs)
#include "tst_catalogdialogs.moc"
