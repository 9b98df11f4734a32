#pragma once

#include "control/WdxSubController.h"

#include <QString>

// Security Settings (OP 0x09): the PIN lock. The application keeps no PIN; the device checks
// it. Exposed to the scene's PIN pad.
class WdxController_SecuritySettings : public WdxSubController
{
    Q_OBJECT
public:
    explicit WdxController_SecuritySettings(WdxRequestProcessor *processor, QObject *parent = nullptr);

    // Blocks the caller in a local event loop until the device has answered (at most four
    // reply time-outs). False for a wrong PIN and for every failure alike.
    Q_INVOKABLE bool unlock(const QString &password);
    // Sets this PIN on the device and locks it; the outcome shows in the next lock status read.
    Q_INVOKABLE void lock(const QString &password);

    static constexpr int kMaxRetry = 3;
};
