#pragma once

// Starts the fake game tools (tests/tools) for tests: a server that accepts and holds
// connections, and a client process named "rf4_x64.exe" that connects to it and can
// be told to move or drop its connection.

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <QTest>

namespace FakeGame {

inline QString binDir()
{
    return qEnvironmentVariable("KESTREL_BIN_DIR");
}

// Waits until the process printed a line starting with prefix; returns that line.
inline QString waitForLine(QProcess &process, const QString &prefix, int timeoutMs = 10000)
{
    QString found;
    (void)QTest::qWaitFor(
        [&] {
            while (process.canReadLine()) {
                const QString line = QString::fromUtf8(process.readLine()).trimmed();
                if (line.startsWith(prefix)) {
                    found = line;
                    return true;
                }
            }
            return process.state() == QProcess::NotRunning;
        },
        timeoutMs);
    return found;
}

class Server
{
public:
    ~Server() { stop(); }

    // Listens on address at each of ports (0 = any free port); returns the actual ports.
    QList<quint16> start(const QString &address, const QList<quint16> &ports)
    {
        QStringList args;
        for (quint16 port : ports)
            args << QStringLiteral("%1:%2").arg(address).arg(port);
        m_process.start(QDir(binDir()).filePath(QStringLiteral("fake_game_server")), args);
        QList<quint16> actual;
        if (!m_process.waitForStarted())
            return actual;
        (void)QTest::qWaitFor(
            [&] {
                while (m_process.canReadLine()) {
                    const QString line = QString::fromUtf8(m_process.readLine()).trimmed();
                    if (line.startsWith(QLatin1String("LISTENING ")))
                        actual << line.section(QLatin1Char(':'), -1).toUShort();
                    if (line == QLatin1String("READY"))
                        return true;
                }
                return m_process.state() == QProcess::NotRunning;
            },
            10000);
        return actual;
    }

    void stop()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.terminate();
            if (!m_process.waitForFinished(3000))
                m_process.kill();
            m_process.waitForFinished(3000);
        }
    }

private:
    QProcess m_process;
};

class Client
{
public:
    ~Client() { stop(); }

    // Starts "rf4_x64.exe" connected to address:port; true once the connection stands.
    bool start(const QString &address, quint16 port)
    {
        m_process.start(QDir(binDir()).filePath(QStringLiteral("rf4_x64.exe")),
                        {address, QString::number(port)});
        if (!m_process.waitForStarted())
            return false;
        return !waitForLine(m_process, QStringLiteral("CONNECTED")).isEmpty();
    }

    bool move(quint16 port)
    {
        m_process.write(QStringLiteral("move %1\n").arg(port).toUtf8());
        return !waitForLine(m_process, QStringLiteral("CONNECTED")).isEmpty();
    }

    bool drop()
    {
        m_process.write("drop\n");
        return !waitForLine(m_process, QStringLiteral("DROPPED")).isEmpty();
    }

    qint64 pid() const { return m_process.processId(); }

    void stop()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.write("quit\n");
            m_process.closeWriteChannel();
            if (!m_process.waitForFinished(3000))
                m_process.kill();
            m_process.waitForFinished(3000);
        }
    }

private:
    QProcess m_process;
};

}  // namespace FakeGame
