#include "app/mainwindow.h"
#include "windowprobe.h"

#include <QAccessible>
#include <QComboBox>
#include <QGridLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QStatusBar>
#include <QtTest>

// The form as the user sees it right after start: names, places, texts,
// lists and defaults. The item order of the lists is the module's protocol.
class TestMainWindowForm : public QObject
{
    Q_OBJECT
private slots:
    void init() { window = new MainWindow; }
    void cleanup() { delete window; }
    void windowAndEdits();
    void widgetsInTheirCells_data();
    void widgetsInTheirCells();
    void keyboardAndScreenReader();
    void keysPressFocusedButton_data();
    void keysPressFocusedButton();
    void scaledWhole();

private:
    MainWindow *window = nullptr;
};

void TestMainWindowForm::windowAndEdits()
{
    // The group boxes' holder replaced the designer's central widget.
    QCOMPARE(window->objectName() + " " + window->windowTitle() + " " +
                 window->centralWidget()->objectName() + " " + window->statusBar()->objectName(),
             QString("MainWindow Tavrel_Ver:1509181 verticalLayoutWidget statusBar"));
    // The group id refuses letters and signs as they are typed; the frequency
    // field takes anything.
    auto *validator = qobject_cast<const QIntValidator *>(
        window->findChild<QLineEdit *>("lineEditID")->validator());
    QCOMPARE(validator ? QPoint(validator->bottom(), validator->top()) : QPoint(), QPoint(0, 255));
    for (const QStringList &t : {QStringList{"lineEditID", "-1a2.5", "125"},
                                 QStringList{"lineEditRF", "868,1 MHz", "868,1 MHz"}}) {
        auto *edit = window->findChild<QLineEdit *>(t[0]);
        edit->clear();
        QTest::keyClicks(edit, t[1]);
        QCOMPARE(edit->text(), t[2]);
    }
}

void TestMainWindowForm::widgetsInTheirCells_data()
{
    QTest::addColumn<QString>("place"); // class, layout, row,column[,row span,column span]
    QTest::addColumn<QString>("text");  // as shown just after start; a box's title
    QTest::addColumn<QString>("items"); // of a list, in order; a box's grid holder
    const QString form =
        "groupBox_2|QGroupBox verticalLayout 0,0|RF Parameters|gridLayoutWidget;"
        "groupBoxRF|QGroupBox verticalLayout 1,0|UART Parameters|gridLayoutWidget_2;"
        "groupBox_5|QGroupBox verticalLayout 2,0|Other|gridLayoutWidget_5;"
        "groupBox_4|QGroupBox verticalLayout 3,0|Communication|gridLayoutWidget_4;"
        "lineEditRF|QLineEdit gridLayout 0,2|915;label|QLabel gridLayout 0,1|RF frequency:;"
        "label_4|QLabel gridLayout 1,1|RF TRx rate:;label_3|QLabel gridLayout 0,5|RF Power:;"
        "comboBoxPower|QComboBox gridLayout 0,6|7(Max)|0 1 2 3 4 5 6 7(Max);"
        "comboBoxWakeupTime|QComboBox gridLayout 1,6|1s|"
        "50ms 100ms 200ms 400ms 600ms 1s 1.5s 2s 2.5s 3s 4s 5s;"
        "label_5|QLabel gridLayout 1,5|Wakeup Time:;label_16|QLabel gridLayout 0,3|MHz;"
        "comboBoxTRX|QComboBox gridLayout 1,2,1,2|4.56K|0.81K 1.46K 2.6K 4.56K 9.11K 18.23K;"
        "comboBoxParity|QComboBox gridLayoutRF 0,4|None|None Odd Even;"
        "comboBoxBaudrate|QComboBox gridLayoutRF 0,1|9600|1200 2400 4800 9600 19200 38400 57600;"
        "label_6|QLabel gridLayoutRF 0,0|Baudrate:;label_7|QLabel gridLayoutRF 0,3|Parity Check:;"
        "label_2|QLabel gridLayout_5 0,0|Model:;label_8|QLabel gridLayout_5 0,1|;"
        "label_9|QLabel gridLayout_5 0,3|Version:;label_10|QLabel gridLayout_5 0,4|;"
        "label_12|QLabel gridLayout_5 1,0|Group ID:;lineEditID|QLineEdit gridLayout_5 1,1|0;"
        "label_13|QLabel gridLayout_5 1,3|MAC:;label_14|QLabel gridLayout_5 1,4|;"
        "label_15|QLabel gridLayout_5 1,2|(0~255, 0=disable);"
        "pushButtonAbout|QPushButton gridLayout_4 0,4|About;"
        "pushButtonWrite|QPushButton gridLayout_4 0,2|Write;"
        "pushButtonRead|QPushButton gridLayout_4 0,3|Read;label_11|QLabel gridLayout_4 0,0|Port:;"
        "comboBoxPort|QComboBox gridLayout_4 0,1|";
    for (const QString &row : form.split(';')) {
        const QStringList f = row.split('|');
        QTest::newRow(qPrintable(f[0])) << f[1] << f[2] << f.value(3);
    }
}

void TestMainWindowForm::widgetsInTheirCells()
{
    QFETCH(QString, place);
    QFETCH(QString, text);
    QFETCH(QString, items);
    const QString name = QTest::currentDataTag();
    QWidget *w = window->findChild<QWidget *>(name);
    auto *layout = window->findChild<QLayout *>(place.section(' ', 1, 1));
    QVERIFY(w && layout);
    QCOMPARE(w->parentWidget(), layout->parentWidget());
    int r = layout->indexOf(w), c = 0, rs = 1, cs = 1;
    if (auto *grid = qobject_cast<QGridLayout *>(layout))
        grid->getItemPosition(r, &r, &c, &rs, &cs);
    const QString spans = rs == 1 && cs == 1 ? "" : QString(",%1,%2").arg(rs).arg(cs);
    QCOMPARE(QString("%1 %2 %3,%4")
                     .arg(w->metaObject()->className(), layout->objectName())
                     .arg(r)
                     .arg(c) +
                 spans,
             place);
    QString shown = w->property(w->inherits("QGroupBox") ? "title" : "text").toString();
    QStringList listed;
    if (auto *box = qobject_cast<QComboBox *>(w)) {
        shown = box->currentText();
        for (int i = 0; i < box->count(); ++i)
            listed << box->itemText(i);
    } else if (w->inherits("QGroupBox")) {
        for (const QWidget *holder :
             w->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
            listed << holder->objectName();
    }
    QCOMPARE(shown + "|" + listed.join(' '), text + "|" + items);
    // Read and Write wait for a port; everything else is usable.
    QCOMPARE(w->isEnabled(), name != "pushButtonRead" && name != "pushButtonWrite");
}

void TestMainWindowForm::keyboardAndScreenReader()
{
    // Tab as the user presses it, with Read and Write usable as with a port.
    window->findChild<QWidget *>("pushButtonRead")->setEnabled(true);
    window->findChild<QWidget *>("pushButtonWrite")->setEnabled(true);
    window->show();
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window));
    window->findChild<QWidget *>("lineEditRF")->setFocus(Qt::TabFocusReason);
    QTRY_VERIFY(QApplication::focusWidget());
    // Each widget: its name, what a screen reader calls it, and the label
    // the reader finds it labelled by.
    auto described = [](QWidget *w) {
        QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(w);
        QString name = iface ? iface->text(QAccessible::Name) : "?", label;
        // Qt on Unix names a combo box by its value and leaves its name to
        // the label relation; elsewhere the name is the accessible name.
        if (iface && iface->role() == QAccessible::ComboBox &&
            name == iface->text(QAccessible::Value))
            name = w->accessibleName();
        if (iface) {
            const auto labels = iface->relations(QAccessible::Label);
            if (!labels.isEmpty())
                label = labels.first().first->object()->objectName();
        }
        return w->objectName() + "=" + name + "<" + label;
    };
    QStringList seen;
    for (int i = 0; i < 12; ++i) {
        seen << described(QApplication::focusWidget());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    // The fields the module fills in are read by the reader, not tabbed to.
    for (const char *shown : {"label_8", "label_10", "label_14"})
        seen << described(window->findChild<QWidget *>(shown));
    QCOMPARE(seen.join("; "),
             QString("lineEditRF=RF frequency<label; comboBoxPower=RF Power<label_3; "
                     "comboBoxTRX=RF TRx rate<label_4; comboBoxWakeupTime=Wakeup Time<label_5; "
                     "comboBoxBaudrate=Baudrate<label_6; comboBoxParity=Parity Check<label_7; "
                     "lineEditID=Group ID<label_12; comboBoxPort=Port<label_11; "
                     "pushButtonWrite=Write<; pushButtonRead=Read<; pushButtonAbout=About<; "
                     "lineEditRF=RF frequency<label; "
                     "label_8=Model<label_2; label_10=Version<label_9; label_14=MAC<label_13"));
}

void TestMainWindowForm::keysPressFocusedButton_data()
{
    QTest::addColumn<int>("key");
    QTest::newRow("Return") << int(Qt::Key_Return);
    QTest::newRow("Enter") << int(Qt::Key_Enter);
    QTest::newRow("Space") << int(Qt::Key_Space);
}

void TestMainWindowForm::keysPressFocusedButton()
{
    QFETCH(int, key);
    auto *about = window->findChild<QPushButton *>("pushButtonAbout");
    window->show();
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window));
    about->setFocus(Qt::TabFocusReason);
    QTRY_COMPARE(QApplication::focusWidget(), about);
    QSignalSpy clicked(about, &QPushButton::clicked);
    BoxCloser closer;
    QTest::keyClick(about, Qt::Key(key));
    QTRY_COMPARE(clicked.count(), 1);
    QTRY_COMPARE(closer.seen.size(), 1);
    QVERIFY(closer.seen.first().startsWith("About"));
}

// Run once as is and once with QT_SCALE_FACTOR=2, as on a 192-dpi screen:
// the window keeps its form, twice the pixels, and no label is cut.
void TestMainWindowForm::scaledWhole()
{
    const qreal scale = qEnvironmentVariable("QT_SCALE_FACTOR", "1").toDouble();
    // The font of a desktop that sets none (Qt's 9 pt at 96 dpi, 12 pixels);
    // the offscreen platform's own is larger.
    QFont desktop("Sans Serif");
    desktop.setPixelSize(12);
    window->setFont(desktop);
    // Values as a Read shows them, the MAC at its widest (D is the widest
    // hex digit).
    for (const QStringList &t : {QStringList{"label_8", "SIM1"},
                                 {"label_10", "1.0.000"},
                                 {"label_14", "DDDDDDDDDDDDDDDD"}})
        window->findChild<QLabel *>(t[0])->setText(t[1]);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    const QWindow *handle = window->windowHandle();
    QCOMPARE(handle->size() * handle->devicePixelRatio(), QSize(480, 480) * scale);
    QStringList cut;
    for (const QLabel *label : window->findChildren<QLabel *>()) {
        if (QFontMetrics(label->font()).horizontalAdvance(label->text()) >
            label->contentsRect().width())
            cut << label->objectName() + " " + label->text();
    }
    QCOMPARE(cut.join(", "), QString());
}

QTEST_MAIN(TestMainWindowForm)
#include "tst_mainwindowform.moc"
