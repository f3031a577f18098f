#pragma once

#include "browser_global.h"
#include "rowformat.h"

#include <QPointer>
#include <QWidget>

QT_BEGIN_NAMESPACE
class QAction;
class QComboBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QTableView;
class QToolBar;
QT_END_NAMESPACE

namespace Workspace {
class WorkspaceController;
}

namespace Browser {

class BrowserModel;
class BrowserWriter;
class RegisterBrowser;

// The register browser page: table, start address and count of a range,
// its rows polled with the workspace's polling period, a display format per
// row (set for a selection at once), and "Create tags…" to turn chosen rows
// into a register map. Works whether or not the device has a register map.
class BROWSER_EXPORT BrowserPage : public QWidget
{
    Q_OBJECT

public:
    BrowserPage(RegisterBrowser *browser, Workspace::WorkspaceController *controller,
                QWidget *parent = nullptr);

    RegisterBrowser *browser() const { return m_browser; }
    BrowserModel *model() const;
    QToolBar *toolBar() const { return m_toolBar; }
    QTableView *view() const { return m_view; }
    QComboBox *tableCombo() const { return m_table; }
    QSpinBox *startSpinBox() const { return m_start; }
    QSpinBox *countSpinBox() const { return m_count; }
    QLabel *referenceLabel() const { return m_reference; }
    QLabel *statusLabel() const { return m_status; }
    QComboBox *formatCombo() const { return m_format; }
    QComboBox *byteOrderCombo() const { return m_order; }
    QAction *browseAction() const { return m_browse; }
    QAction *readOnceAction() const { return m_readOnce; }
    QAction *createTagsAction() const { return m_createTags; }
    QAction *tagTableAction() const { return m_tagTable; }
    QAction *writeAction() const { return m_write; }

    // Writes go through this writer; without one the page cannot write.
    void setWriter(BrowserWriter *writer);

    // The rows selected in the view, sorted.
    QList<int> selectedRows() const;

signals:
    void tagTableRequested();
    void createTagsRequested(const QList<int> &rows);

public slots:
    // Takes table, start and count from the inputs; starts browsing when a
    // device is connected.
    bool applyRange();
    // The chosen format and byte order for the selected rows.
    void applyFormat();
    void applyFormatToRows(const QList<int> &rows, const Browser::RowFormat &format);
    // Toggles the selected coil, or asks for the new value of the selected
    // holding register (or the value that starts there) and writes it.
    void writeSelected();

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void updateReference();
    void updateOrders();
    void updateActions();
    void updateStatus();
    void showContextMenu(const QPoint &position);
    bool deviceReachable() const;

    RegisterBrowser *m_browser;
    QPointer<Workspace::WorkspaceController> m_controller;
    QToolBar *m_toolBar;
    QAction *m_tagTable;
    QAction *m_browse;
    QAction *m_readOnce;
    QAction *m_createTags;
    QAction *m_write;
    QPointer<BrowserWriter> m_writer;
    QComboBox *m_table;
    QSpinBox *m_start;
    QSpinBox *m_count;
    QLabel *m_reference;
    QPushButton *m_apply;
    QComboBox *m_format;
    QComboBox *m_order;
    QPushButton *m_applyFormat;
    QLabel *m_status;
    QTableView *m_view;
    QString m_problem;
    // Browsing was on when the page was hidden: resume when shown.
    bool m_resume = false;
};

} // namespace Browser
