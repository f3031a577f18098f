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
    // The levels are listed in order (level ids), the others after them.
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
    bool writeSettings();

private:
    QComboBox *m_comboBox = nullptr;
    QLineEdit *m_lineEditPasswordCurrent = nullptr;
    QLineEdit *m_lineEditPasswordNew = nullptr;
    QLineEdit *m_lineEditPasswordRepeat = nullptr;
    QDialogButtonBox *m_buttonBox = nullptr;
    QHash<QString, QByteArray> m_digests;
};

} // namespace Clearance
