#include "notificationstack.h"

#include "qpopnote.h"

#include <QEvent>
#include <QGraphicsOpacityEffect>
#include <QMainWindow>
#include <QPropertyAnimation>
#include <QStatusBar>
#include <QTimer>

namespace Popnote {

namespace {
const int kWidth = 340;
const int kMargin = 12;
const int kSpacing = 8;
const int kFadeMs = 400;
} // namespace

NotificationStack::NotificationStack(QWidget *host, QObject *parent)
    : QObject(parent)
    , m_host(host)
{
    if (m_host)
        m_host->installEventFilter(this);
}

NotificationStack::~NotificationStack()
{
    clear();
    if (m_host)
        m_host->removeEventFilter(this);
}

int NotificationStack::lifetime(int type)
{
    switch (type) {
    case 1:
        return 6000;
    case 2:
        return 12000;
    default:
        return 4000;
    }
}

QList<QPopnote *> NotificationStack::notes() const
{
    QList<QPopnote *> result;
    for (const QPointer<QPopnote> &note : m_notes) {
        if (note)
            result.append(note);
    }
    return result;
}

void NotificationStack::clear()
{
    const QList<QPopnote *> all = notes();
    m_notes.clear();
    qDeleteAll(all);
}

void NotificationStack::add(QPopnote *note, int type, bool autoHide)
{
    if (!note)
        return;
    if (!m_host) {
        delete note;
        return;
    }
    // A child of the window, not a window of its own: it moves with the
    // window, never appears in the task bar and cannot take the focus.
    note->setParent(m_host);
    note->setType(type);
    note->setFixedWidth(kWidth);
    note->adjustSize();
    connect(note, &QPopnote::clicked, this, [this, note] { retire(note); });

    m_notes.append(note);
    while (notes().size() > maximumVisible())
        retire(notes().first());

    note->show();
    note->raise();
    if (autoHide) {
        QTimer::singleShot(lifetime(type), note, [this, note] { fadeOut(note, kFadeMs); });
    }
    relayout();
}

void NotificationStack::fadeOut(QPopnote *note, int durationMs)
{
    auto effect = new QGraphicsOpacityEffect(note);
    effect->setOpacity(1.0);
    note->setGraphicsEffect(effect);
    auto animation = new QPropertyAnimation(effect, "opacity", note);
    animation->setDuration(durationMs);
    animation->setStartValue(1.0);
    animation->setEndValue(0.0);
    connect(animation, &QPropertyAnimation::finished, this, [this, note] { retire(note); });
    animation->start();
}

void NotificationStack::retire(QPopnote *note)
{
    for (int i = m_notes.size() - 1; i >= 0; --i) {
        if (m_notes.at(i) == note || m_notes.at(i).isNull())
            m_notes.removeAt(i);
    }
    if (note) {
        note->hide();
        note->deleteLater();
    }
    relayout();
}

void NotificationStack::relayout()
{
    if (!m_host)
        return;
    int bottom = m_host->height() - kMargin;
    if (auto window = qobject_cast<QMainWindow *>(m_host.data())) {
        // statusBar() would create one; only look for an existing bar.
        auto bar = window->findChild<QStatusBar *>(QString(), Qt::FindDirectChildrenOnly);
        if (bar && bar->isVisible())
            bottom -= bar->height();
    }
    const int x = qMax(0, m_host->width() - kWidth - kMargin);
    const QList<QPopnote *> shown = notes();
    for (int i = shown.size() - 1; i >= 0; --i) {
        QPopnote *note = shown.at(i);
        // Wrapped text: the height follows from the fixed width.
        const int h = qMax(note->minimumSizeHint().height(),
                           note->hasHeightForWidth() ? note->heightForWidth(kWidth)
                                                     : note->sizeHint().height());
        note->setGeometry(x, bottom - h, kWidth, h);
        bottom -= h + kSpacing;
    }
}

bool NotificationStack::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_host && (event->type() == QEvent::Resize || event->type() == QEvent::LayoutRequest))
        relayout();
    return QObject::eventFilter(watched, event);
}

} // namespace Popnote
