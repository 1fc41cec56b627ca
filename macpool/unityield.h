#pragma once

// Yield over the unit records, counted by the database. A unit is known by
// its Wi-Fi MAC address after the run (a record without one is a unit of its
// own); it passed when any of its records passed, and passed first time
// when its earliest record (by start time, then key) passed. Grouped by
// station, slot or UTC day, a unit counts in each group it has records in,
// judged by its records there.

#include "macpool/unitrecords.h"

#include <QList>
#include <QString>

struct YieldRow {
    QString group; // empty for the whole selection
    qint64 records = 0;
    qint64 units = 0;
    qint64 passed = 0;
    qint64 failed = 0; // units = passed + failed
    qint64 firstPass = 0;
    double firstPassYield() const { return units ? double(firstPass) / double(units) : 0.0; }
};

// Failed records by the step they failed in and their error key.
struct FailureRow {
    QString step;
    QString error;
    qint64 count = 0;
};

enum class YieldBy { None, Station, Slot, Day, Step };

struct YieldReport {
    YieldRow total;
    QList<YieldRow> groups;     // by station, slot or day; empty for None and Step
    QList<FailureRow> failures; // by step and error key; by step alone for Step
};

// "station", "slot", "day", "step" or "" to YieldBy; false for another word.
bool parseYieldBy(const QString &word, YieldBy &by);

// The yield of the rows `filter` selects (since/until, station, slot; mac and
// failedOnly are ignored). False with the driver's text on failure.
bool computeYield(UnitRecordStore &store, const UnitRecordFilter &filter, YieldBy by,
                  YieldReport &report, QString &errorText);

// The statement computeYield runs for the groups, values filled in by the
// caller's own means (for a shell that runs the same work).
QString yieldStatement(const QString &groupExpression, const QString &conditions);
QString failureStatement(const QString &conditions, bool withError);
