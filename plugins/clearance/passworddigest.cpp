#include "passworddigest.h"

#include <QCryptographicHash>

namespace Clearance {

QByteArray PasswordDigest::digest(const QString &password)
{
    return QCryptographicHash::hash(password.toUtf8(), QCryptographicHash::Sha256);
}

QByteArray PasswordDigest::effective(const QByteArray &stored)
{
    return stored.isEmpty() ? digest(QString()) : stored;
}

bool PasswordDigest::equal(const QByteArray &a, const QByteArray &b)
{
    if (a.size() != b.size())
        return false;
    // volatile keeps the compiler from turning the loop into an early exit.
    volatile unsigned char diff = 0;
    for (int i = 0; i < a.size(); ++i)
        diff |= static_cast<unsigned char>(a.at(i) ^ b.at(i));
    return diff == 0;
}

} // namespace Clearance
