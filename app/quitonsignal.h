#pragma once

#include <QObject>

QT_BEGIN_NAMESPACE
class QSocketNotifier;
QT_END_NAMESPACE

// Turns SIGTERM and SIGINT into an orderly end: every running event loop is
// left, including that of an open modal box, so the entry function tears
// down in its usual order (plug-ins get aboutToShutdown) instead of the
// process dying on the spot.
class QuitOnSignal : public QObject
{
    Q_OBJECT

public:
    explicit QuitOnSignal(QObject *parent = nullptr);
    ~QuitOnSignal() override;

private:
    void handle();
    void exitWhenLoopRuns();

    QSocketNotifier *m_notifier = nullptr;
};
