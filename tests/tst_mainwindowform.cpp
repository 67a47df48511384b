#include "app/mainwindow.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QVBoxLayout>
#include <QtTest>

// The form as the user sees it right after start: names, places, texts,
// lists and defaults. The item order of the lists is the module's protocol.
class TestMainWindowForm : public QObject
{
    Q_OBJECT
private slots:
    void init() { window = new MainWindow; }
    void cleanup() { delete window; }

    void windowIsFixedSizeWithTitle();
    void groupBoxesInOrder();
    void widgetsSitInTheirCells_data();
    void widgetsSitInTheirCells();
    void listsHoldTheirItemsInOrder_data();
    void listsHoldTheirItemsInOrder();
    void groupIdValidator();

private:
    MainWindow *window = nullptr;
};

void TestMainWindowForm::windowIsFixedSizeWithTitle()
{
    QCOMPARE(window->objectName(), QString("MainWindow"));
    QCOMPARE(window->windowTitle(), QString("Tavrel_Ver:1509181"));
    QCOMPARE(window->minimumSize(), QSize(480, 480));
    QCOMPARE(window->maximumSize(), QSize(480, 480));
    QCOMPARE(window->size(), QSize(480, 480));
    // The group boxes' holder replaced the designer's central widget.
    QCOMPARE(window->centralWidget()->objectName(), QString("verticalLayoutWidget"));
    QCOMPARE(window->statusBar()->objectName(), QString("statusBar"));
    QVERIFY(window->isEnabled());
}

void TestMainWindowForm::groupBoxesInOrder()
{
    auto *column = window->findChild<QVBoxLayout *>("verticalLayout");
    QVERIFY(column);
    QCOMPARE(column->spacing(), 6);
    QCOMPARE(column->contentsMargins(), QMargins(0, 18, 0, 0));
    // box, title, grid holder, holder geometry
    const QStringList boxes{"groupBox_2|RF Parameters|gridLayoutWidget|10,30,441,51",
                            "groupBoxRF|UART Parameters|gridLayoutWidget_2|9,29,441,51",
                            "groupBox_5|Other|gridLayoutWidget_5|10,25,441,71",
                            "groupBox_4|Communication|gridLayoutWidget_4|10,30,441,51"};
    QCOMPARE(column->count(), boxes.size());
    for (int i = 0; i < boxes.size(); ++i) {
        const QStringList f = boxes[i].split('|');
        auto *box = qobject_cast<QGroupBox *>(column->itemAt(i)->widget());
        QVERIFY(box);
        QCOMPARE(box->objectName() + "|" + box->title(), f[0] + "|" + f[1]);
        QVERIFY(!box->layout());
        auto *holder = box->findChild<QWidget *>(f[2], Qt::FindDirectChildrenOnly);
        QVERIFY(holder);
        const QRect g = holder->geometry();
        QCOMPARE(QString("%1,%2,%3,%4").arg(g.x()).arg(g.y()).arg(g.width()).arg(g.height()), f[3]);
        auto *grid = qobject_cast<QGridLayout *>(holder->layout());
        QVERIFY(grid);
        QCOMPARE(grid->spacing(), 6);
        QCOMPARE(grid->contentsMargins(), QMargins(0, 0, 0, 0));
    }
    const QSizePolicy rf = window->findChild<QGroupBox *>("groupBox_2")->sizePolicy();
    QCOMPARE(rf.horizontalPolicy(), QSizePolicy::Preferred);
    QCOMPARE(rf.verticalPolicy(), QSizePolicy::Preferred);
    QCOMPARE(window->findChild<QLabel *>("label_2")->maximumSize(), QSize(50, 24));
    QCOMPARE(window->findChild<QLabel *>("label_9")->maximumSize(), QSize(50, 16777215));
    QCOMPARE(window->findChild<QLineEdit *>("lineEditID")->maximumSize(), QSize(100, 16777215));
    QCOMPARE(window->findChild<QLineEdit *>("lineEditRF")->inputMethodHints(), Qt::ImhNone);
}

void TestMainWindowForm::widgetsSitInTheirCells_data()
{
    QTest::addColumn<QString>("cls");
    QTest::addColumn<QString>("grid");
    QTest::addColumn<QString>("cell"); // row, column, row span, column span
    QTest::addColumn<QString>("text"); // as shown just after start
    const char *rows[] = {
        "lineEditRF QLineEdit gridLayout 0,2,1,1 915",
        "label QLabel gridLayout 0,1,1,1 RF frequency:",
        "label_4 QLabel gridLayout 1,1,1,1 RF TRx rate:",
        "label_3 QLabel gridLayout 0,5,1,1 RF Power:",
        "comboBoxPower QComboBox gridLayout 0,6,1,1 7(Max)",
        "comboBoxWakeupTime QComboBox gridLayout 1,6,1,1 1s",
        "label_5 QLabel gridLayout 1,5,1,1 Wakeup Time:",
        "comboBoxTRX QComboBox gridLayout 1,2,1,2 4.56K",
        "label_16 QLabel gridLayout 0,3,1,1 MHz",
        "comboBoxParity QComboBox gridLayoutRF 0,4,1,1 None",
        "comboBoxBaudrate QComboBox gridLayoutRF 0,1,1,1 9600",
        "label_6 QLabel gridLayoutRF 0,0,1,1 Baudrate:",
        "label_7 QLabel gridLayoutRF 0,3,1,1 Parity Check:",
        "label_2 QLabel gridLayout_5 0,0,1,1 Model:",
        "label_8 QLabel gridLayout_5 0,1,1,1 ",
        "label_9 QLabel gridLayout_5 0,3,1,1 Version:",
        "label_10 QLabel gridLayout_5 0,4,1,1 ",
        "label_12 QLabel gridLayout_5 1,0,1,1 Group ID:",
        "lineEditID QLineEdit gridLayout_5 1,1,1,1 0",
        "label_13 QLabel gridLayout_5 1,3,1,1 MAC:",
        "label_14 QLabel gridLayout_5 1,4,1,1 ",
        "label_15 QLabel gridLayout_5 1,2,1,1 (0~255, 0=disable)",
        "pushButtonAbout QPushButton gridLayout_4 0,4,1,1 About",
        "pushButtonWrite QPushButton gridLayout_4 0,2,1,1 Write",
        "pushButtonRead QPushButton gridLayout_4 0,3,1,1 Read",
        "label_11 QLabel gridLayout_4 0,0,1,1 Port:",
        "comboBoxPort QComboBox gridLayout_4 0,1,1,1 ",
    };
    for (const char *row : rows) {
        const QStringList f = QString(row).split(' ');
        QTest::newRow(qPrintable(f[0])) << f[1] << f[2] << f[3] << f.mid(4).join(' ');
    }
}

void TestMainWindowForm::widgetsSitInTheirCells()
{
    QFETCH(QString, cls);
    QFETCH(QString, grid);
    QFETCH(QString, cell);
    QFETCH(QString, text);
    QWidget *w = window->findChild<QWidget *>(QTest::currentDataTag());
    QVERIFY(w);
    QCOMPARE(QString(w->metaObject()->className()), cls);
    auto *layout = window->findChild<QGridLayout *>(grid);
    QCOMPARE(w->parentWidget(), layout->parentWidget());
    const int index = layout->indexOf(w);
    QVERIFY(index >= 0);
    int r, c, rs, cs;
    layout->getItemPosition(index, &r, &c, &rs, &cs);
    QCOMPARE(QString("%1,%2,%3,%4").arg(r).arg(c).arg(rs).arg(cs), cell);
    QCOMPARE(layout->itemAt(index)->alignment(), Qt::Alignment());
    QString shown = w->property("text").toString();
    if (auto *box = qobject_cast<QComboBox *>(w))
        shown = box->currentText();
    QCOMPARE(shown, text);
    // Read and Write wait for a port; everything else is usable.
    const QString name = QTest::currentDataTag();
    QCOMPARE(w->isEnabled(), name != "pushButtonRead" && name != "pushButtonWrite");
}

void TestMainWindowForm::listsHoldTheirItemsInOrder_data()
{
    QTest::addColumn<QString>("items");
    QTest::newRow("comboBoxTRX") << "0.81K 1.46K 2.6K 4.56K 9.11K 18.23K";
    QTest::newRow("comboBoxPower") << "0 1 2 3 4 5 6 7(Max)";
    QTest::newRow("comboBoxWakeupTime") << "50ms 100ms 200ms 400ms 600ms 1s 1.5s 2s 2.5s 3s 4s 5s";
    QTest::newRow("comboBoxBaudrate") << "1200 2400 4800 9600 19200 38400 57600";
    QTest::newRow("comboBoxParity") << "None Odd Even";
    QTest::newRow("comboBoxPort") << "";
}

void TestMainWindowForm::listsHoldTheirItemsInOrder()
{
    QFETCH(QString, items);
    auto *box = window->findChild<QComboBox *>(QTest::currentDataTag());
    QStringList actual;
    for (int i = 0; i < box->count(); ++i) {
        actual << box->itemText(i);
        QVERIFY(box->itemIcon(i).isNull() && !box->itemData(i).isValid());
    }
    QCOMPARE(actual.join(' '), items);
}

void TestMainWindowForm::groupIdValidator()
{
    auto *edit = window->findChild<QLineEdit *>("lineEditID");
    auto *validator = qobject_cast<const QIntValidator *>(edit->validator());
    QVERIFY(validator);
    QCOMPARE(validator->parent(), window);
    QCOMPARE(validator->bottom(), 0);
    QCOMPARE(validator->top(), 255);
    // Typed as a user would: letters and signs are refused on the way in.
    edit->clear();
    QTest::keyClicks(edit, "-1a2.5");
    QCOMPARE(edit->text(), QString("125"));
    // The frequency field has no validator: anything can be typed.
    auto *rf = window->findChild<QLineEdit *>("lineEditRF");
    QVERIFY(!rf->validator());
    rf->clear();
    QTest::keyClicks(rf, "868,1 MHz");
    QCOMPARE(rf->text(), QString("868,1 MHz"));
}

QTEST_MAIN(TestMainWindowForm)
#include "tst_mainwindowform.moc"
