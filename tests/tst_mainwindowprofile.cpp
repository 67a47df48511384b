#include "simulator/simulatedmodule.h"

#include "app/profileactions.h"
#include "windowprobe.h"

#include <QClipboard>
#include <QFileDialog>
#include <QLabel>
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

private slots:
    void initTestCase() { qRegisterMetaType<QProcess::ExitStatus>(); }
    void init()
    {
        window = std::make_unique<MainWindow>();
        window->show();
    }
    void cleanup() { window.reset(); }

    void sameValuesAsTheTool()
    {
        QByteArray line;
        const int master = SimulatedModule::openTerminal(&line);
        QVERIFY(master >= 0);
        const QString port = QString::fromLatin1(line);
        SimulatedModule module(master, SimulatedModule::Behaviour::Normal, true);
        module.setState({"RC42", "2.1.007", QByteArray::fromHex("0102030405060708"), 5, 868100, 1,
                         5, 6, 2, 11});
        window->setNamedPorts({port});
        // The tool's read, opened and saved again, is the same file.
        const QString read = dir.filePath("read.json"), saved = dir.filePath("saved.json");
        QFile file(read);
        QVERIFY(file.open(QIODevice::WriteOnly) &&
                file.write(tool({"read", "--json", "-q", "--port", port})) > 0);
        file.close();
        fileDialog(Qt::Key_O, read);
        QCOMPARE(form(), QString("RC42|2.1.007|0102030405060708|868.1|5|1.46K|5|57600|Even|5s"));
        fileDialog(Qt::Key_S, saved);
        QCOMPARE(contents(saved), contents(read));

        // Every field changed, then written by the window, the saved file
        // and the copied command line alike.
        WindowProbe probe(window.get());
        probe.child<QLineEdit>("lineEditRF")->setText("512.002");
        probe.child<QLineEdit>("lineEditID")->setText("200");
        const int codes[] = {4, 3, 6, 1, 0};
        for (int i = 0; i < 5; ++i)
            probe.child<QComboBox>(Lists[i])->setCurrentIndex(codes[i]);
        {
            BoxCloser closer;
            QTest::mouseClick(probe.child<QPushButton>("pushButtonWrite"), Qt::LeftButton);
            QTRY_COMPARE_WITH_TIMEOUT(closer.seen.size(), 1, 15000);
        }
        const QByteArray frame = QByteArray::fromHex("ff4ccf52a157f1 07d002 c8 04 03 06 01 00");
        QCOMPARE(module.requests().last(), frame);
        // The tool reads, then writes.
        const QList<QByteArray> readWrite{SimulatedModule::READ_REQUEST, frame};
        QVERIFY(actions()->save(saved));
        tool({"write", "-q", "--port", port, "--from", saved});
        QCOMPARE(module.requests().mid(2), readWrite);
        QClipboard *clipboard = QApplication::clipboard();
        clipboard->clear();
        QStringList texts;
        QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, {10, 10});
        answering([&] { QApplication::sendEvent(probe.child<QLabel>("label_15"), &menuKey); },
                  [&](QWidget *menu) {
                      for (QAction *action : menu->actions())
                          texts << action->text();
                      menu->actions().last()->trigger();
                      menu->close();
                  });
        QCOMPARE(texts, (QStringList{"Save profile…", "Open profile…", "Copy as command line"}));
        QCOMPARE(clipboard->text(), "radioconf-cli write --port " + port +
                                        " --freq 512.002 --group 200 --rate 9.11K --power 3 "
                                        "--baud 57600 --parity Odd --wakeup 50ms");
        tool({"-c", clipboard->text().replace("radioconf-cli", RADIOCONF_CLI)}, "/bin/sh");
        QCOMPARE(module.requests().mid(4), readWrite);

        // A file dropped on a field is a profile, not text for it.
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(read)});
        QDragEnterEvent enter({5, 5}, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QDropEvent drop({5, 5}, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(probe.child<QLineEdit>("lineEditRF"), &enter);
        QVERIFY(enter.isAccepted());
        QApplication::sendEvent(probe.child<QLineEdit>("lineEditRF"), &drop);
        QTRY_COMPARE(probe.child<QLineEdit>("lineEditRF")->text(), QString("868.1"));
    }

    void savedWithoutModule()
    {
        // No reply yet: the settings alone.
        const QString path = dir.filePath("defaults.json");
        QVERIFY(actions()->save(path));
        QCOMPARE(contents(path), QByteArray("{\"baud\":\"9600\",\"frequency\":915,\"group\":0,"
                                            "\"parity\":\"None\",\"power\":\"7(Max)\","
                                            "\"rate\":\"4.56K\",\"wakeup\":\"1s\"}\n"));
    }

    void refused_data()
    {
        QTest::addColumn<QString>("row"); // open or save|the file's contents|the box
        QTest::newRow("not JSON") << "open|{\"group\":|not JSON";
        QTest::newRow("unknown key") << "open|{\"group\":5,\"freqency\":433.92}|unknown key";
        QTest::newRow("half of it refused")
            << "open|{\"group\":5,\"power\":\"9\"}|\"power\": RF Power: choose one of";
        QTest::newRow("finer than the step") << "open|{\"frequency\":868.0005}|step is 1 kHz";
        QTest::newRow("two modules") << "open|{\"group\":1}\n{\"group\":2}|more than one";
        QTest::newRow("a failed read")
            << "open|{\"port\":\"x\",\"outcome\":\"no-reply\",\"error\":\"no reply\"}|failed";
        QTest::newRow("unreadable") << "open|@dir|cannot read it";
        QTest::newRow("unwritable") << "save|@dir/none/p.json|could not be written";
        QTest::newRow("form refused") << "save|RF=868,1|RF frequency: enter a number";
    }
    void refused()
    {
        QFETCH(QString, row);
        const QStringList parts = row.split('|');
        QString path = QString(parts[1]).replace("@dir", dir.path());
        if (parts[1].startsWith("RF="))
            window->findChild<QLineEdit *>("lineEditRF")->setText(parts[1].mid(3));
        if (!parts[1].contains('@') && !parts[1].startsWith("RF=")) {
            path = dir.filePath(QTest::currentDataTag());
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(parts[1].toUtf8()) > 0);
        }
        const QString before = form();
        BoxCloser closer;
        QVERIFY(!(parts[0] == "open" ? actions()->open(path) : actions()->save(path)));
        QVERIFY2(closer.seen.size() == 1 && closer.seen[0].contains(parts[2]) &&
                     (parts[1].startsWith("RF=") || closer.seen[0].contains(path)),
                 qPrintable(closer.seen.join('\n')));
        QCOMPARE(form(), before);
    }

private:
    ProfileActions *actions() const { return window->findChild<ProfileActions *>(); }
    // Calls answer on the menu or dialog that act brings up, from within it.
    static void answering(const std::function<void()> &act,
                          const std::function<void(QWidget *)> &answer)
    {
        bool answered = false;
        QTimer poll;
        connect(&poll, &QTimer::timeout, [&] {
            QWidget *shown = QApplication::activePopupWidget() ? QApplication::activePopupWidget()
                                                               : QApplication::activeModalWidget();
            if (shown && !answered) {
                answered = true;
                answer(shown);
            }
        });
        poll.start(20);
        act();
        QTRY_VERIFY(answered);
    }
    // Presses Ctrl+key and picks path in the file dialog it brings up.
    void fileDialog(Qt::Key key, const QString &path)
    {
        window->activateWindow(); // for its shortcuts
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        answering([&] { QTest::keyClick(window.get(), key, Qt::ControlModifier); },
                  [&](QWidget *shown) {
                      auto *dialog = qobject_cast<QFileDialog *>(shown);
                      QVERIFY(dialog);
                      // As typed: the dialog lists its folder in the background.
                      dialog->findChild<QLineEdit *>("fileNameEdit")->setText(path);
                      static_cast<QDialog *>(dialog)->accept(); // its own, checking the name
                  });
    }
    static QByteArray contents(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
    }
    // Runs radioconf-cli (or program) and returns its output; it must succeed.
    static QByteArray tool(const QStringList &args, const QString &program = RADIOCONF_CLI)
    {
        QProcess process;
        QSignalSpy finished(&process, SIGNAL(finished(int, QProcess::ExitStatus)));
        process.start(program, args);
        // The module answers from this thread's event loop.
        const bool ended = finished.wait(30000);
        const QByteArray out = process.readAllStandardOutput();
        [&] { QVERIFY2(ended && process.exitCode() == 0, out + process.readAllStandardError()); }();
        return out;
    }
    // Every field a reply or a profile fills, in form order, joined by '|'.
    QString form() const
    {
        QStringList texts;
        for (const char *label : {"label_8", "label_10", "label_14"})
            texts << window->findChild<QLabel *>(label)->text();
        for (const char *edit : {"lineEditRF", "lineEditID"})
            texts << window->findChild<QLineEdit *>(edit)->text();
        for (const char *list : Lists)
            texts << window->findChild<QComboBox *>(list)->currentText();
        return texts.join('|');
    }
    static constexpr const char *Lists[] = {"comboBoxTRX", "comboBoxPower", "comboBoxBaudrate",
                                            "comboBoxParity", "comboBoxWakeupTime"};
};

QTEST_MAIN(TestMainWindowProfile)
#include "tst_mainwindowprofile.moc"
