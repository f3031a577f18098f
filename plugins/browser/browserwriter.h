#pragma once

#include "browser_global.h"
#include "rowformat.h"

#include <pointbook/tag.h>
#include <pointbook/tagwriter.h>

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariant>

namespace Workspace {
class WorkspaceController;
}

namespace Browser {

// Writes from the register browser through the program's one write path
// (the workspace's writer: encoding by the tag model, read-back, change
// log). A browsed row has no tag of a register map, so each write uses a
// tag made for it: the row's address, table and format, access "RW". Only
// levels that WriteAuthorisation admits may write.
class BROWSER_EXPORT BrowserWriter : public QObject
{
    Q_OBJECT

public:
    explicit BrowserWriter(Workspace::WorkspaceController *controller, QObject *parent = nullptr);

    // Why the current level may not write from the browser; empty when it may.
    QString refusal() const;

    // The value text as the format shows it (decimal, 0x hex, binary digits,
    // two ASCII characters) turned into what the tag model encodes; invalid
    // with the reason when it is none of that.
    static QVariant parse(const RowFormat &format, const QString &text, QString *error);

    // Queues the write; 0 with the reason when it is refused at once (the
    // refusal is recorded as by refuse()).
    int write(Pointbook::Tag::RegisterType table, int address, const RowFormat &format,
              const QVariant &value, QString *error);
    // Records an attempt refused before anything was sent (the level, a
    // text that is no value) in the change log, as the table's are.
    void refuse(Pointbook::Tag::RegisterType table, int address, const RowFormat &format,
                const QVariant &value, const QString &reason);

signals:
    // After the read-back: the message for the user.
    void finished(const QString &message, bool ok);

private:
    // The tag a write of a browsed row uses, owned by the caller.
    Pointbook::Tag *rowTag(Pointbook::Tag::RegisterType table, int address, const RowFormat &format);
    void onFinished(const Pointbook::TagWriter::Outcome &outcome);

    QPointer<Workspace::WorkspaceController> m_controller;
    QHash<int, Pointbook::Tag *> m_pending; // request id -> the tag made for it
};

} // namespace Browser
