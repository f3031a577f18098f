#pragma once

#include "workspace_global.h"
#include "tagtreeview.h"

#include <QElapsedTimer>
#include <QWidget>

QT_BEGIN_NAMESPACE
class QAction;
class QLabel;
class QLineEdit;
class QSpinBox;
class QTimer;
class QToolBar;
QT_END_NAMESPACE

namespace Workspace {

class TagFilterModel;
class TagValueDelegate;
class WorkspaceController;

// The central page: a tool bar (connect, disconnect, demo device, device
// version, polling start/stop, single read, polling period), a line saying
// which register map is shown and why nothing is, the filter box and the
// live tag table.
class WORKSPACE_EXPORT WorkspacePage : public QWidget
{
    Q_OBJECT

public:
    explicit WorkspacePage(WorkspaceController *controller, QWidget *parent = nullptr);

    TagTreeView *view() const { return m_view; }
    TagFilterModel *filterModel() const { return m_filter; }
    TagValueDelegate *valueDelegate() const { return m_delegate; }
    QLineEdit *filterEdit() const { return m_filterEdit; }
    QLabel *mapLabel() const { return m_mapLabel; }
    QSpinBox *periodSpinBox() const { return m_period; }
    // Other pages' plug-ins add the actions that lead to them.
    QToolBar *toolBar() const { return m_toolBar; }

    QAction *connectAction() const { return m_connect; }
    QAction *disconnectAction() const { return m_disconnect; }
    QAction *demoAction() const { return m_demo; }
    QAction *versionAction() const { return m_version; }
    QAction *pollingAction() const { return m_polling; }
    QAction *singleReadAction() const { return m_singleRead; }
    // Shows or hides the State column (also in the header's context menu).
    QAction *stateColumnAction() const { return m_stateColumn; }

    // The selected tag rows as tab-separated text, a header line first
    // (the columns shown); what Ctrl+C puts on the clipboard.
    QString selectionText() const;

    // Off in tests that answer the version question themselves.
    void setPromptsEnabled(bool enabled) { m_prompts = enabled; }

signals:
    void demoRequested();
    // Once a connection: the table has painted its first live value, the
    // given milliseconds after the connection was asked for.
    void firstValueShown(qint64 milliseconds);

public slots:
    void copySelection();
    void showConnectionDialog();
    void showVersionDialog();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void onPhaseChanged();
    void onValuesChanged(const QModelIndex &topLeft);
    void reportFirstValue();
    void askVersion(const QStringList &versions, const QString &suggested);
    void updateActions();
    void updateMapLabel();
    void fitValueColumns();

    WorkspaceController *m_controller;
    QToolBar *m_toolBar;
    QAction *m_connect;
    QAction *m_disconnect;
    QAction *m_demo;
    QAction *m_version;
    QAction *m_polling;
    QAction *m_singleRead;
    QAction *m_stateColumn;
    QSpinBox *m_period;
    QLabel *m_mapLabel;
    QLineEdit *m_filterEdit;
    TagTreeView *m_view;
    TagFilterModel *m_filter;
    TagValueDelegate *m_delegate = nullptr;
    QTimer *m_fitTimer;
    bool m_prompts = true;
    // The first live value of a connection: awaited in the model, then the
    // next paint of the table shows it.
    enum class FirstValue { Reported, Awaited, Painting };
    FirstValue m_firstValue = FirstValue::Reported;
    QElapsedTimer m_connectClock;
};

} // namespace Workspace
