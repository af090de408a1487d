#include "firewall/nftfirewallbackend.h"

#include "core/processrunner.h"
#include "firewall/portrangepreset.h"

#include <QDebug>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QStandardPaths>

namespace NftCommands {

bool isValidTableName(const QString &name)
{
    static const QRegularExpression identifier(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
    return identifier.match(name).hasMatch();
}

QStringList listTableArguments(const QString &table)
{
    return {QStringLiteral("list"), QStringLiteral("table"), QStringLiteral("inet"), table};
}

QStringList listTableJsonArguments(const QString &table)
{
    return QStringList {QStringLiteral("-j")} + listTableArguments(table);
}

QStringList listTablesArguments()
{
    return {QStringLiteral("list"), QStringLiteral("tables"), QStringLiteral("inet")};
}

QStringList scriptArguments()
{
    return {QStringLiteral("-f"), QStringLiteral("-")};
}

QByteArray removeScript(const QString &table)
{
    if (!isValidTableName(table))
        return {};
    return QStringLiteral("table inet %1\ndelete table inet %1\n").arg(table).toUtf8();
}

QByteArray replaceScript(const QString &table, const QString &ports)
{
    if (!isValidTableName(table) || !firewall::isValidPortList(ports))
        return {};
    QString set = ports;
    set.replace(QLatin1Char(','), QStringLiteral(", "));
    // One transaction: the old table goes and the new one comes at the same instant.
    return QStringLiteral("table inet %1\n"
                          "delete table inet %1\n"
                          "table inet %1 {\n"
                          "\tchain output {\n"
                          "\t\ttype filter hook output priority filter; policy accept;\n"
                          "\t\ttcp dport { %2 } reject with tcp reset\n"
                          "\t}\n"
                          "}\n")
        .arg(table, set)
        .toUtf8();
}

namespace {

using NamedSets = QHash<QString, QJsonArray>;

QString portText(const QJsonValue &value)
{
    if (value.isDouble())
        return QString::number(value.toInteger());
    if (value.isString()) {
        bool ok = false;
        const int port = value.toString().toInt(&ok);
        return ok ? QString::number(port) : QString();
    }
    return {};
}

void collectPorts(const QJsonValue &value, const NamedSets &sets, QStringList &out, int depth = 0)
{
    if (depth > 8)
        return;
    if (value.isArray()) {
        for (const QJsonValue &element : value.toArray())
            collectPorts(element, sets, out, depth + 1);
        return;
    }
    if (value.isString() && value.toString().startsWith(QLatin1Char('@'))) {
        collectPorts(sets.value(value.toString().mid(1)), sets, out, depth + 1);
        return;
    }
    if (value.isObject()) {
        const QJsonObject object = value.toObject();
        if (object.contains(QLatin1String("range"))) {
            const QJsonArray bounds = object.value(QLatin1String("range")).toArray();
            const QString first = portText(bounds.at(0));
            const QString last = portText(bounds.at(1));
            if (bounds.size() == 2 && !first.isEmpty() && !last.isEmpty())
                out.append(first == last ? first : first + QLatin1Char('-') + last);
        } else if (object.contains(QLatin1String("set"))) {
            collectPorts(object.value(QLatin1String("set")), sets, out, depth + 1);
        } else if (object.contains(QLatin1String("elem"))) {
            collectPorts(object.value(QLatin1String("elem")).toObject().value(QLatin1String("val")), sets,
                out, depth + 1);
        }
        return;
    }
    const QString port = portText(value);
    if (!port.isEmpty())
        out.append(port);
}

bool isTcpDestinationPort(const QJsonObject &match)
{
    const QJsonObject payload
        = match.value(QLatin1String("left")).toObject().value(QLatin1String("payload")).toObject();
    const QString op = match.value(QLatin1String("op")).toString();
    return payload.value(QLatin1String("protocol")).toString() == QLatin1String("tcp")
        && payload.value(QLatin1String("field")).toString() == QLatin1String("dport")
        && (op == QLatin1String("==") || op == QLatin1String("in"));
}

} // namespace

QString blockedPortsFromJson(const QByteArray &json)
{
    const QJsonArray items
        = QJsonDocument::fromJson(json).object().value(QLatin1String("nftables")).toArray();

    NamedSets sets;
    for (const QJsonValue &item : items) {
        const QJsonObject set = item.toObject().value(QLatin1String("set")).toObject();
        if (!set.isEmpty())
            sets.insert(
                set.value(QLatin1String("name")).toString(), set.value(QLatin1String("elem")).toArray());
    }

    QStringList ports;
    for (const QJsonValue &item : items) {
        const QJsonArray expressions
            = item.toObject().value(QLatin1String("rule")).toObject().value(QLatin1String("expr")).toArray();
        bool blocks = false;
        QStringList rulePorts;
        for (const QJsonValue &expressionValue : expressions) {
            const QJsonObject expression = expressionValue.toObject();
            if (expression.contains(QLatin1String("drop")) || expression.contains(QLatin1String("reject")))
                blocks = true;
            const QJsonObject match = expression.value(QLatin1String("match")).toObject();
            if (!match.isEmpty() && isTcpDestinationPort(match))
                collectPorts(match.value(QLatin1String("right")), sets, rulePorts);
        }
        if (blocks)
            ports += rulePorts;
    }
    return ports.join(QLatin1Char(','));
}

} // namespace NftCommands

namespace {

QString findNft()
{
    QString path = QStandardPaths::findExecutable(QStringLiteral("nft"));
    if (path.isEmpty()) {
        path = QStandardPaths::findExecutable(QStringLiteral("nft"),
            {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin"), QStringLiteral("/usr/local/sbin")});
    }
    return path.isEmpty() ? QStringLiteral("nft") : path;
}

void logFailure(const QStringList &args, const ProcessResult &result)
{
    if (!result.started)
        qWarning() << "[FIREWALL] nft could not be started";
    else if (result.timedOut)
        qWarning() << "[FIREWALL] nft timed out:" << args;
    else
        qWarning() << "[FIREWALL] nft failed:" << args
                   << QString::fromLocal8Bit(result.standardError).trimmed();
}

} // namespace

using namespace NftCommands;

NftFirewallBackend::NftFirewallBackend(QString program, QString table)
    : m_program(program.isEmpty() ? findNft() : std::move(program)), m_table(std::move(table))
{ }

bool NftFirewallBackend::ruleExists()
{
    if (!isValidTableName(m_table))
        return false;
    const ProcessResult result
        = ProcessRunner::create()->run(m_program, listTableArguments(m_table), kExistsTimeoutMs);
    // A missing table is an ordinary answer (exit 1), not worth a warning.
    if (!result.started || result.timedOut)
        logFailure(listTableArguments(m_table), result);
    return result.succeeded();
}

QString NftFirewallBackend::currentRulePorts()
{
    if (!isValidTableName(m_table))
        return {};
    const QStringList args = listTableJsonArguments(m_table);
    const ProcessResult result = ProcessRunner::create()->run(m_program, args, kCommandTimeoutMs);
    if (!result.succeeded())
        return {};
    return blockedPortsFromJson(result.standardOutput);
}

bool NftFirewallBackend::readRule(bool &present, QString &ports)
{
    if (!isValidTableName(m_table))
        return false;
    const QStringList args = listTableJsonArguments(m_table);
    const ProcessResult table = ProcessRunner::create()->run(m_program, args, kCommandTimeoutMs);
    if (table.succeeded()) {
        present = true;
        ports = blockedPortsFromJson(table.standardOutput);
        return true;
    }
    // nft answers a missing table and a refused request alike (exit 1): only a
    // listing of all tables that works tells the table is really not there.
    const ProcessResult tables
        = ProcessRunner::create()->run(m_program, listTablesArguments(), kCommandTimeoutMs);
    if (!tables.succeeded()) {
        logFailure(args, table);
        return false;
    }
    const QByteArray line = QByteArray("table inet ") + m_table.toUtf8() + '\n';
    present = tables.standardOutput.contains(line);
    if (present) {
        logFailure(args, table); // listed, yet unreadable
        return false;
    }
    ports.clear();
    return true;
}

bool NftFirewallBackend::runScript(const QByteArray &script)
{
    const ProcessResult result
        = ProcessRunner::create()->run(m_program, scriptArguments(), kCommandTimeoutMs, script);
    if (!result.succeeded())
        logFailure(scriptArguments(), result);
    return result.succeeded();
}

bool NftFirewallBackend::removeRule()
{
    const QByteArray script = removeScript(m_table);
    if (script.isEmpty()) {
        qWarning() << "[FIREWALL] invalid table name" << m_table;
        return false;
    }
    return runScript(script);
}

bool NftFirewallBackend::addRule(const QString &ports)
{
    const QByteArray script = replaceScript(m_table, ports);
    if (script.isEmpty()) {
        qWarning() << "[FIREWALL] refusing table" << m_table << "or port list" << ports;
        return false;
    }
    return runScript(script);
}
