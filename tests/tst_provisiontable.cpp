// The provisioning station's table of values by MAC.
#include "cli/provisiontable.h"

#include <QtTest>

class TestProvisionTable : public QObject
{
    Q_OBJECT
private slots:
    // What a table may look like, and how a malformed one is refused.
    void parseTable()
    {
        const QList<QPair<QByteArray, QString>> cases{
            {"\xef\xbb\xbfMAC,Group,frequency\r\n\"01:02:03:04:05:06:07:08\",7,\r\n\r\n", ""},
            {"\n", "line 1: no header line"},
            {"group\n7\n", "line 1: the header names no \"mac\""},
            {"mac,colour\n", "line 1: unknown column"},
            {"mac,group,Group\n", "line 1: column \"Group\""},
            {"\nmac,group\n0102030405060708\n",
             "line 3: 1 cells where the header on line 2 names 2"},
            {"mac\n01020304050607\n", "line 2: MAC \"0102"},
            {"mac,group\n0102030405060708,1\n01-02-03-04-05-06-07-08,2\n",
             "line 3: MAC 0102030405060708 already listed on line 2"}};
        for (const auto &c : cases) {
            QString why;
            const std::optional<ProvisionTable> table = ProvisionTable::parse(c.first, &why);
            QVERIFY2(c.second.isEmpty() ? bool(table) : !table && why.startsWith(c.second),
                     c.first + why.toUtf8());
            if (table) { // the spreadsheet's MAC gets group 7
                QCOMPARE(table->row("0102030405060708"),
                         (CliFormat::Changes{{Frames::GroupId, 7}}));
                QVERIFY(!table->row("0102030405060709"));
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestProvisionTable)
#include "tst_provisiontable.moc"
