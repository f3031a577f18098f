#pragma once

#include "clearance_global.h"

#include <QObject>
#include <QString>

namespace Clearance {

// The rights of one tag at one access level: polled, shown, writable.
class CLEARANCE_EXPORT ClearanceTag : public QObject
{
    Q_OBJECT

public:
    // Same numbering as the register tables of the tag base; 0 means none.
    enum RegisterType {
        NoneRegister = 0,
        InputRegisters = 1,
        HoldingRegisters = 2,
        DiscreteInputs = 3,
        Coils = 4
    };
    Q_ENUM(RegisterType)

    explicit ClearanceTag(QObject *parent = nullptr);
    explicit ClearanceTag(RegisterType registerType, QObject *parent = nullptr);

    QString Id() const { return m_id; }
    RegisterType registerType() const { return m_registerType; }
    bool update() const { return m_update; }
    bool visible() const { return m_visible; }
    bool readonly() const { return m_readonly; }

public slots:
    void setId(const QString &id);
    void setRegisterType(Clearance::ClearanceTag::RegisterType registerType);
    void setUpdate(bool update);
    void setVisible(bool visible);
    void setReadonly(bool readonly);

private:
    QString m_id;
    RegisterType m_registerType = NoneRegister;
    bool m_update = false;
    bool m_visible = false;
    bool m_readonly = false;
};

} // namespace Clearance
