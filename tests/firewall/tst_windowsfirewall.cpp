// The Windows backend against stand-ins for cmd.exe and powershell.exe placed
// first on PATH: they log what they received and answer with recorded netsh and
// PowerShell output.

#include "app/processrunner.h"
#include "firewall/firewallcontroller.h"
#include "firewall/firewallstatus.h"
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
const QByteArray kPowerShellRule
    = "\r\n\r\nName                          : {6f3c52a4-0d4e-4b8e-9a51-2f0c5d8e7b11}\r\n"
      "DisplayName                   : RF4_Game_Ports\r\n"
      "Enabled                       : True\r\n"
      "Direction                     : Outbound\r\n"
      "Action                        : Block\r\n\r\n";

// "kind[:ports]@timeout" spelled out as the argv it stands for, the time-out last.
QStringList expectedRun(const QString &spec)
{
    const QString call = spec.section(QLatin1Char('@'), 0, 0);
    const QString kind = call.section(QLatin1Char(':'), 0, 0), ports = call.section(QLatin1Char(':'), 1);
    const QString netsh
        = QStringLiteral("netsh advfirewall firewall %1 rule name=\"RF4_Game_Ports\"").arg(kind);
    const QString get
        = QStringLiteral("Get-NetFirewallRule -DisplayName 'RF4_Game_Ports' -ErrorAction SilentlyContinue");
    QString command = netsh;
    if (kind == QLatin1String("add"))
        command += QStringLiteral(" dir=out action=block protocol=TCP remoteport=%1 enable=yes profile=any")
                       .arg(ports);
    else if (kind == QLatin1String("psget"))
        command = get;
    else if (kind == QLatin1String("psports"))
        command
            = get + QStringLiteral(" | Get-NetFirewallPortFilter | Select-Object -ExpandProperty RemotePort");
    else if (kind == QLatin1String("psremove"))
        command = get + QStringLiteral(" | Remove-NetFirewallRule -Confirm:`$false");
    else if (kind == QLatin1String("psnew"))
        command
            = QStringLiteral("New-NetFirewallRule -DisplayName \"RF4_Game_Ports\" -Description \"Russian "
                             "Fishing 4 Game Ports - Block Outbound\" -Direction Outbound -Action Block "
                             "-Protocol TCP -RemotePort \"%1\" -Enabled True -Profile Any -ErrorAction Stop")
                  .arg(ports);
    const bool ps = kind.startsWith(QLatin1String("ps"));
    return {ps ? QStringLiteral("powershell.exe") : QStringLiteral("cmd.exe"),
        ps ? QStringLiteral("-Command") : QStringLiteral("/c"), command,
        QLatin1Char('@') + spec.section(QLatin1Char('@'), 1)};
}

QStringList strings(std::initializer_list<const char *> items)
{
    QStringList list;
    for (const char *item : items)
        list.append(QString::fromUtf8(item));
    return list;
}

QList<QStringList> g_runs; // argv, then "@timeout"

// Real processes, with each run's time-out noted.
class RecordingRunner final : public ProcessRunner
{
public:
    ProcessResult run(
        const QString &program, const QStringList &args, int timeoutMs, const QByteArray &input) override
    {
        g_runs.append(QStringList {program} + args + QStringList {QStringLiteral("@%1").arg(timeoutMs)});
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
    void cleanupTestCase();

    void detection_data();
    void detection();
    void applyAndClear_data();
    void applyAndClear();
    void unchangedFirewallIsReported();

private:
    void setUpTools(bool russian, const QString &rulePorts);
    void writeFile(const QString &name, const QByteArray &content);
    static void checkRuns(const QStringList &specs);
    std::unique_ptr<FirewallController> controller();

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
        QVERIFY(QFile::setPermissions(m_dir->filePath(tool), QFile::ReadOwner | QFile::ExeOwner));
    }
    writeFile(QStringLiteral("netsh-rule.txt"), russian ? kNetshRuleRussian : kNetshRuleEnglish);
    writeFile(QStringLiteral("netsh-none.txt"), russian ? kNetshNoneRussian : kNetshNoneEnglish);
    writeFile(QStringLiteral("ps-rule.txt"), kPowerShellRule);
    writeFile(QStringLiteral("rule"), rulePorts.toUtf8());
}

// Every program run, with its exact arguments and time-out, in order.
void TestWindowsFirewall::checkRuns(const QStringList &specs)
{
    QList<QStringList> expected;
    for (const QString &spec : specs)
        expected.append(expectedRun(spec));
    QCOMPARE(g_runs, expected);
    g_runs.clear();
}

std::unique_ptr<FirewallController> TestWindowsFirewall::controller()
{
    auto controller = std::make_unique<FirewallController>(std::make_unique<WindowsFirewallBackend>());
    controller->setAdminCheck([] { return true; });
    controller->setQuestionHandler([](const QString &, const QString &) { return true; });
    return controller;
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
    const QStringList none, netshOnly = strings({"show@3000", "show@5000"});
    const QStringList notFound = strings({"show@3000", "psget@3000"});
    const QStringList viaPowerShell = strings({"show@3000", "show@5000", "psports@5000"});
    const QStringList netshFailed = strings({"show@3000", "psget@3000", "show@5000"});
    const QString preset1 = QStringLiteral("9001-9100,9199-9999"),
                  preset3 = QStringLiteral("9001-9300,9399-9999");
    const QVariantMap anyPort {
        {QStringLiteral("show"), QByteArray(kNetshRuleEnglish).replace("@PORTS@", "Any")}};
    QVariantMap emptyPowerShell = anyPort;
    emptyPowerShell.insert(QStringLiteral("psports"), QByteArray());
    const QVariantMap lowerCase {{QStringLiteral("psget"), QByteArray("DisplayName : rf4_game_ports\r\n")},
        {QStringLiteral("psports"), QByteArray("9499-9999\r\n9001-9400\r\n")}};

    QTest::newRow("english, absent") << false << QString() << QVariantMap() << none << absent << -1
                                     << notFound;
    QTest::newRow("english, preset 2") << false << QStringLiteral("9001-9200,9299-9999") << QVariantMap()
                                       << none << matching << 1 << netshOnly;
    QTest::newRow("russian, preset 2 reversed") << true << QStringLiteral("9299-9999,9001-9200")
                                                << QVariantMap() << none << matching << 1 << netshOnly;
    QTest::newRow("9001-9100 alone") << false << QStringLiteral("9001-9100") << QVariantMap() << none
                                     << int(firewall::RuleOutcome::NotMatching) << -1 << netshOnly;
    QTest::newRow("no port line, powershell CRLF lines")
        << false << preset3 << anyPort << none << matching << 2 << viaPowerShell;
    QTest::newRow("no port line, empty powershell")
        << false << preset3 << emptyPowerShell << none << noPorts << -1 << viaPowerShell;
    QTest::newRow("found by powershell in lower case")
        << false << QString() << lowerCase << none << matching << 3
        << strings({"show@3000", "psget@3000", "show@5000", "psports@5000"});
    QTest::newRow("cmd.exe missing") << false << preset1 << QVariantMap() << strings({"cmd.exe"}) << noPorts
                                     << -1 << netshFailed;
    QTest::newRow("both missing") << false << preset1 << QVariantMap()
                                  << strings({"cmd.exe", "powershell.exe"}) << absent << -1 << notFound;
    QTest::newRow("netsh hangs") << false << preset1
                                 << QVariantMap {{QStringLiteral("show"), QByteArray("hang")}} << none
                                 << noPorts << -1 << netshFailed;
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
        const bool hang = it.value().toByteArray() == "hang";
        writeFile(it.key() + (hang ? QStringLiteral(".hang") : QStringLiteral(".out")),
            hang ? QByteArray() : it.value().toByteArray());
    }
    for (const QString &tool : missing)
        QVERIFY(QFile::remove(m_dir->filePath(tool)));

    auto controller = this->controller();
    QSignalSpy status(controller.get(), &FirewallController::statusChanged);
    controller->detectActiveRange();

    const firewall::StatusView view = firewall::statusView(firewall::RuleOutcome(outcome));
    QCOMPARE(status.count(), 1);
    QCOMPARE(status.at(0).at(0).toString(), view.text);
    QCOMPARE(status.at(0).at(1).toString(), view.styleSheet);
    QCOMPARE(status.at(0).at(2).toByteArray(),
        firewall::statusIconSvg(outcome == int(firewall::RuleOutcome::Matching)));
    QCOMPARE(controller->activeIndex(), active);
    checkRuns(runs);
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
    auto controller = this->controller();
    QSignalSpy info(controller.get(), &FirewallController::informationRequested);
    QSignalSpy warning(controller.get(), &FirewallController::warningRequested);
    QSignalSpy applied(controller.get(), &FirewallController::ruleApplied);
    QSignalSpy cleared(controller.get(), &FirewallController::ruleCleared);

    if (clicked >= 0)
        controller->onRangeClicked(clicked);
    controller->applyRule();
    QVERIFY(applied.wait(30000));
    QVERIFY(applied.at(0).at(0).toBool());
    QCOMPARE(info.count(), 1);
    QCOMPARE(info.at(0).at(1).toString(),
        QStringLiteral("Правило брандмауэра успешно обновлено!\n\nНовый диапазон портов: ") + ports
            + QStringLiteral("\nДля вступления изменений в силу перезапустите игру."));
    QCOMPARE(controller->status().text, QStringLiteral("ПРАВИЛО АКТИВНО"));
    QCOMPARE(controller->activeIndex(), qMax(clicked, 0));
    // Old rules of both tools go first, then both tools add theirs; then the read-back.
    checkRuns(QStringList {QStringLiteral("psremove@5000"), QStringLiteral("delete@3000"),
                  QStringLiteral("psnew:%1@5000").arg(ports), QStringLiteral("add:%1@3000").arg(ports)}
        + strings({"show@3000", "show@3000", "show@5000"}));

    controller->clearRule();
    QVERIFY(cleared.wait(30000));
    QVERIFY(cleared.at(0).at(0).toBool());
    QCOMPARE(warning.count(), 0);
    QCOMPARE(info.count(), 2);
    QCOMPARE(info.at(1).at(1).toString(),
        QStringLiteral("Правила брандмауэра успешно удалены!\n\n"
                       "Теперь игра будет иметь стандартный доступ к сети."));
    QCOMPARE(controller->status().text, QStringLiteral("ПРАВИЛО ОТСУТСТВУЕТ"));
    QCOMPARE(controller->activeIndex(), -1);
    checkRuns(
        strings({"psremove@5000", "delete@3000", "show@3000", "psget@3000", "show@3000", "psget@3000"}));
}

void TestWindowsFirewall::unchangedFirewallIsReported()
{
    // Both tools answer but the firewall keeps the old rule (say, a policy forbids changes).
    setUpTools(false, QStringLiteral("9001-9500,9599-9999"));
    for (const char *kind : {"psremove", "delete", "psnew", "add"})
        writeFile(QString::fromLatin1(kind) + QStringLiteral(".out"), "Ok.\r\n");
    auto controller = this->controller();
    QSignalSpy info(controller.get(), &FirewallController::informationRequested);
    QSignalSpy warning(controller.get(), &FirewallController::warningRequested);
    QSignalSpy applied(controller.get(), &FirewallController::ruleApplied);
    QSignalSpy cleared(controller.get(), &FirewallController::ruleCleared);
    controller->onRangeClicked(1);
    controller->applyRule();
    QVERIFY(applied.wait(30000));
    QVERIFY(!applied.at(0).at(0).toBool());
    // The rows show what the firewall really holds: preset 5.
    QCOMPARE(controller->activeIndex(), 4);
    controller->clearRule();
    QVERIFY(cleared.wait(30000));
    QVERIFY(!cleared.at(0).at(0).toBool());

    QCOMPARE(info.count(), 0);
    QCOMPARE(warning.count(), 2);
    QCOMPARE(warning.at(0).at(0).toString(), QStringLiteral("ОШИБКА"));
    QCOMPARE(warning.at(0).at(1).toString(),
        QStringLiteral("❌ Не удалось применить правило брандмауэра.\n\n"
                       "Диапазон портов: 9001-9200,9299-9999\nСостояние: ПРАВИЛО АКТИВНО"));
    QCOMPARE(warning.at(1).at(1).toString(),
        QStringLiteral("❌ Не удалось удалить правило брандмауэра.\n\nСостояние: ПРАВИЛО АКТИВНО"));
}

QTEST_GUILESS_MAIN(TestWindowsFirewall)
#include "tst_windowsfirewall.moc"
