#pragma once

#include "protocol/QRawData.h"

#include <QObject>
#include <QPointer>
#include <QString>

class WdxMessageGeneric;
class WdxRequest;
class WdxRequestProcessor;

namespace QLogger {
class QLoggerManager;
}

// Developer tool on the request path: a loop that posts one raw request again and again and
// keeps its statistics, and single diagnostic requests whose outcome it shows as a text.
//
// Lives on the user-interface thread. The loop's requests complete through queued signals
// from the processor's thread; the single requests block this thread in a local event loop
// until they are final.
class WdxProtocolTester : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString stateString READ stateString NOTIFY stateChanged)
    Q_PROPERTY(QString debugMessage READ debugMessage WRITE setDebugMessage NOTIFY debugMessageChanged)
    Q_PROPERTY(QString successRate READ successRate NOTIFY successRateChanged)
    Q_PROPERTY(QString rawTestRequest READ rawTestRequest WRITE setRawTestRequest NOTIFY rawTestRequestChanged)
    Q_PROPERTY(QString rawCustomRequest READ rawCustomRequest WRITE setRawCustomRequest NOTIFY rawCustomRequestChanged)
    Q_PROPERTY(int interval READ interval WRITE setInterval NOTIFY intervalChanged)
    Q_PROPERTY(int timeout READ timeout WRITE setTimeout NOTIFY timeoutChanged)
    Q_PROPERTY(bool runForever READ runForever WRITE setRunForever NOTIFY runForeverChanged)
    Q_PROPERTY(int nextBlockId READ nextBlockId NOTIFY nextBlockIdChanged)
    Q_PROPERTY(int maxRetry READ maxRetry WRITE setMaxRetry NOTIFY maxRetryChanged)

public:
    enum enState { enState_Idle = 0, enState_Working = 1, enState_Paused = 2 };
    Q_ENUM(enState)

    explicit WdxProtocolTester(QObject *parent = nullptr);
    ~WdxProtocolTester() override;

    // Called once by the application root. Unplugging pauses a running loop, replugging
    // resumes it.
    void setRequestProcessor(WdxRequestProcessor *processor);
    WdxRequestProcessor *requestProcessor() const;

    int state() const { return m_state; }
    QString stateString() const { return stateText(m_state); }
    static QString stateText(int state);

    QString debugMessage() const { return m_debugMessage; }
    void setDebugMessage(const QString &message);
    QString successRate() const { return successRateText(m_succeededCount, m_writtenCount); }
    QString averageTime() const { return averageTimeText(m_totalTimeMs, m_writtenCount); }
    QString rawTestRequest() const { return m_rawTestRequest; }
    void setRawTestRequest(const QString &text);
    QString rawCustomRequest() const { return m_rawCustomRequest; }
    void setRawCustomRequest(const QString &text);
    int interval() const;
    void setInterval(int milliseconds);
    int timeout() const;
    void setTimeout(int milliseconds);
    bool runForever() const { return m_runForever; }
    void setRunForever(bool value);
    int maxRetry() const { return m_maxRetry; }
    void setMaxRetry(int value);

    quint64 queuedCount() const { return m_queuedCount; }
    quint64 writtenCount() const { return m_writtenCount; }
    quint64 succeededCount() const { return m_succeededCount; }
    quint64 timeoutCount() const { return m_timeoutCount; }
    quint64 errorCount() const { return m_errorCount; }
    int totalTimeMs() const { return m_totalTimeMs; }

    QString statusLine() const;
    QString completionLine() const;

    // The texts of the statistics: "0%" and "0" before anything was written.
    static QString successRateText(quint64 succeeded, quint64 written);
    static QString averageTimeText(qint64 totalMs, quint64 written);
    static QString number(double value);

    // The text a person typed as a request: byte pairs of hexadecimal digits (blanks between
    // pairs allowed) that make exactly one valid frame. On refusal `why` says what is wrong.
    static bool frameFromText(const QString &text, QRawData &frame, QString &why);

signals:
    void stateChanged();
    void debugMessageChanged();
    void successRateChanged();
    void intervalChanged();
    void timeoutChanged();
    void replyReceived();
    void timeoutReceived();
    void runForeverChanged();
    void nextBlockIdChanged();
    void rawTestRequestChanged();
    void rawCustomRequestChanged();
    void maxRetryChanged();
    void postTestRequest();

public slots:
    void startTest();
    void resetUart();
    void reset();
    void lockOnBoot();
    void getDeviceType();
    void getSN();
    void getStatus();
    void getFwStatus();
    void setFwStatus(quint8 status);
    void writeBlock();
    void readBlock();
    quint8 nextBlockId() const { return m_nextBlockId; }
    void stopTest();
    void resumeTest();
    void pauseTest();
    void onRequestWritten();
    void onRequestCompleted();
    bool onPostTestRequest();
    // Sends rawCustomRequest once and shows the answer.
    void sendCustomRequest();

private:
    // Runs one diagnostic request to its end; null when it could not be run (nothing to
    // show then). The caller releases the request.
    WdxRequest *execute(WdxRequest *request);
    void sendWithoutReply(const WdxMessageGeneric &message, const QString &doneText);
    void showDeviceInfo(quint8 subCode, const QString &format);
    // The status text of a request that did not complete, or empty for Completed.
    static QString outcomeText(const WdxRequest *request);
    static qint64 elapsedMs(const WdxRequest *request);
    void setState(int state);

    QRawData m_testBlockData;
    int m_testBlockSize = 512;
    int m_testBlockCount = 8;
    int m_state = enState_Idle;
    QString m_debugMessage;
    QPointer<WdxRequestProcessor> m_requestProcessor;
    QString m_rawTestRequest;
    QString m_rawCustomRequest;
    quint64 m_queuedCount = 0;
    quint64 m_writtenCount = 0;
    quint64 m_succeededCount = 0;
    quint64 m_timeoutCount = 0;
    quint64 m_errorCount = 0;
    int m_totalTimeMs = 0;
    bool m_runForever = false;
    int m_maxRetry = 0;
    quint8 m_nextBlockId = 0;
    QLogger::QLoggerManager *m_logger = nullptr;
    // The loop's one request on its way (it survives a pause). A request left over from a
    // stopped run is not this one: its outcome is not counted and it posts nothing.
    WdxRequest *m_loopRequest = nullptr;
};
