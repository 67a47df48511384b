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
    void widgetsSitInTheirCells_data();
    void widgetsSitInTheirCells();
    void groupBoxesInOrder();
    void listsHoldTheirItemsInOrder_data();
    void listsHoldTheirItemsInOrder();
    void startValues();
    void groupIdValidator_data();
    void groupIdValidator();
    void frequencyFieldTakesAnyText();

private:
    template <typename T> T *child(const QString &name)
    {
        T *w = window->findChild<T *>(name);
        if (!w)
            qWarning("missing %s", qPrintable(name));
        return w;
    }
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
    QVERIFY(window->statusBar());
    QCOMPARE(window->statusBar()->objectName(), QString("statusBar"));
    QVERIFY(window->statusBar()->currentMessage().isEmpty());
}

void TestMainWindowForm::widgetsSitInTheirCells_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("layout");
    QTest::addColumn<QRect>("cell"); // row, column, row span, column span
    QTest::addColumn<QString>("text");

    auto row = [](const char *name, const char *cls, const char *layout, int r, int c, int rs,
                  int cs, const char *text) {
        QTest::newRow(name) << QString(name) << QString(cls) << QString(layout)
                            << QRect(r, c, rs, cs) << QString::fromUtf8(text);
    };
    row("lineEditRF", "QLineEdit", "gridLayout", 0, 2, 1, 1, "915");
    row("label", "QLabel", "gridLayout", 0, 1, 1, 1, "RF frequency:");
    row("label_4", "QLabel", "gridLayout", 1, 1, 1, 1, "RF TRx rate:");
    row("label_3", "QLabel", "gridLayout", 0, 5, 1, 1, "RF Power:");
    row("comboBoxPower", "QComboBox", "gridLayout", 0, 6, 1, 1, "7(Max)");
    row("comboBoxWakeupTime", "QComboBox", "gridLayout", 1, 6, 1, 1, "1s");
    row("label_5", "QLabel", "gridLayout", 1, 5, 1, 1, "Wakeup Time:");
    row("comboBoxTRX", "QComboBox", "gridLayout", 1, 2, 1, 2, "4.56K");
    row("label_16", "QLabel", "gridLayout", 0, 3, 1, 1, "MHz");
    row("comboBoxParity", "QComboBox", "gridLayoutRF", 0, 4, 1, 1, "None");
    row("comboBoxBaudrate", "QComboBox", "gridLayoutRF", 0, 1, 1, 1, "9600");
    row("label_6", "QLabel", "gridLayoutRF", 0, 0, 1, 1, "Baudrate:");
    row("label_7", "QLabel", "gridLayoutRF", 0, 3, 1, 1, "Parity Check:");
    row("label_2", "QLabel", "gridLayout_5", 0, 0, 1, 1, "Model:");
    row("label_8", "QLabel", "gridLayout_5", 0, 1, 1, 1, "");
    row("label_9", "QLabel", "gridLayout_5", 0, 3, 1, 1, "Version:");
    row("label_10", "QLabel", "gridLayout_5", 0, 4, 1, 1, "");
    row("label_12", "QLabel", "gridLayout_5", 1, 0, 1, 1, "Group ID:");
    row("lineEditID", "QLineEdit", "gridLayout_5", 1, 1, 1, 1, "0");
    row("label_13", "QLabel", "gridLayout_5", 1, 3, 1, 1, "MAC:");
    row("label_14", "QLabel", "gridLayout_5", 1, 4, 1, 1, "");
    row("label_15", "QLabel", "gridLayout_5", 1, 2, 1, 1, "(0~255, 0=disable)");
    row("pushButtonAbout", "QPushButton", "gridLayout_4", 0, 4, 1, 1, "About");
    row("pushButtonWrite", "QPushButton", "gridLayout_4", 0, 2, 1, 1, "Write");
    row("pushButtonRead", "QPushButton", "gridLayout_4", 0, 3, 1, 1, "Read");
    row("label_11", "QLabel", "gridLayout_4", 0, 0, 1, 1, "Port:");
    row("comboBoxPort", "QComboBox", "gridLayout_4", 0, 1, 1, 1, "");
}

void TestMainWindowForm::widgetsSitInTheirCells()
{
    QFETCH(QString, name);
    QFETCH(QString, className);
    QFETCH(QString, layout);
    QFETCH(QRect, cell);
    QFETCH(QString, text);

    QWidget *w = child<QWidget>(name);
    QVERIFY(w);
    QCOMPARE(QString(w->metaObject()->className()), className);
    auto *grid = child<QGridLayout>(layout);
    QVERIFY(grid);
    // Parent is the grid's holder widget.
    QCOMPARE(w->parentWidget(), grid->parentWidget());
    const int index = grid->indexOf(w);
    QVERIFY(index >= 0);
    int r, c, rs, cs;
    grid->getItemPosition(index, &r, &c, &rs, &cs);
    QCOMPARE(QRect(r, c, rs, cs), cell);
    QCOMPARE(grid->itemAt(index)->alignment(), Qt::Alignment());

    QString shown;
    if (auto *label = qobject_cast<QLabel *>(w))
        shown = label->text();
    else if (auto *edit = qobject_cast<QLineEdit *>(w))
        shown = edit->text();
    else if (auto *button = qobject_cast<QPushButton *>(w))
        shown = button->text();
    else if (auto *box = qobject_cast<QComboBox *>(w))
        shown = box->currentText();
    QCOMPARE(shown, text);
}

void TestMainWindowForm::groupBoxesInOrder()
{
    auto *column = child<QVBoxLayout>("verticalLayout");
    QVERIFY(column);
    QCOMPARE(column->spacing(), 6);
    QCOMPARE(column->contentsMargins(), QMargins(0, 18, 0, 0));
    const QStringList boxes{"groupBox_2", "groupBoxRF", "groupBox_5", "groupBox_4"};
    const QStringList titles{"RF Parameters", "UART Parameters", "Other", "Communication"};
    const QStringList holders{"gridLayoutWidget", "gridLayoutWidget_2", "gridLayoutWidget_5",
                              "gridLayoutWidget_4"};
    const QList<QRect> geometries{QRect(10, 30, 441, 51), QRect(9, 29, 441, 51),
                                  QRect(10, 25, 441, 71), QRect(10, 30, 441, 51)};
    QCOMPARE(column->count(), 4);
    for (int i = 0; i < boxes.size(); ++i) {
        auto *box = qobject_cast<QGroupBox *>(column->itemAt(i)->widget());
        QVERIFY(box);
        QCOMPARE(box->objectName(), boxes[i]);
        QCOMPARE(box->title(), titles[i]);
        QCOMPARE(box->parentWidget()->objectName(), QString("verticalLayoutWidget"));
        QVERIFY(!box->layout());
        auto *holder = box->findChild<QWidget *>(holders[i], Qt::FindDirectChildrenOnly);
        QVERIFY(holder);
        QCOMPARE(holder->geometry(), geometries[i]);
        auto *grid = qobject_cast<QGridLayout *>(holder->layout());
        QVERIFY(grid);
        QCOMPARE(grid->spacing(), 6);
        QCOMPARE(grid->contentsMargins(), QMargins(0, 0, 0, 0));
    }
    auto *rf = child<QGroupBox>("groupBox_2");
    QCOMPARE(rf->sizePolicy().horizontalPolicy(), QSizePolicy::Preferred);
    QCOMPARE(rf->sizePolicy().verticalPolicy(), QSizePolicy::Preferred);
    QCOMPARE(child<QLabel>("label_2")->maximumSize(), QSize(50, 24));
    QCOMPARE(child<QLabel>("label_9")->maximumSize(), QSize(50, 16777215));
    QCOMPARE(child<QLineEdit>("lineEditID")->maximumSize(), QSize(100, 16777215));
    QCOMPARE(child<QLineEdit>("lineEditRF")->inputMethodHints(), Qt::ImhNone);
}

void TestMainWindowForm::listsHoldTheirItemsInOrder_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<int>("current");
    QTest::newRow("TRx rate") << "comboBoxTRX"
                              << QStringList{"0.81K", "1.46K", "2.6K", "4.56K", "9.11K", "18.23K"}
                              << 3;
    QTest::newRow("power") << "comboBoxPower"
                           << QStringList{"0", "1", "2", "3", "4", "5", "6", "7(Max)"} << 7;
    QTest::newRow("wake-up") << "comboBoxWakeupTime"
                             << QStringList{"50ms", "100ms", "200ms", "400ms", "600ms", "1s",
                                            "1.5s", "2s",    "2.5s",  "3s",    "4s",    "5s"}
                             << 5;
    QTest::newRow("baud rate") << "comboBoxBaudrate"
                               << QStringList{"1200",  "2400",  "4800", "9600",
                                              "19200", "38400", "57600"}
                               << 3;
    QTest::newRow("parity") << "comboBoxParity" << QStringList{"None", "Odd", "Even"} << 0;
    QTest::newRow("port") << "comboBoxPort" << QStringList{} << -1;
}

void TestMainWindowForm::listsHoldTheirItemsInOrder()
{
    QFETCH(QString, name);
    QFETCH(QStringList, items);
    QFETCH(int, current);
    auto *box = child<QComboBox>(name);
    QVERIFY(box);
    QStringList actual;
    for (int i = 0; i < box->count(); ++i) {
        actual << box->itemText(i);
        QVERIFY(box->itemIcon(i).isNull());
        QVERIFY(!box->itemData(i).isValid());
    }
    QCOMPARE(actual, items);
    QCOMPARE(box->currentIndex(), current);
}

void TestMainWindowForm::startValues()
{
    QVERIFY(!child<QPushButton>("pushButtonRead")->isEnabled());
    QVERIFY(!child<QPushButton>("pushButtonWrite")->isEnabled());
    QVERIFY(child<QPushButton>("pushButtonAbout")->isEnabled());
    QVERIFY(window->isEnabled());
}

void TestMainWindowForm::groupIdValidator_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<int>("state");
    QTest::newRow("0") << "0" << int(QValidator::Acceptable);
    QTest::newRow("255") << "255" << int(QValidator::Acceptable);
    QTest::newRow("17") << "17" << int(QValidator::Acceptable);
    QTest::newRow("empty while editing") << "" << int(QValidator::Intermediate);
    // Qt lets a number that is too large through as Intermediate while editing.
    QTest::newRow("256") << "256" << int(QValidator::Intermediate);
    QTest::newRow("1000") << "1000" << int(QValidator::Invalid);
    QTest::newRow("letters") << "ab" << int(QValidator::Invalid);
    QTest::newRow("decimal") << "1.5" << int(QValidator::Invalid);
    QTest::newRow("negative") << "-1" << int(QValidator::Invalid);
}

void TestMainWindowForm::groupIdValidator()
{
    QFETCH(QString, input);
    QFETCH(int, state);
    auto *edit = child<QLineEdit>("lineEditID");
    auto *validator = qobject_cast<const QIntValidator *>(edit->validator());
    QVERIFY(validator);
    QCOMPARE(validator->parent(), window);
    QCOMPARE(validator->bottom(), 0);
    QCOMPARE(validator->top(), 255);
    int pos = 0;
    QCOMPARE(int(validator->validate(input, pos)), state);
}

void TestMainWindowForm::frequencyFieldTakesAnyText()
{
    auto *edit = child<QLineEdit>("lineEditRF");
    QVERIFY(!edit->validator());
    edit->clear();
    QTest::keyClicks(edit, "868,1 MHz");
    QCOMPARE(edit->text(), QString("868,1 MHz"));
}

QTEST_MAIN(TestMainWindowForm)
#include "tst_mainwindowform.moc"
