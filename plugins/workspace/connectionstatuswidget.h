#pragma once

#include "workspace_global.h"

#include <QFont>
#include <QModbusDevice>
#include <QString>
#include <QWidget>

class QLed;

QT_BEGIN_NAMESPACE
class QLabel;
QT_END_NAMESPACE

namespace Workspace {

// The connection state for the status bar: a lamp (green connected, amber
// connected but the device answers nothing, yellow connecting, red failed or
// lost, grey disconnected) and one line saying where the program is
// connected, why a link failed and when it retries.
class WORKSPACE_EXPORT ConnectionStatusWidget : public QWidget
{
    Q_OBJECT

public:
    explicit ConnectionStatusWidget(QWidget *parent = nullptr);

    // The whole line; the label shows it shortened in the middle when the
    // status bar is narrower, with the whole line in its tooltip.
    QString text() const;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    QModbusDevice::State state() const { return m_state; }
    bool isAnswering() const { return m_answering; }
    // The lamp's colour (QLed::LedColor) and whether it is lit.
    int ledColor() const;
    bool ledLit() const;

public slots:
    void setTarget(const QString &target);
    void setState(QModbusDevice::State state);
    void setError(const QString &message);
    void setReconnectScheduled(int delayMs);
    void setDeviceVersion(const QString &version);
    void setUserDisconnected();
    void setAnswering(bool answering);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void refresh();
    void showText();

    int textWidth() const;

    QLed *m_led;
    QLabel *m_label;
    QString m_text;
    // The width of m_text in the label's font, measured once per text, font
    // and screen resolution: layouts ask for the size hints dozens of times
    // while a window is laid out, and measuring the line shapes its text.
    mutable QString m_measuredText;
    mutable QFont m_measuredFont;
    mutable int m_measuredDpi = 0;
    mutable int m_measuredWidth = -1;
    QString m_target;
    QString m_error;
    QString m_version;
    QModbusDevice::State m_state = QModbusDevice::UnconnectedState;
    int m_reconnectMs = -1;
    bool m_everConnected = false;
    bool m_answering = true;
};

} // namespace Workspace
