#include "passwordmanagementdialog.h"

#include "clearancedialog.h"
#include "passworddigest.h"

#include <core/icore.h>
#include <core/settingsdatabase.h>
#include <popnote/popnoteplugin.h>

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>

namespace Clearance {

namespace {

QLineEdit *passwordEdit(const QString &name, QWidget *parent)
{
    auto *edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setEchoMode(QLineEdit::Password);
    edit->setAlignment(Qt::AlignCenter);
    return edit;
}

} // namespace

PasswordManagementDialog::PasswordManagementDialog(const QHash<QString, QString> &clearances,
                                                   QWidget *parent, Qt::WindowFlags flags,
                                                   const QStringList &order)
    : QDialog(parent, flags)
{
    setObjectName(QStringLiteral("PasswordManagementDialog"));
    setWindowTitle(tr("Password management"));

    auto *outer = new QGridLayout(this);
    outer->setObjectName(QStringLiteral("gridLayout_2"));
    auto *grid = new QGridLayout;
    grid->setObjectName(QStringLiteral("gridLayout"));
    outer->addLayout(grid, 0, 0);

    auto *labelClearance = new QLabel(tr("Access level:"), this);
    labelClearance->setObjectName(QStringLiteral("labelClearance"));
    m_comboBox = new QComboBox(this);
    m_comboBox->setObjectName(QStringLiteral("comboBoxNameClearance"));
    auto *labelCurrent = new QLabel(tr("Current password:"), this);
    labelCurrent->setObjectName(QStringLiteral("labelPasswordCurrent"));
    m_lineEditPasswordCurrent = passwordEdit(QStringLiteral("lineEditPasswordCurrent"), this);
    auto *labelNew = new QLabel(tr("New password:"), this);
    labelNew->setObjectName(QStringLiteral("labelPasswordNew"));
    m_lineEditPasswordNew = passwordEdit(QStringLiteral("lineEditPasswordNew"), this);
    labelClearance->setBuddy(m_comboBox);
    labelCurrent->setBuddy(m_lineEditPasswordCurrent);
    labelNew->setBuddy(m_lineEditPasswordNew);
    auto *labelRepeat = new QLabel(tr("Repeat new password:"), this);
    labelRepeat->setObjectName(QStringLiteral("labelPasswordRepeat"));
    m_lineEditPasswordRepeat = passwordEdit(QStringLiteral("lineEditPasswordRepeat"), this);
    labelRepeat->setBuddy(m_lineEditPasswordRepeat);

    grid->addWidget(labelClearance, 0, 0);
    grid->addWidget(m_comboBox, 0, 1);
    grid->addWidget(labelCurrent, 1, 0);
    grid->addWidget(m_lineEditPasswordCurrent, 1, 1);
    grid->addWidget(labelNew, 2, 0);
    grid->addWidget(m_lineEditPasswordNew, 2, 1);
    grid->addWidget(labelRepeat, 3, 0);
    grid->addWidget(m_lineEditPasswordRepeat, 3, 1);

    m_buttonBox = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel,
                                       Qt::Horizontal, this);
    m_buttonBox->setObjectName(QStringLiteral("buttonBox"));
    outer->addWidget(m_buttonBox, 1, 0);
    connect(m_buttonBox, &QDialogButtonBox::accepted, this, &PasswordManagementDialog::accept);
    connect(m_buttonBox, &QDialogButtonBox::rejected, this, &PasswordManagementDialog::reject);

    for (const QString &id : ClearanceDialog::orderedIds(clearances, order)) {
        m_comboBox->addItem(clearances.value(id), id);
        m_digests.insert(id, QByteArray());
    }
    if (m_comboBox->count() > 0)
        m_comboBox->setCurrentIndex(0);
    // With no level there is no password to change.
    m_buttonBox->button(QDialogButtonBox::Ok)->setEnabled(m_comboBox->count() > 0);

    readSettings();
}

void PasswordManagementDialog::managePasswords(const QHash<QString, QString> &clearances,
                                               bool *ok, QWidget *parent,
                                               Qt::WindowFlags flags, const QStringList &order)
{
    PasswordManagementDialog dialog(clearances, parent, flags, order);
    const bool accepted = dialog.exec() == QDialog::Accepted;
    if (ok)
        *ok = accepted;
}

void PasswordManagementDialog::readSettings()
{
    Core::SettingsDatabase *database = Core::ICore::settingsDatabase();
    if (!database)
        return;
    database->beginGroup(QStringLiteral("Clearance"));
    for (auto it = m_digests.begin(); it != m_digests.end(); ++it)
        it.value() = database->value(it.key(), QByteArray()).toByteArray();
    database->endGroup();
}

bool PasswordManagementDialog::writeSettings()
{
    Core::SettingsDatabase *database = Core::ICore::settingsDatabase();
    if (!database || !database->isPersistent())
        return false;
    bool stored = true;
    database->beginTransaction();
    database->beginGroup(QStringLiteral("Clearance"));
    // A level without id has no key to keep a password under; accept()
    // refuses to change it.
    for (auto it = m_digests.cbegin(); it != m_digests.cend(); ++it) {
        if (!it.key().isEmpty())
            stored = database->setValue(it.key(), it.value()) && stored;
    }
    database->endGroup();
    stored = database->endTransaction() && stored;
    return stored && database->isPersistent();
}

void PasswordManagementDialog::restoreDigest(const QString &id, const QByteArray &digest)
{
    Core::SettingsDatabase *database = Core::ICore::settingsDatabase();
    if (!database || id.isEmpty())
        return;
    database->beginGroup(QStringLiteral("Clearance"));
    database->setValue(id, digest);
    database->endGroup();
}

void PasswordManagementDialog::accept()
{
    if (m_comboBox->currentIndex() < 0)
        return;
    const QString id = m_comboBox->currentData(Qt::UserRole).toString();
    const QString current = m_lineEditPasswordCurrent->text();
    const QString next = m_lineEditPasswordNew->text();

    const QByteArray stored = PasswordDigest::effective(m_digests.value(id));
    if (!PasswordDigest::equal(stored, PasswordDigest::digest(current))) {
        Popnote::PopnotePlugin::notify(tr("Access level"), tr("Invalid current password!"),
                                       Popnote::PopnotePlugin::Error);
        return;
    }
    if (next == current) {
        Popnote::PopnotePlugin::notify(tr("Access level"),
                                       tr("The new password is the same as the current one!"),
                                       Popnote::PopnotePlugin::NotFound);
        return;
    }
    // A typing slip in a hidden field would lock the level for good.
    if (next != m_lineEditPasswordRepeat->text()) {
        Popnote::PopnotePlugin::notify(tr("Access level"),
                                       tr("The new password and its repetition differ!"),
                                       Popnote::PopnotePlugin::Error);
        return;
    }

    const QByteArray previous = m_digests.value(id);
    m_digests.insert(id, PasswordDigest::digest(next));
    // A level without id has no key to keep its password under.
    if (id.isEmpty() || !writeSettings()) {
        // Keep the old password in force, here and in the store's memory,
        // rather than claim a change that would not survive.
        m_digests.insert(id, previous);
        restoreDigest(id, previous);
        Popnote::PopnotePlugin::notify(tr("Access level"), tr("The password could not be saved!"),
                                       Popnote::PopnotePlugin::Error);
        return;
    }
    Popnote::PopnotePlugin::notify(tr("Access level"), tr("Password successfully saved!"),
                                   Popnote::PopnotePlugin::Information);
    QDialog::accept();
}

} // namespace Clearance
