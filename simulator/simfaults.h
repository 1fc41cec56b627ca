#pragma once

// Fault specifications as module-sim takes them on its command line, such as
// "drop-next", "corrupt-crc:2", "error:0x12", "nak:3", "can-after:4",
// "eot-after:4", "raw:01 83 02", "chunk:1", "delay:200",
// "mac-write-delay:3000".

#include <QString>

class ModuleModel;
class PtyLink;

// One line per kind of fault, for --help.
QString faultHelpText();

// Applies one fault to the model (or, for chunk and delay, the link). An
// unknown kind or a bad value changes nothing, fills *problem and answers
// false.
bool applyFault(const QString &spec, ModuleModel *model, PtyLink *link, QString *problem);
