#include "simulator/simulatedmodule.h"

#include "app/profileactions.h"
#include "windowprobe.h"

#include <QClipboard>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QtTest>

#include <memory>

// Profiles end to end: the window's files and command line against
// radioconf-cli, both writing to one simulated module on a pseudo-terminal.
class TestMainWindowProfile : public QObject
{
    Q_OBJECT
    QTemporaryDir dir;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<WindowProbe> probe;

private slots:
    void initTestCase() { qRegisterMetaType<QProcess::ExitStatus>(); }
    void init()
    {
        window = std::make_unique<MainWindow>();
        probe = std::make_unique<WindowProbe>(window.get());
        window->show();
    }
    void cleanup() { window.reset(); }

    void sameValuesAsTheTool()
    {
        QByteArray line;
        const int master = SimulatedModule::openTerminal(&line);
        QVERIFY(master >= 0);
        const QString port = line;
        SimulatedModule module(master, SimulatedModule::Behaviour::Normal, true);
        module.setState({"RC42", "2.1.007", QByteArray::fromHex("0102030405060708"), 5, 868100, 1,
                         5, 6, 2, 11});
        window->setNamedPorts({port});
        const QString read = dir.filePath("read.json"), saved = dir.filePath("saved.json");
        QVERIFY(actions()->save(read)); // no module shown yet: the settings alone
        QCOMPARE(contents(read),
                 "{\"baud\":\"9600\",\"frequency\":915,\"group\":0,\"parity\":"
                 "\"None\",\"power\":\"7(Max)\",\"rate\":\"4.56K\",\"wakeup\":\"1s\"}\n");
        // The tool's read, opened and saved again, is the same file.
        QVERIFY(put(read, tool({"read", "--json", "-q", "--port", port})));
        fileDialog(Qt::Key_O, read);
        QCOMPARE(probe->form(), "RC42|2.1.007|0102030405060708|868.1|5|1.46K|5|57600|Even|5s");
        fileDialog(Qt::Key_S, saved);
        QCOMPARE(contents(saved), contents(read));

        // Every field changed, then written by the window, by the tool from
        // the saved file, and by the copied command line, which reads first.
        probe->child<QLineEdit>("lineEditRF")->setText("512.002");
        probe->child<QLineEdit>("lineEditID")->setText("200");
        const int codes[] = {4, 3, 6, 1, 0};
        for (int i = 0; i < 5; ++i)
            probe->child<QComboBox>(WindowProbe::Lists[i])->setCurrentIndex(codes[i]);
        BoxCloser closer;
        QTest::mouseClick(probe->child<QPushButton>("pushButtonWrite"), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(closer.seen.size(), 1, 15000);
        const QByteArray frame = QByteArray::fromHex("ff4ccf52a157f1 07d002 c8 04 03 06 01 00");
        const QList<QByteArray> readWrite{SimulatedModule::READ_REQUEST, frame};
        QCOMPARE(module.requests().mid(1), readWrite.mid(1));
        QVERIFY(actions()->save(saved));
        tool({"write", "-q", "--port", port, "--from", saved});
        QCOMPARE(module.requests().mid(2), readWrite);
        QStringList texts;
        QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, {10, 10});
        answer([&] { QApplication::sendEvent(probe->child<QWidget>("label_15"), &menuKey); },
               [&](QWidget *menu) {
                   for (QAction *action : menu->actions())
                       texts << action->text();
                   menu->actions().last()->trigger();
                   menu->close();
               });
        QCOMPARE(texts, (QStringList{"Save profile…", "Open profile…", "Copy as command line"}));
        const QString copied = QApplication::clipboard()->text();
        QCOMPARE(copied, "radioconf-cli write --port " + port +
                             " --freq 512.002 --group 200 --rate 9.11K --power 3 --baud 57600 "
                             "--parity Odd --wakeup 50ms");
        tool({"-c", QString(copied).replace("radioconf-cli", RADIOCONF_CLI)}, "/bin/sh");
        QCOMPARE(module.requests().mid(4), readWrite);

        // A file dropped on a field is a profile, not text for it.
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(read)});
        data.setText(read); // as file managers give it, which a field would take
        QDragEnterEvent enter({5, 5}, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QDropEvent drop({5, 5}, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        for (QEvent *event : {static_cast<QEvent *>(&enter), static_cast<QEvent *>(&drop)})
            QApplication::sendEvent(probe->child<QLineEdit>("lineEditRF"), event);
        QTRY_COMPARE(probe->form(), "RC42|2.1.007|0102030405060708|868.1|5|1.46K|5|57600|Even|5s");
    }

    void refused_data()
    {
        QTest::addColumn<QString>("row"); // open or save|the file's contents, or RF=text|the box
        QTest::newRow("not JSON") << "open|{\"group\":|not JSON";
        QTest::newRow("unknown key") << "open|{\"group\":5,\"freqency\":433.92}|unknown key";
        QTest::newRow("half of it refused") << "open|{\"group\":5,\"power\":9}|\"power\": RF Power";
        QTest::newRow("finer than the step") << "open|{\"frequency\":868.0005}|step is 1 kHz";
        QTest::newRow("two modules") << "open|{\"group\":1}\n{\"group\":2}|more than one";
        QTest::newRow("a failed read") << "open|{\"outcome\":\"no-reply\",\"error\":\"x\"}|failed";
        QTest::newRow("unreadable") << "open|@dir|cannot read it";
        QTest::newRow("unwritable") << "save|@dir/none/p.json|could not be written";
        QTest::newRow("form refused") << "save|RF=868,1|RF frequency: enter a number";
    }
    void refused()
    {
        QFETCH(QString, row);
        const QStringList parts = row.split('|');
        const bool json = parts[1].startsWith('{');
        const QString path = json ? dir.filePath(QTest::currentDataTag())
                                  : QString(parts[1]).replace("@dir", dir.path());
        QVERIFY(!json || put(path, parts[1].toUtf8()));
        if (parts[1].startsWith("RF="))
            probe->child<QLineEdit>("lineEditRF")->setText(parts[1].mid(3));
        const QString before = probe->form();
        BoxCloser closer;
        QVERIFY(!(parts[0] == "open" ? actions()->open(path) : actions()->save(path)));
        QVERIFY2(closer.seen.size() == 1 && closer.seen[0].contains(parts[2]) &&
                     (parts[1].startsWith("RF=") || closer.seen[0].contains(path)),
                 qPrintable(closer.seen.join('\n')));
        QCOMPARE(probe->form(), before);
    }

private:
    ProfileActions *actions() const { return window->findChild<ProfileActions *>(); }
    // Calls reply on the menu or dialog that act brings up, from within it.
    static void answer(const std::function<void()> &act,
                       const std::function<void(QWidget *)> &reply)
    {
        QTimer poll;
        bool answered = false;
        connect(&poll, &QTimer::timeout, [&] {
            QWidget *shown = QApplication::activePopupWidget() ? QApplication::activePopupWidget()
                                                               : QApplication::activeModalWidget();
            if (shown && !std::exchange(answered, true))
                reply(shown);
        });
        poll.start(20);
        act();
        QTRY_VERIFY(answered);
    }
    // Presses Ctrl+key and types path in the file dialog it brings up (the
    // dialog lists its folder in the background: selecting in it would race).
    void fileDialog(Qt::Key key, const QString &path)
    {
        window->activateWindow(); // for its shortcuts
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        answer([&] { QTest::keyClick(window.get(), key, Qt::ControlModifier); },
               [&](QWidget *dialog) {
                   QVERIFY(qobject_cast<QFileDialog *>(dialog));
                   dialog->findChild<QLineEdit *>("fileNameEdit")->setText(path);
                   static_cast<QDialog *>(dialog)->accept(); // the file dialog's own
               });
    }
    static QByteArray contents(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
    }
    static bool put(const QString &path, const QByteArray &bytes)
    {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    }
    // Runs radioconf-cli (or program), which must succeed, and returns what
    // it printed; the module answers from this thread's event loop meanwhile.
    static QByteArray tool(const QStringList &args, const QString &program = RADIOCONF_CLI)
    {
        QProcess process;
        QSignalSpy finished(&process, SIGNAL(finished(int, QProcess::ExitStatus)));
        process.start(program, args);
        const bool ended = finished.wait(30000);
        const QByteArray out = process.readAllStandardOutput();
        [&] { QVERIFY2(ended && process.exitCode() == 0, out + process.readAllStandardError()); }();
        return out;
    }
};

QTEST_MAIN(TestMainWindowProfile)
#include "tst_mainwindowprofile.moc"
