#include <QtTest>
class TestCliWrite : public QObject { Q_OBJECT };
QTEST_GUILESS_MAIN(TestCliWrite)
#include "tst_cliwrite.moc"
