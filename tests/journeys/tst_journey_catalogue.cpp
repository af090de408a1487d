// Two players share a port through the real kestrel-service: the first one finds the game,
// stars the port, publishes it from the favourites with a comment; the second one (this
// test run again as a child with a profile of its own) comments, copies the card to its
// favourites and publishes the copy; the first one sees both and withdraws its own card.

#include "app/firstrun.h"
#include "app/nicknameinputdialog.h"
#include "app/pingmonitorwidget.h"
#include "app/safetydialog.h"
#include "core/appconfig.h"
#include "core/settingskeys.h"
#include "favorites/favoriteportsdialog.h"
#include "favorites/favoriteportsmanager.h"
#include "favorites/publishportwindow.h"
#include "favorites/simpledialog.h"
#include "journeys/journey.h"
#include "monitor/connectionmonitor.h"
#include "shared/commentdialog.h"
#include "shared/portmessagewidget.h"
#include "shared/sharedportsdialog.h"
#include "tools/serviceprocess.h"
#include "ui/messagebox.h"

#include <QTest>
#include <QtWidgets>

#include <cstring>
#include <iostream>

using namespace Journey;

namespace {

const QString kHost = QStringLiteral("127.0.0.7");
const quint16 kPort = 9471;
const QString kFirst = QStringLiteral("Окунь");
const QString kSecond = QStringLiteral("Щука");

PortMessageWidget *findCard(const SharedPortsDialog *catalogue, const QString &user)
{
    for (int row = 0; catalogue && row < catalogue->portList()->count(); ++row) {
        PortMessageWidget *card = catalogue->cardAt(row);
        if (card && card->port().userName == user && card->port().port == kPort)
            return card;
    }
    return nullptr;
}

// Избранные порты → "📢 Опубликовать" on the port's row → a comment → "Опубликовать".
// Returns the text of the box that answers, and whether it stood over the favourites.
QPair<QString, bool> publishFromFavourites(PingMonitorWidget &window, const QString &comment)
{
    QPair<QString, bool> answer;
    whenModal<FavoritePortsDialog>([&answer, comment](FavoritePortsDialog *favorites) {
        whenModal<PublishPortWindow>([comment](PublishPortWindow *publish) {
            publish->commentEdit()->setPlainText(comment);
            publish->publishButton()->click();
        });
        whenModal<QMessageBox>([&answer, favorites](QMessageBox *box) {
            answer = {box->text(), box->parentWidget() == favorites};
            shot(QStringLiteral("catalogue-publish-answer"));
            box->button(QMessageBox::Ok)->click();
        });
        QWidget *actions
            = favorites->table()->cellWidget(favorites->rowOfPort(kPort), FavoritePortsDialog::ActionsColumn);
        if (actions)
            actions->findChild<QPushButton *>(QStringLiteral("publishButton"))->click();
        (void)QTest::qWaitFor([&answer] { return !answer.first.isEmpty(); }, 20000);
        favorites->onCloseClicked();
    });
    for (QAction *action : window.functionsMenu()->actions())
        action->text() == QStringLiteral("Избранные порты") ? action->trigger() : void();
    return answer;
}

// The second player, in a process and profile of its own. Prints DONE or FAIL and why.
int secondPlayer(int argc, char *argv[])
{
    QApplication app(argc, argv);
    NoChildPrograms::install();
    auto fail = [](const char *what) {
        std::cout << "FAIL " << what << std::endl;
        return 1;
    };
    QSettings settings = openSettings();
    settings.setValue(QLatin1String(SettingsKeys::kSafetyAccepted), true);
    settings.setValue(QLatin1String(SettingsKeys::kChatUserName), kSecond);
    settings.sync();
    QTemporaryDir records;
    PingMonitorWidget window(nullptr, records.path());
    window.monitor()->stop(); // the first player's game is not ours

    window.showSharedCatalog();
    auto *catalogue = window.findChild<SharedPortsDialog *>();
    if (!QTest::qWaitFor([&] { return findCard(catalogue, kFirst) != nullptr; }, 20000))
        return fail("the first player's card is not listed");
    PortMessageWidget *card = findCard(catalogue, kFirst);
    QTest::mouseClick(card, Qt::LeftButton, {}, QPoint(5, 5));
    CommentDialog *comments = catalogue->commentDialogFor(card->port().id);
    if (!comments)
        return fail("clicking the card opened no comments");
    MessageBox::setNextAnswer(QMessageBox::Ok);
    comments->editor()->setPlainText(QStringLiteral("Где именно?"));
    QTest::mouseClick(comments->sendButton(), Qt::LeftButton);
    if (!QTest::qWaitFor([&] { return comments->commentList()->count() == 1; }, 20000))
        return fail("the comment did not come back");
    shot(QStringLiteral("catalogue-second-player-comments"));

    MessageBox::setNextAnswer(QMessageBox::Ok);
    QTest::mouseClick(findCard(catalogue, kFirst)->favoriteButton(), Qt::LeftButton);
    if (window.favorites()->getFavorite(kPort).description != QStringLiteral("Протока\n📝 клюёт на джиг"))
        return fail("the copied favourite lost its comment");
    const auto answer = publishFromFavourites(window, QStringLiteral("тоже клюёт"));
    if (answer.first != QStringLiteral("Порт успешно опубликован") || !answer.second)
        return fail(qPrintable(QStringLiteral("publishing the copy: ") + answer.first));
    std::cout << "DONE" << std::endl;
    return 0;
}

} // namespace

class TestCatalogueJourney : public QObject
{
    Q_OBJECT

    ServiceProcess m_service;
    QTemporaryDir m_records;
    QTemporaryDir m_secondHome;

private slots:
    void initTestCase()
    {
        NoChildPrograms::install();
        QVERIFY2(m_service.start(), m_service.log().constData());
        qputenv(AppConfig::kServiceUrlEnv, m_service.baseUrl().toUtf8());
        openSettings().clear();
    }

    void twoPlayersShareAPort()
    {
        // First run: the declaration read to its end and accepted, then a nickname.
        whenModal<SafetyDialog>([](SafetyDialog *safety) {
            QScrollBar *bar = safety->declaration()->verticalScrollBar();
            bar->setValue(bar->maximum());
            safety->acceptButton()->click();
        });
        QVERIFY(FirstRun::ensureSafetyAccepted());
        whenModal<NicknameInputDialog>([](NicknameInputDialog *prompt) {
            prompt->lineEdit()->setText(kFirst);
            prompt->continueButton()->click();
        });
        QVERIFY(FirstRun::ensureNickname());

        Game game;
        QVERIFY(game.start(kHost, {kPort}));
        PingMonitorWidget window(nullptr, m_records.path());
        QVERIFY(QTest::qWaitFor([&] { return window.monitor()->isConnected(); }, 5000));

        // The star beside the port adds it with a description and a rating.
        whenModal<SimpleDialog>([](SimpleDialog *add) {
            add->descriptionEdit()->setText(QStringLiteral("Протока"));
            add->statusBox()->setCurrentIndex(1);
            add->addButton()->click();
        });
        QTest::mouseClick(window.favoriteButton(), Qt::LeftButton);
        QCOMPARE(window.favoriteButton()->text(), QStringLiteral("★"));

        // Published from the favourites: the answer comes over that modal window.
        const auto answer = publishFromFavourites(window, QStringLiteral("  клюёт на джиг "));
        QCOMPARE(answer, qMakePair(QStringLiteral("Порт успешно опубликован"), true));

        window.showSharedCatalog();
        auto *catalogue = window.findChild<SharedPortsDialog *>();
        QVERIFY(QTest::qWaitFor([&] { return findCard(catalogue, kFirst) != nullptr; }, 20000));
        PortMessageWidget *own = findCard(catalogue, kFirst);
        QVERIFY(own->isOwn() && own->port().status == 1);
        QCOMPARE(own->descriptionText(), QStringLiteral("Протока"));
        QCOMPARE(own->commentText(), QStringLiteral("💬 клюёт на джиг"));
        const int ownId = own->port().id;

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), m_secondHome.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_secondHome.filePath(QStringLiteral(".config")));
        ToolProcess second;
        QVERIFY(
            second.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--second-player")}, env));
        QVERIFY(second.waitForExit(90000));
        QVERIFY2(second.allOutput().contains("DONE"), second.allOutput().constData());

        // The first player reads the comment left on its entry ...
        CommentDialog comments(ownId, kFirst, catalogue->client(), catalogue);
        QVERIFY(QTest::qWaitFor([&] { return comments.commentList()->count() == 1; }, 20000));
        const auto *row
            = qobject_cast<QLabel *>(comments.commentList()->itemWidget(comments.commentList()->item(0)));
        QVERIFY2(row->text().endsWith(QStringLiteral("<b>Щука</b>: Где именно?")), qPrintable(row->text()));

        // ... and sees the second player's copy, its comment carried on before the new one.
        catalogue->loadPorts();
        QVERIFY(QTest::qWaitFor([&] { return findCard(catalogue, kSecond) != nullptr; }, 20000));
        PortMessageWidget *copy = findCard(catalogue, kSecond);
        QVERIFY(!copy->isOwn());
        QCOMPARE(copy->descriptionText(), QStringLiteral("Протока"));
        QCOMPARE(copy->commentText(), QStringLiteral("💬 клюёт на джиг\n📝 тоже клюёт"));
        shot(QStringLiteral("catalogue-both-cards"));

        // Withdrawing the own card leaves the other player's.
        MessageBox::setNextAnswer(QMessageBox::Yes);
        QTest::mouseClick(findCard(catalogue, kFirst)->deleteButton(), Qt::LeftButton);
        QVERIFY(
            QTest::qWaitFor([&] { return !findCard(catalogue, kFirst) && !catalogue->isLoading(); }, 20000));
        QVERIFY(findCard(catalogue, kSecond));
        QCOMPARE(MessageBox::pendingAnswers(), 0);
    }
};

int main(int argc, char *argv[])
{
    if (argc == 2 && std::strcmp(argv[1], "--second-player") == 0)
        return secondPlayer(argc, argv);
    QApplication app(argc, argv);
    TestCatalogueJourney test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_journey_catalogue.moc"
