#pragma once

#include "pointbook_global.h"

#include <QWidget>

QT_BEGIN_NAMESPACE
class QLabel;
class QTableWidget;
QT_END_NAMESPACE

namespace Pointbook {

class BaseTag;

// How many tags each register table holds, and one table row per tag,
// sorted by register type, start address and mask.
class POINTBOOK_EXPORT InfoTagBase : public QWidget
{
    Q_OBJECT

public:
    explicit InfoTagBase(QWidget *parent = nullptr);

    // Fills the view once; later changes of the collection are not followed.
    void setBase(BaseTag *base);
    void clearTable();

private:
    QTableWidget *m_table;
    QLabel *m_captionIr;
    QLabel *m_captionHr;
    QLabel *m_captionDi;
    QLabel *m_captionCo;
    QLabel *m_valueIr;
    QLabel *m_valueHr;
    QLabel *m_valueDi;
    QLabel *m_valueCo;
};

} // namespace Pointbook
