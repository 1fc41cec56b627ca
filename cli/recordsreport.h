#pragma once

// The records report: one self-contained HTML page (no script, no file or
// address outside it) with the yield per day and per station as SVG bar
// charts, the failures by step and error key, and the failed units with
// their messages.

#include "macpool/unityield.h"

#include <QByteArray>
#include <QList>
#include <QString>

struct RecordsReportData {
    QString title;
    YieldReport byDay;
    YieldReport byStation;
    QList<UnitRecordRow> failed;
};

// The page as UTF-8. At most MAX_FAILED_ROWS failed units are listed (the
// page says how many were left out).
QByteArray recordsReportHtml(const RecordsReportData &data);

constexpr int MAX_FAILED_ROWS = 2000;
