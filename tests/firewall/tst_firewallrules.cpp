// Pure parts of the firewall rule: port lists, preset matching, the command texts
// and scripts, the parsers of the tools' answers; and the controller's row and
// status logic over an in-memory firewall.

#include "firewall/firewallbackend.h"
#include "firewall/firewallcontroller.h"
#include "firewall/nftfirewallbackend.h"
#include "firewall/portrangepreset.h"
#include "firewall/windowsfirewallbackend.h"

#include <QSignalSpy>
#include <QTest>
#include <QXmlStreamReader>

namespace {

// A firewall held in memory; counts what it was asked.
class MemoryBackend final : public FirewallBackend
{
public:
    struct State
    {
        bool exists = false;
        QString ports;
        bool ignoreChanges = false; // a firewall that accepts commands and changes nothing
        int adds = 0;
        int removes = 0;
    };
    explicit MemoryBackend(std::shared_ptr<State> state) : m_state(std::move(state)) { }

    bool ruleExists() override { return m_state->exists; }
    QString currentRulePorts() override { return m_state->exists ? m_state->ports : QString(); }
    bool removeRule() override
    {
        ++m_state->removes;
        if (!m_state->ignoreChanges) {
            m_state->exists = false;
            m_state->ports.clear();
        }
        return true;
    }
    bool addRule(const QString &ports) override
    {
        ++m_state->adds;
        if (!m_state->ignoreChanges) {
            m_state->exists = true;
            m_state->ports = ports;
        }
        return true;
    }

private:
    std::shared_ptr<State> m_state;
};

struct Rows
{
    QList<bool> active, selected;
};

Rows rowsOf(const FirewallController &controller)
{
    Rows rows;
    for (int i = 0; i < firewall::kPresetCount; ++i) {
        rows.active.append(controller.isRowActive(i));
        rows.selected.append(controller.isRowSelected(i));
    }
    return rows;
}

QList<bool> only(int index)
{
    QList<bool> flags(firewall::kPresetCount, false);
    if (index >= 0)
        flags[index] = true;
    return flags;
}

} // namespace

class TestFirewallRules : public QObject
{
    Q_OBJECT

private slots:
    void presetTable();
    void statusIcons();
    void normalizePortList_data();
    void normalizePortList();
    void matchingPreset_data();
    void matchingPreset();
    void validPortList_data();
    void validPortList();
    void netshRemotePorts_data();
    void netshRemotePorts();
    void nftScripts();
    void nftTableNames_data();
    void nftTableNames();
    void nftBlockedPorts_data();
    void nftBlockedPorts();

    void detectionOutcomes_data();
    void detectionOutcomes();
    void clickAndActiveRows();
    void detectionKeepsSelectedIndex();
    void quickCheckLeavesRows();
    void initialCheckOrder();
    void applyFlow_data();
    void applyFlow();
    void applyIgnoredWhileBusy();
    void clearFlow_data();
    void clearFlow();
};

void TestFirewallRules::presetTable()
{
    const auto &presets = firewall::portRangePresets();
    // Every preset blocks 9001-9999 except a window of 98 ports; 9000 stays open.
    for (int i = 0; i < firewall::kPresetCount; ++i) {
        const int windowFirst = 9101 + 100 * i;
        QCOMPARE(presets[size_t(i)].name, QStringLiteral("Диапазон %1").arg(i + 1));
        QCOMPARE(presets[size_t(i)].ports,
            QStringLiteral("9001-%1,%2-9999").arg(windowFirst - 1).arg(windowFirst + 98));
    }
    QCOMPARE(firewall::displayPortList(presets[0].ports), QStringLiteral("9001-9100, 9199-9999"));
}

void TestFirewallRules::statusIcons()
{
    // The status widget renders these texts; a malformed one would show nothing.
    for (const QByteArray &svg : {firewall::presentIconSvg(), firewall::absentIconSvg()}) {
        QXmlStreamReader xml(svg);
        QVERIFY(xml.readNextStartElement());
        QCOMPARE(xml.name(), QLatin1String("svg"));
        QCOMPARE(xml.attributes().value(QLatin1String("width")), QLatin1String("24"));
        while (!xml.atEnd())
            xml.readNext();
        QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
    }
    QVERIFY(firewall::presentIconSvg().contains("#4caf50"));
    QVERIFY(firewall::absentIconSvg().contains("#f44336"));
}

void TestFirewallRules::normalizePortList_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected");
    QTest::newRow("canonical") << "9001-9100,9199-9999"
                               << "9001-9100,9199-9999";
    QTest::newRow("reversed with blank") << "9199-9999, 9001-9100"
                                         << "9001-9100,9199-9999";
    QTest::newRow("powershell CRLF lines") << "9001-9100\r\n9199-9999\r\n"
                                           << "9001-9100,9199-9999";
    QTest::newRow("LF and lone CR") << "9199-9999\n9001-9100\r"
                                    << "9001-9100,9199-9999";
    QTest::newRow("tabs and empty parts") << "\t9001-9100,,\t,9199-9999,"
                                          << "9001-9100,9199-9999";
    QTest::newRow("foreign characters dropped") << "Port 9001-9100;,x"
                                                << "9001-9100";
    QTest::newRow("string order, not numeric") << "10000,9999,200"
                                               << "10000,200,9999";
    QTest::newRow("blank") << "   "
                           << "";
    QTest::newRow("any") << "Any"
                         << "";
    QTest::newRow("empty") << ""
                           << "";
}

void TestFirewallRules::normalizePortList()
{
    QFETCH(QString, input);
    QFETCH(QString, expected);
    QCOMPARE(firewall::normalizePortList(input), expected);
}

void TestFirewallRules::matchingPreset_data()
{
    QTest::addColumn<QString>("ports");
    QTest::addColumn<int>("expected");
    QTest::newRow("preset 1") << "9001-9100,9199-9999" << 0;
    QTest::newRow("preset 1 reversed") << "9199-9999,9001-9100" << 0;
    QTest::newRow("preset 3 powershell lines") << "9001-9300\r\n9399-9999\r\n" << 2;
    QTest::newRow("preset 5") << "9001-9500, 9599-9999" << 4;
    QTest::newRow("9001-9100 alone") << "9001-9100" << -1;
    QTest::newRow("preset plus one port") << "9001-9100,9199-9999,9000" << -1;
    QTest::newRow("blank") << " \r\n " << -1;
}

void TestFirewallRules::matchingPreset()
{
    QFETCH(QString, ports);
    QFETCH(int, expected);
    QCOMPARE(firewall::matchingPreset(ports), expected);
}

void TestFirewallRules::validPortList_data()
{
    QTest::addColumn<QString>("ports");
    QTest::addColumn<bool>("valid");
    QTest::newRow("preset") << "9001-9100,9199-9999" << true;
    QTest::newRow("single") << "9000" << true;
    QTest::newRow("bounds") << "1,65535" << true;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("zero") << "0" << false;
    QTest::newRow("too big") << "65536" << false;
    QTest::newRow("descending range") << "9100-9001" << false;
    QTest::newRow("blank") << "9001, 9002" << false;
    QTest::newRow("trailing comma") << "9001," << false;
    QTest::newRow("quote injection") << "9001\" -Action Allow \"" << false;
    QTest::newRow("shell metacharacters") << "9001&calc" << false;
    QTest::newRow("nft injection") << "9001 } accept; {" << false;
}

void TestFirewallRules::validPortList()
{
    QFETCH(QString, ports);
    QFETCH(bool, valid);
    QCOMPARE(firewall::isValidPortList(ports), valid);
}

void TestFirewallRules::netshRemotePorts_data()
{
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("expected");
    QTest::newRow("russian") << QStringLiteral(
        "Локальный порт:                       Любой\r\n"
        "Удаленный порт:                       9001-9100,9199-9999\r\n")
                             << "9001-9100,9199-9999";
    QTest::newRow("english") << QStringLiteral(
        "LocalPort:                            Any\r\n"
        "RemotePort:                           9001-9200,9299-9999\r\n")
                             << "9001-9200,9299-9999";
    QTest::newRow("add syntax") << QStringLiteral("remoteport = 9001-9300,9399-9999 enable=yes")
                                << "9001-9300,9399-9999";
    QTest::newRow("russian wins over english")
        << QStringLiteral("RemotePort: 9001\r\nУдаленный порт: 9002\r\n") << "9002";
    QTest::newRow("first rule of two")
        << QStringLiteral("RemotePort: 9001-9100\r\n\r\nRemotePort: 9999\r\n") << "9001-9100";
    QTest::newRow("remote port any") << QStringLiteral("RemotePort:                           Any\r\n") << "";
    QTest::newRow("lower-case label is not netsh's") << QStringLiteral("remoteport: 9001") << "";
    QTest::newRow("no rule") << QStringLiteral("\r\nNo rules match the specified criteria.\r\n") << "";
}

void TestFirewallRules::netshRemotePorts()
{
    QFETCH(QString, output);
    QFETCH(QString, expected);
    QCOMPARE(WindowsFirewallCommands::remotePortsFromNetsh(output), expected);
}

void TestFirewallRules::nftScripts()
{
    using namespace NftCommands;
    const QString table = QStringLiteral("RF4_Game_Ports");
    QCOMPARE(listTableArguments(table),
        (QStringList {QStringLiteral("list"), QStringLiteral("table"), QStringLiteral("inet"), table}));
    QCOMPARE(listTableJsonArguments(table).first(), QStringLiteral("-j"));
    QCOMPARE(scriptArguments(), (QStringList {QStringLiteral("-f"), QStringLiteral("-")}));
    QCOMPARE(
        removeScript(table), QByteArray("table inet RF4_Game_Ports\ndelete table inet RF4_Game_Ports\n"));

    const QByteArray script = replaceScript(table, QStringLiteral("9001-9100,9199-9999"));
    // Declared, deleted and re-created in one script: the replacement is one transaction.
    QVERIFY(script.startsWith("table inet RF4_Game_Ports\ndelete table inet RF4_Game_Ports\n"
                              "table inet RF4_Game_Ports {\n"));
    QVERIFY(script.contains("type filter hook output priority filter; policy accept;"));
    QVERIFY(script.contains("tcp dport { 9001-9100, 9199-9999 } reject with tcp reset"));

    QVERIFY(replaceScript(table, QStringLiteral("9001 } accept")).isEmpty());
    QVERIFY(replaceScript(QStringLiteral("x; flush ruleset"), QStringLiteral("9001")).isEmpty());
    QVERIFY(removeScript(QStringLiteral("x\nflush ruleset")).isEmpty());
}

void TestFirewallRules::nftTableNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("valid");
    QTest::newRow("rule name") << "RF4_Game_Ports" << true;
    QTest::newRow("leading underscore") << "_t" << true;
    QTest::newRow("leading digit") << "4RF" << false;
    QTest::newRow("hyphen") << "RF4-Game" << false;
    QTest::newRow("blank") << "RF4 Game" << false;
    QTest::newRow("empty") << "" << false;
}

void TestFirewallRules::nftTableNames()
{
    QFETCH(QString, name);
    QFETCH(bool, valid);
    QCOMPARE(NftCommands::isValidTableName(name), valid);
}

void TestFirewallRules::nftBlockedPorts_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("expected");

    const QByteArray head = R"({"nftables": [{"metainfo": {"version": "1.0.6", "json_schema_version": 1}},
        {"table": {"family": "inet", "name": "RF4_Game_Ports", "handle": 3}},
        {"chain": {"family": "inet", "table": "RF4_Game_Ports", "name": "output", "handle": 1, "type": "filter",
                   "hook": "output", "prio": 0, "policy": "accept"}})";
    auto rule
        = [](const QByteArray &right, const QByteArray &verdict, const QByteArray &op = "==") -> QByteArray {
        return R"(, {"rule": {"family": "inet", "table": "RF4_Game_Ports", "chain": "output", "handle": 3,
            "expr": [{"match": {"op": ")"
            + op + R"(", "left": {"payload": {"protocol": "tcp", "field": "dport"}},
            "right": )"
            + right + "}}, " + verdict + "]}}";
    };
    const QByteArray reject = R"({"reject": {"type": "tcp reset"}})";
    const QByteArray tail = "]}";
    auto doc = [&](const QByteArray &body) -> QByteArray { return head + body + tail; };

    QTest::newRow("our own rule") << doc(
        rule(R"({"set": [{"range": [9001, 9100]}, {"range": [9199, 9999]}]})", reject))
                                  << "9001-9100,9199-9999";
    QTest::newRow("single range, drop")
        << doc(rule(R"({"range": [9001, 9100]})", R"({"drop": null})")) << "9001-9100";
    QTest::newRow("single port") << doc(rule("9050", reject)) << "9050";
    QTest::newRow("set of ports and elems")
        << doc(rule(R"({"set": [9001, {"elem": {"val": 9002, "comment": "x"}}]})", reject)) << "9001,9002";
    QTest::newRow("two rules add up")
        << doc(rule("9001", reject) + rule(R"({"range": [9199, 9999]})", reject)) << "9001,9199-9999";
    const QByteArray namedSet = R"(, {"set": {"family": "inet", "name": "blocked", "table": "RF4_Game_Ports",
        "type": "inet_service", "flags": ["interval"], "elem": [{"range": [9001, 9300]}, {"range": [9399, 9999]}]}})";
    QTest::newRow("named set") << doc(namedSet + rule(R"("@blocked")", reject)) << "9001-9300,9399-9999";
    QTest::newRow("accept verdict ignored") << doc(rule("9001", R"({"accept": null})")) << "";
    QTest::newRow("negated match ignored") << doc(rule("9001", reject, "!=")) << "";
    QTest::newRow("chain without rules") << doc({}) << "";
    const QByteArray udp
        = R"(, {"rule": {"expr": [{"match": {"op": "==", "left": {"payload": {"protocol": "udp",
        "field": "dport"}}, "right": 9001}}, {"drop": null}]}})";
    QTest::newRow("udp port ignored") << doc(udp) << "";
    QTest::newRow("not json") << QByteArray("Error: No such file or directory") << "";
}

void TestFirewallRules::nftBlockedPorts()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, expected);
    QCOMPARE(NftCommands::blockedPortsFromJson(json), expected);
}

void TestFirewallRules::detectionOutcomes_data()
{
    QTest::addColumn<bool>("exists");
    QTest::addColumn<QString>("ports");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("style");
    QTest::addColumn<bool>("presentIcon");
    QTest::addColumn<int>("active");
    QTest::addColumn<int>("selectedRow");

    QTest::newRow("absent") << false << ""
                            << "ПРАВИЛО ОТСУТСТВУЕТ"
                            << "color:#fbbf24; font-weight:600;" << false << -1 << -1;
    QTest::newRow("present without ports") << true << ""
                                           << "ПРАВИЛО ЕСТЬ, НО НЕТ ПОРТОВ"
                                           << "color:#f97316; font-weight:600;" << false << -1 << -1;
    QTest::newRow("matching reversed") << true << "9299-9999,9001-9200"
                                       << "ПРАВИЛО АКТИВНО"
                                       << "color:#4caf50; font-weight:600;" << true << 1 << 3;
    QTest::newRow("not matching") << true << "9001-9100"
                                  << "ПРАВИЛО НЕ СООТВЕТСТВУЕТ ДИАПАЗОНАМ"
                                  << "color:#f97316; font-weight:600;" << false << -1 << -1;
}

void TestFirewallRules::detectionOutcomes()
{
    QFETCH(bool, exists);
    QFETCH(QString, ports);
    QFETCH(QString, text);
    QFETCH(QString, style);
    QFETCH(bool, presentIcon);
    QFETCH(int, active);
    QFETCH(int, selectedRow);

    auto state = std::make_shared<MemoryBackend::State>();
    state->exists = exists;
    state->ports = ports;
    FirewallController controller(std::make_unique<MemoryBackend>(state));
    controller.onRangeClicked(3);
    controller.setActiveRange(2); // leftovers a new detection must clear or replace

    QSignalSpy status(&controller, &FirewallController::statusChanged);
    controller.detectActiveRange();
    QCOMPARE(status.count(), 1);
    QCOMPARE(status.at(0).at(0).toString(), text);
    QCOMPARE(status.at(0).at(1).toString(), style);
    QCOMPARE(status.at(0).at(2).toByteArray(),
        presentIcon ? firewall::presentIconSvg() : firewall::absentIconSvg());
    QCOMPARE(controller.activeIndex(), active);
    QCOMPARE(rowsOf(controller).active, only(active));
    // A match keeps other rows' selection; every other outcome clears all flags.
    QCOMPARE(rowsOf(controller).selected, only(selectedRow));
}

void TestFirewallRules::clickAndActiveRows()
{
    auto state = std::make_shared<MemoryBackend::State>();
    FirewallController controller(std::make_unique<MemoryBackend>(state));
    QSignalSpy rows(&controller, &FirewallController::rowChanged);

    controller.setActiveRange(2);
    QCOMPARE(rows.count(), firewall::kPresetCount); // every row repainted
    QCOMPARE(rowsOf(controller).active, only(2));

    controller.onRangeClicked(4);
    QCOMPARE(controller.selectedIndex(), 4);
    QCOMPARE(rowsOf(controller).active, only(2));
    QCOMPARE(rowsOf(controller).selected, only(4));

    // Clicking the active row turns "АКТИВНО" into "ВЫБРАН"; the active index stays.
    controller.onRangeClicked(2);
    QCOMPARE(rowsOf(controller).active, only(-1));
    QCOMPARE(rowsOf(controller).selected, only(2));
    QCOMPARE(controller.activeIndex(), 2);

    // Marking a row active clears its own selection, other rows keep theirs.
    controller.onRangeClicked(1);
    controller.setActiveRange(1);
    QCOMPARE(rowsOf(controller).selected, only(-1));
    controller.onRangeClicked(3);
    controller.setActiveRange(0);
    QCOMPARE(rowsOf(controller).selected, only(3));
    QCOMPARE(rowsOf(controller).active, only(0));
}

void TestFirewallRules::detectionKeepsSelectedIndex()
{
    auto state = std::make_shared<MemoryBackend::State>();
    FirewallController controller(std::make_unique<MemoryBackend>(state));
    controller.onRangeClicked(3);
    controller.detectActiveRange();
    QCOMPARE(rowsOf(controller).selected, only(-1));
    QCOMPARE(controller.selectedIndex(), 3);
}

void TestFirewallRules::quickCheckLeavesRows()
{
    auto state = std::make_shared<MemoryBackend::State>();
    state->exists = true;
    state->ports = QStringLiteral("9001-9100");
    FirewallController controller(std::make_unique<MemoryBackend>(state));
    controller.setActiveRange(1);
    controller.updateRuleStatus();
    // The quick check only knows that the rule exists.
    QCOMPARE(controller.status().text, QStringLiteral("ПРАВИЛО АКТИВНО"));
    QCOMPARE(controller.activeIndex(), 1);
    QCOMPARE(rowsOf(controller).active, only(1));

    state->exists = false;
    controller.updateRuleStatus();
    QCOMPARE(controller.status().text, QStringLiteral("ПРАВИЛО ОТСУТСТВУЕТ"));
    QCOMPARE(controller.status().styleSheet, QStringLiteral("color:#fbbf24; font-weight:600;"));
}

void TestFirewallRules::initialCheckOrder()
{
    auto state = std::make_shared<MemoryBackend::State>();
    state->exists = true;
    state->ports = QStringLiteral("9001-9100");
    FirewallController controller(std::make_unique<MemoryBackend>(state));
    QCOMPARE(controller.status().text, QStringLiteral("ПРОВЕРКА СТАТУСА..."));
    QSignalSpy status(&controller, &FirewallController::statusChanged);
    controller.scheduleInitialCheck();
    QVERIFY(status.wait());
    QTRY_COMPARE(status.count(), 2);
    // Detection first, then the quick check has the last word on the label.
    QCOMPARE(status.at(0).at(0).toString(), QStringLiteral("ПРАВИЛО НЕ СООТВЕТСТВУЕТ ДИАПАЗОНАМ"));
    QCOMPARE(status.at(1).at(0).toString(), QStringLiteral("ПРАВИЛО АКТИВНО"));
}

void TestFirewallRules::applyFlow_data()
{
    QTest::addColumn<bool>("admin");
    QTest::addColumn<int>("clicked");
    QTest::addColumn<bool>("firewallIgnores");
    QTest::addColumn<QString>("messageTitle");
    QTest::addColumn<QString>("messageText");
    QTest::addColumn<int>("adds");

    const QString success
        = QStringLiteral("Правило брандмауэра успешно обновлено!\n\nНовый диапазон портов: %1\n"
                         "Для вступления изменений в силу перезапустите игру.");
    QTest::newRow("nothing clicked applies preset 1")
        << true << -1 << false << "УСПЕХ" << success.arg(QStringLiteral("9001-9100,9199-9999")) << 1;
    QTest::newRow("clicked preset 4")
        << true << 3 << false << "УСПЕХ" << success.arg(QStringLiteral("9001-9400,9499-9999")) << 1;
    QTest::newRow("not an administrator")
        << false << 3 << false << "ПРАВА ДОСТУПА"
        << "⚠️ Для изменения правил брандмауэра необходимы "
           "права "
           "администратора.\n\n"
           "Запустите программу от имени администратора."
        << 0;
    QTest::newRow("firewall left unchanged")
        << true << 1 << true << "ОШИБКА"
        << "❌ Не удалось применить правило брандмауэра.\n\n"
           "Диапазон портов: 9001-9200,9299-9999\nСостояние: ПРАВИЛО ОТСУТСТВУЕТ"
        << 1;
}

void TestFirewallRules::applyFlow()
{
    QFETCH(bool, admin);
    QFETCH(int, clicked);
    QFETCH(bool, firewallIgnores);
    QFETCH(QString, messageTitle);
    QFETCH(QString, messageText);
    QFETCH(int, adds);

    auto state = std::make_shared<MemoryBackend::State>();
    state->ignoreChanges = firewallIgnores;
    FirewallController controller(std::make_unique<MemoryBackend>(state));
    controller.setAdminCheck([admin] { return admin; });
    if (clicked >= 0)
        controller.onRangeClicked(clicked);

    QSignalSpy busy(&controller, &FirewallController::busyChanged);
    QSignalSpy info(&controller, &FirewallController::informationRequested);
    QSignalSpy warning(&controller, &FirewallController::warningRequested);
    QSignalSpy applied(&controller, &FirewallController::ruleApplied);
    controller.applyRule();

    if (admin) {
        QCOMPARE(busy.count(), 1);
        QCOMPARE(state->adds, 0); // the tools run only after the spinner had its chance to paint
        QVERIFY(applied.wait());
        QCOMPARE(busy.count(), 2);
        QCOMPARE(busy.at(1).at(0).toBool(), false);
        QCOMPARE(applied.at(0).at(0).toBool(), !firewallIgnores);
    } else {
        QCOMPARE(busy.count(), 0);
    }
    QCOMPARE(state->adds, adds);
    const QSignalSpy &message = messageTitle == QStringLiteral("УСПЕХ") ? info : warning;
    QCOMPARE(info.count() + warning.count(), 1);
    QCOMPARE(message.count(), 1);
    QCOMPARE(message.at(0).at(0).toString(), messageTitle);
    QCOMPARE(message.at(0).at(1).toString(), messageText);
    if (messageTitle == QStringLiteral("УСПЕХ")) {
        QCOMPARE(controller.activeIndex(), qMax(clicked, 0));
        QCOMPARE(controller.status().text, QStringLiteral("ПРАВИЛО АКТИВНО"));
    }
}

void TestFirewallRules::applyIgnoredWhileBusy()
{
    auto state = std::make_shared<MemoryBackend::State>();
    FirewallController controller(std::make_unique<MemoryBackend>(state));
    controller.setAdminCheck([] { return true; });
    controller.setQuestionHandler([](const QString &, const QString &) { return true; });
    QSignalSpy applied(&controller, &FirewallController::ruleApplied);
    QSignalSpy busy(&controller, &FirewallController::busyChanged);
    controller.applyRule();
    controller.applyRule();
    controller.clearRule();
    QVERIFY(applied.wait());
    QCOMPARE(state->adds, 1);
    QCOMPARE(state->removes, 0);
    // A second apply in the same session shows the spinner again.
    controller.applyRule();
    QVERIFY(applied.wait());
    QCOMPARE(busy.count(), 4);
    QCOMPARE(state->adds, 2);
}

void TestFirewallRules::clearFlow_data()
{
    QTest::addColumn<bool>("admin");
    QTest::addColumn<bool>("answer");
    QTest::addColumn<bool>("firewallIgnores");
    QTest::addColumn<int>("questions");
    QTest::addColumn<int>("removes");
    QTest::addColumn<QString>("messageTitle");
    QTest::addColumn<QString>("messageText");

    QTest::newRow("confirmed") << true << true << false << 1 << 1 << "УСПЕХ"
                               << "Правила брандмауэра успешно удалены!\n\n"
                                  "Теперь игра будет иметь стандартный доступ к сети.";
    QTest::newRow("answered no") << true << false << false << 1 << 0 << ""
                                 << "";
    QTest::newRow("not an administrator")
        << false << true << false << 0 << 0 << "ПРАВА ДОСТУПА"
        << "⚠️ Для удаления правил брандмауэра необходимы "
           "права "
           "администратора.\n\n"
           "Запустите программу от имени администратора.";
    QTest::newRow("rule survives")
        << true << true << true << 1 << 1 << "ОШИБКА"
        << "❌ Не удалось удалить правило брандмауэра.\n\nСостояние: ПРАВИЛО АКТИВНО";
}

void TestFirewallRules::clearFlow()
{
    QFETCH(bool, admin);
    QFETCH(bool, answer);
    QFETCH(bool, firewallIgnores);
    QFETCH(int, questions);
    QFETCH(int, removes);
    QFETCH(QString, messageTitle);
    QFETCH(QString, messageText);

    auto state = std::make_shared<MemoryBackend::State>();
    state->exists = true;
    state->ports = QStringLiteral("9001-9100,9199-9999");
    state->ignoreChanges = firewallIgnores;
    FirewallController controller(std::make_unique<MemoryBackend>(state));
    controller.setAdminCheck([admin] { return admin; });
    QStringList asked;
    controller.setQuestionHandler([&](const QString &title, const QString &text) {
        asked << title << text;
        return answer;
    });
    QSignalSpy busy(&controller, &FirewallController::busyChanged);
    QSignalSpy info(&controller, &FirewallController::informationRequested);
    QSignalSpy warning(&controller, &FirewallController::warningRequested);
    QSignalSpy cleared(&controller, &FirewallController::ruleCleared);
    controller.clearRule();

    QCOMPARE(asked.size(), 2 * questions);
    if (questions) {
        QCOMPARE(asked.at(0), QStringLiteral("ОЧИСТКА ПРАВИЛ"));
        QCOMPARE(asked.at(1),
            QStringLiteral("Вы уверены, что хотите удалить все правила брандмауэра для Русской "
                           "Рыбалки 4?\n\nЭто восстановит стандартный доступ к игре."));
    }
    if (removes) {
        QVERIFY(cleared.wait());
        QCOMPARE(busy.count(), 2);
    } else {
        QCOMPARE(busy.count(), 0); // the spinner stays off
    }
    QCOMPARE(state->removes, removes);
    if (messageTitle.isEmpty()) {
        QCOMPARE(info.count() + warning.count(), 0);
        return;
    }
    const QSignalSpy &message = messageTitle == QStringLiteral("УСПЕХ") ? info : warning;
    QCOMPARE(info.count() + warning.count(), 1);
    QCOMPARE(message.count(), 1);
    QCOMPARE(message.at(0).at(0).toString(), messageTitle);
    QCOMPARE(message.at(0).at(1).toString(), messageText);
}

QTEST_GUILESS_MAIN(TestFirewallRules)
#include "tst_firewallrules.moc"
