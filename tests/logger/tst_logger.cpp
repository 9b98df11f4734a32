#include <QtTest>
class TstLogger : public QObject { Q_OBJECT private slots: void placeholder() { QVERIFY(true); } };
QTEST_GUILESS_MAIN(TstLogger)
#include "tst_logger.moc"
