#pragma once

#include "pointbook_global.h"

#include <QByteArray>
#include <QColor>
#include <QMetaType>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QVariant>
#include <QVector>

namespace Pointbook {

// One register-mapped variable of the device: where it lives, how its raw
// 16-bit words become a typed value, how it is shown, and its damped value.
class POINTBOOK_EXPORT Tag : public QObject
{
    Q_OBJECT

public:
    enum RegisterType {
        UnknownRegister = 0,
        IR = 1,
        HR = 2,
        DI = 3,
        CO = 4
    };

    enum DataType {
        UnknownType = 0,
        UInt8 = 1,
        Int8 = 2,
        UInt16 = 3,
        Int16 = 4,
        UInt32 = 5,
        Int32 = 6,
        UInt64 = 7,
        Int64 = 8,
        Float = 9,
        Double = 10
    };

    // Each text form lists, per byte position of an element, the
    // significance of the byte found there (0 = least significant).
    enum ByteOrder {
        UnknownOrder = 0,
        Order0 = 1,
        Order01 = 2,
        Order10 = 3,
        Order0123 = 4,
        Order1032 = 5,
        Order3210 = 6,
        Order2301 = 7,
        Order01234567 = 8,
        Order10325476 = 9,
        Order32107654 = 10,
        Order23016745 = 11,
        Order45670123 = 12,
        Order54761032 = 13,
        Order76543210 = 14,
        Order67452301 = 15
    };

    enum TypeAccess {
        UnknownAccess = 0,
        Read = 1,
        Write = 2,
        ReadWrite = 3
    };

    enum TypeTag {
        UnknownTag = 0,
        Status = 1,
        Parameter = 2,
        Dimension = 3,
        Command = 4
    };

    explicit Tag(QObject *parent = nullptr);
    explicit Tag(RegisterType registerType, QObject *parent = nullptr);
    Tag(RegisterType registerType, DataType dataType, ByteOrder byteOrderInput,
        ByteOrder byteOrderOutput, quint16 startAddress, const QString &name,
        const QString &unit, const QString &description, QObject *parent = nullptr);

    RegisterType registerType() const { return m_registerType; }
    QString Id() const { return m_id; }
    QString name() const { return m_name; }
    QString description() const { return m_description; }
    QString unit() const { return m_unit; }
    bool bitfield() const { return m_bitfield; }
    bool bitfieldEnd() const { return m_bitfieldEnd; }
    DataType dataType() const { return m_dataType; }
    quint16 count() const { return m_count; }
    QString access() const { return m_access; }
    qint32 precision() const { return m_precision; }
    float defaultValue() const { return m_defaultValue; }
    float minValue() const { return m_minValue; }
    float maxValue() const { return m_maxValue; }
    // The limits at the tag's own type: a qlonglong or qulonglong for an
    // integer type, a double otherwise (a float's value for a float tag).
    // minValue() and maxValue() are their nearest floats, infinite beyond a
    // float's range; setMinValue() and setMaxValue() set them from a float.
    QVariant lowerLimit() const { return m_lowerLimit; }
    QVariant upperLimit() const { return m_upperLimit; }
    void setLimits(const QVariant &lower, const QVariant &upper);
    // Whether values are held to the limits: numbers in registers (not
    // bits, not bit fields) whose lower limit lies below the upper one.
    bool hasLimits() const;
    // The first element of a value, as value() gives it, that lies outside
    // the limits (NaN and infinities always do), compared exactly; invalid
    // when every element is inside or the tag has no limits.
    QVariant outsideLimits(const QVariant &value) const;
    // A limit as the map writes it, read at the type: a whole number within
    // an integer type's range, a finite number within a float's or a
    // double's. Invalid, with the reason in `error`, otherwise.
    static QVariant limitFromText(DataType type, const QString &text, QString *error = nullptr);
    // A number as text that reads back as the same value: integers in full,
    // floats and doubles in their shortest such form.
    static QString numberText(const QVariant &number);

    // What a decimal text (sign, digits, point, exponent) writes, measured
    // against the whole numbers of 64 bits.
    enum WholeText { NoNumber, WholeNumber, Fraction, BeyondWhole };
    static WholeText wholeFromText(const QString &text, bool *negative, quint64 *magnitude);
    quint16 startAddress() const { return m_startAddress; }
    quint16 offset() const { return m_offset; }
    quint64 mask() const { return m_mask; }
    QString typeChart() const { return m_typeChart; }
    bool visibleChart() const { return m_visibleChart; }
    bool visible() const { return m_visible; }
    bool profileParameter() const { return m_profileParameter; }
    QColor colorChart() const { return m_colorChart; }
    QString typeTag() const { return m_typeTag; }
    bool isUpdate() const { return m_update; }
    ByteOrder byteOrderInput() const { return m_byteOrderInput; }
    ByteOrder byteOrderOutput() const { return m_byteOrderOutput; }
    qint32 dampingPoints() const { return m_dampingPoints; }
    double dampedValue() const { return m_dampedValue; }
    bool enableDamping() const { return m_enableDamping; }
    bool damping() const { return m_damping; }

    // count × element width; sizeRegisters() rounds size() / 2 down.
    quint16 size() const;
    quint16 sizeRegisters() const;
    // Registers that polling reads for this tag: sizeRegisters(), except
    // that a lone 8-bit element, which fills no whole register, is read
    // with the one register it lies in. Addresses still follow
    // sizeRegisters().
    quint16 pollRegisters() const;

    QVector<quint16> valueByteArray() const;

    // Decoded afresh from the raw words on every call: the element's type
    // for count 1, the reordered bytes for count above 1, invalid when
    // there are no words or the type is unknown.
    QVariant value() const;

    // Reorders every element (this tag's element width) from orderIn to
    // orderOut. A byte that the orders or the data do not supply (digit
    // missing from orderIn, index past the data) is emitted as zero, so the
    // result always has elements × orderOut.length() bytes. Without an
    // element width there are no elements: the result is empty.
    QByteArray byteOrderConversion(const QByteArray &data, const QString &orderIn,
                                   const QString &orderOut) const;

    // The inverse of value(): the words that make value() give back `value`,
    // checked by decoding them again. `value` is a number (or its text) for
    // one element, a list of elements or the byte array value() gives for
    // an array; for a bit field the masked bits (true/"on" sets every bit of
    // the mask), for a discrete input or coil 0/1 per bit. A value the type
    // cannot hold (out of range, not a number, not whole for an integer,
    // wrong element count, bits outside the mask) is refused with the reason
    // in `error` and an empty result; nothing is wrapped or truncated.
    QVector<quint16> encode(const QVariant &value, QString *error = nullptr) const;
    // The variant kind value() holds for one element of the type, from the
    // element's bit pattern (least significant byte first).
    static QVariant elementFromBits(DataType type, quint64 bits);
    // The smallest and largest value an integer type holds; false for the
    // other types.
    static bool integerRange(DataType type, qint64 *low, quint64 *high);

    // One step of the moving average with weight 1/points; a previous value
    // of 0.0 restarts it. Fewer than 1 point means no damping.
    static double dampingProcess(double value, double previous, int points);
    // Bytes of one element of the type; 0 for an unknown type.
    static int elementWidth(DataType type);

    static QString dataTypeToString(DataType type);
    static DataType stringToDataType(const QString &text);
    static QString registerTypeToString(RegisterType type);
    static RegisterType stringToRegisterType(const QString &text);
    static QString byteOrderToString(ByteOrder order);
    static ByteOrder stringToByteOrder(const QString &text);
    static TypeAccess stringToTypeAccess(const QString &text);
    static TypeTag stringToTypeTag(const QString &text);

    // Register type, then start address, then mask: bit fields that share
    // a register come out ordered by their masks.
    static bool lessThan(Tag *a, Tag *b);

    // setRawData() from words in a reply: stored in place of the previous
    // words, without a new vector each pass. Not a slot: the slots are the
    // tag's published interface.
    void setRawData(const quint16 *words, int count);

public slots:
    void setRegisterType(Pointbook::Tag::RegisterType registerType);
    void setId(const QString &id);
    void setName(const QString &name);
    void setDescription(const QString &description);
    void setUnit(const QString &unit);
    void setBitfield(bool bitfield);
    void setBitfieldEnd(bool bitfieldEnd);
    void setDataType(Pointbook::Tag::DataType dataType);
    void setCount(quint16 count);
    void setAccess(const QString &access);
    void setDefaultValue(float defaultValue);
    void setMinValue(float minValue);
    void setMaxValue(float maxValue);
    void setPrecision(int precision = -1);
    void setStartAddress(quint16 startAddress);
    void setOffset(quint16 offset);
    void setMask(quint64 mask);
    void setRawData(const QVector<quint16> &data);
    void setTypeChart(const QString &typeChart);
    void setVisibleChart(bool visibleChart);
    void setVisible(bool visible);
    void setProfileParameter(bool profileParameter);
    void setColorChart(const QColor &colorChart);
    void setTypeTag(const QString &typeTag);
    void setUpdate(bool update);
    void setByteOrderInput(Pointbook::Tag::ByteOrder byteOrderInput);
    void setByteOrderOutput(Pointbook::Tag::ByteOrder byteOrderOutput);
    void setDampedValue(double dampedValue);
    void setDampingPoints(int dampingPoints);
    void setDamping(bool damping);
    void setEnableDamping(bool enableDamping);

signals:
    void changedValue();
    void changedDampingPoints(int dampingPoints);

private:
    // Decodes the stored words into the (damped) value and announces it.
    void decodeRaw();

    RegisterType m_registerType = UnknownRegister;
    DataType m_dataType = UnknownType;
    QString m_id;
    QString m_name;
    QString m_description;
    QString m_unit;
    QString m_access;
    QString m_typeChart;
    QString m_typeTag;
    quint64 m_mask = 0;
    quint16 m_count = 0;
    quint16 m_startAddress = 0;
    quint16 m_offset = 0;
    qint32 m_precision = 0;
    qint32 m_dampingPoints = 0;
    bool m_bitfield = false;
    bool m_bitfieldEnd = false;
    bool m_update = true;
    bool m_enableDamping = false;
    bool m_damping = false;
    bool m_visibleChart = false;
    bool m_visible = false;
    bool m_profileParameter = false;
    float m_defaultValue = 0.0f;
    float m_minValue = 0.0f;
    float m_maxValue = 0.0f;
    QVariant m_lowerLimit = 0.0;
    QVariant m_upperLimit = 0.0;
    double m_dampedValue = 0.0;
    ByteOrder m_byteOrderInput = UnknownOrder;
    ByteOrder m_byteOrderOutput = UnknownOrder;
    QVector<quint16> m_valueRaw;
    QColor m_colorChart = QColor(0, 0, 0, 255);
    QMutex m_mutex;
};

} // namespace Pointbook

Q_DECLARE_METATYPE(Pointbook::Tag::RegisterType)
Q_DECLARE_METATYPE(Pointbook::Tag::DataType)
Q_DECLARE_METATYPE(Pointbook::Tag::ByteOrder)
