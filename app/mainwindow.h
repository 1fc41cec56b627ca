#pragma once

#include <QList>
#include <QMainWindow>
#include <QPointer>

class QAbstractButton;
class QButtonGroup;
class QToolBar;
class QToolButton;
class SigleDebug;
class StationPage;
class HandleRecorde;
class help;
class VersionInfoWidget;
class CustomQuestionBox;

namespace Ui
{
class MainWindow;
}

// The tool's main window: a stack of the device page, the MAC page and the
// help page, a toolbar button per page and the version label in the status
// bar. The session buttons ("设备信息", "文件操作", "MAC管理") are visible only
// while the device page has a logged-in session; "产线工位" (the station
// page) and "帮助文档" are always there.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // The frame's close guard. Outside a file transfer the close goes ahead.
    // During an upgrade or a log pull it is refused and the technician is
    // asked: yes stops the transfer (CAN), closes the window, which logs the
    // module out, and ends the event loop; no lets the transfer go on.
    bool confirmClose();

    // Shows the station page with the station file at `path` opened.
    void showStation(const QString &path);

signals:
    void isShowDevInfo();
    void isOperateFile();

public slots:
    void on_buttonClickedLeftNav(QAbstractButton *btn);
    void toolButton1_clicked();
    void toolButton2_clicked();
    void toolButton3_clicked();
    void toolButton4_clicked();
    void stationButton_clicked();
    void devCancel();

private:
    void buildVersionWidget();
    void buildNavigation();
    void installComboPopupViews();
    void createToolButtons();
    QToolButton *addToolButton(const QString &text, const QString &name, QToolBar *bar);
    void arrangeToolBars();
    void addLeftNavEntry(const QString &name, const QString &text, QWidget *page);
    void connectSignals();

    void checkOnly(QToolButton *button);
    void showSessionButtons();
    void endSessionNavigation();
    void leaveHelp();
    void abortAndExit();

    Ui::MainWindow *ui;
    QButtonGroup *leftNavGroup;
    QList<QAbstractButton *> leftNavButtons;
    QList<QWidget *> leftNavPages;
    VersionInfoWidget *versionWidget;
    SigleDebug *devicePage;
    HandleRecorde *macPage;
    help *helpPage;
    StationPage *stationPage;
    QToolButton *toolButton1 = nullptr;
    QToolButton *toolButton2 = nullptr;
    QToolButton *toolButton3 = nullptr;
    QToolButton *toolButton4 = nullptr;
    QToolButton *stationButton = nullptr;

    // Where a second click on "帮助文档" returns to.
    QWidget *pageBeforeHelp = nullptr;
    QToolButton *buttonBeforeHelp = nullptr;

    QPointer<CustomQuestionBox> closeQuestion;
    bool exitConfirmed = false;
};
