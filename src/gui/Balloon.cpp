#include "gui/Balloon.h"

#include "gui/Icons.h"

#include <QEvent>
#include <QGridLayout>
#include <QLabel>
#include <QTimer>
#include <algorithm>

namespace kestrava::gui {
namespace {

const char* const kBalloonName = "fieldBalloon";
constexpr int kMaxTextWidth = 360;

} // namespace

Balloon::Balloon(QWidget* window)
    : QFrame(window, Qt::ToolTip | Qt::FramelessWindowHint), m_icon(new QLabel(this)),
      m_title(new QLabel(this)), m_text(new QLabel(this)), m_timer(new QTimer(this))
{
    setObjectName(QLatin1String(kBalloonName));
    setFrameShape(QFrame::Box);
    // The tooltip colours of the current theme.
    setBackgroundRole(QPalette::ToolTipBase);
    setForegroundRole(QPalette::ToolTipText);
    setAutoFillBackground(true);
    QFont bold = m_title->font();
    bold.setBold(true);
    m_title->setFont(bold);
    m_text->setWordWrap(true);
    m_text->setMaximumWidth(kMaxTextWidth);
    auto* layout = new QGridLayout(this);
    layout->addWidget(m_icon, 0, 0, 2, 1, Qt::AlignTop);
    layout->addWidget(m_title, 0, 1);
    layout->addWidget(m_text, 1, 1);
    m_timer->setSingleShot(true);
    connect(m_timer, &QTimer::timeout, this, &QWidget::hide);
    window->installEventFilter(this);
}

Balloon* Balloon::shownFor(QWidget* widget)
{
    if (widget == nullptr) {
        return nullptr;
    }
    auto* balloon =
        widget->window()->findChild<Balloon*>(QLatin1String(kBalloonName), Qt::FindDirectChildrenOnly);
    return balloon != nullptr && balloon->isVisible() ? balloon : nullptr;
}

Balloon* Balloon::showAt(QWidget* field, const QString& title, const QString& text, Icon icon,
                         int milliseconds)
{
    QWidget* window = field->window();
    auto* balloon = window->findChild<Balloon*>(QLatin1String(kBalloonName), Qt::FindDirectChildrenOnly);
    if (balloon == nullptr) {
        balloon = new Balloon(window);
    }
    balloon->present(field, title, text, icon, milliseconds);
    return balloon;
}

void Balloon::present(QWidget* field, const QString& title, const QString& text, Icon icon, int milliseconds)
{
    m_field = field;
    m_title->setText(title.trimmed());
    m_title->setVisible(!title.trimmed().isEmpty());
    m_text->setText(text);
    // Wrap only texts longer than the balloon's width, never a short one word by word.
    int widest = 0;
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        widest = std::max(widest, m_text->fontMetrics().horizontalAdvance(line));
    }
    m_text->setMinimumWidth(std::min(kMaxTextWidth, widest + 2));
    const QIcon image = messageIcon(icon);
    m_icon->setPixmap(image.isNull() ? QPixmap() : image.pixmap(24, 24));
    m_icon->setVisible(!image.isNull());
    adjustSize();
    move(field->mapToGlobal(QPoint(field->width() / 4, field->height())));
    show();
    raise();
    m_timer->start(milliseconds);
}

QString Balloon::title() const
{
    return m_title->text();
}

QString Balloon::text() const
{
    return m_text->text();
}

void Balloon::mousePressEvent(QMouseEvent* /*event*/)
{
    hide();
}

bool Balloon::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == parent() && (event->type() == QEvent::Hide || event->type() == QEvent::Move)) {
        hide();
    }
    return QFrame::eventFilter(watched, event);
}

} // namespace kestrava::gui
