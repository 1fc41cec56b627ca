#pragma once

// How the device page shows the module's error replies: the warning-box and
// log-view texts of each code, and where they go.

#include "protocol/frame.h"

#include <QString>

struct ErrorReplyInfo {
    QString boxText; // shown in the warning box; empty for 0x16
    QString logText; // appended to the log view; empty for 0x13 and 0x16
    SessionEffect effect;
    bool alwaysBox;     // shown as a box even in log mode (0x13)
    bool clearsLogView; // in log mode the log view is cleared first (0x13)
};

// Texts (translated), display and effect of an error code; unknown codes
// give "未知的异常！".
ErrorReplyInfo errorReplyInfo(quint8 code);
