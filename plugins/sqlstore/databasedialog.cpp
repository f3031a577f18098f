#include "databasedialog.h"

#include "databasesettings.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QUuid>
#include <QVBoxLayout>

namespace Sqlstore {
namespace Internal {

DatabaseDialog::DatabaseDialog(const ServerSettings &s, QWidget *parent)
    : QDialog(parent)
    , m_local(new QRadioButton(tr("Local database file on this computer"), this))
    , m_server(new QRadioButton(tr("Team server (PostgreSQL), with the local file as buffer"), this))
    , m_serverBox(new QGroupBox(tr("Server"), this))
    , m_host(new QLineEdit(s.host, this))
    , m_port(new QSpinBox(this))
    , m_database(new QLineEdit(s.database, this))
    , m_user(new QLineEdit(s.user, this))
    , m_password(new QLineEdit(s.password, this))
    , m_station(new QLineEdit(s.station, this))
    , m_test(new QPushButton(tr("Test connection"), this))
    , m_result(new QLabel(this))
    , m_buttons(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this))
{
    setObjectName(QStringLiteral("DatabaseDialog"));
    setWindowTitle(tr("Database"));
    m_local->setObjectName(QStringLiteral("radioLocal"));
    m_server->setObjectName(QStringLiteral("radioServer"));
    m_host->setObjectName(QStringLiteral("lineEditHost"));
    m_port->setObjectName(QStringLiteral("spinBoxPort"));
    m_database->setObjectName(QStringLiteral("lineEditDatabase"));
    m_user->setObjectName(QStringLiteral("lineEditUser"));
    m_password->setObjectName(QStringLiteral("lineEditPassword"));
    m_station->setObjectName(QStringLiteral("lineEditStation"));
    m_test->setObjectName(QStringLiteral("pushButtonTest"));
    m_result->setObjectName(QStringLiteral("labelTestResult"));

    m_port->setRange(1, 65535);
    m_port->setValue(s.port);
    m_host->setPlaceholderText(tr("server name or address"));
    m_password->setEchoMode(QLineEdit::Password);
    m_station->setPlaceholderText(ServerSettings::defaultStation());
    m_station->setToolTip(tr("Names this computer in every row it sends to the server."));
    m_result->setWordWrap(true);
    m_result->setTextInteractionFlags(Qt::TextSelectableByMouse);
    (s.useServer ? m_server : m_local)->setChecked(true);

    auto *form = new QFormLayout(m_serverBox);
    form->addRow(tr("Host:"), m_host);
    form->addRow(tr("Port:"), m_port);
    form->addRow(tr("Database:"), m_database);
    form->addRow(tr("User:"), m_user);
    form->addRow(tr("Password:"), m_password);
    auto *testRow = new QHBoxLayout;
    testRow->addWidget(m_test);
    testRow->addStretch(1);
    form->addRow(testRow);
    form->addRow(m_result);

    auto *stationForm = new QFormLayout;
    stationForm->addRow(tr("Station name:"), m_station);

    auto *note = new QLabel(tr("With a server, every change log entry and recorded value is kept in the "
                               "local file first and sent to the server in the background; while the "
                               "server cannot be reached, the rows wait and nothing is lost."), this);
    note->setWordWrap(true);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_local);
    layout->addWidget(m_server);
    layout->addWidget(m_serverBox);
    layout->addLayout(stationForm);
    layout->addWidget(note);
    layout->addStretch(1);
    layout->addWidget(m_buttons);
    resize(520, sizeHint().height());

    connect(m_server, &QRadioButton::toggled, this, &DatabaseDialog::updateEnabled);
    connect(m_test, &QPushButton::clicked, this, &DatabaseDialog::startTest);
    connect(m_buttons, &QDialogButtonBox::accepted, this, [this] {
        QString reason;
        if (m_server->isChecked() && !settings().isComplete(&reason)) {
            showResult(false, reason);
            return;
        }
        accept();
    });
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    updateEnabled();
}

ServerSettings DatabaseDialog::settings() const
{
    ServerSettings s;
    s.useServer = m_server->isChecked();
    s.host = m_host->text().trimmed();
    s.port = m_port->value();
    s.database = m_database->text().trimmed();
    s.user = m_user->text().trimmed();
    s.password = m_password->text();
    s.station = m_station->text().trimmed();
    return s;
}

void DatabaseDialog::updateEnabled()
{
    m_serverBox->setEnabled(m_server->isChecked());
    m_test->setEnabled(m_server->isChecked() && m_testsRunning == 0);
}

void DatabaseDialog::showResult(bool ok, const QString &message)
{
    m_result->setStyleSheet(ok ? QStringLiteral("color: #1a7f37;") : QStringLiteral("color: #b00020;"));
    m_result->setText(message);
}

bool DatabaseDialog::testConnection(const ServerSettings &s, QString *message)
{
    QString reason;
    if (!s.isComplete(&reason)) {
        *message = reason;
        return false;
    }
    DataBaseSettings parameters;
    s.fillIn(&parameters);
    const QString name = QUuid::createUuid().toString();
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(parameters.driver(), name);
        if (!db.isValid()) {
            *message = tr("The PostgreSQL driver of Qt is not installed (package libqt5sql5-psql).");
        } else {
            db.setConnectOptions(parameters.connectOptions());
            db.setHostName(parameters.hostName());
            db.setPort(parameters.port());
            db.setDatabaseName(parameters.databaseName());
            db.setUserName(parameters.userName());
            db.setPassword(parameters.password());
            if (!db.open()) {
                *message = tr("No connection: %1").arg(db.lastError().text().trimmed());
            } else {
                QSqlQuery query(db);
                if (query.exec(QStringLiteral("SELECT current_setting('server_version')")) && query.next()) {
                    ok = true;
                    *message = tr("Connected: PostgreSQL %1, database \"%2\" as \"%3\".")
                                   .arg(query.value(0).toString(), parameters.databaseName(), parameters.userName());
                } else {
                    *message = tr("Connected, but the server did not answer: %1")
                                   .arg(query.lastError().text().trimmed());
                }
                query.finish();
                db.close();
            }
        }
    }
    QSqlDatabase::removeDatabase(name);
    return ok;
}

void DatabaseDialog::startTest()
{
    const ServerSettings s = settings();
    ++m_testsRunning;
    updateEnabled();
    m_result->setStyleSheet(QString());
    m_result->setText(tr("Connecting to %1:%2…").arg(s.host).arg(s.port));
    QPointer<DatabaseDialog> self(this);
    QThread *thread = QThread::create([self, s] {
        QString message;
        const bool ok = testConnection(s, &message);
        // The dialog may be gone by now; the pointer is read on its thread.
        QMetaObject::invokeMethod(QCoreApplication::instance(), [self, ok, message] {
            if (!self)
                return;
            --self->m_testsRunning;
            self->updateEnabled();
            self->showResult(ok, message);
            emit self->testFinished(ok, message);
        }, Qt::QueuedConnection);
    });
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    thread->start();
}

} // namespace Internal
} // namespace Sqlstore
