#pragma once

// Runs one of the fake tools (or any child) for a test and reads its line protocol:
//   ToolProcess server(QStringLiteral("fake_game_server"), {QStringLiteral("127.0.0.2:0")});
//   QVERIFY(!server.waitForLine("READY").isEmpty());
//   const quint16 port = server.lineStartingWith("LISTENING").split(':').last().toUShort();
// Programs named without a path are taken from KESTREL_BIN_DIR. The child is ended (SIGTERM,
// SIGKILL after 3 s) when the object goes away.

#include <QtTest>

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
        (void)QTest::qWaitFor(
            [&] {
                readAvailable();
                while (found.isEmpty() && m_next < m_lines.size()) {
                    if (m_lines.at(m_next).startsWith(prefix))
                        found = m_lines.at(m_next);
                    ++m_next;
                }
                return !found.isEmpty() || m_process->state() == QProcess::NotRunning;
            },
            timeoutMs);
        return found;
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
        const bool merged = m_process->processChannelMode() == QProcess::MergedChannels;
        return m_lines.join('\n') + '\n' + (merged ? QByteArray() : m_process->readAllStandardError());
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
        if (m_process && m_process->state() != QProcess::NotRunning) {
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
        for (qsizetype end; (end = m_partial.indexOf('\n')) >= 0; m_partial.remove(0, end + 1))
            m_lines.append(m_partial.left(end).trimmed());
    }

    std::unique_ptr<QProcess> m_process;
    QByteArrayList m_lines;
    QByteArray m_partial;
    qsizetype m_next = 0;
};
