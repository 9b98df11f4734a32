#include "control/WdxController_SecuritySettings.h"

#include "protocol/WdxRequestBuilder.h"
#include "protocol/WdxRequestProcessor.h"

using namespace WdxRequestBuilder;

namespace {
constexpr quint8 kUnlockSubCode = 0x00;
constexpr quint8 kUnlocked = 0x01;
constexpr quint8 kAccessMask = 0x0F;
}

WdxController_SecuritySettings::WdxController_SecuritySettings(WdxRequestProcessor *processor, QObject *parent)
    : WdxSubController(processor, parent)
{
}

bool WdxController_SecuritySettings::unlock(const QString &password)
{
    if (!canSend())
        return false;
    auto *request = new WdxRequest(unlockMessage(password), this);
    request->setMaxRetry(kMaxRetry);
    request->setPriority(WdxRequestProcessor::kExecutePriority);
    if (!processor()->executeRequest(request) || request->status() == WdxRequest::Merged) {
        request->deleteLater();
        return false;
    }
    const WdxMessageGeneric reply = request->replyMessage();
    const QRawData &data = reply.data();
    const bool accepted = request->status() == WdxRequest::Completed && !reply.hasError()
        && (reply.commandType() & kAccessMask) != 0 && reply.operationCode() == enOperationCode_SecuritySettings
        && data.byteLen() == 2 && data.at(0) == kUnlockSubCode;
    request->deleteLater();
    return accepted && data.at(1) == kUnlocked;
}

void WdxController_SecuritySettings::lock(const QString &password)
{
    postWrite(lockMessage(password), kMaxRetry);
}
