#pragma once

// Shared steps of the player journeys: answering the modal windows the program opens
// itself, the fake game, and screenshots of what the player would see.

#include "core/processrunner.h"
#include "tools/toolprocess.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include <functional>

namespace Journey {

// The update check 5 s after start would launch the real updater beside the test, which
// outlives it: the journeys start no child programs of the window's own.
class NoChildPrograms final : public ProcessRunner
{
public:
    ProcessResult run(const QString &, const QStringList &, int, const QByteArray &) override { return {}; }
    bool startDetached(const QString &, const QStringList &, const QString &) override { return false; }
    static void install()
    {
        ProcessRunner::setFactory([] { return std::make_unique<NoChildPrograms>(); });
    }
};

// Runs action on the next visible modal window of type T (the program exec()s it).
template<typename T> void whenModal(std::function<void(T *)> action)
{
    auto *timer = new QTimer(qApp);
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, qApp, [timer, action] {
        auto *modal = qobject_cast<T *>(QApplication::activeModalWidget());
        if (!modal || !modal->isVisible())
            return;
        timer->stop();
        timer->deleteLater();
        action(modal);
    });
    timer->start();
}

inline QString labelText(const QWidget &window, const char *name)
{
    const auto *label = window.findChild<QLabel *>(QLatin1String(name));
    return label ? label->text() : QString();
}

// With KESTREL_JOURNEY_SHOTS set (run on Xvfb), the whole screen goes to <dir>/<name>.png.
inline void shot(const QString &name)
{
    const QString dir = qEnvironmentVariable("KESTREL_JOURNEY_SHOTS");
    if (dir.isEmpty() || !QGuiApplication::primaryScreen())
        return;
    QTest::qWait(400); // fade-ins finish
    QGuiApplication::primaryScreen()->grabWindow(0).save(QDir(dir).filePath(name + QStringLiteral(".png")));
}

// The game: a server listening on every given port of host, and the client holding a
// real connection to the first of them.
struct Game
{
    ToolProcess server;
    ToolProcess client;

    bool start(const QString &host, const QList<quint16> &ports)
    {
        QStringList listen;
        for (quint16 port : ports)
            listen << QStringLiteral("%1:%2").arg(host).arg(port);
        return server.start(QStringLiteral("fake_game_server"), listen)
            && !server.waitForLine("READY").isEmpty()
            && client.start(QStringLiteral("rf4_x64.exe"), {host, QString::number(ports.first())})
            && !client.waitForLine("CONNECTED").isEmpty();
    }
    bool move(quint16 port)
    {
        client.send("move " + QByteArray::number(port));
        return !client.waitForLine("CONNECTED").isEmpty();
    }
};

} // namespace Journey
