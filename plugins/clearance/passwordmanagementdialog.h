#pragma once

#include "clearance_global.h"

#include <QByteArray>
#include <QDialog>
#include <QHash>
#include <QString>
#include <QStringList>

QT_BEGIN_NAMESPACE
class QComboBox;
class QDialogButtonBox;
class QLineEdit;
QT_END_NAMESPACE

namespace Clearance {

// Changes the password of one access level; the level's current password
// must be given first.
class CLEARANCE_EXPORT PasswordManagementDialog : public QDialog
{
    Q_OBJECT

public:
    // Levels in the order of ClearanceDialog::orderedIds().
    PasswordManagementDialog(const QHash<QString, QString> &clearances,
                             QWidget *parent = nullptr,
                             Qt::WindowFlags flags = Qt::WindowFlags(),
                             const QStringList &order = QStringList());

    // Runs the dialog modally; *ok tells whether a password was changed.
    static void managePasswords(const QHash<QString, QString> &clearances, bool *ok,
                                QWidget *parent = nullptr,
                                Qt::WindowFlags flags = Qt::WindowFlags(),
                                const QStringList &order = QStringList());

public slots:
    void accept() override;
    void readSettings();
    // True when every level's digest is in the settings file; false when
    // the store keeps values in memory only or refused a key. Levels
    // without id are left out.
    bool writeSettings();

private:
    void restoreDigest(const QString &id, const QByteArray &digest);

    QComboBox *m_comboBox = nullptr;
    QLineEdit *m_lineEditPasswordCurrent = nullptr;
    QLineEdit *m_lineEditPasswordNew = nullptr;
    QLineEdit *m_lineEditPasswordRepeat = nullptr;
    QDialogButtonBox *m_buttonBox = nullptr;
    QHash<QString, QByteArray> m_digests;
};

} // namespace Clearance
