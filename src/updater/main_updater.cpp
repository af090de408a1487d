#include "updatelauncher/tlscheck.h"
#include "updater/singleinstanceguard.h"
#include "updater/updaterengine.h"
#include "updater/updaterhelper.h"
#include "updater/updaterprotocol.h"
#include "updater/updaterui.h"

#include <QApplication>
#include <QDebug>
#include <QDialog>
#include <QMessageBox>
#include <QTimer>

#ifdef Q_OS_UNIX
#include <QSocketNotifier>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace {

#ifdef Q_OS_UNIX
int g_signalFds[2] = {-1, -1};

void onTerminationSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_signalFds[0], &byte, 1);
}

// A logout or shutdown sends SIGTERM: leave through the event loop so that the
// single-instance guard is released instead of outliving the process.
void quitOnTerminationSignals(QObject *context)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalFds) != 0)
        return;
    auto *notifier = new QSocketNotifier(g_signalFds[1], QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, context, []() {
        char byte = 0;
        [[maybe_unused]] const ssize_t read = ::read(g_signalFds[1], &byte, 1);
        qDebug() << "Termination signal received, exiting...";
        QCoreApplication::quit();
    });
    struct sigaction action = {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}
#endif

bool checkSSLibraries()
{
    const QString dir = QCoreApplication::applicationDirPath();
    const QStringList libraries = TlsCheck::requiredLibraries();
    const bool ssl = TlsCheck::libraryAvailable(dir, libraries.at(0));
    const bool crypto = TlsCheck::libraryAvailable(dir, libraries.at(1));
    if (ssl && crypto) {
        qDebug() << "SSL libraries found successfully";
        return true;
    }
    qDebug().noquote() << "SSL libraries not found in:" << dir;
    qDebug().noquote() << "Looking for" << libraries.at(0) + QLatin1Char(':') << ssl;
    qDebug().noquote() << "Looking for" << libraries.at(1) + QLatin1Char(':') << crypto;
    UpdaterUi::showMessage(QMessageBox::Critical, QStringLiteral("Критическая ошибка"),
        QStringLiteral("Не найдены необходимые библиотеки SSL!\n\n"
                       "Для работы обновлятора необходимы:\n• %1\n• %2\n\n"
                       "Поместите эти файлы в папку с обновлятором.")
            .arg(libraries.at(0), libraries.at(1)));
    return false;
}

// Test hook: TORVAL_UPDATER_TEST_ANSWER=update|later answers every prompt unshown (boxes with
// OK, the offer with "Обновить" or "Позже") and shortens the waits, so that a test can run the
// whole program. The prompts still go to the log.
void applyTestAnswer()
{
    const QString answer = qEnvironmentVariable("TORVAL_UPDATER_TEST_ANSWER");
    if (answer.isEmpty())
        return;
    UpdaterEngine::setTimingsForTest(UpdaterTimings::shortened());
    const bool update = answer == QLatin1String("update");
    UpdaterUi::setModalHookForTest([update](QDialog &dialog) {
        if (qobject_cast<QMessageBox *>(&dialog))
            return int(QMessageBox::Ok);
        return int(update ? QDialog::Accepted : QDialog::Rejected);
    });
}

} // namespace

int main(int argc, char *argv[])
{
    // The check and download children of systems without PowerShell: no window,
    // no guard, only the line protocol on standard output.
    if (UpdaterHelper::isHelperInvocation(argc, argv)) {
        QCoreApplication helperApp(argc, argv);
        return UpdaterHelper::run(QCoreApplication::arguments());
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("TORVAL Updater"));
    QApplication::setApplicationDisplayName(QStringLiteral("TORVAL KESTREL - Updater"));
    QApplication::setOrganizationName(QStringLiteral("TORVAL DEVELOPMENT"));
    QApplication::setApplicationVersion(QStringLiteral("1.0.0"));
    // Only the explicit quits and the five-minute guard end the updater.
    QApplication::setQuitOnLastWindowClosed(false);

    if (!checkSSLibraries())
        return 1;

    UpdaterUi::setupApplicationStyle();
    applyTestAnswer();

    const QStringList arguments = QCoreApplication::arguments();
    SingleInstanceGuard guard(UpdaterProtocol::instanceKey(QCoreApplication::applicationFilePath()));
    if (guard.anotherInstanceRunning()) {
        qDebug() << "Updater already running, exiting...";
        if (!arguments.contains(QStringLiteral("--silent")))
            UpdaterUi::showMessage(QMessageBox::Information, QStringLiteral("Обновлятор уже запущен"),
                QStringLiteral("Обновлятор уже работает в фоновом режиме.\n"
                               "Пожалуйста, дождитесь завершения процесса обновления."));
        return 0;
    }
    if (!guard.errorString().isEmpty())
        qDebug().noquote() << "Shared memory error:" << guard.errorString();

#ifdef Q_OS_UNIX
    quitOnTerminationSignals(&app);
#endif

    const UpdaterProtocol::Options options = UpdaterProtocol::parseArguments(arguments);
    const bool silent = options.effectiveSilent();

    qDebug() << "=== TORVAL UPDATER STARTED ===";
    qDebug() << "Silent mode:" << silent;
    qDebug() << "Show dialog:" << options.showDialog;
    qDebug() << "Arguments:" << arguments;
    qDebug() << "=============================";

    UpdaterEngine engine;
    engine.setSilentMode(silent);
    QObject::connect(
        &engine, &UpdaterEngine::quitRequested, &app, &QCoreApplication::quit, Qt::QueuedConnection);

    const UpdaterTimings timings = UpdaterEngine::timings();
    QTimer::singleShot(timings.startDelayMs, &engine, [&engine, silent]() {
        if (silent)
            engine.startSilentUpdateCheck();
        else
            engine.startUpdateCheck();
    });
    QTimer::singleShot(timings.overallTimeoutMs, &app, []() {
        qDebug() << "Updater timeout (5 minutes), exiting...";
        QCoreApplication::quit();
    });

    const int code = QApplication::exec();
    qDebug() << "=== UPDATER EXITED WITH CODE" << code << "===";
    return code;
}
