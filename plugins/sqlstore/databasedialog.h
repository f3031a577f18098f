#pragma once

#include "sqlstore_global.h"

#include "serversettings.h"

#include <QDialog>

QT_BEGIN_NAMESPACE
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

    // Tries the connection with the values of the form, without blocking;
    // true with the server's version, false with the reason.
    static bool testConnection(const ServerSettings &settings, QString *message);

public slots:
    void startTest();

signals:
    void testFinished(bool ok, const QString &message);

private:
    void updateEnabled();
    void showResult(bool ok, const QString &message);

    QRadioButton *m_local;
    QRadioButton *m_server;
    QGroupBox *m_serverBox;
    QLineEdit *m_host;
    QSpinBox *m_port;
    QLineEdit *m_database;
    QLineEdit *m_user;
    QLineEdit *m_password;
    QLineEdit *m_station;
    QPushButton *m_test;
    QLabel *m_result;
    QDialogButtonBox *m_buttons;
    int m_testsRunning = 0;
};

} // namespace Internal
} // namespace Sqlstore
