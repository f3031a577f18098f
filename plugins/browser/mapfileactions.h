#pragma once

#include "browser_global.h"
#include "mapwriter.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

QT_BEGIN_NAMESPACE
class QWidget;
QT_END_NAMESPACE

namespace Workspace {
class WorkspaceController;
}

namespace Browser {

class BrowserModel;

// The user's side of register map files: "Create tags…" from browser rows,
// File → "Import register map…", "Import access file…" and "Open register
// map folder". Checks and writes run on a worker thread while a progress
// dialog keeps the window alive; questions and results go to the user.
class BROWSER_EXPORT MapFileActions : public QObject
{
    Q_OBJECT

public:
    MapFileActions(Workspace::WorkspaceController *controller, QWidget *dialogParent,
                   QObject *parent = nullptr);

    // The tags the rows stand for: one per row that starts a value (rows
    // inside a wide value belong to it), typed by the row's format.
    static QList<NewTag> tagsForRows(const BrowserModel *model, const QList<int> &rows);

    // The message of the last flow, for the page and for tests.
    QString lastMessage() const { return m_lastMessage; }

public slots:
    void createTags(const Browser::BrowserModel *model, const QList<int> &rows);
    void importRegisterMap();
    void importAccessFile();
    void openRegisterMapFolder();

signals:
    void message(const QString &text);

private:
    void report(const QString &text, bool error);
    // Files that decide rights or what is polled change only at the highest
    // access level; a refusal has been shown when this returns false.
    bool authorised(const QString &action);
    // The version's map was written or imported: show it when it is the
    // device's.
    void mapChanged(const QString &version);

    QPointer<Workspace::WorkspaceController> m_controller;
    QPointer<QWidget> m_parent;
    QString m_lastFolder;
    QString m_lastMessage;
};

} // namespace Browser
