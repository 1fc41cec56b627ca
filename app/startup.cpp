#include "app/startup.h"

#include "app/mainwindow.h"
#include "macpool/macstore.h"
#include "resources/resources.h"
#include "ui/device/sigledebug.h"
#include "ui/frame/framelesswidget.h"

#include <QApplication>
#include <QIcon>
#include <QObject>
#include <QTranslator>

#include <memory>

void enableHighDpiScaling()
{
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
}

void installToolkitTranslation(QApplication &app)
{
    initMaintResources();
    auto *translator = new QTranslator(&app);
    // qt_zh_CN.qm is only a catalogue: it loads when every module file it
    // names is present. The widgets' texts are all in the base module, so
    // that one alone will do when another part is missing. Without either
    // the toolkit's texts stay untranslated.
    if (!translator->load(QStringLiteral(":/images/qt_zh_CN.qm")))
        translator->load(QStringLiteral(":/images/qtbase_zh_CN.qm"));
    app.installTranslator(translator);
}

FramelessWidget *createMainFrame(const QString &selectedPort, const QString &stationFile)
{
    auto *frame = new FramelessWidget();
    auto *mainWindow = new MainWindow(frame);
    frame->setContent(mainWindow);
    QObject::connect(frame, &FramelessWidget::showHelp, mainWindow,
                     &MainWindow::toolButton4_clicked);
    QObject::connect(frame, &FramelessWidget::cancelDev, mainWindow, &MainWindow::devCancel);
    frame->setCloseGuard([mainWindow] { return mainWindow->confirmClose(); });
    frame->setTitle(QObject::tr("KB-R5530"));
    frame->setMinimumSize(580, 610);
    if (!selectedPort.isEmpty())
        mainWindow->findChild<SigleDebug *>()->selectPort(selectedPort);
    if (!stationFile.isEmpty())
        mainWindow->showStation(stationFile);
    return frame;
}

int runMaintenanceTool(QApplication &app, const QString &selectedPort,
                       const std::function<void(FramelessWidget *)> &shown,
                       const QString &stationFile)
{
    installToolkitTranslation(app);
    app.setWindowIcon(QIcon(QStringLiteral(":/images/window.ico")));
    createMacTable(); // a new installation starts with an empty pool
    std::unique_ptr<FramelessWidget> frame(createMainFrame(selectedPort, stationFile));
    frame->show();
    if (shown)
        shown(frame.get());
    return app.exec();
}

QString stationFileArgument(const QStringList &arguments)
{
    const int at = arguments.indexOf(QStringLiteral("--station"));
    return at >= 0 && at + 1 < arguments.size() ? arguments.at(at + 1) : QString();
}
