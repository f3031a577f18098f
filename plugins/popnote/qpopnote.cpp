#include "qpopnote.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QVBoxLayout>

namespace Popnote {

QPopnote::QPopnote(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("popnote"));
    // A notification must never take the keyboard from the user's work.
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::PointingHandCursor);

    m_title = new QLabel(this);
    m_title->setObjectName(QStringLiteral("popnoteTitle"));
    QFont bold = m_title->font();
    bold.setBold(true);
    m_title->setFont(bold);
    m_title->setWordWrap(true);

    m_body = new QLabel(this);
    m_body->setObjectName(QStringLiteral("popnoteBody"));
    m_body->setWordWrap(true);

    // Plain text only: messages may quote file contents.
    for (QLabel *label : {m_title, m_body}) {
        label->setTextFormat(Qt::PlainText);
        label->setFocusPolicy(Qt::NoFocus);
        label->setAttribute(Qt::WA_TransparentForMouseEvents);
    }

    auto layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 8, 12, 10);
    layout->setSpacing(4);
    layout->addWidget(m_title);
    layout->addWidget(m_body);
    setType(0);
}

QPopnote::~QPopnote() = default;

void QPopnote::setTitle(const QString &title)
{
    m_title->setText(title);
    m_title->setVisible(!title.isEmpty());
}

QString QPopnote::title() const
{
    return m_title->text();
}

void QPopnote::setBodyText(const QString &text)
{
    m_body->setText(text);
}

QString QPopnote::bodyText() const
{
    return m_body->text();
}

void QPopnote::setType(int type)
{
    m_type = type;
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, Qt::white);
    setPalette(pal);
    m_title->setPalette(pal);
    m_body->setPalette(pal);
    update();
}

QColor QPopnote::backgroundColor() const
{
    switch (m_type) {
    case 1:
        return QColor(0xc2, 0x7c, 0x0e); // amber: not found / no change
    case 2:
        return QColor(0xb3, 0x26, 0x1e); // red: error
    default:
        return QColor(0x2e, 0x7d, 0x32); // green: information / success
    }
}

void QPopnote::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(backgroundColor().darker(130), 1));
    painter.setBrush(backgroundColor());
    painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 6, 6);
}

void QPopnote::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        event->accept();
        emit clicked();
        return;
    }
    QWidget::mousePressEvent(event);
}

} // namespace Popnote
