#include "discovery/usbadapter.h"

#include <QtTest>

// The udev rule as the build wrote it for the packages: one line for each
// recognised adapter and none for any other device.
class TestUdevRules : public QObject
{
    Q_OBJECT
private slots:
    void oneRuleForEachRecognisedAdapter()
    {
        // udev reads the files of all its folders in the order of their
        // names; systemd grants the uaccess tag in 73-seat-late.rules.
        QVERIFY(QFileInfo(RADIOCONF_UDEV_RULES).fileName() < QLatin1String("73-seat-late.rules"));

        QFile file(RADIOCONF_UDEV_RULES);
        QVERIFY2(file.open(QIODevice::ReadOnly | QIODevice::Text), qPrintable(file.errorString()));
        // A rule: comma-separated KEY[{name}]OPERATOR"value", in any order.
        QStringList rules;
        for (const QString &line : QString::fromUtf8(file.readAll()).split('\n')) {
            if (line.trimmed().isEmpty() || line.startsWith('#'))
                continue;
            QStringList expressions;
            for (const QString &expression : line.split(','))
                expressions << expression.trimmed();
            expressions.sort();
            rules << expressions.join(", ");
        }

        QStringList wanted;
        for (const UsbAdapter &adapter : RECOGNISED_ADAPTERS) {
            // sysfs writes the identifiers in lower case.
            const QStringList ids = adapter.identifiers().toLower().split(':');
            QStringList expressions{"SUBSYSTEM==\"tty\"", "ATTRS{idVendor}==\"" + ids[0] + '"',
                                    "ATTRS{idProduct}==\"" + ids[1] + '"', "TAG+=\"uaccess\"",
                                    "ENV{ID_MM_DEVICE_IGNORE}=\"1\""};
            expressions.sort();
            wanted << expressions.join(", ");
        }
        rules.sort();
        wanted.sort();
        QCOMPARE(rules, wanted);
    }
};

QTEST_GUILESS_MAIN(TestUdevRules)
#include "tst_udevrules.moc"
