// The firewall rule: port lists, preset matching, parsers and scripts; and the
// Windows backend against stand-ins for cmd.exe and powershell.exe placed first
// on PATH, answering with recorded netsh and PowerShell output.

#include "core/processrunner.h"
#include "firewall/firewallcontroller.h"
#include "firewall/nftfirewallbackend.h"
#include "firewall/portrangepreset.h"
#include "firewall/windowsfirewallbackend.h"
#include "platform/platform.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
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

class TestFirewallRules : public QObject
{
    Q_OBJECT

private slots:
    void portLists_data();
    void portLists();
    void validPortList_data();
    void validPortList();
    void nftScriptsRefuseInjection();
    void installedHelperCheck_data();
    void installedHelperCheck();

    void init();
    void detection_data();
    void detection();
    void applyAndClear_data();
    void applyAndClear();

private:
    void setUpTools(bool russian, const QString &rulePorts, const QVariantMap &answers = {});
    static void checkRuns(const QString &specs);
    std::unique_ptr<FirewallController> controller();

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestFirewallRules::init()
{
    ProcessRunner::setFactory([] { return std::make_unique<RecordingRunner>(); });
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    qputenv("KESTREL_FAKE_FW_DIR", QFile::encodeName(m_dir->path()));
    qputenv("PATH", QFile::encodeName(m_dir->path()) + ":/usr/bin:/bin");
    g_runs.clear();
}

// Installs the stand-ins. An answer replaces a command's output ("hang" hangs it);
// "missing" under a tool's name leaves that tool out.
void TestFirewallRules::setUpTools(bool russian, const QString &rulePorts, const QVariantMap &answers)
{
    const auto write = [this](const QString &name, const QByteArray &content) {
        QFile file(m_dir->filePath(name));
        return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
    };
    QFile script(QStringLiteral(":/firewall/fake_windows_tool.sh"));
    QVERIFY(script.open(QIODevice::ReadOnly));
    const QByteArray body = script.readAll();
    for (const QString &tool : {QStringLiteral("cmd.exe"), QStringLiteral("powershell.exe")}) {
        QVERIFY(write(tool, body));
        QVERIFY(QFile::setPermissions(m_dir->filePath(tool), QFile::ReadOwner | QFile::ExeOwner));
    }
    QVERIFY(write(QStringLiteral("netsh-rule.txt"), russian ? kNetshRuleRussian : kNetshRuleEnglish));
    QVERIFY(write(QStringLiteral("netsh-none.txt"), russian ? kNetshNoneRussian : kNetshNoneEnglish));
    QVERIFY(write(QStringLiteral("rule"), rulePorts.toUtf8()));
    for (auto it = answers.cbegin(); it != answers.cend(); ++it) {
        const QByteArray text = it.value().toByteArray();
        if (text == "missing")
            QVERIFY(QFile::remove(m_dir->filePath(it.key())));
        else
            QVERIFY(write(it.key() + QLatin1String(text == "hang" ? ".hang" : ".out"), text));
    }
}

// Every program run, with its exact arguments and time-out, in order.
void TestFirewallRules::checkRuns(const QString &specs)
{
    QList<QStringList> expected;
    for (const QString &spec : specs.split(QLatin1Char(' ')))
        expected.append(expectedRun(spec));
    QCOMPARE(g_runs, expected);
}

std::unique_ptr<FirewallController> TestFirewallRules::controller()
{
    auto controller = std::make_unique<FirewallController>(std::make_unique<WindowsFirewallBackend>());
    controller->setAdminCheck([] { return true; });
    controller->setQuestionHandler([](const QString &, const QString &) { return true; });
    return controller;
}

void TestFirewallRules::detection_data()
{
    QTest::addColumn<bool>("russian");
    QTest::addColumn<QString>("rulePorts"); // the firewall's rule, empty for none
    // Replaced answers by command; "hang" hangs it, "missing" for a tool not installed.
    QTest::addColumn<QVariantMap>("answers");
    QTest::addColumn<QString>("status"); // text|colour
    QTest::addColumn<int>("active");
    QTest::addColumn<QString>("runs");

    const auto row = [](const char *name, bool russian, const char *ports, const QVariantMap &answers,
                         const QString &status, int active, const char *runs) {
        QTest::newRow(name) << russian << QString::fromLatin1(ports) << answers << status << active
                            << QString::fromLatin1(runs);
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

    row("absent", false, "", none, absent, -1, "show@3000 psget@3000");
    row("english, preset 2", false, "9001-9200,9299-9999", none, matching, 1, "show@3000 show@5000");
    row("russian, preset 2 reversed", true, "9299-9999,9001-9200", none, matching, 1, "show@3000 show@5000");
    row("9001-9100 alone", false, "9001-9100", none, other, -1, "show@3000 show@5000");
    // Both tools' rules listed (same name): the first one counts.
    row("two rules", false, preset1, answer("show", listing("9001-9200,9299-9999") + listing("9999")),
        matching, 1, "show@3000 show@5000");
    row("no port line, powershell CRLF lines", false, preset3, answer("show", anyPort), matching, 2,
        "show@3000 show@5000 psports@5000");
    row("no port line, empty powershell", false, preset3, answer("show", anyPort, "psports", ""), noPorts, -1,
        "show@3000 show@5000 psports@5000");
    row("found by powershell in lower case", false, "",
        answer("psget", "DisplayName : rf4_game_ports\r\n", "psports", "9499-9999\r\n9001-9400\r\n"),
        matching, 3, "show@3000 psget@3000 show@5000 psports@5000");
    row("cmd.exe missing", false, preset1, answer("cmd.exe", "missing"), noPorts, -1,
        "show@3000 psget@3000 show@5000");
    row("both missing", false, preset1, answer("cmd.exe", "missing", "powershell.exe", "missing"), absent, -1,
        "show@3000 psget@3000");
    row("netsh hangs", false, preset1, answer("show", "hang"), noPorts, -1, "show@3000 psget@3000 show@5000");
}

void TestFirewallRules::detection()
{
    QFETCH(bool, russian);
    QFETCH(QString, rulePorts);
    QFETCH(QVariantMap, answers);
    QFETCH(QString, status);
    QFETCH(int, active);
    QFETCH(QString, runs);

    setUpTools(russian, rulePorts, answers);
    auto controller = this->controller();
    controller->detectActiveRange();
    QCOMPARE(controller->status().text, status.section(QLatin1Char('|'), 0, 0));
    QCOMPARE(controller->status().styleSheet,
        QStringLiteral("color:%1; font-weight:600;").arg(status.section(QLatin1Char('|'), 1)));
    QCOMPARE(controller->status().presentIcon, active >= 0);
    QCOMPARE(controller->activeIndex(), active);
    checkRuns(runs);
}

void TestFirewallRules::applyAndClear_data()
{
    QTest::addColumn<bool>("russian");
    QTest::addColumn<int>("clicked");
    QTest::addColumn<bool>("refused"); // the tools answer, the firewall keeps its old rule
    QTest::addColumn<QStringList>("messages"); // title and text of each box

    const QString applied
        = QStringLiteral("Правило брандмауэра успешно обновлено!\n\nНовый диапазон портов: %1\n"
                         "Для вступления изменений в силу перезапустите игру.");
    const QString cleared = QStringLiteral("Правила брандмауэра успешно удалены!\n\n"
                                           "Теперь игра будет иметь стандартный доступ к сети.");
    const QString ok = QStringLiteral("УСПЕХ"), error = QStringLiteral("ОШИБКА");
    QTest::newRow("english, nothing clicked")
        << false << -1 << false
        << QStringList {ok, applied.arg(QStringLiteral("9001-9100,9199-9999")), ok, cleared};
    QTest::newRow("russian, preset 4")
        << true << 3 << false
        << QStringList {ok, applied.arg(QStringLiteral("9001-9400,9499-9999")), ok, cleared};
    QTest::newRow("changes refused")
        << false << 1 << true
        << QStringList {error,
               QStringLiteral("❌ Не удалось применить правило брандмауэра.\n\nДиапазон портов: "
                              "9001-9200,9299-9999\nСостояние: ПРАВИЛО АКТИВНО"),
               error,
               QStringLiteral("❌ Не удалось удалить правило брандмауэра.\n\nСостояние: ПРАВИЛО АКТИВНО")};
}

void TestFirewallRules::applyAndClear()
{
    QFETCH(bool, russian);
    QFETCH(int, clicked);
    QFETCH(bool, refused);
    QFETCH(QStringList, messages);

    QVariantMap answers; // the tools answer, but the firewall keeps its old rule
    for (const char *kind : {"psremove", "delete", "psnew", "add"})
        answers.insert(QString::fromLatin1(kind), refused ? QByteArray("Ok.\r\n") : QByteArray());
    setUpTools(russian, QStringLiteral("9001-9500,9599-9999"), refused ? answers : QVariantMap());
    auto controller = this->controller();
    QStringList shown;
    const auto record = [&](const QString &title, const QString &text) { shown << title << text; };
    connect(controller.get(), &FirewallController::informationRequested, this, record);
    connect(controller.get(), &FirewallController::warningRequested, this, record);
    QSignalSpy applied(controller.get(), &FirewallController::ruleApplied);
    QSignalSpy cleared(controller.get(), &FirewallController::ruleCleared);

    if (clicked >= 0)
        controller->onRangeClicked(clicked);
    controller->applyRule();
    QVERIFY(applied.wait(30000));
    QCOMPARE(applied.at(0).at(0).toBool(), !refused);
    QCOMPARE(controller->status().text, QStringLiteral("ПРАВИЛО АКТИВНО"));
    // The rows show what the firewall really holds.
    QCOMPARE(controller->activeIndex(), refused ? 4 : qMax(clicked, 0));
    // Old rules of both tools go first, then both tools add theirs; then the read-back.
    const QString ports = FirewallController::presets()[size_t(qMax(clicked, 0))].ports;
    if (!refused)
        checkRuns(QStringLiteral(
            "psremove@5000 delete@3000 psnew:%1@5000 add:%1@3000 show@3000 show@3000 show@5000")
                      .arg(ports));

    g_runs.clear();
    controller->clearRule();
    QVERIFY(cleared.wait(30000));
    QCOMPARE(cleared.at(0).at(0).toBool(), !refused);
    QCOMPARE(controller->status().text,
        refused ? QStringLiteral("ПРАВИЛО АКТИВНО") : QStringLiteral("ПРАВИЛО ОТСУТСТВУЕТ"));
    if (!refused)
        checkRuns(QStringLiteral("psremove@5000 delete@3000 show@3000 psget@3000 show@3000 psget@3000"));
    QCOMPARE(shown, messages);
}

void TestFirewallRules::portLists_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("normalized");
    QTest::addColumn<int>("preset");
    const auto row = [](const char *name, const char *input, const char *normalized, int preset) {
        QTest::newRow(name) << QString::fromUtf8(input) << QString::fromUtf8(normalized) << preset;
    };
    row("preset 1", "9001-9100,9199-9999", "9001-9100,9199-9999", 0);
    row("reversed with blank", "9199-9999, 9001-9100", "9001-9100,9199-9999", 0);
    row("powershell CRLF lines", "9001-9300\r\n9399-9999\r\n", "9001-9300,9399-9999", 2);
    row("LF, lone CR, tabs, empty parts", "\t9599-9999,,\n9001-9500\r", "9001-9500,9599-9999", 4);
    row("foreign characters dropped", "Port 9001-9100;,x", "9001-9100", -1);
    row("string order, not numeric", "10000,9999,200", "10000,200,9999", -1);
    row("9001-9100 alone", "9001-9100", "9001-9100", -1);
    row("preset plus one port", "9001-9100,9199-9999,9000", "9000,9001-9100,9199-9999", -1);
    row("blank", " \r\n ", "", -1);
    row("any", "Any", "", -1);
}

void TestFirewallRules::portLists()
{
    QFETCH(QString, input);
    QFETCH(QString, normalized);
    QFETCH(int, preset);
    QCOMPARE(firewall::normalizePortList(input), normalized);
    QCOMPARE(firewall::matchingPreset(input), preset);
}

void TestFirewallRules::validPortList_data()
{
    QTest::addColumn<QString>("ports");
    QTest::addColumn<bool>("valid");
    QTest::newRow("preset") << "9001-9100,9199-9999" << true;
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

void TestFirewallRules::nftScriptsRefuseInjection()
{
    using namespace NftCommands;
    const QString table = QStringLiteral("RF4_Game_Ports");
    // Deleted and re-created in one script: the replacement is one transaction.
    QVERIFY(replaceScript(table, QStringLiteral("9001-9100,9199-9999"))
                .startsWith("table inet RF4_Game_Ports\ndelete table inet RF4_Game_Ports\n"
                            "table inet RF4_Game_Ports {\n"));
    QVERIFY(replaceScript(table, QStringLiteral("9001 } accept")).isEmpty());
    for (const char *name : {"x; flush ruleset", "x\nflush ruleset", "4RF", "RF4-Game", ""}) {
        QVERIFY2(!isValidTableName(QString::fromUtf8(name)), name);
        QVERIFY(replaceScript(QString::fromUtf8(name), QStringLiteral("9001")).isEmpty());
        QVERIFY(removeScript(QString::fromUtf8(name)).isEmpty());
    }
}

void TestFirewallRules::installedHelperCheck_data()
{
    QTest::addColumn<QString>("named"); // the path the polkit action names, relative to the folder
    QTest::addColumn<int>("helper"); // 0 none, 1 executable file, 2 plain file, 3 folder
    QTest::addColumn<bool>("usable");
    QTest::newRow("installed") << "helper" << 1 << true;
    QTest::newRow("action for another program") << "other" << 1 << false;
    QTest::newRow("action for a longer path") << "helperx" << 1 << false;
    QTest::newRow("no action file") << "" << 1 << false;
    QTest::newRow("helper missing") << "helper" << 0 << false;
    QTest::newRow("helper not executable") << "helper" << 2 << false;
    QTest::newRow("helper a folder") << "helper" << 3 << false;
}

// The start-up administrator check accepts an unprivileged KESTREL only when pkexec can
// start its helper under the shipped polkit actions.
void TestFirewallRules::installedHelperCheck()
{
    QFETCH(QString, named);
    QFETCH(int, helper);
    QFETCH(bool, usable);
    if (!QFileInfo(QStringLiteral("/usr/bin/pkexec")).isExecutable())
        QSKIP("pkexec is not installed");
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("helper")),
                  policy = dir.filePath(QStringLiteral("p.policy"));
    if (helper == 3)
        QVERIFY(QDir().mkdir(path));
    else if (helper)
        QVERIFY(QFile(path).open(QIODevice::WriteOnly));
    if (helper == 1)
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::ExeOwner));
    QFile file(policy);
    if (!named.isEmpty())
        QVERIFY(file.open(QIODevice::WriteOnly)
            && file.write("<annotate key=\"org.freedesktop.policykit.exec.path\">"
                   + dir.filePath(named).toUtf8() + "</annotate>\n")
                > 0);
    file.close();
    QCOMPARE(platform::firewallHelperUsable(path.toStdString(), policy.toStdString()), usable);
}

QTEST_GUILESS_MAIN(TestFirewallRules)
#include "tst_firewallrules.moc"
