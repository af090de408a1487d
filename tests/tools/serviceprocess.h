#pragma once

// Starts kestrel-service from $KESTREL_BIN_DIR on a free loopback port with a
// database in a temporary folder, and stops it again.

#include <QtTest>

class ServiceProcess
{
public:
    static QString binary()
    {
        return QDir(qEnvironmentVariable("KESTREL_BIN_DIR")).filePath(QStringLiteral("kestrel-service"));
    }

    ~ServiceProcess() { stop(); }

    bool start(const QStringList &extraArguments = {})
    {
        if (!m_dir.isValid() || !QFileInfo(binary()).isExecutable())
            return false;
        m_process.start(binary(),
            QStringList {
                QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--database"), databasePath()}
                + extraArguments);
        static const QRegularExpression listening(QStringLiteral("listening on [0-9.]+:([0-9]+)"));
        QByteArray out;
        (void)QTest::qWaitFor(
            [&] {
                out += m_process.readAllStandardOutput();
                m_port = listening.match(QString::fromUtf8(out)).captured(1).toUShort();
                return m_port != 0 || m_process.state() == QProcess::NotRunning;
            },
            20000);
        return m_port != 0;
    }

    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
        m_process.waitForFinished(5000);
    }

    QString databasePath() const { return m_dir.filePath(QStringLiteral("service.sqlite")); }
    QString baseUrl() const { return QStringLiteral("http://127.0.0.1:%1/").arg(m_port); }
    QByteArray log() { return m_process.readAllStandardError(); }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    quint16 m_port = 0;
};
