#include "protocol/WdxMonitor.h"

// Interface first so the request processor can be built against it; the connection checks
// and the parser follow.

WdxMonitor::WdxMonitor(bool extendedIds, QObject *parent) : QObject(parent), m_extendedIds(extendedIds)
{
    qRegisterMetaType<WdxMessageGeneric>("WdxMessageGeneric");
    qRegisterMetaType<QRawData>("QRawData");
    qRegisterMetaType<WdxMonitor::enErrCode>("WdxMonitor::enErrCode");
}

WdxMonitor::~WdxMonitor() = default;

bool WdxMonitor::isConnected() const { return m_isConnected.load(); }

void WdxMonitor::initialize() {}
void WdxMonitor::enable() {}
void WdxMonitor::disable() {}
void WdxMonitor::pause() {}
void WdxMonitor::resume() {}
void WdxMonitor::closeConnection() {}
WdxMonitor::enErrCode WdxMonitor::write(QRawData data)
{
    Q_UNUSED(data);
    return enErrCode_NotConnected;
}
void WdxMonitor::onError() { emit error(); }
void WdxMonitor::checkIsConnected() {}
void WdxMonitor::onStateMachineStarted() {}
void WdxMonitor::onStateMachineStopped() {}
void WdxMonitor::onIdleStateEntered() {}
void WdxMonitor::onParsingStateEntered() {}
void WdxMonitor::onTimeoutStateEntered() {}
void WdxMonitor::onErrorStateEntered() {}
void WdxMonitor::setIsConnected(bool value) { m_isConnected.store(value); }
void WdxMonitor::buildIdList() {}
void WdxMonitor::buildParser() {}
