#pragma once

#include "pointbook_global.h"
#include "tag.h"

#include <QHash>
#include <QObject>
#include <QString>

namespace Pointbook {

// The tags of one register map, one hash per register table keyed by tag
// id. The collection owns the tags it holds.
class POINTBOOK_EXPORT BaseTag : public QObject
{
    Q_OBJECT

public:
    explicit BaseTag(QObject *parent = nullptr);
    ~BaseTag() override;

    // A copy: editing it does not touch the collection.
    QHash<QString, Tag *> tagHash(Pointbook::Tag::RegisterType type) const;
    int sizeTagHash(Pointbook::Tag::RegisterType type) const;

    // Identity of the tag objects per id, not equality of their fields.
    bool equals(const BaseTag *other) const;

public slots:
    // A tag added under an id already present replaces the earlier entry;
    // the earlier tag is no longer held and is not deleted.
    bool addTag(const QString &tagID, Pointbook::Tag *tag, Pointbook::Tag::RegisterType type);
    void removeTag(const QString &tagID, Pointbook::Tag::RegisterType type);
    void clearTag(Pointbook::Tag::RegisterType type);
    void clearBase();

signals:
    void updateBase(Pointbook::Tag::RegisterType type);

private:
    QHash<QString, Tag *> *hashOf(Tag::RegisterType type);
    const QHash<QString, Tag *> *hashOf(Tag::RegisterType type) const;
    void hold(Tag *tag);
    // Drops one reference; true when the tag is no longer held anywhere.
    bool release(Tag *tag);

    QHash<QString, Tag *> m_ir;
    QHash<QString, Tag *> m_hr;
    QHash<QString, Tag *> m_di;
    QHash<QString, Tag *> m_co;
    // How many entries point at each tag, so that one object entered under
    // two ids is deleted exactly once, when its last entry goes.
    QHash<Tag *, int> m_references;
};

} // namespace Pointbook
