#include "clearancetag.h"

namespace Clearance {

ClearanceTag::ClearanceTag(QObject *parent)
    : QObject(parent)
{
}

ClearanceTag::ClearanceTag(RegisterType registerType, QObject *parent)
    : QObject(parent)
    , m_registerType(registerType)
{
}

void ClearanceTag::setId(const QString &id)
{
    m_id = id;
}

void ClearanceTag::setRegisterType(RegisterType registerType)
{
    m_registerType = registerType;
}

void ClearanceTag::setUpdate(bool update)
{
    m_update = update;
}

void ClearanceTag::setVisible(bool visible)
{
    m_visible = visible;
}

void ClearanceTag::setReadonly(bool readonly)
{
    m_readonly = readonly;
}

} // namespace Clearance
