#include "protocol/WdxRequestProcessor_ReplyArrivedState.h"

WdxRequestProcessor_ReplyArrivedState::WdxRequestProcessor_ReplyArrivedState(QState *parent) : QState(parent) {}

void WdxRequestProcessor_ReplyArrivedState::onEntry(QEvent *event)
{
    QState::onEntry(event);
    emit entered(event);
}

void WdxRequestProcessor_ReplyArrivedState::onExit(QEvent *event)
{
    QState::onExit(event);
    emit exited();
}
