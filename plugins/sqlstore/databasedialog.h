#pragma once

#include "sqlstore_global.h"

#include "serversettings.h"

#include <QDialog>

QT_BEGIN_NAMESPACE
class QComboBox;
class QDialogButtonBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
QT_END_NAMESPACE

namespace Sqlstore {
namespace Internal {

// Tools → Database…: the local file only, or a PostgreSQL server besides it,
// with a connection test that runs beside the window.
class SQLSTORE_EXPORT DatabaseDialog : public QDialog
{
    Q_OBJECT

public:
    explicit DatabaseDialog(const ServerSettings &settings, QWidget *parent = nullptr);

    ServerSettings settings() const;
    QPushButton *testButton() const { return m_test; }
    QLabel *testResult() const { return m_result; }
    // Shown while what is chosen or found leaves the link unencrypted.
    QLabel *tlsWarning() const { return m_tlsWarning; }

    // Tries the connection with the values of the form, without blocking;
    // true with the server's version, false with the reason. encrypted
    // tells whether the link that was made is.
    static bool testConnection(const ServerSettings &settings, QString *message, bool *encrypted = nullptr);

public slots:
    void startTest();

signals:
    void testFinished(bool ok, const QString &message);

private:
    void updateEnabled();
    void showResult(bool ok, const QString &message);
    void updateTlsWarning();
    void chooseRootCertificate();

    QRadioButton *m_local;
    QRadioButton *m_server;
    QGroupBox *m_serverBox;
    QLineEdit *m_host;
    QSpinBox *m_port;
    QLineEdit *m_database;
    QLineEdit *m_user;
    QLineEdit *m_password;
    QLineEdit *m_station;
    QComboBox *m_tls;
    QLineEdit *m_rootCertificate;
    QPushButton *m_browse;
    QLabel *m_tlsWarning;
    QPushButton *m_test;
    QLabel *m_result;
    QDialogButtonBox *m_buttons;
    int m_testsRunning = 0;
    // What the last test found for the form as it is: -1 not known, 0 a
    // plain link, 1 an encrypted one.
    int m_testedEncryption = -1;
};

} // namespace Internal
} // namespace Sqlstore
