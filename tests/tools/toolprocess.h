#pragma once

// Runs one of the fake tools (or any child) for a test and reads its line protocol:
//   ToolProcess server(QStringLiteral("fake_game_server"), {QStringLiteral("127.0.0.2:0")});
//   QVERIFY(server.waitForLine("READY"));
//   const quint16 port = server.lineStartingWith("LISTENING").section(':', -1).toUShort();
// Programs named without a path are taken from KESTREL_BIN_DIR. The child is ended (SIGTERM,
// SIGKILL after 3 s) when the object goes away.

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTest>

#include <memory>

class ToolProcess
{
public:
    ToolProcess() = default;
    ToolProcess(const QString &program, const QStringList &arguments,
        const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment())
    {
        start(program, arguments, environment);
    }
    ~ToolProcess() { stop(); }
    ToolProcess(const ToolProcess &) = delete;
    ToolProcess &operator=(const ToolProcess &) = delete;

    static QString binPath(const QString &name)
    {
        return qEnvironmentVariable("KESTREL_BIN_DIR") + QLatin1Char('/') + name;
    }

    // With mergeErrors, lines written to stderr (Qt's log) are read as well.
    bool start(const QString &program, const QStringList &arguments,
        const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment(),
        bool mergeErrors = false)
    {
        stop();
        m_process = std::make_unique<QProcess>();
        m_process->setProcessEnvironment(environment);
        m_process->setProcessChannelMode(mergeErrors ? QProcess::MergedChannels : QProcess::SeparateChannels);
        m_process->start(program.contains(QLatin1Char('/')) ? program : binPath(program), arguments);
        return m_process->waitForStarted(10000);
    }

    QProcess *process() const { return m_process.get(); }
    quint32 pid() const { return m_process ? static_cast<quint32>(m_process->processId()) : 0; }

    // Waits for a stdout line starting with prefix that came after the last line returned.
    QByteArray waitForLine(const QByteArray &prefix, int timeoutMs = 10000)
    {
        QByteArray found;
        const bool ok = QTest::qWaitFor(
            [&] {
                readAvailable();
                while (m_next < m_lines.size()) {
                    const QByteArray line = m_lines.at(m_next++);
                    if (line.startsWith(prefix)) {
                        found = line;
                        return true;
                    }
                }
                return m_process->state() == QProcess::NotRunning;
            },
            timeoutMs);
        return ok ? found : QByteArray();
    }

    QByteArray lineStartingWith(const QByteArray &prefix)
    {
        readAvailable();
        for (const QByteArray &line : std::as_const(m_lines)) {
            if (line.startsWith(prefix))
                return line;
        }
        return {};
    }

    QByteArray allOutput()
    {
        readAvailable();
        const QByteArray errors = m_process->processChannelMode() == QProcess::MergedChannels
            ? QByteArray()
            : m_process->readAllStandardError();
        return m_lines.join('\n') + '\n' + errors;
    }

    void send(const QByteArray &command) { m_process->write(command + '\n'); }

    int exitCode() const { return m_process ? m_process->exitCode() : -1; }
    QProcess::ExitStatus exitStatus() const
    {
        return m_process ? m_process->exitStatus() : QProcess::CrashExit;
    }

    bool waitForExit(int timeoutMs = 10000)
    {
        return QTest::qWaitFor([&] { return m_process->state() == QProcess::NotRunning; }, timeoutMs);
    }

    void stop()
    {
        if (!m_process)
            return;
        if (m_process->state() != QProcess::NotRunning) {
            m_process->terminate();
            if (!m_process->waitForFinished(3000)) {
                m_process->kill();
                m_process->waitForFinished(3000);
            }
        }
        m_process.reset();
        m_lines.clear();
        m_partial.clear();
        m_next = 0;
    }

private:
    void readAvailable()
    {
        m_partial += m_process->readAllStandardOutput();
        qsizetype end;
        while ((end = m_partial.indexOf('\n')) >= 0) {
            m_lines.append(m_partial.left(end).trimmed());
            m_partial.remove(0, end + 1);
        }
    }

    std::unique_ptr<QProcess> m_process;
    QByteArrayList m_lines;
    QByteArray m_partial;
    qsizetype m_next = 0;
};
