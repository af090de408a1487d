// KESTREL start-up: identity, elevation gate, icon, single instance, first-run
// steps, the main window and the event loop.

#include "app/appicon.h"
#include "app/firstrun.h"
#include "app/pingmonitorwidget.h"
#include "app/splashscreen.h"
#include "app/startupdialogs.h"
#include "core/appconfig.h"
#include "core/settingskeys.h"
#include "core/singleinstance.h"
#include "firewall/adminrequireddialog.h"
#include "platform/platform.h"
#include "ui/messagebox.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDebug>
#include <QTimer>

namespace {

// --help and --version answer on the terminal and end, before anything needs a display.
// Every other argument is left to Qt (-platform, -style, ...), as before.
void answerInfoOptions(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Network companion for Russian Fishing 4: finds the game's server, measures the ping, keeps "
        "session records and manages the firewall rule for the game's ports."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    (void)parser.parse(arguments);
    if (!parser.isSet(help) && !parser.isSet(version) && !parser.isSet(QStringLiteral("help-all")))
        return;
    QCoreApplication text(argc, argv);
    parser.process(text); // prints and ends the process
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication::setApplicationName(QLatin1String(AppConfig::kAppName));
    QCoreApplication::setApplicationVersion(QLatin1String(AppConfig::kAppVersion));
    answerInfoOptions(argc, argv);

    QApplication app(argc, argv);
    QApplication::setApplicationName(QLatin1String(AppConfig::kAppName));
    QApplication::setApplicationDisplayName(QString());
    QApplication::setApplicationVersion(QLatin1String(AppConfig::kAppVersion));
    QApplication::setOrganizationName(QLatin1String(AppConfig::kOrganizationName));
    // Wayland compositors match the window to its menu entry and icon by this name.
    QGuiApplication::setDesktopFileName(QStringLiteral(KESTREL_DESKTOP_ID));
    // The program lives in the tray and the HUD: closing a window never ends it, only
    // the confirmed exit does.
    QApplication::setQuitOnLastWindowClosed(false);

    StartupDialogs::installTestAutoClose();

    if (!platform::isProcessElevated()) {
        qDebug() << "[STARTUP] Not elevated: administrator rights required";
        AdminRequiredDialog dialog;
        dialog.setWindowIcon(AppIcon::loadAppIcon());
        dialog.exec();
        return 0;
    }

    // A KESTREL without the right of its own changes the firewall through its helper.
    if (platform::isUserAdmin() && !platform::passFirewallRightToChildren())
        qWarning() << "[STARTUP] The firewall tools will run without the firewall right";

    QIcon icon = AppIcon::loadAppIcon();
    if (icon.isNull())
        icon = AppIcon::createFallbackIcon();
    QApplication::setWindowIcon(icon);
    const QPixmap splash = AppIcon::splashPixmap(icon);

    const QString instanceKey = SingleInstanceGuard::userKey(QLatin1String(AppConfig::kSingleInstanceKey));
    SingleInstanceGuard guard(instanceKey);
    if (guard.acquire() == SingleInstanceGuard::Result::AlreadyRunning) {
        // The first instance may sit hidden with no tray to click: it shows its window.
        const bool shown = InstanceChannel::requestShow(instanceKey);
        qDebug() << "[STARTUP] Another instance is running; asked to show its window:" << shown;
        MessageBox::information(nullptr, QStringLiteral("Приложение уже запущено"),
            QStringLiteral("TORVAL KESTREL уже запущен.\n\nПроверьте иконку в системном трее."));
        return 0;
    }
    InstanceChannel channel(instanceKey);
    channel.listen();

    SplashScreen::run(splash);
    qDebug() << "[STARTUP] Splash finished";
    if (!FirstRun::ensureSafetyAccepted())
        return 0;
    if (!FirstRun::ensureNickname())
        return 0;

    PingMonitorWidget window;
    window.setWindowIcon(icon);
    QObject::connect(
        &channel, &InstanceChannel::showRequested, &window, &PingMonitorWidget::showFromBackground);
    QTimer::singleShot(100, &AppIcon::applyNativeWindowIcons);
    window.show();
    qDebug() << "[STARTUP] Main window shown";
    return app.exec();
}
