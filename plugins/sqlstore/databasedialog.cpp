#include "databasedialog.h"

#include "databasesettings.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
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
    , m_tls(new QComboBox(this))
    , m_rootCertificate(new QLineEdit(QDir::toNativeSeparators(s.rootCertificate), this))
    , m_browse(new QPushButton(tr("Choose…"), this))
    , m_tlsWarning(new QLabel(this))
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
    m_tls->setObjectName(QStringLiteral("comboBoxTls"));
    m_rootCertificate->setObjectName(QStringLiteral("lineEditRootCertificate"));
    m_browse->setObjectName(QStringLiteral("pushButtonRootCertificate"));
    m_tlsWarning->setObjectName(QStringLiteral("labelTlsWarning"));
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
    m_tls->addItem(tr("Off: not encrypted"), ServerSettings::TlsDisable);
    m_tls->addItem(tr("When the server offers it"), ServerSettings::TlsPrefer);
    m_tls->addItem(tr("Required, certificate not checked"), ServerSettings::TlsRequire);
    m_tls->addItem(tr("Required, server's certificate and name checked"), ServerSettings::TlsVerifyFull);
    m_tls->setCurrentIndex(qMax(0, m_tls->findData(s.tlsMode)));
    m_rootCertificate->setPlaceholderText(tr("certificate authority of the server (PEM file)"));
    m_tlsWarning->setWordWrap(true);
    m_tlsWarning->setStyleSheet(QStringLiteral("color: #b00020;"));

    auto *form = new QFormLayout(m_serverBox);
    form->addRow(tr("Host:"), m_host);
    form->addRow(tr("Port:"), m_port);
    form->addRow(tr("Database:"), m_database);
    form->addRow(tr("User:"), m_user);
    form->addRow(tr("Password:"), m_password);
    form->addRow(tr("Encryption:"), m_tls);
    auto *rootRow = new QHBoxLayout;
    rootRow->addWidget(m_rootCertificate, 1);
    rootRow->addWidget(m_browse);
    form->addRow(tr("Root certificate:"), rootRow);
    form->addRow(m_tlsWarning);
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
    connect(m_browse, &QPushButton::clicked, this, &DatabaseDialog::chooseRootCertificate);
    // What a test found holds only for the values it tried.
    for (QLineEdit *edit : {m_host, m_rootCertificate}) {
        connect(edit, &QLineEdit::textEdited, this, [this] {
            m_testedEncryption = -1;
            updateTlsWarning();
        });
    }
    connect(m_port, qOverload<int>(&QSpinBox::valueChanged), this, [this] {
        m_testedEncryption = -1;
        updateTlsWarning();
    });
    connect(m_tls, qOverload<int>(&QComboBox::currentIndexChanged), this, [this] {
        m_testedEncryption = -1;
        updateEnabled();
    });
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
    s.tlsMode = ServerSettings::TlsMode(m_tls->currentData().toInt());
    s.rootCertificate = QDir::fromNativeSeparators(m_rootCertificate->text().trimmed());
    return s;
}

void DatabaseDialog::updateEnabled()
{
    m_serverBox->setEnabled(m_server->isChecked());
    m_test->setEnabled(m_server->isChecked() && m_testsRunning == 0);
    const bool verify = m_tls->currentData().toInt() == ServerSettings::TlsVerifyFull;
    m_rootCertificate->setEnabled(verify);
    m_browse->setEnabled(verify);
    updateTlsWarning();
}

void DatabaseDialog::updateTlsWarning()
{
    QString text;
    if (m_server->isChecked()) {
        if (m_tls->currentData().toInt() == ServerSettings::TlsDisable)
            text = tr("Not encrypted: the password and every row cross the network readable.");
        else if (m_testedEncryption == 0)
            text = tr("The server offered no encryption: this connection is not encrypted.");
    }
    m_tlsWarning->setText(text);
    m_tlsWarning->setVisible(!text.isEmpty());
}

void DatabaseDialog::chooseRootCertificate()
{
    const QString file = QFileDialog::getOpenFileName(this, tr("Root certificate"), m_rootCertificate->text(),
                                                      tr("Certificates (*.crt *.pem *.cer);;All files (*)"));
    if (file.isEmpty())
        return;
    m_rootCertificate->setText(QDir::toNativeSeparators(file));
    m_testedEncryption = -1;
    updateTlsWarning();
}

void DatabaseDialog::showResult(bool ok, const QString &message)
{
    m_result->setStyleSheet(ok ? QStringLiteral("color: #1a7f37;") : QStringLiteral("color: #b00020;"));
    m_result->setText(message);
}

bool DatabaseDialog::testConnection(const ServerSettings &s, QString *message, bool *encrypted)
{
    if (encrypted)
        *encrypted = false;
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
                if (query.exec(QStringLiteral("SELECT current_setting('server_version'), "
                                              "(SELECT ssl FROM pg_stat_ssl WHERE pid = pg_backend_pid()), "
                                              "(SELECT version FROM pg_stat_ssl WHERE pid = pg_backend_pid())"))
                    && query.next()) {
                    ok = true;
                    const bool tls = query.value(1).toBool();
                    if (encrypted)
                        *encrypted = tls;
                    *message = tr("Connected: PostgreSQL %1, database \"%2\" as \"%3\".")
                                   .arg(query.value(0).toString(), parameters.databaseName(), parameters.userName())
                               + QLatin1Char(' ')
                               + (tls ? tr("Encrypted (%1).").arg(query.value(2).toString())
                                      : tr("Not encrypted."));
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
        bool encrypted = false;
        const bool ok = testConnection(s, &message, &encrypted);
        // The dialog may be gone by now; the pointer is read on its thread.
        QMetaObject::invokeMethod(QCoreApplication::instance(), [self, ok, message, encrypted, s] {
            if (!self)
                return;
            --self->m_testsRunning;
            // Only when the form still holds what was tried.
            const ServerSettings now = self->settings();
            if (ok && now.host == s.host && now.port == s.port && now.tlsMode == s.tlsMode
                && now.rootCertificate == s.rootCertificate)
                self->m_testedEncryption = encrypted ? 1 : 0;
            self->updateEnabled();
            self->showResult(ok, message);
            emit self->testFinished(ok, message);
        }, Qt::QueuedConnection);
    });
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    thread->start();
    // A thread the system refuses would leave the test running for good.
    if (!thread->isRunning() && !thread->isFinished()) {
        delete thread;
        --m_testsRunning;
        updateEnabled();
        const QString message = tr("The test could not run: the system refused to start a thread for it.");
        showResult(false, message);
        emit testFinished(false, message);
    }
}

} // namespace Internal
} // namespace Sqlstore
