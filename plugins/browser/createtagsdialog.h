#pragma once

#include "browser_global.h"
#include "mapwriter.h"

#include <QDialog>
#include <QList>

QT_BEGIN_NAMESPACE
class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QTableWidget;
QT_END_NAMESPACE

namespace Browser {

// "Create tags…": one line per chosen row with id, name, unit, type, byte
// order, access and description, and the device version whose register map
// receives the tags.
class BROWSER_EXPORT CreateTagsDialog : public QDialog
{
    Q_OBJECT

public:
    enum Column {
        AddressColumn = 0,
        IdColumn,
        NameColumn,
        UnitColumn,
        TypeColumn,
        OrderColumn,
        AccessColumn,
        DescriptionColumn,
        ColumnCount
    };

    CreateTagsDialog(const QList<NewTag> &tags, const QString &version, QWidget *parent = nullptr);

    QList<NewTag> tags() const;
    QString version() const;
    void setVersion(const QString &version);
    QTableWidget *table() const { return m_table; }
    QLineEdit *versionEdit() const { return m_version; }
    // Shows a problem found after the dialog was accepted (id clashes).
    void setProblem(const QString &text);

public slots:
    void accept() override;

private:
    void fillOrders(int row);

    QList<NewTag> m_input;
    QLineEdit *m_version;
    QLabel *m_target;
    QTableWidget *m_table;
    QLabel *m_problem;
    QDialogButtonBox *m_buttons;
};

} // namespace Browser
