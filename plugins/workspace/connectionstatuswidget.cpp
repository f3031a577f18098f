#include "connectionstatuswidget.h"

#include <qled/qled.h>

#include <QHBoxLayout>
#include <QLabel>
#include <QResizeEvent>

#include <algorithm>

namespace Workspace {

ConnectionStatusWidget::ConnectionStatusWidget(QWidget *parent)
    : QWidget(parent)
    , m_led(new QLed(this))
    , m_label(new QLabel(this))
{
    setObjectName(QStringLiteral("ConnectionStatusWidget"));
    m_led->setObjectName(QStringLiteral("ledConnection"));
    m_led->setFixedSize(14, 14);
    m_label->setObjectName(QStringLiteral("labelConnectionState"));
    // The label takes the width it is given; this widget asks for the line.
    m_label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 0, 4, 0);
    layout->addWidget(m_led);
    layout->addWidget(m_label);
    refresh();
}

QString ConnectionStatusWidget::text() const
{
    return m_text;
}

QSize ConnectionStatusWidget::sizeHint() const
{
    const QSize led = m_led->sizeHint();
    const QMargins margins = layout()->contentsMargins();
    return QSize(margins.left() + led.width() + layout()->spacing() + textWidth() + margins.right() + 2,
                 std::max(led.height(), m_label->sizeHint().height()));
}

QSize ConnectionStatusWidget::minimumSizeHint() const
{
    // The lamp and a few characters: the state stays readable by colour.
    return QSize(std::min(sizeHint().width(), m_label->fontMetrics().averageCharWidth() * 16),
                 sizeHint().height());
}

int ConnectionStatusWidget::textWidth() const
{
    const QFont font = m_label->font();
    const int dpi = m_label->logicalDpiY();
    if (m_measuredWidth < 0 || m_measuredText != m_text || m_measuredFont != font || m_measuredDpi != dpi) {
        m_measuredWidth = m_label->fontMetrics().horizontalAdvance(m_text);
        m_measuredText = m_text;
        m_measuredFont = font;
        m_measuredDpi = dpi;
    }
    return m_measuredWidth;
}

void ConnectionStatusWidget::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    showText();
}

void ConnectionStatusWidget::showText()
{
    const int room = m_label->contentsRect().width();
    const QFontMetrics metrics = m_label->fontMetrics();
    m_label->setText(room > 0 && metrics.horizontalAdvance(m_text) > room
                         ? metrics.elidedText(m_text, Qt::ElideMiddle, room)
                         : m_text);
}

void ConnectionStatusWidget::setTarget(const QString &target)
{
    m_target = target;
    m_error.clear();
    m_version.clear();
    m_reconnectMs = -1;
    m_everConnected = false;
    refresh();
}

void ConnectionStatusWidget::setState(QModbusDevice::State state)
{
    m_state = state;
    if (state == QModbusDevice::ConnectedState) {
        m_error.clear();
        m_reconnectMs = -1;
        m_everConnected = true;
    }
    refresh();
}

void ConnectionStatusWidget::setError(const QString &message)
{
    m_error = message;
    refresh();
}

void ConnectionStatusWidget::setReconnectScheduled(int delayMs)
{
    m_reconnectMs = delayMs;
    refresh();
}

void ConnectionStatusWidget::setDeviceVersion(const QString &version)
{
    m_version = version;
    refresh();
}

int ConnectionStatusWidget::ledColor() const
{
    return int(m_led->onColor());
}

bool ConnectionStatusWidget::ledLit() const
{
    return m_led->value();
}

void ConnectionStatusWidget::setAnswering(bool answering)
{
    m_answering = answering;
    refresh();
}

void ConnectionStatusWidget::setUserDisconnected()
{
    m_error.clear();
    m_reconnectMs = -1;
    m_everConnected = false;
    m_state = QModbusDevice::UnconnectedState;
    refresh();
}

void ConnectionStatusWidget::refresh()
{
    QString text;
    QLed::LedColor color = QLed::Grey;
    bool lit = false;
    const QString target = m_target.isEmpty() ? tr("the device") : m_target;
    switch (m_state) {
    case QModbusDevice::ConnectedState:
        text = m_version.isEmpty() ? tr("Connected to %1").arg(target)
                                   : tr("Connected to %1, device version %2").arg(target, m_version);
        color = QLed::Green;
        if (!m_answering) {
            text = tr("Connected to %1, not answering").arg(target);
            color = QLed::Orange;
        }
        lit = true;
        break;
    case QModbusDevice::ConnectingState:
        text = m_everConnected ? tr("Reconnecting to %1…").arg(target)
                               : tr("Connecting to %1…").arg(target);
        color = QLed::Yellow;
        lit = true;
        break;
    case QModbusDevice::ClosingState:
        text = tr("Disconnecting from %1…").arg(target);
        break;
    default:
        if (m_target.isEmpty()) {
            text = tr("Not connected");
        } else if (!m_error.isEmpty() || m_reconnectMs >= 0) {
            // Qt's messages end in a full stop; the retry delay follows them.
            QString error = m_error.trimmed();
            while (error.endsWith(QLatin1Char('.')))
                error.chop(1);
            const QString why = error.isEmpty() ? QString() : QStringLiteral(": ") + error;
            text = m_everConnected ? tr("Link to %1 lost%2").arg(target, why)
                                   : tr("Cannot connect to %1%2").arg(target, why);
            if (m_reconnectMs >= 0)
                text += tr(", retrying in %1 s").arg((m_reconnectMs + 999) / 1000);
            color = QLed::Red;
            lit = true;
        } else {
            text = tr("Disconnected from %1").arg(target);
        }
        break;
    }
    m_led->setOnColor(color);
    m_led->setValue(lit);
    if (text != m_text) {
        m_text = text;
        showText();
        updateGeometry();
    }
    m_label->setToolTip(m_error.isEmpty() || text.contains(m_error.trimmed())
                            ? text
                            : text + QLatin1Char('\n') + m_error);
}

} // namespace Workspace
