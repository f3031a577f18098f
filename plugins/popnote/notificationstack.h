#pragma once

#include "popnote_global.h"

#include <QList>
#include <QObject>
#include <QPointer>

QT_BEGIN_NAMESPACE
class QWidget;
QT_END_NAMESPACE

namespace Popnote {

class QPopnote;

// Shows notifications as toasts stacked in the lower right corner of a host
// window: newest at the bottom, each fading after its lifetime, the oldest
// retiring when more than maximumVisible() are up. Owns the notes it shows.
class POPNOTE_EXPORT NotificationStack : public QObject
{
    Q_OBJECT

public:
    explicit NotificationStack(QWidget *host, QObject *parent = nullptr);
    ~NotificationStack() override;

    static int maximumVisible() { return 5; }
    // Milliseconds a toast of the type stays before fading; errors stay longest.
    static int lifetime(int type);

    QWidget *host() const { return m_host; }
    void add(QPopnote *note, int type, bool autoHide);
    QList<QPopnote *> notes() const;
    void clear();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void fadeOut(QPopnote *note, int durationMs);
    void retire(QPopnote *note);
    void relayout();

    QPointer<QWidget> m_host;
    QList<QPointer<QPopnote>> m_notes;
};

} // namespace Popnote
