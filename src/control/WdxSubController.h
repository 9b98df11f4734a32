#pragma once

#include "protocol/QRawData.h"
#include "protocol/WdxMessageGeneric.h"
#include "protocol/WdxRequest.h"

#include <QObject>

#include <functional>

class WdxRequestProcessor;

// What every settings family shares: reads posted at priority 0 whose answers come back to a
// completion slot, writes posted at priority 2 whose answers nobody examines, and the checks
// an answer must pass before a family decodes it. A family adds only its OP, sub-codes, DATA
// checks and decoding.
//
// Lives on the user-interface thread; the requests' completed() reach it there.
class WdxSubController : public QObject
{
    Q_OBJECT
public:
    static constexpr quint8 kReadPriority = 0;
    static constexpr quint8 kWritePriority = 2;

    WdxRequestProcessor *processor() const { return m_processor; }

protected:
    WdxSubController(WdxRequestProcessor *processor, QObject *parent);

    // Nothing goes out without a connected processor.
    bool canSend() const;

    // Posts a read whose completed() reaches `slot`; false when nothing went out on its own
    // (not connected, refused, or merged into an equal read already waiting).
    template <typename Family>
    bool postRead(const WdxMessageGeneric &message, void (Family::*slot)(), bool repostOnFail = false)
    {
        if (!canSend())
            return false;
        auto *request = new WdxRequest(message, this);
        request->setRepostOnFail(repostOnFail);
        connect(request, &WdxRequest::completed, static_cast<Family *>(this), slot);
        return post(request, kReadPriority);
    }

    bool postWrite(const WdxMessageGeneric &message, int maxRetry = 0);

    // Body of a completion slot. The finished request is the sender; it is released in every
    // case. When the common checks (Completed, no error bit, an answer of the request's kind,
    // `op`) and `accepts` hold, `decode` gets the answer's DATA; otherwise `repost` runs if the
    // request asked for it.
    using DataCheck = std::function<bool(const QRawData &)>;
    using Decoder = std::function<void(const QRawData &)>;
    void complete(quint8 op, const DataCheck &accepts, const Decoder &decode,
                  const std::function<void()> &repost = {});

    // Common DATA checks.
    static DataCheck exactly(int length, quint8 subCode);
    static DataCheck atLeast(int length, quint8 subCode);
    static DataCheck exactlyInFamily(int length, quint8 family);

private:
    bool post(WdxRequest *request, quint8 priority);

    WdxRequestProcessor *m_processor;
};
