#pragma once

#include "clearance_global.h"

#include <QByteArray>
#include <QString>

namespace Clearance {

// Password digests of the access levels: raw SHA-256 over the UTF-8 bytes.
class CLEARANCE_EXPORT PasswordDigest
{
public:
    static QByteArray digest(const QString &password);
    // The digest a level without a stored one stands for: that of the empty
    // password.
    static QByteArray effective(const QByteArray &stored);
    // Compares in time independent of where the digests first differ.
    static bool equal(const QByteArray &a, const QByteArray &b);
};

} // namespace Clearance
