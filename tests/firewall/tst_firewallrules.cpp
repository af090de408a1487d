// What may reach a firewall command, and the Windows backend against stand-ins for cmd.exe
// and powershell.exe placed first on PATH, answering with recorded netsh and PowerShell output.

#include "firewall/firewallcontroller.h"
#include "firewall/nftfirewallbackend.h"
#include "firewall/portrangepreset.h"
#include "firewall/windowsfirewallbackend.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

// netsh's listing: "Label:" padded to 38 columns, CRLF lines, dashes under the rule name.
QByteArray netshRule(std::initializer_list<const char *> fields, const char *ok)
{
    QString text = QStringLiteral("\r\n");
    int i = 0;
    for (const char *field : fields) {
        const QString s = QString::fromUtf8(field);
        text += i % 2 == 0 ? QString(s + QLatin1Char(':')).leftJustified(38) : s + QStringLiteral("\r\n");
        if (++i == 2)
            text += QString(70, QLatin1Char('-')) + QStringLiteral("\r\n");
    }
    return (text + QString::fromUtf8(ok) + QStringLiteral("\r\n\r\n")).toUtf8();
}

const QByteArray kNetshRuleEnglish = netshRule(
    {"Rule Name", "RF4_Game_Ports", "Enabled", "Yes", "Direction", "Out", "Profiles", "Domain,Private,Public",
        "Grouping", "", "LocalIP", "Any", "RemoteIP", "Any", "Protocol", "TCP", "LocalPort", "Any",
        "RemotePort", "@PORTS@", "Edge traversal", "No", "Action", "Block"},
    "Ok.");
const QByteArray kNetshRuleRussian
    = netshRule({"Имя правила", "RF4_Game_Ports", "Включено", "Да", "Направление", "Исх.", "Профили",
                    "Домен,Частный,Общий", "Группа", "", "Локальный IP-адрес", "Любой", "Удаленный IP-адрес",
                    "Любой", "Протокол", "TCP", "Локальный порт", "Любой", "Удаленный порт", "@PORTS@",
                    "Обход границ", "Нет", "Действие", "Блокировать"},
        "ОК.");
const QByteArray kNetshNoneEnglish = "\r\nNo rules match the specified criteria.\r\n\r\n";
const QByteArray kNetshNoneRussian = "\r\nНет правил, соответствующих указанным критериям.\r\n\r\n";

} // namespace

class TestFirewallRules : public QObject
{
    Q_OBJECT

private slots:
    // The only text that reaches a firewall command is a plain list of ports and ranges.
    void injectionRefused()
    {
        using namespace NftCommands;
        const QString table = QStringLiteral("RF4_Game_Ports");
        QVERIFY(firewall::isValidPortList(QStringLiteral("9001-9100,9199-9999")));
        QVERIFY(firewall::isValidPortList(QStringLiteral("1,65535")));
        for (const char *ports : {"", "0", "65536", "9100-9001", "9001,", "9001, 9002",
                 "9001\" -Action Allow \"", "9001&calc", "9001 } accept; {"}) {
            QVERIFY2(!firewall::isValidPortList(QString::fromUtf8(ports)), ports);
            QVERIFY(replaceScript(table, QString::fromUtf8(ports)).isEmpty());
        }
        for (const char *name : {"x; flush ruleset", "x\nflush ruleset", "4RF", "RF4-Game", ""}) {
            QVERIFY(replaceScript(QString::fromUtf8(name), QStringLiteral("9001")).isEmpty());
            QVERIFY(removeScript(QString::fromUtf8(name)).isEmpty());
        }
    }

    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        qputenv("KESTREL_FAKE_FW_DIR", QFile::encodeName(m_dir->path()));
        qputenv("PATH", QFile::encodeName(m_dir->path()) + ":/usr/bin:/bin");
    }

    void detection_data()
    {
        QTest::addColumn<bool>("russian");
        QTest::addColumn<QString>("rulePorts"); // the firewall's rule, empty for none
        // Replaced answers by command; "hang" hangs it.
        QTest::addColumn<QVariantMap>("answers");
        QTest::addColumn<QString>("status"); // text|colour
        QTest::addColumn<int>("active");
        QTest::addColumn<QString>("calls"); // the kinds of command run, in order

        const auto row = [](const char *name, bool russian, const char *ports, const QVariantMap &answers,
                             const QString &status, int active, const char *calls) {
            QTest::newRow(name) << russian << QString::fromLatin1(ports) << answers << status << active
                                << QString::fromLatin1(calls);
        };
        const auto answer = [](const char *kind, const QByteArray &text, const char *kind2 = nullptr,
                                const QByteArray &text2 = {}) {
            QVariantMap map {{QString::fromLatin1(kind), text}};
            if (kind2)
                map.insert(QString::fromLatin1(kind2), text2);
            return map;
        };
        const QString absent = QStringLiteral("ПРАВИЛО ОТСУТСТВУЕТ|#fbbf24");
        const QString noPorts = QStringLiteral("ПРАВИЛО ЕСТЬ, НО НЕТ ПОРТОВ|#f97316");
        const QString matching = QStringLiteral("ПРАВИЛО АКТИВНО|#4caf50");
        const QString other = QStringLiteral("ПРАВИЛО НЕ СООТВЕТСТВУЕТ ДИАПАЗОНАМ|#f97316");
        const char *preset1 = "9001-9100,9199-9999", *preset3 = "9001-9300,9399-9999";
        const auto listing
            = [](const char *ports) { return QByteArray(kNetshRuleEnglish).replace("@PORTS@", ports); };
        const QByteArray anyPort = listing("Any");
        const QVariantMap none;

        row("absent", false, "", none, absent, -1, "show psget");
        row("english, preset 2", false, "9001-9200,9299-9999", none, matching, 1, "show show");
        row("russian, preset 2 reversed", true, "9299-9999,9001-9200", none, matching, 1, "show show");
        row("9001-9100 alone", false, "9001-9100", none, other, -1, "show show");
        row("no port line, powershell CRLF lines", false, preset3, answer("show", anyPort), matching, 2,
            "show show psports");
        row("no port line, empty powershell", false, preset3, answer("show", anyPort, "psports", ""), noPorts,
            -1, "show show psports");
        row("found by powershell in lower case", false, "",
            answer("psget", "DisplayName : rf4_game_ports\r\n", "psports", "9499-9999\r\n9001-9400\r\n"),
            matching, 3, "show psget show psports");
        // Both tools' rules listed (same name, as after every apply): the first one counts.
        row("two rules", false, preset1, answer("show", listing("9001-9200,9299-9999") + listing("9999")),
            matching, 1, "show show");
        row("netsh hangs", false, preset1, answer("show", "hang"), noPorts, -1, "show psget show");
    }

    void detection()
    {
        QFETCH(bool, russian);
        QFETCH(QString, rulePorts);
        QFETCH(QVariantMap, answers);
        QFETCH(QString, status);
        QFETCH(int, active);
        QFETCH(QString, calls);

        setUpTools(russian, rulePorts, answers);
        auto controller = this->controller();
        controller->detectActiveRange();
        QCOMPARE(controller->status().text, status.section(QLatin1Char('|'), 0, 0));
        QCOMPARE(controller->status().styleSheet,
            QStringLiteral("color:%1; font-weight:600;").arg(status.section(QLatin1Char('|'), 1)));
        QCOMPARE(controller->status().presentIcon, active >= 0);
        QCOMPARE(controller->activeIndex(), active);
        QCOMPARE(takeKinds(), calls);
    }

    void applyAndClear_data()
    {
        QTest::addColumn<bool>("russian");
        QTest::addColumn<int>("clicked");
        QTest::newRow("english, nothing clicked: range 1") << false << -1;
        QTest::newRow("russian, range 4") << true << 3;
    }

    void applyAndClear()
    {
        QFETCH(bool, russian);
        QFETCH(int, clicked);

        setUpTools(russian, QStringLiteral("9001-9500,9599-9999"));
        auto controller = this->controller();
        QStringList shown;
        connect(controller.get(), &FirewallController::informationRequested, this,
            [&](const QString &title, const QString &text) { shown << title << text; });
        QSignalSpy applied(controller.get(), &FirewallController::ruleApplied);
        QSignalSpy cleared(controller.get(), &FirewallController::ruleCleared);

        if (clicked >= 0)
            controller->onRangeClicked(clicked);
        controller->applyRule();
        QVERIFY(applied.wait(30000));
        QVERIFY(applied.at(0).at(0).toBool());
        QCOMPARE(controller->activeIndex(), qMax(clicked, 0)); // read back from the firewall
        const int index = qMax(clicked, 0);
        // Clicking the active row makes it the chosen one; only a firewall read moves the active index.
        controller->onRangeClicked(index);
        QVERIFY(controller->isRowSelected(index) && !controller->isRowActive(index));
        QCOMPARE(controller->activeIndex(), index);
        const QString ports = FirewallController::presets()[size_t(index)].ports;
        // Old rules of both tools go first, then both tools add theirs.
        QCOMPARE(takeKinds(), QStringLiteral("psremove delete psnew add show show show"));
        controller->clearRule();
        QVERIFY(cleared.wait(30000));
        QVERIFY(cleared.at(0).at(0).toBool());
        QCOMPARE(controller->status().text, QStringLiteral("ПРАВИЛО ОТСУТСТВУЕТ"));
        QCOMPARE(takeKinds().section(QLatin1Char(' '), 0, 1), QStringLiteral("psremove delete"));
        QCOMPARE(shown,
            QStringList({QStringLiteral("УСПЕХ"),
                QStringLiteral("Правило брандмауэра успешно обновлено!\n\nНовый диапазон портов: %1\n"
                               "Для вступления изменений в силу перезапустите игру.")
                    .arg(ports),
                QStringLiteral("УСПЕХ"),
                QStringLiteral("Правила брандмауэра успешно удалены!\n\nТеперь игра будет иметь стандартный "
                               "доступ к сети.")}));
    }

private:
    // Installs the stand-ins. An answer replaces a command's output ("hang" hangs it).
    void setUpTools(bool russian, const QString &rulePorts, const QVariantMap &answers = {})
    {
        const auto write = [this](const QString &name, const QByteArray &content) {
            QFile file(m_dir->filePath(name));
            return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
        };
        for (const QString &tool : {QStringLiteral("cmd.exe"), QStringLiteral("powershell.exe")}) {
            QVERIFY(QFile::copy(QStringLiteral(":/firewall/fake_windows_tool.sh"), m_dir->filePath(tool)));
            QVERIFY(QFile::setPermissions(m_dir->filePath(tool), QFile::ReadOwner | QFile::ExeOwner));
        }
        QVERIFY(write(QStringLiteral("netsh-rule.txt"), russian ? kNetshRuleRussian : kNetshRuleEnglish));
        QVERIFY(write(QStringLiteral("netsh-none.txt"), russian ? kNetshNoneRussian : kNetshNoneEnglish));
        QVERIFY(write(QStringLiteral("rule"), rulePorts.toUtf8()));
        for (auto it = answers.cbegin(); it != answers.cend(); ++it) {
            const QByteArray text = it.value().toByteArray();
            QVERIFY(write(it.key() + QLatin1String(text == "hang" ? ".hang" : ".out"), text));
        }
    }

    std::unique_ptr<FirewallController> controller()
    {
        auto controller = std::make_unique<FirewallController>(std::make_unique<WindowsFirewallBackend>());
        controller->setAdminCheck([] { return true; });
        controller->setQuestionHandler([](const QString &, const QString &) { return true; });
        return controller;
    }

    // The kinds of the tools' calls since the last look ("show psget ..."), in order.
    QString takeKinds()
    {
        QFile file(m_dir->filePath(QStringLiteral("calls")));
        const QByteArray kinds = file.open(QIODevice::ReadOnly) ? file.readAll().simplified() : QByteArray();
        file.remove();
        return QString::fromUtf8(kinds);
    }

    std::unique_ptr<QTemporaryDir> m_dir;
};

QTEST_GUILESS_MAIN(TestFirewallRules)
#include "tst_firewallrules.moc"
