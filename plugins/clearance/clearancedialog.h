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

// Switches the access level: the chosen level's password must match its
// stored digest.
class CLEARANCE_EXPORT ClearanceDialog : public QDialog
{
    Q_OBJECT

public:
    // The levels are offered in the order of `order` (the ids as the list
    // file gives them); levels it leaves out follow by name.
    ClearanceDialog(const QHash<QString, QString> &clearances, const QString &current,
                    QWidget *parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags(),
                    const QStringList &order = QStringList());

    // Runs the dialog modally; *ok tells whether it was accepted.
    static QString getClearance(const QHash<QString, QString> &clearances,
                                const QString &current, bool *ok,
                                QWidget *parent = nullptr,
                                Qt::WindowFlags flags = Qt::WindowFlags(),
                                const QStringList &order = QStringList());

    // The ids of `clearances` in the order the dialogs offer them.
    static QStringList orderedIds(const QHash<QString, QString> &clearances,
                                  const QStringList &order);

public slots:
    void accept() override;
    QString currentClearance() const;
    void readSettings();

private:
    QComboBox *m_comboBox = nullptr;
    QLineEdit *m_lineEditPassword = nullptr;
    QDialogButtonBox *m_buttonBox = nullptr;
    QHash<QString, QByteArray> m_digests;
};

} // namespace Clearance
