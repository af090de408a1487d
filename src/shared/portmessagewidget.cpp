#include "shared/portmessagewidget.h"

#include "shared/catalogstyles.h"

#include <QCryptographicHash>
#include <QEvent>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QHash>
#include <QLabel>
#include <QMouseEvent>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// A label whose sizes are worked out once per text and width. The layouts ask a word-wrapped
// label for its height again and again, and each answer lays the text out anew; with a colour
// emoji font (the card's 🔌 and 💬) that decodes glyph images every time, so a thousand cards
// took seconds.
class CardLabel final : public QLabel
{
public:
    explicit CardLabel(QWidget *parent) : QLabel(parent) { }

    int heightForWidth(int width) const override
    {
        checkCache();
        auto height = m_heights.constFind(width);
        if (height == m_heights.constEnd())
            height = m_heights.insert(width, QLabel::heightForWidth(width));
        return *height;
    }
    QSize sizeHint() const override
    {
        checkCache();
        if (!m_sizeHint.isValid())
            m_sizeHint = QLabel::sizeHint();
        return m_sizeHint;
    }
    QSize minimumSizeHint() const override
    {
        checkCache();
        if (!m_minimumSizeHint.isValid())
            m_minimumSizeHint = QLabel::minimumSizeHint();
        return m_minimumSizeHint;
    }

protected:
    void changeEvent(QEvent *event) override
    {
        if (event->type() == QEvent::StyleChange || event->type() == QEvent::FontChange)
            m_cachedText.clear();
        QLabel::changeEvent(event);
    }

private:
    void checkCache() const
    {
        if (m_cachedText == text() && m_cachedWrap == wordWrap() && !m_cachedText.isNull())
            return;
        m_cachedText = text();
        m_cachedWrap = wordWrap();
        m_heights.clear();
        m_sizeHint = QSize();
        m_minimumSizeHint = QSize();
    }

    mutable QString m_cachedText;
    mutable bool m_cachedWrap = false;
    mutable QHash<int, int> m_heights;
    mutable QSize m_sizeHint;
    mutable QSize m_minimumSizeHint;
};

// The first character of text, keeping a surrogate pair whole.
QString firstCharacter(const QString &text)
{
    if (text.size() >= 2 && text.at(0).isHighSurrogate() && text.at(1).isLowSurrogate())
        return text.left(2);
    return text.left(1);
}
} // namespace

void fitButton(QPushButton *button, int width, int height, int padding)
{
    // The sizes suit the Windows face; a wider stand-in font must not cut the text.
    button->ensurePolished();
    const int needed = button->fontMetrics().horizontalAdvance(button->text()) + 2 * padding + 4;
    button->setFixedSize(qMax(width, needed), height);
}

PortMessageWidget::PortMessageWidget(const SharedPort &port, const QString &viewerName, QWidget *parent)
    : QWidget(parent), m_port(port), m_own(port.userName == viewerName)
{
    setAttribute(Qt::WA_TranslucentBackground);
    setStyleSheet(QStringLiteral("background:transparent;"));

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(12, 8, 12, 8);
    outer->setSpacing(8);

    auto *card = new QWidget(this);
    card->setObjectName(QStringLiteral("cardWidget"));
    card->setAttribute(Qt::WA_StyledBackground);
    card->setStyleSheet(QString::fromLatin1(m_own ? CardStyles::kOwnCardStyle : CardStyles::kOtherCardStyle));
    outer->addWidget(card);

    auto *layout = new QVBoxLayout(card);
    layout->setContentsMargins(14, 12, 14, 12);
    layout->setSpacing(8);

    auto *header = new QHBoxLayout;
    header->setSpacing(12);
    QLabel *avatar = plainLabel(initials(port.userName),
        QString::fromLatin1(CardStyles::kAvatarStyle).arg(userColor(port.userName).name(QColor::HexRgb)));
    avatar->setObjectName(QStringLiteral("avatarLabel"));
    avatar->setFixedSize(36, 36);
    avatar->setAlignment(Qt::AlignCenter);
    header->addWidget(avatar);

    auto *nameColumn = new QVBoxLayout;
    nameColumn->setSpacing(2);
    QLabel *name = plainLabel(port.userName, QString::fromLatin1(CardStyles::kNameStyle));
    name->setObjectName(QStringLiteral("userNameLabel"));
    nameColumn->addWidget(name);
    QLabel *time = plainLabel(
        port.createdAt.isValid() ? port.createdAt.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss")) : QString(),
        QString::fromLatin1(CardStyles::kTimeStyle));
    time->setObjectName(QStringLiteral("timeLabel"));
    nameColumn->addWidget(time);
    header->addLayout(nameColumn);
    header->addStretch();
    layout->addLayout(header);

    QLabel *portLabel = plainLabel(
        QStringLiteral("🔌 Порт: %1").arg(port.port), QString::fromLatin1(CardStyles::kPortStyle));
    portLabel->setObjectName(QStringLiteral("portLabel"));
    portLabel->setWordWrap(true);
    layout->addWidget(portLabel);

    const auto [description, comment] = splitDescription(port.description);
    if (!description.isEmpty()) {
        m_description = plainLabel(description, QString::fromLatin1(CardStyles::kDescriptionStyle));
        m_description->setObjectName(QStringLiteral("descriptionLabel"));
        m_description->setWordWrap(true);
        layout->addWidget(m_description);
    }
    if (!comment.isEmpty()) {
        m_comment
            = plainLabel(QStringLiteral("💬 ") + comment, QString::fromLatin1(CardStyles::kCommentStyle));
        m_comment->setObjectName(QStringLiteral("commentLabel"));
        m_comment->setWordWrap(true);
        layout->addWidget(m_comment);
    }

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    auto *button
        = new QPushButton(m_own ? QStringLiteral("Удалить") : QStringLiteral("Добавить в избранное"), card);
    button->setCursor(Qt::PointingHandCursor);
    if (m_own) {
        button->setObjectName(QStringLiteral("deleteButton"));
        button->setStyleSheet(QString::fromLatin1(CardStyles::kDeleteStyle));
        fitButton(button, 100, 34);
        m_deleteButton = button;
    } else {
        button->setObjectName(QStringLiteral("favoriteButton"));
        button->setStyleSheet(QString::fromLatin1(CardStyles::kFavoriteStyle));
        fitButton(button, 160, 34);
        m_favoriteButton = button;
    }
    buttons->addWidget(button);
    layout->addLayout(buttons);

    setFixedHeight(sizeHint().height());

    auto *effect = new QGraphicsOpacityEffect(this);
    effect->setOpacity(0.0);
    setGraphicsEffect(effect);
    auto *fade = new QPropertyAnimation(effect, "opacity", this);
    fade->setDuration(200);
    fade->setStartValue(0.0);
    fade->setEndValue(1.0);
    // The effect renders the card off-screen on every paint; drop it once the card is in.
    connect(fade, &QPropertyAnimation::finished, this, [this] { setGraphicsEffect(nullptr); });
    fade->start(QAbstractAnimation::DeleteWhenStopped);
}

QLabel *PortMessageWidget::plainLabel(const QString &text, const QString &style)
{
    auto *label = new CardLabel(this);
    // Names, descriptions and comments are other players' text: never markup.
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
    label->setStyleSheet(style);
    return label;
}

QString PortMessageWidget::descriptionText() const
{
    return m_description ? m_description->text() : QString();
}

QString PortMessageWidget::commentText() const
{
    return m_comment ? m_comment->text() : QString();
}

void PortMessageWidget::fitToWidth(int width)
{
    if (width <= 0)
        return;
    setFixedHeight(
        layout()->hasHeightForWidth() ? layout()->totalHeightForWidth(width) : sizeHint().height());
}

bool PortMessageWidget::shows(const SharedPort &port, const QString &viewerName) const
{
    // Every member counts: the actions of the card act on the copy it holds. The times are
    // compared as they are written, not as instants: comparing local times converts both
    // through the time zone, which for a thousand cards cost more than the refresh itself.
    const auto sameTime = [](const QDateTime &a, const QDateTime &b) {
        return a.isValid() == b.isValid() && a.timeSpec() == b.timeSpec() && a.date() == b.date()
            && a.time() == b.time();
    };
    return m_port.id == port.id && m_port.userName == port.userName && m_port.port == port.port
        && m_port.description == port.description && m_port.status == port.status
        && m_port.likes == port.likes && m_port.userLiked == port.userLiked
        && sameTime(m_port.createdAt, port.createdAt) && m_own == (port.userName == viewerName);
}

void PortMessageWidget::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        emit clicked(m_port.id, m_port.userName);
    QWidget::mousePressEvent(event);
}

QString PortMessageWidget::initials(const QString &userName)
{
    if (userName.isEmpty())
        return QStringLiteral("?");
    const QStringList parts = userName.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (parts.size() >= 2)
        return firstCharacter(parts.at(0)).toUpper() + firstCharacter(parts.at(1)).toUpper();
    if (parts.size() == 1)
        return firstCharacter(parts.at(0)).toUpper();
    return firstCharacter(userName).toUpper();
}

QColor PortMessageWidget::userColor(const QString &userName)
{
    const QByteArray digest = QCryptographicHash::hash(userName.toUtf8(), QCryptographicHash::Md5);
    const int b0 = static_cast<signed char>(digest.at(0));
    const int b1 = static_cast<signed char>(digest.at(1));
    const int b2 = static_cast<signed char>(digest.at(2));
    const int b3 = static_cast<signed char>(digest.at(3));
    // b0 + b1 lies in -256..254; wrapping it onto the circle keeps every name's colour
    // valid (a negative hue would give black) while a name still maps to one colour.
    const int hue = ((b0 + b1) % 360 + 360) % 360;
    return QColor::fromHsv(hue, 180 + b2 % 60, 200 + b3 % 55, 255);
}

QPair<QString, QString> PortMessageWidget::splitDescription(const QString &text)
{
    const QString separator = SharedPorts::commentSeparator();
    const qsizetype at = text.indexOf(separator);
    if (at < 0)
        return {text, QString()};
    return {text.left(at), text.mid(at + separator.size())};
}
