#include "app/startup.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    enableHighDpiScaling();
    QApplication app(argc, argv);
    // maintenance-tool --station FILE starts on the station page with FILE.
    return runMaintenanceTool(app, QString(), {}, stationFileArgument(app.arguments()));
}
