#pragma once

#include "clearance_global.h"
#include "clearancetag.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>

#include <array>

namespace Clearance {

// The rights of one access level: per register table, tag id -> rights.
// The collection owns the tags it holds and deletes them when they are
// removed, cleared or when the collection itself is destroyed.
class CLEARANCE_EXPORT BaseClearance : public QObject
{
    Q_OBJECT

public:
    explicit BaseClearance(QObject *parent = nullptr);
    ~BaseClearance() override;

    QHash<QString, ClearanceTag *> tagHash(ClearanceTag::RegisterType type) const;
    int sizeTagHash(ClearanceTag::RegisterType type) const;
    // Identity, not equality of rights: the same ids must map to the very
    // same tag objects.
    bool equals(const BaseClearance &other) const;

public slots:
    bool addTag(const QString &tagID, Clearance::ClearanceTag *tag,
                Clearance::ClearanceTag::RegisterType type);
    void removeTag(const QString &tagID, Clearance::ClearanceTag::RegisterType type);
    void clearTag(Clearance::ClearanceTag::RegisterType type);
    void clearBase();

private:
    using TagHash = QHash<QString, ClearanceTag *>;

    static bool isValidType(ClearanceTag::RegisterType type);
    static int indexOf(ClearanceTag::RegisterType type) { return int(type) - 1; }

    std::array<TagHash, 4> m_hashes;
    // Every tag object held, so that one object is never taken over twice
    // (which would delete it twice).
    QSet<ClearanceTag *> m_owned;
};

} // namespace Clearance
