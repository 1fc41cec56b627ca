#pragma once

// The records sink: every unit's record goes to mavo_unit_record in the
// database of the pool URL, in a transaction of its own, before the sinks
// after it hear of the unit's end. When the database cannot be reached (or
// a SQLite pool file is missing) the record goes to the station's spool
// instead, fsync'd. Whenever the database is reached, the spool is uploaded
// first. A record without "unitId" gets a new UUID before it is stored or
// spooled, so an upload repeated after a crash stores nothing twice.
//
// Safe from any thread: each call opens a connection of its own on the
// calling thread.

#include "provision/recordspool.h"
#include "provision/unitsink.h"

#include <QCoreApplication>
#include <QJsonObject>
#include <QString>

class RecordSink : public UnitSink
{
    Q_DECLARE_TR_FUNCTIONS(RecordSink)

public:
    enum class Stored { Database, Spool, Lost };

    explicit RecordSink(const QString &poolUrl,
                        const QString &spoolPath = RecordSpool::defaultPath());

    // Stores the record, into the database or else the spool.
    Stored store(const QJsonObject &record);
    // Uploads the spool; the number of records it held, -1 with the reason
    // when the database or the spool failed.
    int flush(QString *problem);
    // Records waiting in the spool, as a station's page shows them.
    int spoolCount() const { return spool.count(); }

    void unitEnded(const PortOutcome &, const QJsonObject &record) override { store(record); }

    // `record` with a new "unitId" when it has none.
    static QJsonObject withUnitId(const QJsonObject &record);

private:
    QString url;
    RecordSpool spool;
};
