// The Windows backend against stand-ins for cmd.exe and powershell.exe placed
// first on PATH: they log what they received and answer with recorded netsh and
// PowerShell output (text as this system's 8-bit code page would hold it).

#include "app/processrunner.h"
#include "firewall/firewallcontroller.h"
#include "firewall/firewallstatus.h"
#include "firewall/windowsfirewallbackend.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QByteArray kNetshRuleEnglish
    = "\r\nRule Name:                            RF4_Game_Ports\r\n"
      "----------------------------------------------------------------------\r\n"
      "Enabled:                              Yes\r\n"
      "Direction:                            Out\r\n"
      "Profiles:                             Domain,Private,Public\r\n"
      "Grouping:                             \r\n"
      "LocalIP:                              Any\r\n"
      "RemoteIP:                             Any\r\n"
      "Protocol:                             TCP\r\n"
      "LocalPort:                            Any\r\n"
      "RemotePort:                           @PORTS@\r\n"
      "Edge traversal:                       No\r\n"
      "Action:                               Block\r\n"
      "Ok.\r\n\r\n";
const QByteArray kNetshNoneEnglish = "\r\nNo rules match the specified criteria.\r\n\r\n";

const QByteArray kNetshRuleRussian
    = "\r\nИмя правила:                          RF4_Game_Ports\r\n"
      "----------------------------------------------------------------------\r\n"
      "Включено:                             Да\r\n"
      "Направление:                          Исх.\r\n"
      "Профили:                              Домен,Частный,Общий\r\n"
      "Группа:                               \r\n"
      "Локальный IP-адрес:                   Любой\r\n"
      "Удаленный IP-адрес:                   Любой\r\n"
      "Протокол:                             TCP\r\n"
      "Локальный порт:                       Любой\r\n"
      "Удаленный порт:                       @PORTS@\r\n"
      "Обход границ:                         Нет\r\n"
      "Действие:                             Блокировать\r\n"
      "ОК.\r\n\r\n";
const QByteArray kNetshNoneRussian = "\r\nНет правил, соответствующих указанным критериям.\r\n\r\n";

const QByteArray kPowerShellRule
    = "\r\n\r\nName                          : {6f3c52a4-0d4e-4b8e-9a51-2f0c5d8e7b11}\r\n"
      "DisplayName                   : RF4_Game_Ports\r\n"
      "Description                   : Russian Fishing 4 Game Ports - Block Outbound\r\n"
      "Enabled                       : True\r\n"
      "Profile                       : Any\r\n"
      "Direction                     : Outbound\r\n"
      "Action                        : Block\r\n\r\n";

// A rule listed by netsh whose remote port is not a list of numbers.
const QByteArray kNetshRuleAnyPort = QByteArray(kNetshRuleEnglish).replace("@PORTS@", "Any");

// The command each short name stands for, spelled out independently of the code.
QStringList expectedArgv(const QString &kind, const QString &ports = {})
{
    const QString cmd = QStringLiteral("cmd.exe"), ps = QStringLiteral("powershell.exe");
    const QString c = QStringLiteral("/c"), command = QStringLiteral("-Command");
    if (kind == QLatin1String("show"))
        return {cmd, c, QStringLiteral("netsh advfirewall firewall show rule name=\"RF4_Game_Ports\"")};
    if (kind == QLatin1String("delete"))
        return {cmd, c, QStringLiteral("netsh advfirewall firewall delete rule name=\"RF4_Game_Ports\"")};
    if (kind == QLatin1String("add"))
        return {cmd, c,
            QStringLiteral("netsh advfirewall firewall add rule name=\"RF4_Game_Ports\" dir=out action=block "
                           "protocol=TCP remoteport=")
                + ports + QStringLiteral(" enable=yes profile=any")};
    if (kind == QLatin1String("psget"))
        return {ps, command,
            QStringLiteral(
                "Get-NetFirewallRule -DisplayName 'RF4_Game_Ports' -ErrorAction SilentlyContinue")};
    if (kind == QLatin1String("psports"))
        return {ps, command,
            QStringLiteral(
                "Get-NetFirewallRule -DisplayName 'RF4_Game_Ports' -ErrorAction SilentlyContinue | "
                "Get-NetFirewallPortFilter | Select-Object -ExpandProperty RemotePort")};
    if (kind == QLatin1String("psremove"))
        return {ps, command,
            QStringLiteral(
                "Get-NetFirewallRule -DisplayName 'RF4_Game_Ports' -ErrorAction SilentlyContinue | "
                "Remove-NetFirewallRule -Confirm:`$false")};
    if (kind == QLatin1String("psnew"))
        return {ps, command,
            QStringLiteral(
                "New-NetFirewallRule -DisplayName \"RF4_Game_Ports\" -Description \"Russian Fishing 4 "
                "Game Ports - Block Outbound\" -Direction Outbound -Action Block -Protocol TCP "
                "-RemotePort \"")
                + ports + QStringLiteral("\" -Enabled True -Profile Any -ErrorAction Stop")};
    return {};
}

QStringList strings(std::initializer_list<const char *> items)
{
    QStringList list;
    for (const char *item : items)
        list.append(QString::fromUtf8(item));
    return list;
}

QVariantMap answers(std::initializer_list<std::pair<const char *, QByteArray>> items)
{
    QVariantMap map;
    for (const auto &item : items)
        map.insert(QString::fromUtf8(item.first), item.second);
    return map;
}

struct Run
{
    QStringList argv;
    int timeoutMs;
};
QList<Run> g_runs;

// Real processes, with each run's time-out noted.
class RecordingRunner final : public ProcessRunner
{
public:
    ProcessResult run(
        const QString &program, const QStringList &args, int timeoutMs, const QByteArray &input) override
    {
        g_runs.append({QStringList {program} + args, timeoutMs});
        return SystemProcessRunner().run(program, args, timeoutMs, input);
    }
    bool startDetached(const QString &, const QStringList &, const QString &) override { return false; }
};

} // namespace

class TestWindowsFirewall : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void detection_data();
    void detection();
    void applyAndClear_data();
    void applyAndClear();
    void applyThatChangesNothingIsReported();

private:
    void setUpTools(bool russian, const QString &rulePorts);
    void writeFile(const QString &name, const QByteArray &content);
    QList<QStringList> loggedCalls() const;
    // "kind[:ports]@timeout" for every run, as the fakes were asked.
    static QList<Run> expectedRuns(const QStringList &specs);

    std::unique_ptr<QTemporaryDir> m_dir;
    QByteArray m_oldPath;
};

void TestWindowsFirewall::initTestCase()
{
    m_oldPath = qgetenv("PATH");
    ProcessRunner::setFactory([] { return std::make_unique<RecordingRunner>(); });
}

void TestWindowsFirewall::cleanupTestCase()
{
    ProcessRunner::setFactory({});
    qputenv("PATH", m_oldPath);
}

void TestWindowsFirewall::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    qputenv("KESTREL_FAKE_FW_DIR", QFile::encodeName(m_dir->path()));
    qputenv("PATH", QFile::encodeName(m_dir->path()) + ":/usr/bin:/bin");
    g_runs.clear();
}

void TestWindowsFirewall::cleanup()
{
    m_dir.reset();
}

void TestWindowsFirewall::writeFile(const QString &name, const QByteArray &content)
{
    QFile file(m_dir->filePath(name));
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(content), content.size());
}

void TestWindowsFirewall::setUpTools(bool russian, const QString &rulePorts)
{
    QFile script(QStringLiteral(":/firewall/fake_windows_tool.sh"));
    QVERIFY(script.open(QIODevice::ReadOnly));
    const QByteArray body = script.readAll();
    for (const QString &tool : {QStringLiteral("cmd.exe"), QStringLiteral("powershell.exe")}) {
        writeFile(tool, body);
        QVERIFY(QFile::setPermissions(
            m_dir->filePath(tool), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    }
    writeFile(QStringLiteral("netsh-rule.txt"), russian ? kNetshRuleRussian : kNetshRuleEnglish);
    writeFile(QStringLiteral("netsh-none.txt"), russian ? kNetshNoneRussian : kNetshNoneEnglish);
    writeFile(QStringLiteral("ps-rule.txt"), kPowerShellRule);
    if (!rulePorts.isEmpty())
        writeFile(QStringLiteral("rule"), rulePorts.toUtf8());
}

QList<QStringList> TestWindowsFirewall::loggedCalls() const
{
    QList<QStringList> calls;
    QFile log(m_dir->filePath(QStringLiteral("calls.log")));
    if (!log.open(QIODevice::ReadOnly))
        return calls;
    QStringList current;
    for (const QString &line : QString::fromUtf8(log.readAll()).split(QLatin1Char('\n'))) {
        if (line == QLatin1String("----")) {
            calls.append(current);
            current.clear();
        } else if (!line.isEmpty() || !current.isEmpty()) {
            current.append(line);
        }
    }
    return calls;
}

QList<Run> TestWindowsFirewall::expectedRuns(const QStringList &specs)
{
    QList<Run> runs;
    for (const QString &spec : specs) {
        const QString call = spec.section(QLatin1Char('@'), 0, 0);
        runs.append({expectedArgv(call.section(QLatin1Char(':'), 0, 0), call.section(QLatin1Char(':'), 1)),
            spec.section(QLatin1Char('@'), 1).toInt()});
    }
    return runs;
}

void TestWindowsFirewall::detection_data()
{
    QTest::addColumn<bool>("russian");
    QTest::addColumn<QString>("rulePorts"); // the firewall's rule, empty for none
    QTest::addColumn<QVariantMap>("answers"); // replaced answers by command, "hang" to hang
    QTest::addColumn<QStringList>("missing"); // tools not installed
    QTest::addColumn<int>("outcome");
    QTest::addColumn<int>("active");
    QTest::addColumn<QStringList>("runs");

    const int absent = int(firewall::RuleOutcome::Absent);
    const int noPorts = int(firewall::RuleOutcome::PresentWithoutPorts);
    const int matching = int(firewall::RuleOutcome::Matching);
    const int other = int(firewall::RuleOutcome::NotMatching);
    const QStringList none;
    const QStringList netshOnly = strings({"show@3000", "show@5000"});
    const QStringList notFound = strings({"show@3000", "psget@3000"});
    const QString preset1 = QStringLiteral("9001-9100,9199-9999");
    const QString preset3 = QStringLiteral("9001-9300,9399-9999");

    QTest::newRow("absent") << false << QString() << QVariantMap() << none << absent << -1 << notFound;
    QTest::newRow("english, preset 2") << false << QStringLiteral("9001-9200,9299-9999") << QVariantMap()
                                       << none << matching << 1 << netshOnly;
    QTest::newRow("russian, preset 2 reversed") << true << QStringLiteral("9299-9999,9001-9200")
                                                << QVariantMap() << none << matching << 1 << netshOnly;
    QTest::newRow("russian, absent") << true << QString() << QVariantMap() << none << absent << -1
                                     << notFound;
    QTest::newRow("9001-9100 alone") << false << QStringLiteral("9001-9100") << QVariantMap() << none << other
                                     << -1 << netshOnly;
    QTest::newRow("no port line, powershell CRLF lines")
        << false << preset3 << answers({{"show", kNetshRuleAnyPort}}) << none << matching << 2
        << strings({"show@3000", "show@5000", "psports@5000"});
    QTest::newRow("no port line, empty powershell")
        << false << preset3 << answers({{"show", kNetshRuleAnyPort}, {"psports", QByteArray()}}) << none
        << noPorts << -1 << strings({"show@3000", "show@5000", "psports@5000"});
    QTest::newRow("found by powershell in lower case")
        << false << QString()
        << answers({{"psget", QByteArray("DisplayName : rf4_game_ports\r\n")},
               {"psports", QByteArray("9499-9999\r\n9001-9400\r\n")}})
        << none << matching << 3 << strings({"show@3000", "psget@3000", "show@5000", "psports@5000"});
    QTest::newRow("cmd.exe missing") << false << preset1 << QVariantMap() << strings({"cmd.exe"}) << noPorts
                                     << -1 << strings({"show@3000", "psget@3000", "show@5000"});
    QTest::newRow("both missing") << false << preset1 << QVariantMap()
                                  << strings({"cmd.exe", "powershell.exe"}) << absent << -1 << notFound;
    QTest::newRow("netsh hangs") << false << preset1 << answers({{"show", QByteArray("hang")}}) << none
                                 << noPorts << -1 << strings({"show@3000", "psget@3000", "show@5000"});
}

void TestWindowsFirewall::detection()
{
    QFETCH(bool, russian);
    QFETCH(QString, rulePorts);
    QFETCH(QVariantMap, answers);
    QFETCH(QStringList, missing);
    QFETCH(int, outcome);
    QFETCH(int, active);
    QFETCH(QStringList, runs);

    setUpTools(russian, rulePorts);
    for (auto it = answers.cbegin(); it != answers.cend(); ++it) {
        if (it.value().toByteArray() == "hang")
            writeFile(it.key() + QStringLiteral(".hang"), {});
        else
            writeFile(it.key() + QStringLiteral(".out"), it.value().toByteArray());
    }
    for (const QString &tool : missing)
        QVERIFY(QFile::remove(m_dir->filePath(tool)));

    FirewallController controller(std::make_unique<WindowsFirewallBackend>());
    QSignalSpy status(&controller, &FirewallController::statusChanged);
    controller.detectActiveRange();

    const firewall::StatusView view = firewall::statusView(firewall::RuleOutcome(outcome));
    QCOMPARE(status.count(), 1);
    QCOMPARE(status.at(0).at(0).toString(), view.text);
    QCOMPARE(status.at(0).at(1).toString(), view.styleSheet);
    QCOMPARE(status.at(0).at(2).toByteArray(),
        firewall::statusIconSvg(outcome == int(firewall::RuleOutcome::Matching)));
    QCOMPARE(controller.activeIndex(), active);
    for (int i = 0; i < firewall::kPresetCount; ++i)
        QCOMPARE(controller.isRowActive(i), i == active);

    const QList<Run> expected = expectedRuns(runs);
    QCOMPARE(g_runs.size(), expected.size());
    QList<QStringList> reached;
    for (int i = 0; i < expected.size(); ++i) {
        QCOMPARE(g_runs.at(i).argv, expected.at(i).argv);
        QCOMPARE(g_runs.at(i).timeoutMs, expected.at(i).timeoutMs);
        if (!missing.contains(expected.at(i).argv.first()))
            reached.append(expected.at(i).argv);
    }
    // What the programs themselves received, argument by argument.
    QCOMPARE(loggedCalls(), reached);
}

void TestWindowsFirewall::applyAndClear_data()
{
    QTest::addColumn<bool>("russian");
    QTest::addColumn<int>("clicked");
    QTest::addColumn<QString>("ports");

    QTest::newRow("english, nothing clicked") << false << -1 << QStringLiteral("9001-9100,9199-9999");
    QTest::newRow("russian, preset 4") << true << 3 << QStringLiteral("9001-9400,9499-9999");
}

void TestWindowsFirewall::applyAndClear()
{
    QFETCH(bool, russian);
    QFETCH(int, clicked);
    QFETCH(QString, ports);

    setUpTools(russian, QStringLiteral("9001-9500,9599-9999"));
    FirewallController controller(std::make_unique<WindowsFirewallBackend>());
    controller.setAdminCheck([] { return true; });
    controller.setQuestionHandler([](const QString &, const QString &) { return true; });
    QSignalSpy info(&controller, &FirewallController::informationRequested);
    QSignalSpy warning(&controller, &FirewallController::warningRequested);
    QSignalSpy applied(&controller, &FirewallController::ruleApplied);
    QSignalSpy cleared(&controller, &FirewallController::ruleCleared);

    if (clicked >= 0)
        controller.onRangeClicked(clicked);
    controller.applyRule();
    QVERIFY(applied.wait(30000));
    QVERIFY(applied.at(0).at(0).toBool());
    QCOMPARE(warning.count(), 0);
    QCOMPARE(info.count(), 1);
    QCOMPARE(info.at(0).at(1).toString(),
        QStringLiteral("Правило брандмауэра успешно обновлено!\n\nНовый диапазон портов: ") + ports
            + QStringLiteral("\nДля вступления изменений в силу перезапустите игру."));
    QCOMPARE(controller.status().text, QStringLiteral("ПРАВИЛО АКТИВНО"));
    QCOMPARE(controller.activeIndex(), qMax(clicked, 0));

    // Old rules of both tools go first, then both tools add theirs; then the read-back.
    QList<Run> expected = expectedRuns(strings({"psremove@5000", "delete@3000"})
        + QStringList {QStringLiteral("psnew:") + ports + QStringLiteral("@5000"),
            QStringLiteral("add:") + ports + QStringLiteral("@3000")}
        + strings({"show@3000", "show@3000", "show@5000"}));
    QCOMPARE(g_runs.size(), expected.size());
    for (int i = 0; i < expected.size(); ++i) {
        QCOMPARE(g_runs.at(i).argv, expected.at(i).argv);
        QCOMPARE(g_runs.at(i).timeoutMs, expected.at(i).timeoutMs);
    }
    QCOMPARE(loggedCalls().size(), expected.size());

    g_runs.clear();
    controller.clearRule();
    QVERIFY(cleared.wait(30000));
    QVERIFY(cleared.at(0).at(0).toBool());
    QCOMPARE(info.count(), 2);
    QCOMPARE(info.at(1).at(1).toString(),
        QStringLiteral("Правила брандмауэра успешно удалены!\n\n"
                       "Теперь игра будет иметь стандартный доступ к сети."));
    QCOMPARE(controller.status().text, QStringLiteral("ПРАВИЛО ОТСУТСТВУЕТ"));
    QCOMPARE(controller.activeIndex(), -1);
    expected = expectedRuns(
        strings({"psremove@5000", "delete@3000", "show@3000", "psget@3000", "show@3000", "psget@3000"}));
    QCOMPARE(g_runs.size(), expected.size());
    for (int i = 0; i < expected.size(); ++i) {
        QCOMPARE(g_runs.at(i).argv, expected.at(i).argv);
        QCOMPARE(g_runs.at(i).timeoutMs, expected.at(i).timeoutMs);
    }
}

void TestWindowsFirewall::applyThatChangesNothingIsReported()
{
    // Both tools answer but the firewall keeps the old rule (say, a policy forbids changes).
    setUpTools(false, QStringLiteral("9001-9500,9599-9999"));
    for (const char *kind : {"psremove", "delete", "psnew", "add"})
        writeFile(QString::fromLatin1(kind) + QStringLiteral(".out"), "Ok.\r\n");
    FirewallController controller(std::make_unique<WindowsFirewallBackend>());
    controller.setAdminCheck([] { return true; });
    QSignalSpy info(&controller, &FirewallController::informationRequested);
    QSignalSpy warning(&controller, &FirewallController::warningRequested);
    QSignalSpy applied(&controller, &FirewallController::ruleApplied);
    controller.onRangeClicked(1);
    controller.applyRule();
    QVERIFY(applied.wait(30000));
    QVERIFY(!applied.at(0).at(0).toBool());
    QCOMPARE(info.count(), 0);
    QCOMPARE(warning.count(), 1);
    QCOMPARE(warning.at(0).at(0).toString(), QStringLiteral("ОШИБКА"));
    // The rows show what the firewall really holds: preset 5.
    QCOMPARE(controller.activeIndex(), 4);
    QCOMPARE(controller.status().text, QStringLiteral("ПРАВИЛО АКТИВНО"));
}

QTEST_GUILESS_MAIN(TestWindowsFirewall)
#include "tst_windowsfirewall.moc"
