#pragma once

#include <QEvent>
#include <QState>

// A state that hands its entry event to the entry handler, so that the handler can read the
// arguments of the signal whose transition entered it (a QStateMachine::SignalEvent).
class WdxRequestProcessor_ReplyArrivedState : public QState
{
    Q_OBJECT
public:
    explicit WdxRequestProcessor_ReplyArrivedState(QState *parent = nullptr);

signals:
    void entered(QEvent *event);
    void exited();

protected:
    void onEntry(QEvent *event) override;
    void onExit(QEvent *event) override;
};
