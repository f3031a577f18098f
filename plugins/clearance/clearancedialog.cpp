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

ClearanceDialog::ClearanceDialog(const QHash<QString, QString> &clearances,
                                 const QString &current, QWidget *parent,
                                 Qt::WindowFlags flags, const QStringList &order)
    : QDialog(parent, flags)
{
    setObjectName(QStringLiteral("ClearanceDialog"));
    setWindowTitle(tr("Access level control"));

    auto *outer = new QGridLayout(this);
    outer->setObjectName(QStringLiteral("gridLayout_2"));
    auto *grid = new QGridLayout;
    grid->setObjectName(QStringLiteral("gridLayout"));
    outer->addLayout(grid, 0, 0);

    auto *labelClearance = new QLabel(tr("Access level:"), this);
    labelClearance->setObjectName(QStringLiteral("labelClearance"));
    m_comboBox = new QComboBox(this);
    m_comboBox->setObjectName(QStringLiteral("comboBoxNameClearance"));
    auto *labelPassword = new QLabel(tr("Password:"), this);
    labelPassword->setObjectName(QStringLiteral("labelPassword"));
    m_lineEditPassword = new QLineEdit(this);
    m_lineEditPassword->setObjectName(QStringLiteral("lineEditPassword"));
    m_lineEditPassword->setEchoMode(QLineEdit::Password);
    m_lineEditPassword->setAlignment(Qt::AlignCenter);
    labelClearance->setBuddy(m_comboBox);
    labelPassword->setBuddy(m_lineEditPassword);

    grid->addWidget(labelClearance, 0, 0);
    grid->addWidget(m_comboBox, 0, 1);
    grid->addWidget(labelPassword, 1, 0);
    grid->addWidget(m_lineEditPassword, 1, 1);

    m_buttonBox = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel,
                                       Qt::Horizontal, this);
    m_buttonBox->setObjectName(QStringLiteral("buttonBox"));
    outer->addWidget(m_buttonBox, 1, 0);
    connect(m_buttonBox, &QDialogButtonBox::accepted, this, &ClearanceDialog::accept);
    connect(m_buttonBox, &QDialogButtonBox::rejected, this, &ClearanceDialog::reject);

    for (const QString &id : orderedIds(clearances, order)) {
        m_comboBox->addItem(clearances.value(id), id);
        m_digests.insert(id, QByteArray());
    }
    const int index = m_comboBox->findData(current, Qt::UserRole, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index >= 0)
        m_comboBox->setCurrentIndex(index);
    // With no level to choose there is nothing to switch to.
    m_buttonBox->button(QDialogButtonBox::Ok)->setEnabled(m_comboBox->count() > 0);

    readSettings();
}

QString ClearanceDialog::getClearance(const QHash<QString, QString> &clearances,
                                      const QString &current, bool *ok,
                                      QWidget *parent, Qt::WindowFlags flags,
                                      const QStringList &order)
{
    ClearanceDialog dialog(clearances, current, parent, flags, order);
    const bool accepted = dialog.exec() == QDialog::Accepted;
    if (ok)
        *ok = accepted;
    return dialog.currentClearance();
}

QStringList ClearanceDialog::orderedIds(const QHash<QString, QString> &clearances,
                                        const QStringList &order)
{
    QStringList ids;
    for (const QString &id : order) {
        if (clearances.contains(id) && !ids.contains(id))
            ids.append(id);
    }
    QStringList rest;
    for (auto it = clearances.cbegin(); it != clearances.cend(); ++it) {
        if (!ids.contains(it.key()))
            rest.append(it.key());
    }
    // A hash's order changes from run to run; names are what the user sees.
    std::sort(rest.begin(), rest.end(), [&clearances](const QString &a, const QString &b) {
        const int byName = QString::localeAwareCompare(clearances.value(a), clearances.value(b));
        return byName != 0 ? byName < 0 : a < b;
    });
    return ids + rest;
}

QString ClearanceDialog::currentClearance() const
{
    return m_comboBox->currentData(Qt::UserRole).toString();
}

void ClearanceDialog::readSettings()
{
    Core::SettingsDatabase *database = Core::ICore::settingsDatabase();
    if (!database)
        return;
    database->beginGroup(QStringLiteral("Clearance"));
    for (auto it = m_digests.begin(); it != m_digests.end(); ++it)
        it.value() = database->value(it.key(), QByteArray()).toByteArray();
    database->endGroup();
}

void ClearanceDialog::accept()
{
    if (m_comboBox->currentIndex() < 0)
        return;
    const QByteArray stored = PasswordDigest::effective(m_digests.value(currentClearance()));
    const QByteArray typed = PasswordDigest::digest(m_lineEditPassword->text());
    if (PasswordDigest::equal(stored, typed)) {
        Popnote::PopnotePlugin::notify(tr("Access level"), tr("Access level successfully changed!"),
                                       Popnote::PopnotePlugin::Information);
        QDialog::accept();
        return;
    }
    Popnote::PopnotePlugin::notify(tr("Access level"), tr("Invalid password!"),
                                   Popnote::PopnotePlugin::Error);
}

} // namespace Clearance
