#pragma once

#include "workspace_global.h"
#include "connectionprofile.h"

#include <QDialog>
#include <QList>

QT_BEGIN_NAMESPACE
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QSpinBox;
class QStackedWidget;
QT_END_NAMESPACE

namespace Workspace {

// Edits one connection: TCP (host, port) or RTU (serial port from the ports
// present, baud, parity, data bits, stop bits), unit address, response
// timeout and retries; a list of recent connections fills the form. OK with
// unusable input keeps the dialog open and says what is missing.
class WORKSPACE_EXPORT ConnectionDialog : public QDialog
{
    Q_OBJECT

public:
    explicit ConnectionDialog(QWidget *parent = nullptr);

    void setRecent(const QList<ConnectionProfile> &recent);
    void setProfile(const ConnectionProfile &profile);
    ConnectionProfile profile() const;

    // Re-reads the serial ports present; a port typed or stored earlier
    // stays selectable.
    void refreshSerialPorts();

public slots:
    void accept() override;

private:
    void applyRecent(int index);
    void updateKind();

    QComboBox *m_recent;
    QComboBox *m_kind;
    QStackedWidget *m_pages;
    QLineEdit *m_host;
    QSpinBox *m_port;
    QComboBox *m_serialPort;
    QComboBox *m_baudRate;
    QComboBox *m_parity;
    QComboBox *m_dataBits;
    QComboBox *m_stopBits;
    QSpinBox *m_unit;
    QSpinBox *m_timeout;
    QSpinBox *m_retries;
    QCheckBox *m_writeMultiple;
    QLabel *m_error;
    QList<ConnectionProfile> m_recentProfiles;
};

} // namespace Workspace
