#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include <QIntValidator>
#include <QMessageBox>

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent), ui(new Ui::MainWindow)
{
    ui->setupUi(this);

    connect(&detectThread, SIGNAL(portAvailable(QString)), this, SLOT(onPortAvailable(QString)));
    connect(&detectThread, SIGNAL(portNotFound()), this, SLOT(onPortNotFound()));
    connect(&detectThread, SIGNAL(portFoundStart()), this, SLOT(onPortFoundStart()));
    connect(&detectThread, SIGNAL(portFoundEnd()), this, SLOT(onPortFoundEnd()));
    connect(&detectTimer, SIGNAL(timeout()), this, SLOT(onTimeOut()));

    initForm();

    detectTimer.start(1000);
}

MainWindow::~MainWindow()
{
    delete ui;
}

void MainWindow::initForm()
{
    setWindowTitle(tr("Tavrel_Ver:1509181"));
    // The group boxes' layout then fills the window; the designer's central
    // widget is dropped.
    setCentralWidget(ui->verticalLayoutWidget);

    // The index of each item is the code the module receives: never reorder.
    ui->comboBoxBaudrate->addItem(tr("1200"));
    ui->comboBoxBaudrate->addItem(tr("2400"));
    ui->comboBoxBaudrate->addItem(tr("4800"));
    ui->comboBoxBaudrate->addItem(tr("9600"));
    ui->comboBoxBaudrate->addItem(tr("19200"));
    ui->comboBoxBaudrate->addItem(tr("38400"));
    ui->comboBoxBaudrate->addItem(tr("57600"));
    ui->comboBoxBaudrate->setCurrentIndex(3);

    ui->comboBoxParity->addItem(tr("None"));
    ui->comboBoxParity->addItem(tr("Odd"));
    ui->comboBoxParity->addItem(tr("Even"));

    ui->comboBoxPower->addItem(tr("0"));
    ui->comboBoxPower->addItem(tr("1"));
    ui->comboBoxPower->addItem(tr("2"));
    ui->comboBoxPower->addItem(tr("3"));
    ui->comboBoxPower->addItem(tr("4"));
    ui->comboBoxPower->addItem(tr("5"));
    ui->comboBoxPower->addItem(tr("6"));
    ui->comboBoxPower->addItem(tr("7(Max)"));
    ui->comboBoxPower->setCurrentIndex(7);

    ui->comboBoxWakeupTime->addItem(tr("50ms"));
    ui->comboBoxWakeupTime->addItem(tr("100ms"));
    ui->comboBoxWakeupTime->addItem(tr("200ms"));
    ui->comboBoxWakeupTime->addItem(tr("400ms"));
    ui->comboBoxWakeupTime->addItem(tr("600ms"));
    ui->comboBoxWakeupTime->addItem(tr("1s"));
    ui->comboBoxWakeupTime->addItem(tr("1.5s"));
    ui->comboBoxWakeupTime->addItem(tr("2s"));
    ui->comboBoxWakeupTime->addItem(tr("2.5s"));
    ui->comboBoxWakeupTime->addItem(tr("3s"));
    ui->comboBoxWakeupTime->addItem(tr("4s"));
    ui->comboBoxWakeupTime->addItem(tr("5s"));
    ui->comboBoxWakeupTime->setCurrentIndex(5);

    ui->comboBoxTRX->addItem(tr("0.81K"));
    ui->comboBoxTRX->addItem(tr("1.46K"));
    ui->comboBoxTRX->addItem(tr("2.6K"));
    ui->comboBoxTRX->addItem(tr("4.56K"));
    ui->comboBoxTRX->addItem(tr("9.11K"));
    ui->comboBoxTRX->addItem(tr("18.23K"));
    ui->comboBoxTRX->setCurrentIndex(3);

    ui->lineEditRF->setText(tr("915"));

    ui->pushButtonRead->setEnabled(false);
    ui->pushButtonWrite->setEnabled(false);

    ui->lineEditID->setValidator(new QIntValidator(0, 255, this));
}

void MainWindow::on_pushButtonAbout_clicked()
{
    QMessageBox::about(nullptr, tr("About"),
                       tr("Radio module configuration utility.\n"
                          "Copyright (C) Tavrel. All rights reserved."));
}

void MainWindow::onPortAvailable(QString portName)
{
    // One pass per start: further passes come from the timer or the watcher.
    detectThread.stopDetect();
    ui->comboBoxPort->addItem(portName);
    ui->pushButtonRead->setEnabled(true);
    ui->pushButtonWrite->setEnabled(true);
}

void MainWindow::onPortNotFound()
{
    ui->pushButtonRead->setEnabled(false);
    ui->pushButtonWrite->setEnabled(false);
    detectThread.stopDetect();
}

void MainWindow::onPortFoundStart()
{
    // An empty list keeps the last known choice, so a port that comes back
    // after a pass without it is chosen again.
    if (ui->comboBoxPort->count() > 0)
        lastPortName = ui->comboBoxPort->currentText();
    ui->comboBoxPort->clear();
}

void MainWindow::onPortFoundEnd()
{
    for (int i = 0; i < ui->comboBoxPort->count(); ++i) {
        if (ui->comboBoxPort->itemText(i) == lastPortName) {
            ui->comboBoxPort->setCurrentIndex(i);
            break;
        }
    }
}

void MainWindow::onTimeOut()
{
    detectTimer.stop();
    detectThread.startDetect();
}
