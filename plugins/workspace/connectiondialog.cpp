#include "connectiondialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSerialPortInfo>
#include <QSpinBox>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace Workspace {

namespace {

template<typename T>
QComboBox *makeCombo(QWidget *parent, const char *name,
                     const QList<QPair<QString, T>> &entries)
{
    auto *box = new QComboBox(parent);
    box->setObjectName(QLatin1String(name));
    for (const auto &entry : entries)
        box->addItem(entry.first, int(entry.second));
    return box;
}

void selectData(QComboBox *box, int value)
{
    const int i = box->findData(value);
    if (i >= 0)
        box->setCurrentIndex(i);
}

QSpinBox *makeSpin(QWidget *parent, const char *name, int min, int max, const QString &suffix = QString())
{
    auto *spin = new QSpinBox(parent);
    spin->setObjectName(QLatin1String(name));
    spin->setRange(min, max);
    spin->setSuffix(suffix);
    return spin;
}

} // namespace

ConnectionDialog::ConnectionDialog(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("ConnectionDialog"));
    setWindowTitle(tr("Connect to device"));

    m_recent = new QComboBox(this);
    m_recent->setObjectName(QStringLiteral("comboBoxRecent"));
    m_kind = makeCombo<ConnectionProfile::Kind>(this, "comboBoxKind",
        {{tr("Modbus TCP"), ConnectionProfile::Tcp}, {tr("Modbus RTU (RS-485)"), ConnectionProfile::Rtu}});

    auto *tcpPage = new QWidget(this);
    auto *tcpForm = new QFormLayout(tcpPage);
    tcpForm->setContentsMargins(0, 0, 0, 0);
    m_host = new QLineEdit(tcpPage);
    m_host->setObjectName(QStringLiteral("lineEditHost"));
    m_host->setPlaceholderText(tr("host name or IP address"));
    m_port = makeSpin(tcpPage, "spinBoxPort", ConnectionProfile::MinPort, ConnectionProfile::MaxPort);
    tcpForm->addRow(tr("Host:"), m_host);
    tcpForm->addRow(tr("Port:"), m_port);

    auto *rtuPage = new QWidget(this);
    auto *rtuForm = new QFormLayout(rtuPage);
    rtuForm->setContentsMargins(0, 0, 0, 0);
    m_serialPort = new QComboBox(rtuPage);
    m_serialPort->setObjectName(QStringLiteral("comboBoxSerialPort"));
    // Editable so that a port the system does not list (a virtual or
    // hot-plugged one) can still be typed.
    m_serialPort->setEditable(true);
    m_baudRate = new QComboBox(rtuPage);
    m_baudRate->setObjectName(QStringLiteral("comboBoxBaudRate"));
    for (int rate : {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200})
        m_baudRate->addItem(QString::number(rate), rate);
    m_parity = makeCombo<QSerialPort::Parity>(rtuPage, "comboBoxParity",
        {{tr("None"), QSerialPort::NoParity}, {tr("Even"), QSerialPort::EvenParity},
         {tr("Odd"), QSerialPort::OddParity}, {tr("Mark"), QSerialPort::MarkParity},
         {tr("Space"), QSerialPort::SpaceParity}});
    m_dataBits = makeCombo<QSerialPort::DataBits>(rtuPage, "comboBoxDataBits",
        {{QStringLiteral("8"), QSerialPort::Data8}, {QStringLiteral("7"), QSerialPort::Data7}});
    m_stopBits = makeCombo<QSerialPort::StopBits>(rtuPage, "comboBoxStopBits",
        {{QStringLiteral("1"), QSerialPort::OneStop}, {QStringLiteral("2"), QSerialPort::TwoStop}});
    rtuForm->addRow(tr("Serial port:"), m_serialPort);
    rtuForm->addRow(tr("Baud rate:"), m_baudRate);
    rtuForm->addRow(tr("Parity:"), m_parity);
    rtuForm->addRow(tr("Data bits:"), m_dataBits);
    rtuForm->addRow(tr("Stop bits:"), m_stopBits);

    m_pages = new QStackedWidget(this);
    m_pages->setObjectName(QStringLiteral("stackedWidgetLink"));
    m_pages->addWidget(tcpPage);
    m_pages->addWidget(rtuPage);

    m_unit = makeSpin(this, "spinBoxUnit", ConnectionProfile::MinUnit, ConnectionProfile::MaxUnit);
    m_timeout = makeSpin(this, "spinBoxTimeout", ConnectionProfile::MinTimeout,
                         ConnectionProfile::MaxTimeout, tr(" ms"));
    m_timeout->setSingleStep(100);
    m_retries = makeSpin(this, "spinBoxRetries", 0, ConnectionProfile::MaxRetries);
    m_writeMultiple = new QCheckBox(tr("Always use write-multiple (16/15)"), this);
    m_writeMultiple->setObjectName(QStringLiteral("checkBoxWriteMultiple"));
    m_writeMultiple->setToolTip(tr("For devices that do not take function 6 or 5: one register "
                                   "or coil is written with function 16 or 15 as well."));

    m_error = new QLabel(this);
    m_error->setObjectName(QStringLiteral("labelError"));
    m_error->setWordWrap(true);
    m_error->setStyleSheet(QStringLiteral("color: #b00000;"));
    m_error->hide();

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setObjectName(QStringLiteral("buttonBox"));
    buttons->button(QDialogButtonBox::Ok)->setText(tr("Connect"));
    connect(buttons, &QDialogButtonBox::accepted, this, &ConnectionDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &ConnectionDialog::reject);

    auto *form = new QFormLayout;
    form->addRow(tr("Recent:"), m_recent);
    form->addRow(tr("Link:"), m_kind);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_pages);
    auto *request = new QFormLayout;
    request->addRow(tr("Unit address:"), m_unit);
    request->addRow(tr("Response timeout:"), m_timeout);
    request->addRow(tr("Retries:"), m_retries);
    request->addRow(QString(), m_writeMultiple);
    layout->addLayout(request);
    layout->addWidget(m_error);
    layout->addWidget(buttons);

    connect(m_kind, qOverload<int>(&QComboBox::currentIndexChanged), this, &ConnectionDialog::updateKind);
    connect(m_recent, qOverload<int>(&QComboBox::activated), this, &ConnectionDialog::applyRecent);

    refreshSerialPorts();
    setRecent({});
    setProfile(ConnectionProfile());
}

void ConnectionDialog::refreshSerialPorts()
{
    const QString current = m_serialPort->currentText();
    m_serialPort->clear();
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        const QString label = info.description().isEmpty()
                                  ? info.portName()
                                  : QStringLiteral("%1 (%2)").arg(info.portName(), info.description());
        m_serialPort->addItem(label, info.portName());
    }
    if (!current.isEmpty())
        m_serialPort->setEditText(current);
}

void ConnectionDialog::setRecent(const QList<ConnectionProfile> &recent)
{
    m_recentProfiles.clear();
    m_recent->clear();
    // The demo device is started on demand; it is not edited here.
    for (const ConnectionProfile &p : recent) {
        if (p.kind() == ConnectionProfile::Demo)
            continue;
        m_recentProfiles.append(p);
        m_recent->addItem(p.displayName());
    }
    m_recent->setEnabled(!m_recentProfiles.isEmpty());
    if (m_recentProfiles.isEmpty())
        m_recent->addItem(tr("(none yet)"));
}

void ConnectionDialog::applyRecent(int index)
{
    if (index >= 0 && index < m_recentProfiles.size())
        setProfile(m_recentProfiles.at(index));
}

void ConnectionDialog::setProfile(const ConnectionProfile &profile)
{
    selectData(m_kind, profile.kind() == ConnectionProfile::Rtu ? ConnectionProfile::Rtu
                                                                 : ConnectionProfile::Tcp);
    m_host->setText(profile.host());
    m_port->setValue(profile.port() > 0 ? profile.port() : 502);
    const int portIndex = m_serialPort->findData(profile.serialPortName());
    if (portIndex >= 0)
        m_serialPort->setCurrentIndex(portIndex);
    else
        m_serialPort->setEditText(profile.serialPortName());
    if (m_baudRate->findData(profile.baudRate()) < 0)
        m_baudRate->addItem(QString::number(profile.baudRate()), profile.baudRate());
    selectData(m_baudRate, profile.baudRate());
    selectData(m_parity, profile.parity());
    selectData(m_dataBits, profile.dataBits());
    selectData(m_stopBits, profile.stopBits());
    m_unit->setValue(profile.unit());
    m_timeout->setValue(profile.responseTimeout());
    m_retries->setValue(profile.retries());
    m_writeMultiple->setChecked(profile.alwaysWriteMultiple());
    updateKind();
}

ConnectionProfile ConnectionDialog::profile() const
{
    ConnectionProfile p;
    p.setKind(m_kind->currentData().toInt() == ConnectionProfile::Rtu ? ConnectionProfile::Rtu
                                                                       : ConnectionProfile::Tcp);
    p.setHost(m_host->text());
    p.setPort(m_port->value());
    // The item data is the bare port name; typed text is taken as it is.
    const int i = m_serialPort->currentIndex();
    const bool listed = i >= 0 && m_serialPort->itemText(i) == m_serialPort->currentText();
    p.setSerialPortName(listed ? m_serialPort->itemData(i).toString() : m_serialPort->currentText());
    p.setBaudRate(m_baudRate->currentData().toInt());
    p.setParity(QSerialPort::Parity(m_parity->currentData().toInt()));
    p.setDataBits(QSerialPort::DataBits(m_dataBits->currentData().toInt()));
    p.setStopBits(QSerialPort::StopBits(m_stopBits->currentData().toInt()));
    p.setUnit(m_unit->value());
    p.setResponseTimeout(m_timeout->value());
    p.setRetries(m_retries->value());
    p.setAlwaysWriteMultiple(m_writeMultiple->isChecked());
    return p;
}

void ConnectionDialog::updateKind()
{
    const bool rtu = m_kind->currentData().toInt() == ConnectionProfile::Rtu;
    m_pages->setCurrentIndex(rtu ? 1 : 0);
    // The stack is as tall as its tallest page; the page not shown must not
    // leave its height as an empty gap.
    for (int i = 0; i < m_pages->count(); ++i) {
        const bool shown = i == m_pages->currentIndex();
        m_pages->widget(i)->setSizePolicy(shown ? QSizePolicy::Preferred : QSizePolicy::Ignored,
                                          shown ? QSizePolicy::Preferred : QSizePolicy::Ignored);
    }
    m_pages->adjustSize();
    adjustSize();
    m_error->hide();
}

void ConnectionDialog::accept()
{
    const QString error = profile().validationError();
    if (!error.isEmpty()) {
        m_error->setText(error);
        m_error->show();
        return;
    }
    m_error->hide();
    QDialog::accept();
}

} // namespace Workspace
