#include "control/WdxSubController.h"

#include "protocol/WdxRequestProcessor.h"

namespace {
constexpr quint8 kAccessMask = 0x0F;
constexpr quint8 kFamilyMask = 0xF0;
}

WdxSubController::WdxSubController(WdxRequestProcessor *processor, QObject *parent)
    : QObject(parent), m_processor(processor)
{
}

bool WdxSubController::canSend() const
{
    return m_processor && m_processor->isConnected();
}

bool WdxSubController::post(WdxRequest *request, quint8 priority)
{
    request->setPriority(priority);
    if (!m_processor->postRequest(request, priority) || request->status() == WdxRequest::Merged) {
        request->deleteLater();
        return false;
    }
    return true;
}

bool WdxSubController::postWrite(const WdxMessageGeneric &message, int maxRetry)
{
    if (!canSend())
        return false;
    auto *request = new WdxRequest(message, this);
    connect(request, &WdxRequest::completed, request, &QObject::deleteLater);
    request->setMaxRetry(maxRetry);
    return post(request, kWritePriority);
}

void WdxSubController::complete(quint8 op, const DataCheck &accepts, const Decoder &decode,
                                const std::function<void()> &repost)
{
    auto *request = qobject_cast<WdxRequest *>(sender());
    if (!request)
        return;
    request->deleteLater();
    const WdxMessageGeneric reply = request->replyMessage();
    const quint8 kind = request->requestMessage().commandType() & kAccessMask;
    const bool usable = request->status() == WdxRequest::Completed && !reply.hasError()
        && (reply.commandType() & kAccessMask) == kind && reply.operationCode() == op && accepts(reply.data());
    if (usable)
        decode(reply.data());
    else if (request->repostOnFail() && repost)
        repost();
}

WdxSubController::DataCheck WdxSubController::exactly(int length, quint8 subCode)
{
    return [length, subCode](const QRawData &data) { return data.byteLen() == length && data.at(0) == subCode; };
}

WdxSubController::DataCheck WdxSubController::atLeast(int length, quint8 subCode)
{
    return [length, subCode](const QRawData &data) { return data.byteLen() >= length && data.at(0) == subCode; };
}

WdxSubController::DataCheck WdxSubController::exactlyInFamily(int length, quint8 family)
{
    return [length, family](const QRawData &data) {
        return data.byteLen() == length && (data.at(0) & kFamilyMask) == family;
    };
}
