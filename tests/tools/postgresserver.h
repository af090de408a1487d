#pragma once

// A throw-away PostgreSQL cluster for tests: initdb into a temporary folder, listening
// on a socket in that folder only (no TCP port), stopped at the end. PostgreSQL refuses
// to run as root, so a root test runs it as "nobody".

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <pwd.h>
#include <unistd.h>

class PostgresServer
{
public:
    ~PostgresServer() { stop(); }

    static QString binDir()
    {
        const QString dir = qEnvironmentVariable("KESTREL_POSTGRES_BIN");
        return dir.isEmpty() ? QStringLiteral("/usr/lib/postgresql/15/bin") : dir;
    }

    bool start()
    {
        if (!m_dir.isValid())
            return fail("no temporary folder");
        if (geteuid() == 0) {
            const passwd *nobody = getpwnam("nobody");
            if (!nobody
                || chown(QFile::encodeName(m_dir.path()).constData(), nobody->pw_uid, nobody->pw_gid) != 0)
                return fail("cannot hand the folder to nobody");
        }
        if (!run(QStringLiteral("initdb"),
                {QStringLiteral("-D"), dataDir(), QStringLiteral("-U"), QStringLiteral("kestrel"),
                    QStringLiteral("--auth=trust"), QStringLiteral("-E"), QStringLiteral("UTF8"),
                    QStringLiteral("--no-locale"), QStringLiteral("--no-sync")}))
            return false;
        QFile config(dataDir() + QStringLiteral("/postgresql.conf"));
        if (!config.open(QIODevice::Append))
            return fail("cannot write postgresql.conf");
        config.write("listen_addresses = ''\nunix_socket_directories = '" + QFile::encodeName(m_dir.path())
            + "'\nfsync = off\nsynchronous_commit = off\nfull_page_writes = off\n");
        config.close();
        m_running = run(QStringLiteral("pg_ctl"),
            {QStringLiteral("-D"), dataDir(), QStringLiteral("-l"),
                m_dir.filePath(QStringLiteral("server.log")), QStringLiteral("-w"), QStringLiteral("start")});
        return m_running;
    }

    void stop()
    {
        if (m_running)
            run(QStringLiteral("pg_ctl"),
                {QStringLiteral("-D"), dataDir(), QStringLiteral("-m"), QStringLiteral("fast"),
                    QStringLiteral("-w"), QStringLiteral("stop")});
        m_running = false;
    }

    bool createDatabase(const QString &name)
    {
        return run(QStringLiteral("createdb"),
            {QStringLiteral("-h"), m_dir.path(), QStringLiteral("-U"), QStringLiteral("kestrel"), name});
    }

    // kestrel-service's --database text for a database of this cluster.
    QString connection(const QString &database) const
    {
        return QStringLiteral("host=%1 dbname=%2 user=kestrel").arg(m_dir.path(), database);
    }

    QByteArray error() const { return m_error; }

private:
    QString dataDir() const { return m_dir.filePath(QStringLiteral("data")); }

    bool fail(const QByteArray &message)
    {
        m_error = message;
        return false;
    }

    bool run(const QString &tool, const QStringList &arguments)
    {
        const QString program = binDir() + QLatin1Char('/') + tool;
        QProcess process;
        process.setWorkingDirectory(m_dir.path());
        process.setProcessChannelMode(QProcess::MergedChannels);
        if (geteuid() == 0)
            process.start(QStringLiteral("runuser"),
                QStringList {QStringLiteral("-u"), QStringLiteral("nobody"), QStringLiteral("--"), program}
                    + arguments);
        else
            process.start(program, arguments);
        if (!process.waitForFinished(60000) || process.exitCode() != 0)
            return fail(tool.toUtf8() + " failed: " + process.readAll());
        return true;
    }

    QTemporaryDir m_dir;
    bool m_running = false;
    QByteArray m_error;
};
