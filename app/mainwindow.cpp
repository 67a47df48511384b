#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "config/frames.h"

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

    // The index of each item is the code the module receives: the lists
    // come from the frame code, which owns their order.
    const Frames::Settings defaults;
    const std::pair<QComboBox *, Frames::Field> lists[] = {
        {ui->comboBoxBaudrate, Frames::BaudRate},
        {ui->comboBoxParity, Frames::Parity},
        {ui->comboBoxPower, Frames::Power},
        {ui->comboBoxWakeupTime, Frames::WakeupTime},
        {ui->comboBoxTRX, Frames::TrxRate}};
    for (const auto &[box, field] : lists) {
        box->addItems(Frames::itemTexts(field));
        if (defaults.code(field) != 0)
            box->setCurrentIndex(defaults.code(field));
    }

    ui->lineEditRF->setText(Frames::frequencyText(defaults.frequencyKHz));

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
