#include <QtTest>

// Filled in by the link and engine work.
class Placeholder : public QObject
{
    Q_OBJECT
};

QTEST_GUILESS_MAIN(Placeholder)
#include "tst_requestprocessor.moc"
