#include "app/exitconfirmdialog.h"

#include "ui/basemovabledialog.h"
#include "ui/dialogchrome.h"
#include "ui/styles.h"
#include "ui/svgbutton.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

std::optional<bool> &ExitConfirmDialog::nextAnswer()
{
    static std::optional<bool> answer;
    return answer;
}

void ExitConfirmDialog::setNextAnswer(bool yes)
{
    nextAnswer() = yes;
}

bool ExitConfirmDialog::ask(QWidget *mainWindow)
{
    if (const std::optional<bool> queued = nextAnswer()) {
        nextAnswer().reset();
        return *queued;
    }

    BaseMovableDialog dialog(mainWindow);
    DialogChrome::Options options;
    options.title = QStringLiteral("ВЫХОД ИЗ ПРИЛОЖЕНИЯ");
    options.fixedSize = QSize(400, 220);
    options.titleStyle = QStringLiteral("color:#e2e8f0; font-size:14px; font-weight:600;");
    options.contentSpacing = 20;
    const DialogChrome chrome = DialogChrome::build(&dialog, options);
    chrome.closeButton->hide(); // the question is answered with its own two buttons

    auto *question = new QLabel(QStringLiteral("Вы уверены, что хотите выйти?"), chrome.content);
    question->setAlignment(Qt::AlignCenter);
    question->setStyleSheet(QStringLiteral("color:#e2e8f0; font-size:14px; font-weight:500;"));
    chrome.contentLayout->addWidget(question);

    auto *row = new QHBoxLayout;
    row->setSpacing(15);
    auto *yes = new QPushButton(QStringLiteral("Да"), chrome.content);
    yes->setStyleSheet(QLatin1String(Styles::kAccentButton));
    auto *no = new QPushButton(QStringLiteral("Нет"), chrome.content);
    no->setStyleSheet(QLatin1String(Styles::kNeutralButton));
    for (QPushButton *button : {yes, no}) {
        button->setMinimumHeight(36);
        button->setCursor(Qt::PointingHandCursor);
        row->addWidget(button);
    }
    chrome.contentLayout->addLayout(row);
    QObject::connect(yes, &QPushButton::clicked, &dialog, &QDialog::accept);
    QObject::connect(no, &QPushButton::clicked, &dialog, &QDialog::reject);
    no->setDefault(true);

    return dialog.exec() == QDialog::Accepted;
}
