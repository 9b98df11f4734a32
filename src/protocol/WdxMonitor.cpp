#include "protocol/WdxMonitor.h"

#include "link/UsbHidUart.h"
#include "logger/QLoggerManager.h"
#include "protocol/UsbHidId.h"

#include <QFinalState>
#include <QState>
#include <QStateMachine>
#include <QThread>
#include <QTimer>

namespace {
const char *const kModule = "WdxMonitor";

constexpr quint16 kVendorId = 0x2B42;
}

WdxMonitor::WdxMonitor(bool extendedIds, QObject *parent) : QObject(parent), m_extendedIds(extendedIds)
{
    qRegisterMetaType<WdxMessageGeneric>("WdxMessageGeneric");
    qRegisterMetaType<QRawData>("QRawData");
    qRegisterMetaType<WdxMonitor::enErrCode>("WdxMonitor::enErrCode");
    m_logger = QLogger::QLoggerManager::registerModule(kModule, QLogger::Trace);
    m_logger->debug(kModule, __func__, "Logger created");
}

WdxMonitor::~WdxMonitor()
{
    if (m_connectionTimer)
        m_connectionTimer->stop();
    if (m_parseTimer)
        m_parseTimer->stop();
    UsbHidUart *bridge = nullptr;
    {
        // No write may be using the driver while it goes.
        std::lock_guard<std::mutex> lock(m_writeLock);
        bridge = m_bridge.exchange(nullptr);
    }
    if (bridge) {
        disconnect(bridge, nullptr, this, nullptr);
        bridge->close();
        delete bridge;
    }
    if (m_parser) {
        disconnect(m_parser, nullptr, this, nullptr);
        delete m_parser.data();
    }
    qDeleteAll(m_idList);
}

bool WdxMonitor::isConnected() const
{
    return m_isConnected.load();
}

void WdxMonitor::setIsConnected(bool value)
{
    if (m_isConnected.exchange(value) == value)
        return;
    if (value) {
        m_logger->debug(kModule, __func__, "Wdx connected");
        emit wdxConnected();
    } else {
        m_logger->debug(kModule, __func__, "Wdx disconnected");
        emit wdxDisconnected();
    }
}

void WdxMonitor::buildIdList()
{
    qDeleteAll(m_idList);
    m_idList.clear();
    if (m_extendedIds) {
        m_idList << new UsbHidId(0x10C4, 0xEAB0) << new UsbHidId(kVendorId, 0x0064) << new UsbHidId(kVendorId, 0x0050);
    }
    m_idList << new UsbHidId(kVendorId, 0x0045) << new UsbHidId(kVendorId, 0x0046) << new UsbHidId(kVendorId, 0x0043)
             << new UsbHidId(kVendorId, 0x0044);
    m_currentId = 0;
}

void WdxMonitor::initialize()
{
    m_logger->trace(kModule, __func__, "initializing");
    if (m_bridge.load()) {
        m_logger->warning(kModule, __func__, "Already initialized");
        return;
    }
    buildIdList();

    m_connectionTimer = new QTimer(this);
    m_connectionTimer->setInterval(kConnectionTickMs);
    connect(this, &WdxMonitor::wdxConnected, m_connectionTimer, &QTimer::stop);
    connect(this, &WdxMonitor::wdxDisconnected, m_connectionTimer, QOverload<>::of(&QTimer::start));

    m_parseTimer = new QTimer(this);
    m_parseTimer->setSingleShot(true);
    m_parseTimer->setInterval(kParseTimeoutMs);

    auto *bridge = new UsbHidUart;
    connect(bridge, &UsbHidUart::error, this, &WdxMonitor::onError);
    connect(bridge, &UsbHidUart::disconnected, this, &WdxMonitor::closeConnection);
    {
        std::lock_guard<std::mutex> lock(m_writeLock);
        m_bridge.store(bridge);
    }

    buildParser();
}

void WdxMonitor::buildParser()
{
    m_logger->trace(kModule, "initialize", "Initialize state machine");
    UsbHidUart *bridge = m_bridge.load();
    m_parser = new QStateMachine(this);
    auto *idle = new QState(m_parser);
    auto *parsing = new QState(m_parser);
    auto *timeout = new QState(m_parser);
    auto *errorState = new QState(m_parser);
    idle->setObjectName(QStringLiteral("Idle"));
    parsing->setObjectName(QStringLiteral("Parsing"));
    timeout->setObjectName(QStringLiteral("Timeout"));
    errorState->setObjectName(QStringLiteral("Error"));
    m_parser->setInitialState(idle);

    idle->addTransition(bridge, &UsbHidUart::readyRead, parsing);
    parsing->addTransition(bridge, &UsbHidUart::readyRead, parsing);
    parsing->addTransition(m_parseTimer, &QTimer::timeout, timeout);
    timeout->addTransition(timeout, &QState::entered, idle);
    idle->addTransition(bridge, &UsbHidUart::error, errorState);
    parsing->addTransition(bridge, &UsbHidUart::error, errorState);
    errorState->addTransition(errorState, &QState::entered, idle);

    connect(idle, &QState::entered, this, &WdxMonitor::onIdleStateEntered);
    connect(parsing, &QState::entered, this, &WdxMonitor::onParsingStateEntered);
    connect(timeout, &QState::entered, this, &WdxMonitor::onTimeoutStateEntered);
    connect(errorState, &QState::entered, this, &WdxMonitor::onErrorStateEntered);
    connect(m_parser, &QStateMachine::started, this, &WdxMonitor::onStateMachineStarted);
    connect(m_parser, &QStateMachine::stopped, this, &WdxMonitor::onStateMachineStopped);

    m_parser->start();
}

void WdxMonitor::enable()
{
    // The owner may call this from its own thread; the timer belongs to this one.
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(this, &WdxMonitor::enable, Qt::QueuedConnection);
        return;
    }
    if (m_checkingEnabled || !m_connectionTimer)
        return;
    connect(m_connectionTimer, &QTimer::timeout, this, &WdxMonitor::checkIsConnected, Qt::UniqueConnection);
    QMetaObject::invokeMethod(m_connectionTimer, QOverload<>::of(&QTimer::start), Qt::QueuedConnection);
    m_checkingEnabled = true;
}

void WdxMonitor::resume()
{
    enable();
}

void WdxMonitor::disable()
{
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(this, &WdxMonitor::disable, Qt::QueuedConnection);
        return;
    }
    if (!m_checkingEnabled || !m_connectionTimer)
        return;
    disconnect(m_connectionTimer, &QTimer::timeout, this, &WdxMonitor::checkIsConnected);
    QMetaObject::invokeMethod(m_connectionTimer, &QTimer::stop, Qt::QueuedConnection);
    m_checkingEnabled = false;
}

void WdxMonitor::pause()
{
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(this, &WdxMonitor::pause, Qt::QueuedConnection);
        return;
    }
    disable();
    closeConnection();
}

void WdxMonitor::closeConnection()
{
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(this, &WdxMonitor::closeConnection, Qt::QueuedConnection);
        return;
    }
    UsbHidUart *bridge = m_bridge.load();
    if (bridge && bridge->isOpen()) {
        m_logger->debug(kModule, __func__, "Device disconnected, close it");
        bridge->close();
        m_logger->debug(kModule, __func__, "Device closed");
    }
    m_logger->debug(kModule, __func__, "Wdx disconnected");
    setIsConnected(false);
}

WdxMonitor::enErrCode WdxMonitor::write(QRawData data, bool maskInLog)
{
    std::lock_guard<std::mutex> lock(m_writeLock);
    UsbHidUart *bridge = m_bridge.load();
    if (!bridge)
        return enErrCode_NotConnected;
    const int written = bridge->write(data, m_writeTimeout.load(), maskInLog);
    if (written < 0)
        return enErrCode_NotConnected;
    if (written < data.byteLen()) {
        m_logger->error(kModule, __func__, "Error writing to usb hid device");
        return enErrCode_CommunicationError;
    }
    return enErrCode_Ok;
}

void WdxMonitor::onError()
{
    emit error();
}

void WdxMonitor::checkIsConnected()
{
    if (m_isConnected.load())
        return;
    UsbHidUart *bridge = m_bridge.load();
    if (!bridge || m_idList.isEmpty())
        return;
    int current = m_currentId.load();
    if (current < 0 || current >= m_idList.size())
        current = 0;
    const UsbHidId *id = m_idList.at(current);
    if (bridge->checkIsConnected(id->vendorId(), id->productId()) && !bridge->isOpen()) {
        m_logger->debug(kModule, __func__, "Device connected, initialize id");
        if (bridge->initialize(id->vendorId(), id->productId())) {
            m_currentId.store(current);
            setIsConnected(true);
            return;
        }
    }
    m_currentId.store((current + 1) % m_idList.size());
}

void WdxMonitor::onStateMachineStarted()
{
    m_logger->trace(kModule, __func__, "Parser state machine started");
}

void WdxMonitor::onStateMachineStopped()
{
    m_logger->trace(kModule, __func__, "Parser state machine stopped");
    emit finished();
    if (m_parser) {
        m_parser->deleteLater();
        m_parser = nullptr;
    }
}

void WdxMonitor::onIdleStateEntered()
{
    m_logger->trace(kModule, __func__, "Idle");
}

void WdxMonitor::onParsingStateEntered()
{
    m_logger->trace(kModule, __func__, "Data arrived, parsing");
    m_logger->trace(kModule, __func__, "stopping timer");
    m_parseTimer->stop();
    m_logger->trace(kModule, __func__, "Timer stopped");
    if (m_parseTimer->isActive())
        m_logger->error(kModule, __func__, "Timer still active!!!!");

    UsbHidUart *bridge = m_bridge.load();
    while (bridge && bridge->bytesAvailable() > 0) {
        QRawData received;
        const int count = bridge->read(received);
        m_logger->trace(kModule, __func__, QStringLiteral("%1 bytes arrived").arg(count));
        if (count <= 0)
            continue;
        m_logger->trace(kModule, __func__, "appending data");
        m_inputBuffer.append(received);
        m_logger->trace(kModule, __func__, QStringLiteral("buffer has %1 bytes").arg(m_inputBuffer.byteLen()));

        do {
            m_logger->trace(kModule, __func__, QStringLiteral("parsing message %1").arg(m_inputBuffer.toHex()));
            WdxMessageGeneric message;
            const int parsed = WdxMessageGeneric::parse(m_inputBuffer, message);
            m_logger->trace(kModule, __func__, QStringLiteral("%1 bytes parsed").arg(parsed));
            if (parsed <= 0)
                break;
            m_inputBuffer = m_inputBuffer.GetRange(qMin(parsed, m_inputBuffer.byteLen()));
            if (message.isValid()) {
                m_logger->trace(kModule, __func__, "message arrived");
                emit messageArrived(message);
            }
        } while (!m_inputBuffer.isEmpty());
    }

    m_logger->trace(kModule, __func__, "Starting timer");
    m_parseTimer->start();
    m_logger->trace(kModule, __func__, "On entered done");
}

void WdxMonitor::onTimeoutStateEntered()
{
    if (!m_inputBuffer.isEmpty()) {
        m_logger->warning(kModule, __func__,
                          QStringLiteral("Timeout on parsing, clear input buffer [%1]").arg(m_inputBuffer.toHex()));
    }
    m_inputBuffer.resize(0);
}

void WdxMonitor::onErrorStateEntered()
{
    m_logger->trace(kModule, __func__, "Error");
    m_inputBuffer.resize(0);
}
