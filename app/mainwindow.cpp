#include "app/mainwindow.h"

#include "app/helppage.h"
#include "app/versioninfowidget.h"
#include "ui/boxes/custombox.h"
#include "ui/device/sigledebug.h"
#include "ui/macpage/handlerecorde.h"
#include "ui/station/stationpage.h"
#include "ui_mainwindow.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QToolBar>
#include <QToolButton>

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent), ui(new Ui::MainWindow), leftNavGroup(new QButtonGroup(this))
{
    versionWidget = new VersionInfoWidget(this);
    buildVersionWidget();
    devicePage = new SigleDebug(this);
    macPage = new HandleRecorde(this);
    helpPage = new help(this);
    stationPage = new StationPage(this);
    ui->setupUi(this);
    buildNavigation();
    connectSignals();
}

MainWindow::~MainWindow()
{
    delete ui;
}

void MainWindow::buildVersionWidget()
{
    versionWidget->setObjectName(QStringLiteral("customStatusBar"));
    auto *layout = new QHBoxLayout(versionWidget);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new QLabel(tr("版本号: V1.0.9 "), versionWidget));
    versionWidget->setStyleSheet(QStringLiteral("#customStatusBar QLabel{color: #FFFFFF;}"));
}

void MainWindow::buildNavigation()
{
    installComboPopupViews();
    createToolButtons();
    ui->stackedWidget->addWidget(devicePage);
    ui->stackedWidget->addWidget(macPage);
    ui->stackedWidget->addWidget(helpPage);
    ui->stackedWidget->addWidget(stationPage);
    arrangeToolBars();
    ui->splitter->setSizes({100, width() - 108});
    ui->splitter->setStretchFactor(0, 1);
    ui->splitter->setStretchFactor(1, 9);
    statusBar()->addPermanentWidget(versionWidget, 0);
    // The frame alone resizes the window, by its own rules.
    statusBar()->setSizeGripEnabled(false);
    addLeftNavEntry(QStringLiteral("sigleDebug"), tr("串口自测"), devicePage);
    addLeftNavEntry(QStringLiteral("help"), tr("帮助文档"), helpPage);
    ui->widget_left_nav->hide();
    // Not yet connected to the device page, so no refresh starts here.
    toolButton1_clicked();
}

// A plain list view as popup lets the style sheet's item rules reach the
// popup entries.
void MainWindow::installComboPopupViews()
{
    const QList<QComboBox *> boxes = findChildren<QComboBox *>();
    for (QComboBox *box : boxes)
        box->setView(new QListView(box));
}

void MainWindow::createToolButtons()
{
    toolButton1 = addToolButton(tr("设备信息"), QStringLiteral("toolButton1"), ui->toolBar_1);
    toolButton2 = addToolButton(tr("文件操作"), QStringLiteral("toolButton2"), ui->toolBar_2);
    toolButton3 = addToolButton(tr("MAC管理"), QStringLiteral("toolButton3"), ui->toolBar_3);
    toolButton4 = addToolButton(tr("帮助文档"), QStringLiteral("toolButton4"), ui->toolBar_4);
    toolButton4->setToolTip(tr("显示帮助文档，再次点击返回"));
    stationButton = addToolButton(tr("产线工位"), QStringLiteral("stationButton"), ui->toolBar_4);
    toolButton1->setChecked(true);
}

QToolButton *MainWindow::addToolButton(const QString &text, const QString &name, QToolBar *bar)
{
    auto *button = new QToolButton(this);
    button->setObjectName(name);
    button->setText(text);
    button->setCheckable(true);
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    bar->addWidget(button);
    return button;
}

// The session toolbars start hidden. Help is offered from the start and sits
// at the right end, after the session buttons.
void MainWindow::arrangeToolBars()
{
    ui->toolBar_1->hide();
    ui->toolBar_2->hide();
    ui->toolBar_3->hide();
    removeToolBar(ui->toolBar_4);
    addToolBar(Qt::TopToolBarArea, ui->toolBar_4);
    ui->toolBar_4->show();
}

void MainWindow::addLeftNavEntry(const QString &name, const QString &text, QWidget *page)
{
    auto *button = new QToolButton(this);
    button->setText(text);
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    button->setCheckable(true);
    button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    if (!name.trimmed().isEmpty())
        button->setObjectName(name);
    leftNavGroup->addButton(button, leftNavButtons.size());
    leftNavButtons.append(button);
    leftNavPages.append(page);
    ui->verticalLayout_left_nav->addWidget(button);
    if (ui->stackedWidget->indexOf(page) < 0)
        ui->stackedWidget->addWidget(page);
}

void MainWindow::connectSignals()
{
    connect(leftNavGroup, QOverload<QAbstractButton *>::of(&QButtonGroup::buttonClicked), this,
            &MainWindow::on_buttonClickedLeftNav);
    connect(toolButton1, &QToolButton::clicked, this, &MainWindow::toolButton1_clicked);
    connect(toolButton2, &QToolButton::clicked, this, &MainWindow::toolButton2_clicked);
    connect(toolButton3, &QToolButton::clicked, this, &MainWindow::toolButton3_clicked);
    connect(toolButton4, &QToolButton::clicked, this, &MainWindow::toolButton4_clicked);
    connect(stationButton, &QToolButton::clicked, this, &MainWindow::stationButton_clicked);
    connect(this, &MainWindow::isOperateFile, devicePage, &SigleDebug::showOperateFile);
    connect(this, &MainWindow::isShowDevInfo, devicePage, &SigleDebug::showDevInfo);
    connect(devicePage, &SigleDebug::gotoOption, this, &MainWindow::showSessionButtons);
    connect(devicePage, &SigleDebug::loginTimeout, this, &MainWindow::endSessionNavigation);
}

void MainWindow::on_buttonClickedLeftNav(QAbstractButton *btn)
{
    const int index = leftNavButtons.indexOf(btn);
    if (index < 0)
        return;
    ui->stackedWidget->setCurrentWidget(leftNavPages.at(index));
    btn->setChecked(true);
}

void MainWindow::toolButton1_clicked()
{
    ui->stackedWidget->setCurrentWidget(devicePage);
    emit isShowDevInfo();
    checkOnly(toolButton1);
}

// The device page swaps to its file group on the signal, so it is emitted
// while the previous page is still showing.
void MainWindow::toolButton2_clicked()
{
    emit isOperateFile();
    ui->stackedWidget->setCurrentWidget(devicePage);
    checkOnly(toolButton2);
}

void MainWindow::toolButton3_clicked()
{
    ui->stackedWidget->setCurrentWidget(macPage);
    checkOnly(toolButton3);
}

// Also reached from the title bar's help button, which leaves the checked
// state alone; only a click on the checked button itself unchecks it, and that
// click returns to the page the user came from. Before login this is the only
// way back to the device page.
void MainWindow::toolButton4_clicked()
{
    const bool helpShowing = ui->stackedWidget->currentWidget() == helpPage;
    if (helpShowing && !toolButton4->isChecked()) {
        leaveHelp();
        return;
    }
    if (!helpShowing) {
        pageBeforeHelp = ui->stackedWidget->currentWidget();
        buttonBeforeHelp = stationButton->isChecked() ? stationButton
                           : toolButton3->isChecked() ? toolButton3
                           : toolButton2->isChecked() ? toolButton2
                                                      : toolButton1;
    }
    ui->stackedWidget->setCurrentWidget(helpPage);
    checkOnly(toolButton4);
}

void MainWindow::stationButton_clicked()
{
    ui->stackedWidget->setCurrentWidget(stationPage);
    checkOnly(stationButton);
}

void MainWindow::showStation(const QString &path)
{
    stationButton_clicked();
    stationPage->openStation(path);
}

void MainWindow::devCancel()
{
    devicePage->on_pushButton_cancel_clicked();
}

void MainWindow::checkOnly(QToolButton *button)
{
    for (QToolButton *each : {toolButton1, toolButton2, toolButton3, toolButton4, stationButton})
        each->setChecked(each == button);
}

void MainWindow::showSessionButtons()
{
    ui->toolBar_1->show();
    ui->toolBar_2->show();
    ui->toolBar_3->show();
}

// Without a session only the device page's login view and help are useful;
// a new session starts on the device information.
void MainWindow::endSessionNavigation()
{
    ui->toolBar_1->hide();
    ui->toolBar_2->hide();
    ui->toolBar_3->hide();
    if (ui->stackedWidget->currentWidget() == helpPage) {
        pageBeforeHelp = devicePage;
        buttonBeforeHelp = toolButton1;
        return;
    }
    ui->stackedWidget->setCurrentWidget(devicePage);
    checkOnly(toolButton1);
}

// The device page kept its groups while help was showing, so going back only
// switches the stack; it asks the page for nothing.
void MainWindow::leaveHelp()
{
    ui->stackedWidget->setCurrentWidget(pageBeforeHelp ? pageBeforeHelp : devicePage);
    checkOnly(buttonBeforeHelp ? buttonBeforeHelp : toolButton1);
}

bool MainWindow::confirmClose()
{
    if (exitConfirmed || !devicePage->transferRunning())
        return true;
    if (closeQuestion) { // asked already: a second close only brings the question up
        closeQuestion->raise();
        closeQuestion->activateWindow();
        return false;
    }
    closeQuestion = CustomQuestionBox::ask(tr("提示"), tr("文件传输进行中，确定中止并退出吗？"));
    connect(closeQuestion, &CustomQuestionBox::answered, this, [this](bool yes) {
        if (yes)
            abortAndExit();
    });
    return false;
}

// The stop exchange runs on the device page's line; once the module has
// answered it (or its time limit passed), the window closes, which logs out
// (the frame's cancelDev) and ends the session view, and the tool quits. The
// line finishes what it was handed before the process ends.
void MainWindow::abortAndExit()
{
    exitConfirmed = true;
    const auto leave = [this] {
        window()->close();
        devicePage->closePort();
        QCoreApplication::quit();
    };
    if (!devicePage->transferRunning())
        return leave();
    connect(devicePage, &SigleDebug::stopAnswered, this, leave);
    devicePage->abortTransfer();
}
