#include "refusalnote.h"

#include <QApplication>
#include <QEvent>

#include <algorithm>

namespace Workspace {

RefusalNote::RefusalNote(QWidget *viewport, const QRect &cell, const QString &text, QWidget *editor)
    : QLabel(text, viewport)
    , m_editor(editor)
{
    setObjectName(QStringLiteral("labelValueRefused"));
    setWordWrap(true);
    // A style sheet, as the window's own style sheet would win over a palette.
    setStyleSheet(QStringLiteral("QLabel { background: #ffebeb; color: #8c0000; "
                                 "border: 1px solid #c84040; padding: 3px; }"));
    setAttribute(Qt::WA_TransparentForMouseEvents);

    const int width = std::max(cell.width(), std::min(420, viewport->width()));
    setFixedWidth(width);
    const int height = heightForWidth(width) > 0 ? heightForWidth(width) : sizeHint().height();
    setFixedHeight(height);
    int x = std::max(0, std::min(cell.left(), viewport->width() - width));
    int y = cell.bottom() + 1;
    if (y + height > viewport->height() && cell.top() - height >= 0)
        y = cell.top() - height;
    move(x, y);
    if (editor)
        connect(editor, &QObject::destroyed, this, &QObject::deleteLater);
    qApp->installEventFilter(this);
    show();
    raise();
}

bool RefusalNote::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::KeyPress:
        // Once per event: the event reaches the filter for each widget it
        // passes on its way up.
        qApp->removeEventFilter(this);
        hide();
        deleteLater();
        break;
    default:
        break;
    }
    return QLabel::eventFilter(watched, event);
}

} // namespace Workspace
