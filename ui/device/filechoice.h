#pragma once

// The one place where the device page asks the technician for a firmware
// file or a log directory. By default the system's dialogs; tests and the
// demo launcher can answer instead (as PortEnumeration lets them list a
// pseudo-terminal). GUI thread only.

#include <QString>

#include <functional>

class QWidget;

namespace FileChoice
{

enum class Kind { FirmwareFile, LogDirectory };

// The chosen path, empty when the technician cancels.
QString chooseFirmwareFile(QWidget *parent);
QString chooseLogDirectory(QWidget *parent);

// Replaces both dialogs by `chooser`; an empty function restores them.
void setOverride(std::function<QString(Kind)> chooser);

} // namespace FileChoice
