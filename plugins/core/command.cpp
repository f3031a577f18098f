#include "command.h"

#include <QAction>

namespace Core {

Command::Command(Id id, QObject *parent)
    : QObject(parent)
    , m_id(id)
    , m_action(new QAction(this))
{
    m_action->setObjectName(id.toString());
    m_action->setEnabled(false);
    connect(m_action, &QAction::triggered, this, [this](bool checked) {
        QAction *backend = registeredAction();
        if (!backend || !backend->isEnabled())
            return;
        // trigger() would flip a checkable backend a second time; set the
        // state the user chose and emit as a click would.
        if (backend->isCheckable()) {
            backend->setChecked(checked);
            emit backend->triggered(checked);
        } else {
            backend->trigger();
        }
    });
}

Command::~Command() = default;

QAction *Command::registeredAction() const
{
    for (int i = m_backends.size() - 1; i >= 0; --i) {
        if (m_backends.at(i))
            return m_backends.at(i);
    }
    return nullptr;
}

void Command::setDefaultKeySequence(const QKeySequence &key)
{
    m_action->setShortcut(key);
}

QKeySequence Command::keySequence() const
{
    return m_action->shortcut();
}

void Command::setDescription(const QString &text)
{
    m_description = text;
}

QString Command::description() const
{
    if (!m_description.isEmpty())
        return m_description;
    QString text = m_action->text();
    text.remove(QLatin1Char('&'));
    return text.isEmpty() ? m_id.toString() : text;
}

void Command::addBackend(QAction *action, const Context &context, bool scriptable)
{
    m_context.add(context);
    m_scriptable = m_scriptable || scriptable;
    if (!action)
        return;
    for (const QPointer<QAction> &known : qAsConst(m_backends)) {
        if (known == action)
            return;
    }
    m_backends.append(action);
    connect(action, &QAction::changed, this, &Command::updateFromBackend);
    connect(action, &QObject::destroyed, this, &Command::updateFromBackend, Qt::QueuedConnection);
    // Keep a checkable backend changed in code in step with the menu entry.
    connect(action, &QAction::toggled, this, [this, action](bool on) {
        if (registeredAction() == action && m_action->isChecked() != on)
            m_action->setChecked(on);
    });
    updateFromBackend();
    emit activeStateChanged();
}

void Command::removeBackend(QAction *action)
{
    for (int i = m_backends.size() - 1; i >= 0; --i) {
        if (m_backends.at(i) == action || m_backends.at(i).isNull())
            m_backends.removeAt(i);
    }
    if (action)
        disconnect(action, nullptr, this, nullptr);
    updateFromBackend();
    emit activeStateChanged();
}

void Command::updateFromBackend()
{
    QAction *backend = registeredAction();
    if (!backend) {
        m_action->setEnabled(false);
        return;
    }
    m_action->setText(backend->text());
    m_action->setIcon(backend->icon());
    m_action->setToolTip(backend->toolTip());
    m_action->setStatusTip(backend->statusTip());
    m_action->setCheckable(backend->isCheckable());
    m_action->setChecked(backend->isChecked());
    m_action->setVisible(backend->isVisible());
    m_action->setEnabled(backend->isEnabled());
    m_action->setMenuRole(backend->menuRole());
    if (m_action->shortcut().isEmpty() && !backend->shortcut().isEmpty())
        m_action->setShortcut(backend->shortcut());
}

} // namespace Core
