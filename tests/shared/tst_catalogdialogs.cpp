// The catalogue and comments dialogs against kestrel-service (and, where the test must
// choose the service's answer, a local server that answers recorded replies).

#include "app/appconfig.h"
#include "app/settingskeys.h"
#include "favorites/favoriteportsmanager.h"
#include "shared/commentdialog.h"
#include "shared/portmessagewidget.h"
#include "shared/sharedportsclient.h"
#include "shared/sharedportsdialog.h"
#include "tools/cannedhttpserver.h"
#include "tools/serviceprocess.h"
#include "ui/messagebox.h"
#include "ui/svgbutton.h"

#include <QComboBox>
#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QListWidget>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>

namespace {

const QString kMe = QStringLiteral("Я");

// Stands in for the main window: the two signals the catalogue follows.
class FakeOwner : public QWidget
{
    Q_OBJECT

signals:
    void onlineCountChanged(int count);
    void opacityChanged(int percent);
};

QByteArray portsReply(const QList<SharedPort> &ports)
{
    QJsonArray array;
    for (const SharedPort &port : ports) {
        array.append(QJsonObject {{QStringLiteral("id"), port.id},
            {QStringLiteral("user_name"), port.userName}, {QStringLiteral("port"), port.port},
            {QStringLiteral("description"), port.description}, {QStringLiteral("status"), port.status},
            {QStringLiteral("created_at"), QStringLiteral("2026-03-05 09:07:00")}});
    }
    return QJsonDocument(QJsonObject {{QStringLiteral("success"), true}, {QStringLiteral("ports"), array}})
        .toJson();
}

SharedPort entry(int id, const QString &user, quint16 port, const QString &description = QStringLiteral("d"))
{
    SharedPort p;
    p.id = id;
    p.userName = user;
    p.port = port;
    p.description = description;
    return p;
}

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

QStringList rowTexts(const CommentDialog &dialog)
{
    QStringList texts;
    for (int row = 0; row < dialog.commentList()->count(); ++row) {
        auto *label
            = qobject_cast<QLabel *>(dialog.commentList()->itemWidget(dialog.commentList()->item(row)));
        texts << (label ? label->text() : QString());
    }
    return texts;
}

} // namespace

class TestCatalogDialogs : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void initials_data();
    void initials();
    void avatarColourIsAlwaysValid();
    void descriptionAndComment_data();
    void descriptionAndComment();
    void commentRow_data();
    void commentRow();

    void cardsSortedByIdOwnAndOther();
    void failedCatalogueKeepsCards();
    void scrollPosition();
    void clickingCards_data();
    void clickingCards();
    void publishRefused_data();
    void publishRefused();
    void publishThenReloadShowsCard();
    void deleteAsksThenWithdraws();
    void changeDuringALoadIsReadAgain();
    void addToFavourites();
    void onlineCountAndOpacityFollowOwner_data();
    void onlineCountAndOpacityFollowOwner();
    void closingHidesAndShowingReloads();
    void emojiPopup();
    void hostileContentIsLiteral();
    void commentsWindowsKeepTheirOwnResults();
    void blankCommentSendsNothing();
    void failedSendKeepsText();
    void destroyedWindowsIgnoreLateReplies();

private:
    bool publish(const QString &user, quint16 port, const QString &description, const QString &comment);
    int idOf(const QString &user, quint16 port);
    bool addComment(int id, const QString &user, const QString &text);

    ServiceProcess m_service;
    SharedPortsClient *m_client = nullptr;
    FavoritePortsManager *m_favorites = nullptr;
};

void TestCatalogDialogs::initTestCase()
{
    QVERIFY2(QFileInfo(ServiceProcess::binary()).isExecutable(), "kestrel-service must be built");
    QVERIFY2(m_service.start(), m_service.log().constData());
    qputenv(AppConfig::kServiceUrlEnv, m_service.baseUrl().toUtf8());
    m_client = new SharedPortsClient(this);
    m_client->setBaseUrl(m_service.baseUrl());
}

void TestCatalogDialogs::init()
{
    openSettings().remove(QStringLiteral("FavoritePorts"));
    m_favorites = new FavoritePortsManager(this);
    MessageBox::clearNextAnswers();
    MessageBox::resetRecord();
}

void TestCatalogDialogs::cleanup()
{
    QCOMPARE(MessageBox::pendingAnswers(), 0);
    delete m_favorites;
    m_favorites = nullptr;
}

bool TestCatalogDialogs::publish(
    const QString &user, quint16 port, const QString &description, const QString &comment)
{
    QSignalSpy spy(m_client, &SharedPortsClient::publishFinished);
    m_client->publishPort(user, port, description, 1, comment);
    return spy.wait(20000) && spy.first().at(0).toBool();
}

int TestCatalogDialogs::idOf(const QString &user, quint16 port)
{
    QSignalSpy spy(m_client, &SharedPortsClient::portsReceived);
    m_client->fetchPorts(user);
    if (!spy.wait(20000))
        return 0;
    for (const SharedPort &p : spy.first().at(0).value<QList<SharedPort>>()) {
        if (p.userName == user && p.port == port)
            return p.id;
    }
    return 0;
}

bool TestCatalogDialogs::addComment(int id, const QString &user, const QString &text)
{
    QSignalSpy spy(m_client, &SharedPortsClient::commentAdded);
    m_client->addComment(id, user, text);
    return spy.wait(20000) && spy.first().at(0).toBool();
}

void TestCatalogDialogs::initials_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("expected");
    QTest::newRow("two words") << QStringLiteral("иван петров") << QStringLiteral("ИП");
    QTest::newRow("three words, extra blanks")
        << QStringLiteral("  big   fish  tail") << QStringLiteral("BF");
    QTest::newRow("one word") << QStringLiteral("сом") << QStringLiteral("С");
    QTest::newRow("blanks only") << QStringLiteral("   ") << QStringLiteral(" ");
    QTest::newRow("empty") << QString() << QStringLiteral("?");
    QTest::newRow("emoji stays whole") << QStringLiteral("🐟 рыбак") << QStringLiteral("🐟Р");
}

void TestCatalogDialogs::initials()
{
    QFETCH(QString, name);
    QFETCH(QString, expected);
    QCOMPARE(PortMessageWidget::initials(name), expected);
}

void TestCatalogDialogs::avatarColourIsAlwaysValid()
{
    // Names whose first two digest bytes sum below zero would give a black avatar
    // if the hue were taken as it is; find some and check every colour is valid.
    int negativeSums = 0;
    for (int i = 0; i < 200; ++i) {
        const QString name = QStringLiteral("user%1").arg(i);
        const QByteArray digest = QCryptographicHash::hash(name.toUtf8(), QCryptographicHash::Md5);
        negativeSums += static_cast<signed char>(digest.at(0)) + static_cast<signed char>(digest.at(1)) < 0;
        const QColor colour = PortMessageWidget::userColor(name);
        QVERIFY2(colour.isValid(), qPrintable(name));
        QVERIFY(colour.hsvHue() >= 0 && colour.hsvHue() < 360);
        QVERIFY(colour.hsvSaturation() >= 121 && colour.value() >= 146);
        QCOMPARE(colour.name(), PortMessageWidget::userColor(name).name());
        QCOMPARE(colour.name().size(), 7);
    }
    QVERIFY(negativeSums > 0);
    QVERIFY(PortMessageWidget::userColor(QStringLiteral("Сом"))
        != PortMessageWidget::userColor(QStringLiteral("Щука")));
}

void TestCatalogDialogs::descriptionAndComment_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("description");
    QTest::addColumn<QString>("comment");
    QTest::newRow("both") << QStringLiteral("Ладога\n📝 ночью") << QStringLiteral("Ладога")
                          << QStringLiteral("💬 ночью");
    QTest::newRow("no separator") << QStringLiteral("Ладога\nночью") << QStringLiteral("Ладога\nночью")
                                  << QString();
    QTest::newRow("split at the first")
        << QStringLiteral("a\n📝 b\n📝 c") << QStringLiteral("a") << QStringLiteral("💬 b\n📝 c");
    QTest::newRow("comment only") << QStringLiteral("\n📝 c") << QString() << QStringLiteral("💬 c");
}

void TestCatalogDialogs::descriptionAndComment()
{
    QFETCH(QString, text);
    QFETCH(QString, description);
    QFETCH(QString, comment);
    PortMessageWidget card(entry(1, QStringLiteral("Сом"), 9100, text), kMe);
    QCOMPARE(card.descriptionText(), description);
    QCOMPARE(card.commentText(), comment);
    QCOMPARE(card.findChild<QLabel *>(QStringLiteral("descriptionLabel")) != nullptr, !description.isEmpty());
    QCOMPARE(card.findChild<QLabel *>(QStringLiteral("commentLabel")) != nullptr, !comment.isEmpty());
}

void TestCatalogDialogs::commentRow_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("plain") << QStringLiteral("Сом") << QStringLiteral("клюёт")
                           << QStringLiteral("[05.03 09:07] <b>Сом</b>: клюёт");
    QTest::newRow("markup escaped")
        << QStringLiteral("<i>A&B</i>") << QStringLiteral("x < y > z")
        << QStringLiteral("[05.03 09:07] <b>&lt;i&gt;A&amp;B&lt;/i&gt;</b>: x &lt; y &gt; z");
    QTest::newRow("placeholders stay") << QStringLiteral("%3") << QStringLiteral("%1 %2")
                                       << QStringLiteral("[05.03 09:07] <b>%3</b>: %1 %2");
}

void TestCatalogDialogs::commentRow()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(QString, expected);
    Comment comment;
    comment.userName = name;
    comment.comment = text;
    comment.createdAt = QDateTime(QDate(2026, 3, 5), QTime(9, 7));
    QCOMPARE(CommentDialog::rowText(comment), expected);
}

void TestCatalogDialogs::cardsSortedByIdOwnAndOther()
{
    CannedHttpServer server;
    server.setReply(200,
        portsReply({entry(7, QStringLiteral("Сом"), 9007), entry(3, kMe, 9003),
            entry(5, QStringLiteral("я"), 9005)}));
    SharedPortsDialog dialog(kMe, m_favorites);
    dialog.client()->setBaseUrl(server.baseUrl());
    dialog.show();
    QVERIFY(waitLoaded(dialog));

    QCOMPARE(dialog.cardCount(), 3);
    QCOMPARE(dialog.portList()->count(), 3); // the loading row is gone
    QList<int> ids;
    for (int row = 0; row < 3; ++row)
        ids << dialog.cardAt(row)->port().id;
    QCOMPARE(ids, (QList<int> {3, 5, 7}));

    // Ownership is by exact name: "я" is someone else.
    PortMessageWidget *own = dialog.cardAt(0);
    QVERIFY(own->isOwn());
    QVERIFY(own->deleteButton() && !own->favoriteButton());
    QCOMPARE(own->deleteButton()->text(), QStringLiteral("Удалить"));
    for (int row : {1, 2}) {
        PortMessageWidget *other = dialog.cardAt(row);
        QVERIFY(!other->isOwn());
        QVERIFY(other->favoriteButton() && !other->deleteButton());
        QCOMPARE(other->favoriteButton()->text(), QStringLiteral("Добавить в избранное"));
    }
    QVERIFY(own->findChild<QWidget *>(QStringLiteral("cardWidget"))
                ->styleSheet()
                .contains(QLatin1String("rgba(59,130,246,150)")));
    QVERIFY(dialog.cardAt(1)
                ->findChild<QWidget *>(QStringLiteral("cardWidget"))
                ->styleSheet()
                .contains(QLatin1String("rgba(59,130,246,80)")));
    QCOMPARE(dialog.cardAt(1)->findChild<QLabel *>(QStringLiteral("timeLabel"))->text(),
        QStringLiteral("05.03.2026 09:07:00"));

    // Every request is made under the viewer's name.
    QVERIFY(server.requests().first().target.contains("user_name=%D0%AF"));
}

void TestCatalogDialogs::failedCatalogueKeepsCards()
{
    CannedHttpServer server;
    server.setReply(200, portsReply({entry(1, QStringLiteral("Сом"), 9001), entry(2, kMe, 9002)}));
    SharedPortsDialog dialog(kMe, m_favorites);
    dialog.client()->setBaseUrl(server.baseUrl());
    dialog.show();
    QVERIFY(waitLoaded(dialog));
    QCOMPARE(dialog.cardCount(), 2);

    for (const auto &reply : {QPair<int, QByteArray> {500, "{}"},
             QPair<int, QByteArray> {200, R"({"success":false,"error":"db"})"},
             QPair<int, QByteArray> {200, "[]"}}) {
        server.setReply(reply.first, reply.second);
        dialog.onTimerRefresh();
        QVERIFY(dialog.isLoading());
        QVERIFY(waitLoaded(dialog));
        QCOMPARE(dialog.cardCount(), 2);
        QCOMPARE(dialog.portList()->count(), 2);
    }
    QCOMPARE(MessageBox::shownCount(), 0);

    // With nothing on screen, a failure leaves no loading row behind either.
    SharedPortsDialog empty(kMe, m_favorites);
    empty.client()->setBaseUrl(server.baseUrl());
    empty.loadPorts();
    QCOMPARE(empty.portList()->count(), 1);
    QVERIFY(empty.portList()->item(0)->text().contains(QStringLiteral("Загрузка")));
    QVERIFY(!(empty.portList()->item(0)->flags() & Qt::ItemIsSelectable));
    QVERIFY(waitLoaded(empty));
    QCOMPARE(empty.portList()->count(), 0);
}

void TestCatalogDialogs::scrollPosition()
{
    QList<SharedPort> ports;
    for (int id = 1; id <= 12; ++id)
        ports << entry(id, QStringLiteral("Сом%1").arg(id), quint16(9100 + id));
    CannedHttpServer server;
    server.setResponder([&ports](const CannedRequest &) {
        return CannedReply {200, portsReply(ports), false};
    });
    SharedPortsDialog dialog(kMe, m_favorites);
    dialog.client()->setBaseUrl(server.baseUrl());
    dialog.show();
    QVERIFY(waitLoaded(dialog));
    QScrollBar *bar = dialog.portList()->verticalScrollBar();
    QVERIFY(bar->maximum() > 200);

    // Nothing clicked: every refresh goes to the newest card, even from the top.
    QCOMPARE(bar->value(), bar->maximum());
    QVERIFY(dialog.isAtBottom());
    bar->setValue(0);
    QVERIFY(!dialog.isAtBottom());
    dialog.onTimerRefresh();
    QVERIFY(waitLoaded(dialog));
    QCOMPARE(bar->value(), bar->maximum());
    QVERIFY(dialog.isAtBottom());

    // A clicked card (which opens its comments) and the reader's place survive refreshes.
    PortMessageWidget *clicked = dialog.cardAt(4);
    QTest::mouseClick(clicked, Qt::LeftButton, {}, QPoint(5, 5));
    QCOMPARE(dialog.selectedPortId(), 5);
    QVERIFY(dialog.commentDialogFor(5));
    dialog.commentDialogFor(5)->close();
    bar->setValue(120);
    QVERIFY(!dialog.isAtBottom());
    ports << entry(13, QStringLiteral("Новый"), 9200);
    dialog.onTimerRefresh();
    QVERIFY(waitLoaded(dialog));
    QCOMPARE(dialog.cardCount(), 13);
    QCOMPARE(bar->value(), 120);
    QVERIFY(!dialog.isAtBottom());
    QCOMPARE(dialog.portList()->currentRow(), 4);
    QCOMPARE(dialog.cardAt(dialog.portList()->currentRow())->port().id, 5);

    // At the end (within 10 pixels) it follows new cards.
    bar->setValue(bar->maximum() - 5);
    QVERIFY(dialog.isAtBottom());
    ports << entry(14, QStringLiteral("Ещё"), 9201);
    dialog.onTimerRefresh();
    QVERIFY(waitLoaded(dialog));
    QCOMPARE(dialog.cardCount(), 14);
    QCOMPARE(bar->value(), bar->maximum());
    QVERIFY(dialog.isAtBottom());
}

void TestCatalogDialogs::clickingCards_data()
{
    QTest::addColumn<QString>("owner");
    QTest::addColumn<bool>("opensComments");
    QTest::newRow("own card") << kMe << false;
    QTest::newRow("other's card") << QStringLiteral("Окунь") << true;
}

void TestCatalogDialogs::clickingCards()
{
    QFETCH(QString, owner);
    QFETCH(bool, opensComments);
    QVERIFY(publish(owner, 9301, QStringLiteral("Озеро"), QStringLiteral("утром")));
    const int id = idOf(owner, 9301);
    QVERIFY(id > 0);

    SharedPortsDialog dialog(kMe, m_favorites);
    dialog.show();
    QVERIFY(waitLoaded(dialog));
    PortMessageWidget *card = findCard(dialog, owner, 9301);
    QVERIFY(card);
    QTest::mouseClick(card, Qt::LeftButton, {}, QPoint(5, 5));
    QCOMPARE(dialog.selectedPortId(), id);
    QCOMPARE(dialog.findChildren<CommentDialog *>().size(), opensComments ? 1 : 0);
    if (!opensComments)
        return;

    CommentDialog *comments = dialog.commentDialogFor(id);
    QVERIFY(comments && comments->isVisible());
    QCOMPARE(comments->portId(), id);
    QCOMPARE(comments->windowTitle(), QStringLiteral("Ваш коментарий"));
    // A second click brings the same window forward rather than stacking another.
    QTest::mouseClick(card, Qt::LeftButton, {}, QPoint(5, 5));
    QCOMPARE(dialog.findChildren<CommentDialog *>().size(), 1);

    // Its close button closes and destroys it.
    const QPointer<CommentDialog> guard(comments);
    QTest::mouseClick(comments->closeButton(), Qt::LeftButton);
    QVERIFY(QTest::qWaitFor([&guard] { return guard.isNull(); }, 5000));
    QVERIFY(!dialog.commentDialogFor(id));
}

void TestCatalogDialogs::publishRefused_data()
{
    QTest::addColumn<bool>("withFavourite");
    QTest::addColumn<QString>("comment");
    QTest::addColumn<QString>("message");
    QTest::newRow("no favourites") << false << QStringLiteral("коммент")
                                   << QStringLiteral("Нет избранных портов для публикации");
    QTest::newRow("blank comment") << true << QStringLiteral(" \n\t ")
                                   << QStringLiteral("Введите комментарий");
}

void TestCatalogDialogs::publishRefused()
{
    QFETCH(bool, withFavourite);
    QFETCH(QString, comment);
    QFETCH(QString, message);
    if (withFavourite)
        QVERIFY(m_favorites->addFavorite({9401, QStringLiteral("Ладога"), QDateTime::currentDateTime(), 1}));
    SharedPortsDialog dialog(kMe, m_favorites);
    dialog.show();
    QVERIFY(waitLoaded(dialog));
    QCOMPARE(dialog.favoritesCombo()->currentText(),
        withFavourite ? QStringLiteral("9401 - Ладога") : QStringLiteral("Нет избранных портов"));

    dialog.commentEditor()->setPlainText(comment);
    QCOMPARE(dialog.publishButton()->isEnabled(), !comment.trimmed().isEmpty());
    MessageBox::setNextAnswer(QMessageBox::Ok);
    dialog.onPublishClicked();
    QCOMPARE(MessageBox::lastShown().title, QStringLiteral("Ошибка"));
    QCOMPARE(MessageBox::lastShown().text, message);
    QCOMPARE(MessageBox::lastShown().icon, QMessageBox::Warning);
    QVERIFY(!dialog.client()->isBusy());
    QCOMPARE(dialog.commentEditor()->toPlainText(), comment);
}

void TestCatalogDialogs::publishThenReloadShowsCard()
{
    QVERIFY(m_favorites->addFavorite({9402, QStringLiteral("Ахтуба"), QDateTime::currentDateTime(), 0}));
    QVERIFY(m_favorites->addFavorite({9403, QStringLiteral("Волга"), QDateTime::currentDateTime(), 2}));
    SharedPortsDialog dialog(kMe, m_favorites);
    dialog.show();
    QVERIFY(waitLoaded(dialog));
    QVERIFY(!findCard(dialog, kMe, 9403));

    dialog.favoritesCombo()->setCurrentIndex(dialog.favoritesCombo()->findData(9403U));
    dialog.commentEditor()->insertPlainText(QStringLiteral("  вечером  "));
    QVERIFY(dialog.publishButton()->isEnabled());
    QSignalSpy published(dialog.client(), &SharedPortsClient::publishFinished);
    QTest::mouseClick(dialog.publishButton(), Qt::LeftButton);
    QVERIFY(dialog.commentEditor()->toPlainText().isEmpty());
    QVERIFY(!dialog.publishButton()->isEnabled());
    QVERIFY(published.wait(20000));
    QVERIFY(published.first().at(0).toBool());

    QVERIFY(QTest::qWaitFor([&] { return findCard(dialog, kMe, 9403) != nullptr; }, 20000));
    PortMessageWidget *card = findCard(dialog, kMe, 9403);
    QVERIFY(card->isOwn());
    QCOMPARE(card->port().status, 2);
    QCOMPARE(card->descriptionText(), QStringLiteral("Волга"));
    QCOMPARE(card->commentText(), QStringLiteral("💬 вечером"));
    // The chosen favourite stays chosen across the reload.
    QCOMPARE(dialog.favoritesCombo()->currentData().toUInt(), 9403U);
    QCOMPARE(MessageBox::shownCount(), 0);

    // A refusal by the service is shown with its text.
    dialog.commentEditor()->setPlainText(QStringLiteral("x"));
    m_favorites->addFavorite(
        {9404, QString(QChar(0x01)) + QStringLiteral("плохо"), QDateTime::currentDateTime(), 0});
    dialog.favoritesCombo()->setCurrentIndex(dialog.favoritesCombo()->findData(9404U));
    MessageBox::setNextAnswer(QMessageBox::Ok);
    dialog.onPublishClicked();
    QVERIFY(QTest::qWaitFor([] { return MessageBox::shownCount() == 1; }, 20000));
    QCOMPARE(MessageBox::lastShown().title, QStringLiteral("Ошибка публикации"));
    QVERIFY(!MessageBox::lastShown().text.isEmpty());
}

void TestCatalogDialogs::deleteAsksThenWithdraws()
{
    QVERIFY(publish(kMe, 9501, QStringLiteral("Кама"), QStringLiteral("днём")));
    SharedPortsDialog dialog(kMe, m_favorites);
    dialog.show();
    QVERIFY(waitLoaded(dialog));
    PortMessageWidget *card = findCard(dialog, kMe, 9501);
    QVERIFY(card);

    MessageBox::setNextAnswer(QMessageBox::No);
    QTest::mouseClick(card->deleteButton(), Qt::LeftButton);
    QCOMPARE(MessageBox::lastShown().title, QStringLiteral("Подтверждение"));
    QCOMPARE(MessageBox::lastShown().text, QStringLiteral("Удалить этот порт из общего каталога?"));
    QCOMPARE(MessageBox::lastShown().buttons, QMessageBox::Yes | QMessageBox::No);
    QVERIFY(!dialog.client()->isBusy());
    QVERIFY(dialog.findChildren<CommentDialog *>().isEmpty());

    MessageBox::setNextAnswer(QMessageBox::Yes);
    QTest::mouseClick(card->deleteButton(), Qt::LeftButton);
    QVERIFY(dialog.client()->isBusy());
    QVERIFY(QTest::qWaitFor([&] { return !findCard(dialog, kMe, 9501) && !dialog.isLoading(); }, 20000));
    QCOMPARE(idOf(kMe, 9501), 0);

    // An entry without a valid id is refused before asking.
    SharedPort broken = entry(0, kMe, 9502);
    PortMessageWidget brokenCard(broken, kMe);
    CannedHttpServer server;
    server.setReply(200, portsReply({broken}));
    SharedPortsDialog other(kMe, m_favorites);
    other.client()->setBaseUrl(server.baseUrl());
    other.show();
    QVERIFY(waitLoaded(other));
    const int shown = MessageBox::shownCount();
    QTest::ignoreMessage(QtWarningMsg, "[ERROR] Cannot delete: invalid port id: 0");
    QTest::mouseClick(other.cardAt(0)->deleteButton(), Qt::LeftButton);
    QCOMPARE(MessageBox::shownCount(), shown);
    QVERIFY(!other.client()->isBusy());
}

void TestCatalogDialogs::changeDuringALoadIsReadAgain()
{
    // The catalogue as the service holds it, and whether to hold catalogue reads back.
    QList<SharedPort> listed {entry(4, kMe, 9004)};
    bool holdReads = false;
    CannedHttpServer server;
    server.setResponder([&](const CannedRequest &request) {
        if (request.target.contains("unpublish_port.php")) {
            listed.clear();
            return CannedReply {200, R"({"success":true})", false};
        }
        return CannedReply {200, portsReply(listed), holdReads};
    });
    SharedPortsDialog dialog(kMe, m_favorites);
    dialog.client()->setBaseUrl(server.baseUrl());
    dialog.show();
    QVERIFY(waitLoaded(dialog));
    QCOMPARE(dialog.cardCount(), 1);

    // A refresh is out when the withdrawal succeeds; its answer predates the change.
    holdReads = true;
    const QByteArray before = portsReply(listed);
    dialog.onTimerRefresh();
    QVERIFY(QTest::qWaitFor([&server] { return server.heldCount() == 1; }, 20000));
    QSignalSpy withdrawn(dialog.client(), &SharedPortsClient::unpublishFinished);
    MessageBox::setNextAnswer(QMessageBox::Yes);
    QTest::mouseClick(dialog.cardAt(0)->deleteButton(), Qt::LeftButton);
    QVERIFY(withdrawn.wait(20000));
    holdReads = false;
    server.answer(0, 200, before);
    QVERIFY(QTest::qWaitFor([&dialog] { return dialog.cardCount() == 0; }, 20000));
    QCOMPARE(MessageBox::shownCount(), 1);
}

void TestCatalogDialogs::addToFavourites()
{
    QVERIFY(publish(QStringLiteral("Сом"), 9601, QStringLiteral("Ладога"), QStringLiteral("ночью")));
    SharedPortsDialog dialog(kMe, m_favorites);
    dialog.show();
    QVERIFY(waitLoaded(dialog));
    PortMessageWidget *card = findCard(dialog, QStringLiteral("Сом"), 9601);
    QVERIFY(card);

    MessageBox::setNextAnswer(QMessageBox::Ok);
    QTest::mouseClick(card->favoriteButton(), Qt::LeftButton);
    QCOMPARE(MessageBox::lastShown().title, QStringLiteral("Добавлено"));
    QCOMPARE(MessageBox::lastShown().text, QStringLiteral("Порт 9601 добавлен в избранное"));
    const FavoritePort added = m_favorites->getFavorite(9601);
    QCOMPARE(added.description, QStringLiteral("Ладога\n📝 ночью"));
    QCOMPARE(added.status, 1);
    QVERIFY(qAbs(added.addedDate.secsTo(QDateTime::currentDateTime())) < 60);
    QVERIFY(dialog.findChildren<CommentDialog *>().isEmpty());
    // The new favourite can be published at once.
    QVERIFY(dialog.favoritesCombo()->findData(9601U) >= 0);

    MessageBox::setNextAnswer(QMessageBox::Ok);
    QTest::mouseClick(card->favoriteButton(), Qt::LeftButton);
    QCOMPARE(MessageBox::lastShown().title, QStringLiteral("Уже есть"));
    QCOMPARE(MessageBox::lastShown().text, QStringLiteral("Порт 9601 уже в вашем избранном"));
    QCOMPARE(m_favorites->favorites().size(), 1);

    // A port the favourites cannot hold is not reported as added.
    CannedHttpServer server;
    server.setReply(200, portsReply({entry(4, QStringLiteral("Сом"), 80)}));
    SharedPortsDialog odd(kMe, m_favorites);
    odd.client()->setBaseUrl(server.baseUrl());
    odd.show();
    QVERIFY(waitLoaded(odd));
    MessageBox::setNextAnswer(QMessageBox::Ok);
    QTest::mouseClick(odd.cardAt(0)->favoriteButton(), Qt::LeftButton);
    QCOMPARE(MessageBox::lastShown().icon, QMessageBox::Warning);
    QVERIFY(!m_favorites->isFavorite(80));
}

void TestCatalogDialogs::onlineCountAndOpacityFollowOwner_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("colour");
    QTest::newRow("five") << 5 << QStringLiteral("5") << QStringLiteral("#4ade80");
    QTest::newRow("zero") << 0 << QStringLiteral("0") << QStringLiteral("#94a3b8");
    QTest::newRow("failed") << -1 << QStringLiteral("?") << QStringLiteral("#ef4444");
}

void TestCatalogDialogs::onlineCountAndOpacityFollowOwner()
{
    QFETCH(int, count);
    QFETCH(QString, text);
    QFETCH(QString, colour);
    FakeOwner owner;
    owner.setWindowOpacity(0.7);
    SharedPortsDialog dialog(kMe, m_favorites, &owner);
    QCOMPARE(qRound(dialog.windowOpacity() * 100), 70);

    emit owner.onlineCountChanged(count);
    QCOMPARE(dialog.onlineCountLabel()->text(), text);
    QVERIFY(dialog.onlineCountLabel()->styleSheet().contains(QStringLiteral("color:") + colour));
    QVERIFY(dialog.onlineDot()->styleSheet().contains(QStringLiteral("background-color:") + colour));

    // The stored setting (85 by default) does not override the main window's opacity at show.
    emit owner.opacityChanged(55);
    QCOMPARE(qRound(dialog.windowOpacity() * 100), 55);
    dialog.show();
    QCOMPARE(qRound(dialog.windowOpacity() * 100), 55);
    QVERIFY(waitLoaded(dialog));
}

void TestCatalogDialogs::closingHidesAndShowingReloads()
{
    QPointer<SharedPortsDialog> dialog = new SharedPortsDialog(kMe, m_favorites);
    dialog->show();
    QVERIFY(waitLoaded(*dialog));
    QCOMPARE(dialog->windowTitle(), QStringLiteral("Сеть портов"));
    QCOMPARE(dialog->size(), QSize(520, 680));
    QCOMPARE(dialog->closeButton()->toolTip(), QStringLiteral("Закрыть"));
    QTest::mouseClick(dialog->closeButton(), Qt::LeftButton);
    QVERIFY(!dialog->isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(dialog);
    dialog->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(dialog);

    QVERIFY(!dialog->isLoading());
    dialog->show();
    QVERIFY(dialog->isLoading());
    QVERIFY(waitLoaded(*dialog));

    // A new nickname reloads with the cards judged under it.
    QVERIFY(publish(QStringLiteral("Новое имя"), 9701, QStringLiteral("Река"), QStringLiteral("к")));
    dialog->setUserName(QStringLiteral("Новое имя"));
    QVERIFY(waitLoaded(*dialog));
    QVERIFY(findCard(*dialog, QStringLiteral("Новое имя"), 9701)->isOwn());
    delete dialog.data();
}

void TestCatalogDialogs::emojiPopup()
{
    QVERIFY(m_favorites->addFavorite({9801, QStringLiteral("Ладога"), QDateTime::currentDateTime(), 1}));
    SharedPortsDialog dialog(kMe, m_favorites);
    dialog.show();
    QVERIFY(waitLoaded(dialog));
    QCOMPARE(SharedPortsDialog::emojis().size(), 23);
    QCOMPARE(SharedPortsDialog::emojis().first(), QStringLiteral("😊"));
    QCOMPARE(SharedPortsDialog::emojis().last(), QStringLiteral("🤝"));

    QTest::keyClicks(dialog.commentEditor(), QStringLiteral("ab"));
    QTest::keyClick(dialog.commentEditor(), Qt::Key_Left);
    QTest::mouseClick(dialog.emojiButton(), Qt::LeftButton);
    QVERIFY(dialog.emojiPopup()->isVisible());
    QCOMPARE(dialog.emojiPopup()->pos(),
        dialog.emojiButton()->mapToGlobal(QPoint(0, dialog.emojiButton()->height())));
    const QList<QPushButton *> buttons = dialog.emojiPopup()->findChildren<QPushButton *>();
    QCOMPARE(buttons.size(), 23);
    auto fish = std::find_if(
        buttons.cbegin(), buttons.cend(), [](QPushButton *b) { return b->text() == QStringLiteral("🎣"); });
    QVERIFY(fish != buttons.cend());
    QTest::mouseClick(*fish, Qt::LeftButton);
    QVERIFY(!dialog.emojiPopup()->isVisible());
    QCOMPARE(dialog.commentEditor()->toPlainText(), QStringLiteral("a🎣b"));
    QVERIFY(dialog.publishButton()->isEnabled());
}

void TestCatalogDialogs::hostileContentIsLiteral()
{
    // Anything these would fetch lands on this server.
    CannedHttpServer trap;
    trap.setReply(200, "{}");
    const QString image = QStringLiteral("<img src=\"%1evil.png\" width=300 height=300>").arg(trap.baseUrl());
    const QString description = image + QStringLiteral("<style>*{color:red}</style><b>жирный</b>");
    const QString comment = QStringLiteral("<a href=\"%1link\">клик</a>").arg(trap.baseUrl()) + image;
    const QString name = QStringLiteral("<i>Злой</i>");
    QVERIFY(publish(name, 9901, description, comment));
    const int id = idOf(name, 9901);
    QVERIFY(id > 0);
    QVERIFY(addComment(id, QStringLiteral("<b>%3</b>"), image + QStringLiteral(" &amp; <script>x</script>")));

    SharedPortsDialog dialog(kMe, m_favorites);
    dialog.show();
    QVERIFY(waitLoaded(dialog));
    PortMessageWidget *card = findCard(dialog, name, 9901);
    QVERIFY(card);
    QCOMPARE(card->descriptionText(), description);
    QCOMPARE(card->commentText(), QStringLiteral("💬 ") + comment);
    const QList<QLabel *> labels = card->findChildren<QLabel *>();
    QVERIFY(labels.size() >= 6);
    for (const QLabel *label : labels)
        QCOMPARE(label->textFormat(), Qt::PlainText);
    QCOMPARE(card->findChild<QLabel *>(QStringLiteral("userNameLabel"))->text(), name);
    QCOMPARE(card->findChild<QLabel *>(QStringLiteral("avatarLabel"))->text(), QStringLiteral("<"));

    QTest::mouseClick(card, Qt::LeftButton, {}, QPoint(5, 5));
    CommentDialog *comments = dialog.commentDialogFor(id);
    QVERIFY(comments);
    QVERIFY(QTest::qWaitFor([comments] { return comments->commentList()->count() == 1; }, 20000));
    auto *row = qobject_cast<QLabel *>(comments->commentList()->itemWidget(comments->commentList()->item(0)));
    QVERIFY(row);
    QCOMPARE(row->textFormat(), Qt::RichText);
    QVERIFY(row->text().contains(QStringLiteral("<b>&lt;b&gt;%3&lt;/b&gt;</b>: &lt;img src=")));
    QVERIFY(!row->text().contains(QStringLiteral("<img")));
    QVERIFY(row->text().endsWith(QStringLiteral("&amp;amp; &lt;script&gt;x&lt;/script&gt;")));
    // Rendered as text, the row is one or two lines high, not a 300-pixel picture.
    QVERIFY(row->heightForWidth(400) < 120);

    // Paint both windows, then let a request of our own reach the trap: nothing came before it.
    (void)dialog.grab();
    (void)comments->grab();
    QNetworkAccessManager manager;
    QNetworkReply *probe = manager.get(QNetworkRequest(QUrl(trap.baseUrl() + QStringLiteral("probe"))));
    QSignalSpy finished(probe, &QNetworkReply::finished);
    QVERIFY(finished.wait(20000));
    probe->deleteLater();
    QCOMPARE(trap.requests().size(), 1);
    QCOMPARE(trap.requests().first().target, QByteArray("/probe"));
}

void TestCatalogDialogs::commentsWindowsKeepTheirOwnResults()
{
    QVERIFY(publish(QStringLiteral("Карп"), 9911, QStringLiteral("Пруд"), QStringLiteral("к")));
    QVERIFY(publish(QStringLiteral("Линь"), 9912, QStringLiteral("Старица"), QStringLiteral("к")));
    const int first = idOf(QStringLiteral("Карп"), 9911);
    const int second = idOf(QStringLiteral("Линь"), 9912);
    QVERIFY(first > 0 && second > 0);
    QVERIFY(addComment(first, QStringLiteral("Гость"), QStringLiteral("для первого")));
    QVERIFY(addComment(second, QStringLiteral("Гость"), QStringLiteral("для второго")));

    SharedPortsDialog catalogue(kMe, m_favorites);
    CommentDialog a(first, kMe, catalogue.client(), &catalogue);
    CommentDialog b(second, kMe, catalogue.client(), &catalogue);
    QVERIFY(QTest::qWaitFor(
        [&] { return a.commentList()->count() == 1 && b.commentList()->count() == 1; }, 20000));
    QVERIFY(!catalogue.client()->isBusy());
    QVERIFY(rowTexts(a).first().endsWith(QStringLiteral("для первого")));
    QVERIFY(rowTexts(b).first().endsWith(QStringLiteral("для второго")));

    // A send from one window: one success box, one reload, and only there.
    MessageBox::setNextAnswer(QMessageBox::Ok);
    a.editor()->setPlainText(QStringLiteral("  ещё  "));
    QTest::mouseClick(a.sendButton(), Qt::LeftButton);
    QVERIFY(!a.sendButton()->isEnabled());
    QVERIFY(QTest::qWaitFor([&] { return a.commentList()->count() == 2; }, 20000));
    QVERIFY(QTest::qWaitFor([&] { return !catalogue.client()->isBusy(); }, 20000));
    QCOMPARE(MessageBox::shownCount(), 1);
    QCOMPARE(MessageBox::lastShown().title, QStringLiteral("Успех"));
    QCOMPARE(MessageBox::lastShown().text, QStringLiteral("Комментарий отправлен"));
    QVERIFY(a.editor()->toPlainText().isEmpty());
    QVERIFY(a.sendButton()->isEnabled());
    QVERIFY(rowTexts(a).last().contains(QStringLiteral("<b>Я</b>: ещё")));
    QCOMPARE(b.commentList()->count(), 1);
    QVERIFY(rowTexts(b).first().endsWith(QStringLiteral("для второго")));
    QVERIFY(b.sendButton()->isEnabled());
}

void TestCatalogDialogs::blankCommentSendsNothing()
{
    SharedPortsClient client;
    client.setBaseUrl(m_service.baseUrl());
    CommentDialog dialog(1, kMe, &client);
    QVERIFY(QTest::qWaitFor([&client] { return !client.isBusy(); }, 20000));
    dialog.editor()->setPlainText(QStringLiteral(" \n  "));
    QTest::mouseClick(dialog.sendButton(), Qt::LeftButton);
    QVERIFY(!client.isBusy());
    QVERIFY(dialog.sendButton()->isEnabled());
    QCOMPARE(MessageBox::shownCount(), 0);
}

void TestCatalogDialogs::failedSendKeepsText()
{
    CannedHttpServer server;
    server.setResponder([](const CannedRequest &request) {
        if (request.target.contains("add_comment.php"))
            return CannedReply {200, R"({"success":false,"error":"Слишком часто"})", false};
        return CannedReply {
            200, R"({"success":true,"comments":[{"id":1,"user_name":"A","comment":"x"}]})", false};
    });
    SharedPortsClient client;
    client.setBaseUrl(server.baseUrl());
    CommentDialog dialog(3, kMe, &client);
    QVERIFY(QTest::qWaitFor([&dialog] { return dialog.commentList()->count() == 1; }, 20000));
    QVERIFY(server.requests().first().target.endsWith("get_comments.php?port_id=3"));

    MessageBox::setNextAnswer(QMessageBox::Ok);
    dialog.editor()->setPlainText(QStringLiteral("мой текст"));
    QTest::mouseClick(dialog.sendButton(), Qt::LeftButton);
    QVERIFY(QTest::qWaitFor([] { return MessageBox::shownCount() == 1; }, 20000));
    QCOMPARE(MessageBox::lastShown().title, QStringLiteral("Ошибка"));
    QCOMPARE(MessageBox::lastShown().text, QStringLiteral("Не удалось отправить:\nСлишком часто"));
    QCOMPARE(dialog.editor()->toPlainText(), QStringLiteral("мой текст"));
    QVERIFY(dialog.sendButton()->isEnabled());
    QCOMPARE(server.requests().size(), 2); // no reload after a failure

    // A failed fetch leaves the list as it was.
    server.setReply(500, "{}");
    dialog.refreshComments();
    QVERIFY(QTest::qWaitFor([&client] { return !client.isBusy(); }, 20000));
    QCOMPARE(dialog.commentList()->count(), 1);
}

void TestCatalogDialogs::destroyedWindowsIgnoreLateReplies()
{
    CannedHttpServer server;
    server.setResponder([](const CannedRequest &) { return CannedReply {200, {}, true}; });

    // A comments window closed while its request is out.
    SharedPortsClient client;
    client.setBaseUrl(server.baseUrl());
    QSignalSpy comments(&client, &SharedPortsClient::commentsReceived);
    auto *dialog = new CommentDialog(5, kMe, &client);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    QVERIFY(QTest::qWaitFor([&server] { return server.heldCount() == 1; }, 20000));
    const QPointer<CommentDialog> guard(dialog);
    dialog->close();
    QVERIFY(QTest::qWaitFor([&guard] { return guard.isNull(); }, 5000));
    server.answer(0, 200, R"({"success":true,"comments":[{"id":1}]})");
    QVERIFY(comments.wait(20000));

    // The catalogue destroyed with its own and its comments windows' requests out.
    auto *catalogue = new SharedPortsDialog(kMe, m_favorites);
    catalogue->client()->setBaseUrl(server.baseUrl());
    catalogue->show();
    new CommentDialog(6, kMe, catalogue->client(), catalogue);
    QVERIFY(QTest::qWaitFor([&server] { return server.heldCount() == 2; }, 20000));
    delete catalogue;
    server.answer(0, 200, portsReply({entry(1, kMe, 9001)}));
    server.answer(0, 200, R"({"success":true,"comments":[]})");
    // A fresh request on a fresh client still completes; the dead ones had their chance.
    server.setReply(200, R"({"success":true})");
    QSignalSpy added(&client, &SharedPortsClient::commentAdded);
    client.addComment(1, kMe, QStringLiteral("x"));
    QVERIFY(added.wait(20000));
    QCOMPARE(MessageBox::shownCount(), 0);
}

QTEST_MAIN(TestCatalogDialogs)
#include "tst_catalogdialogs.moc"
