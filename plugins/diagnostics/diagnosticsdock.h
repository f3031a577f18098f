#pragma once

#include "diagnostics_global.h"

#include <QDockWidget>
#include <QPointer>

QT_BEGIN_NAMESPACE
class QComboBox;
class QGridLayout;
class QLabel;
class QTableView;
class QTimer;
class QToolButton;
QT_END_NAMESPACE

namespace Fieldlink {
namespace FieldlinkCore {
class ModbusConnection;
class TrafficRecorder;
} // namespace FieldlinkCore
} // namespace Fieldlink

namespace Diagnostics {

class TrafficLogModel;

// The link's health at a glance: requests sent, answered, timed out,
// exceptions by code, malformed replies, link failures and reconnects; the
// request rate and round-trip times of the last minute; and the traffic log
// (pause, clear, filter by result, save as text). Refreshed twice a second
// while shown. Its widgets are built when the dock is first made visible or
// any of its functions is used.
class DIAGNOSTICS_EXPORT DiagnosticsDock : public QDockWidget
{
    Q_OBJECT

public:
    enum { RefreshIntervalMs = 500 };

    DiagnosticsDock(Fieldlink::FieldlinkCore::ModbusConnection *connection,
                    Fieldlink::FieldlinkCore::TrafficRecorder *recorder, QWidget *parent = nullptr);

    TrafficLogModel *logModel() const { return m_model; }
    QTableView *logView() const;
    // The text of one counter: "sent", "answered", "timeouts", "exceptions",
    // "malformed", "linkFailures", "reconnects", "rate", "roundTrip".
    QString counterText(const QString &name) const;

public slots:
    void refresh();
    void setPaused(bool paused);
    void clearLog();
    void resetCounters();
    // Asks for a file name, then saves the rows shown.
    void saveLog();

protected:
    bool event(QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void ensureBody() const;
    void buildBody();
    QLabel *addCounter(QGridLayout *grid, int row, int column, const QString &caption,
                       const QString &name, const QString &toolTip, int span = 1);

    QPointer<Fieldlink::FieldlinkCore::ModbusConnection> m_connection;
    Fieldlink::FieldlinkCore::TrafficRecorder *m_recorder;
    TrafficLogModel *m_model;
    // The body below is built on first use (shown, or asked for).
    QTableView *m_view = nullptr;
    QToolButton *m_pause = nullptr;
    QComboBox *m_filter = nullptr;
    QTimer *m_timer;
    bool m_followTail = true;
};

} // namespace Diagnostics
