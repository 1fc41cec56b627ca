#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class QApplication;
class FramelessWidget;

// The tool's start-up, shared by the maintenance tool and the demo launcher.

// Turns on the toolkit's high-DPI scaling, so that the window keeps its size
// and stays legible on 4K screens. Must run before the application object is
// created.
void enableHighDpiScaling();

// Installs the toolkit's own Chinese texts from the compiled-in resources.
// A missing translation leaves them in English.
void installToolkitTranslation(QApplication &app);

// Builds the window: the frame, which applies the style sheet, with a new
// MainWindow as its content, titled and limited to its minimum size, with
// the frame's help and cancel signals and its close guard wired to the main
// window, and `selectedPort` (when given and listed) selected in the device
// page's port list, and the station page opened on `stationFile` when one
// is given. Not shown; the caller owns the frame.
FramelessWidget *createMainFrame(const QString &selectedPort = QString(),
                                 const QString &stationFile = QString());

// Translation, window, show, event loop; returns the loop's exit code.
// `shown` (when given) is called with the frame once it is shown.
int runMaintenanceTool(QApplication &app, const QString &selectedPort = QString(),
                       const std::function<void(FramelessWidget *)> &shown = {},
                       const QString &stationFile = QString());

// The station file named by "--station FILE" among `arguments`; empty
// when there is none.
QString stationFileArgument(const QStringList &arguments);
