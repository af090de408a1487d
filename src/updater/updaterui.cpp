#include "updater/updaterui.h"

#include <QApplication>
#include <QDebug>
#include <QDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QPalette>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QStyleFactory>
#include <QTimer>
#include <QVBoxLayout>

namespace UpdaterUi {

namespace {

ModalHook &installedHook()
{
    static ModalHook hook;
    return hook;
}

QLabel *centredLabel(const QString &text, const char *style, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setAlignment(Qt::AlignCenter);
    label->setStyleSheet(QString::fromUtf8(style));
    return label;
}

constexpr char kUpdateDialogStyle[]
    = "QDialog { background-color: #0f172a; border: 1px solid #3b82f6; border-radius: 8px; }"
      "QLabel { color: #e2e8f0; }"
      "QPushButton { background-color: #3b82f6; color: white; border: none; border-radius: 4px; "
      "padding: 8px 24px; font-size: 12px; font-weight: 500; min-width: 120px; }"
      "QPushButton:hover { background-color: #2563eb; }"
      "QPushButton:pressed { background-color: #1d4ed8; }"
      "QPushButton#laterButton { background-color: #475569; border: 1px solid #64748b; }"
      "QPushButton#laterButton:hover { background-color: #374151; }";

constexpr char kProgressDialogStyle[]
    = "QDialog { background-color: #0f172a; border: 2px solid #1e40af; border-radius: 10px; }"
      "QLabel { color: #e2e8f0; }"
      "QProgressBar { border: 1px solid #334155; border-radius: 5px; background-color: #1e293b; "
      "height: 20px; text-align: center; color: #e2e8f0; }"
      "QProgressBar::chunk { border-radius: 4px; background: qlineargradient(x1:0, y1:0, x2:1, y2:0, "
      "stop:0 #3b82f6, stop:1 #22d3ee); }";

constexpr char kFinalDialogStyle[]
    = "QDialog { background-color: #0f172a; border: 2px solid #10b981; border-radius: 10px; }"
      "QLabel { color: #e2e8f0; }";

} // namespace

void setModalHookForTest(ModalHook hook)
{
    installedHook() = std::move(hook);
}

int execModal(QDialog &dialog)
{
    if (const ModalHook &hook = installedHook())
        return hook(dialog);
    return dialog.exec();
}

void showMessage(QMessageBox::Icon icon, const QString &title, const QString &text, bool stayOnTop)
{
    // What the user was told belongs in the log next to what happened.
    qDebug().noquote() << "Message shown:"
                       << title + QStringLiteral(" | ")
            + QString(text).replace(QLatin1Char('\n'), QLatin1Char(' '));
    QMessageBox box(icon, title, text, QMessageBox::Ok);
    if (stayOnTop)
        box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    execModal(box);
}

void setupApplicationStyle()
{
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QPalette palette;
    palette.setColor(QPalette::Window, QColor(0x0f, 0x17, 0x2a));
    palette.setColor(QPalette::WindowText, QColor(0xe2, 0xe8, 0xf0));
    palette.setColor(QPalette::Base, QColor(0x1e, 0x29, 0x3b));
    palette.setColor(QPalette::AlternateBase, QColor(0x0f, 0x17, 0x2a));
    palette.setColor(QPalette::ToolTipBase, QColor(0x1e, 0x29, 0x3b));
    palette.setColor(QPalette::ToolTipText, QColor(0xe2, 0xe8, 0xf0));
    palette.setColor(QPalette::Text, QColor(0xe2, 0xe8, 0xf0));
    palette.setColor(QPalette::Button, QColor(0x1e, 0x29, 0x3b));
    palette.setColor(QPalette::ButtonText, QColor(0xe2, 0xe8, 0xf0));
    palette.setColor(QPalette::BrightText, Qt::white);
    palette.setColor(QPalette::Link, QColor(0x3b, 0x82, 0xf6));
    palette.setColor(QPalette::Highlight, QColor(0x3b, 0x82, 0xf6));
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::Disabled, QPalette::Text, QColor(0x94, 0xa3, 0xb8));
    palette.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x94, 0xa3, 0xb8));
    QApplication::setPalette(palette);
    qApp->setStyleSheet(
        QStringLiteral("QToolTip { color: #e2e8f0; background-color: #1e293b; border: 1px solid #334155; }"
                       "QMessageBox { background-color: #0f172a; }"
                       "QMessageBox QLabel { color: #e2e8f0; }"));
}

void centreOnPrimaryScreen(QWidget *window)
{
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect frame = window->frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        window->move(frame.topLeft());
    }
}

std::unique_ptr<QDialog> createUpdateDialog(const QString &currentVersion, const QString &newVersion)
{
    auto dialog = std::make_unique<QDialog>();
    dialog->setWindowTitle(QStringLiteral("Доступно обновление"));
    dialog->setWindowFlags(Qt::Dialog | Qt::WindowStaysOnTopHint);
    dialog->setModal(true);
    dialog->setFixedSize(400, 300);
    dialog->setWindowOpacity(0.9);
    dialog->setStyleSheet(QString::fromUtf8(kUpdateDialogStyle));

    auto *layout = new QVBoxLayout(dialog.get());
    layout->setSpacing(15);
    layout->setContentsMargins(25, 25, 25, 20);
    layout->addWidget(centredLabel(
        QStringLiteral("🔄"), "font-size: 32px; color: #60a5fa; margin-bottom: 5px;", dialog.get()));
    layout->addWidget(centredLabel(QStringLiteral("Доступно обновление"),
        "font-size: 16px; font-weight: 600; color: #e2e8f0; margin-bottom: 5px;", dialog.get()));
    // The versions come from the network: escaped before they meet rich text.
    auto *versions
        = centredLabel(QStringLiteral("Версия %1 → <span style='color:#4ade80; font-weight:600;'>%2</span>")
                           .arg(currentVersion.toHtmlEscaped(), newVersion.toHtmlEscaped()),
            "font-size: 14px; color: #cbd5e1;", dialog.get());
    versions->setObjectName(QStringLiteral("versionLabel"));
    versions->setTextFormat(Qt::RichText);
    layout->addWidget(versions);
    auto *info = centredLabel(QStringLiteral("Приложение будет обновлено до новой версии.\n"
                                             "Программа закроется и перезапустится автоматически."),
        "color: #94a3b8; font-size: 11px; padding: 10px 0;", dialog.get());
    info->setWordWrap(true);
    layout->addWidget(info);
    layout->addSpacing(5);

    auto *buttons = new QHBoxLayout();
    buttons->setSpacing(12);
    auto *later = new QPushButton(QStringLiteral("Позже"), dialog.get());
    later->setObjectName(QStringLiteral("laterButton"));
    later->setMinimumHeight(32);
    auto *update = new QPushButton(QStringLiteral("Обновить"), dialog.get());
    update->setObjectName(QStringLiteral("updateButton"));
    update->setMinimumHeight(32);
    update->setDefault(true);
    buttons->addStretch();
    buttons->addWidget(later);
    buttons->addWidget(update);
    buttons->addStretch();
    layout->addLayout(buttons);

    QDialog *raw = dialog.get();
    QObject::connect(later, &QPushButton::clicked, raw, &QDialog::reject);
    QObject::connect(update, &QPushButton::clicked, raw, &QDialog::accept);
    auto *returnKey = new QShortcut(QKeySequence(Qt::Key_Return), raw);
    QObject::connect(returnKey, &QShortcut::activated, update, &QPushButton::click);
    auto *escapeKey = new QShortcut(QKeySequence(Qt::Key_Escape), raw);
    QObject::connect(escapeKey, &QShortcut::activated, later, &QPushButton::click);

    centreOnPrimaryScreen(raw);
    return dialog;
}

QDialog *createProgressDialog(QProgressBar **bar, QLabel **status)
{
    auto *dialog = new QDialog();
    dialog->setWindowTitle(QStringLiteral("Загрузка обновления"));
    dialog->setWindowFlags(Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::FramelessWindowHint);
    dialog->setFixedSize(400, 200);
    dialog->setStyleSheet(QString::fromUtf8(kProgressDialogStyle));

    auto *layout = new QVBoxLayout(dialog);
    layout->setSpacing(15);
    layout->setContentsMargins(30, 30, 30, 30);
    layout->setAlignment(Qt::AlignCenter);
    layout->addWidget(centredLabel(QStringLiteral("⏳ ЗАГРУЗКА ОБНОВЛЕНИЯ"),
        "font-weight: bold; font-size: 16px; color: #60a5fa;", dialog));
    auto *subtitle = centredLabel(
        QStringLiteral("Загрузка через PowerShell..."), "color: #94a3b8; font-size: 12px;", dialog);
    subtitle->setWordWrap(true);
    layout->addWidget(subtitle);

    auto *progress = new QProgressBar(dialog);
    progress->setRange(0, 100);
    progress->setValue(0);
    progress->setTextVisible(true);
    progress->setFormat(QStringLiteral("%p%"));
    progress->setAlignment(Qt::AlignCenter);
    layout->addWidget(progress);

    auto *statusLabel = centredLabel(QStringLiteral("Подключение к серверу через PowerShell..."),
        "color: #cbd5e1; font-size: 11px; margin-top: 5px;", dialog);
    statusLabel->setObjectName(QStringLiteral("statusLabel"));
    layout->addWidget(statusLabel);

    *bar = progress;
    *status = statusLabel;
    return dialog;
}

void showFinalDialog(int closeAfterMs)
{
    auto *dialog = new QDialog();
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(QStringLiteral("Установка обновления"));
    dialog->setWindowFlags(Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::FramelessWindowHint);
    dialog->setFixedSize(350, 180);
    dialog->setStyleSheet(QString::fromUtf8(kFinalDialogStyle));

    auto *layout = new QVBoxLayout(dialog);
    layout->setSpacing(15);
    layout->setContentsMargins(20, 20, 20, 20);
    layout->addWidget(centredLabel(QStringLiteral("⚡"), "font-size: 48px; color: #fbbf24;", dialog));
    auto *message = centredLabel(QStringLiteral("Обновление устанавливается\nи программа перезапустится"),
        "font-size: 14px; color: #cbd5e1; font-weight: bold;", dialog);
    message->setWordWrap(true);
    layout->addWidget(message);
    layout->addWidget(
        centredLabel(QStringLiteral("Пожалуйста, подождите..."), "font-size: 11px; color: #94a3b8;", dialog));

    centreOnPrimaryScreen(dialog);
    dialog->show();
    QCoreApplication::processEvents();
    QTimer::singleShot(closeAfterMs, dialog, &QDialog::close);
}

} // namespace UpdaterUi
