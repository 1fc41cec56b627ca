#pragma once

// The records that could not reach the database wait in a spool file, one
// JSON line each. Every change happens under an exclusive lock on a lock
// file beside it (flock), so that processes and threads of one station
// never interleave: an append opens the file with O_APPEND, writes its line
// in one write() and fsyncs before it returns; taking lines out rewrites the
// rest into a temporary file, fsyncs it and renames it over the spool.

#include <QCoreApplication>
#include <QJsonObject>
#include <QList>
#include <QString>

#include <functional>

class RecordSpool
{
    Q_DECLARE_TR_FUNCTIONS(RecordSpool)

public:
    explicit RecordSpool(const QString &path) : file(path) {}

    // The station's spool: unit-records.spool in the data folder
    // ($XDG_DATA_HOME/kb-r5530-maintenance, by default ~/.local/share/...).
    static QString defaultPath();

    const QString &path() const { return file; }
    // Appends `record` as one line, on disk when it returns true.
    bool append(const QJsonObject &record, QString *problem);
    // The number of records waiting (lines); 0 when there is no spool.
    int count() const;
    // Hands every waiting record to `upload`, under the lock; when it
    // returns true they leave the spool (lines that are no JSON object
    // stay). False with the reason when the spool could not be read or
    // rewritten, or `upload` failed (then nothing leaves).
    bool drain(const std::function<bool(const QList<QJsonObject> &)> &upload, QString *problem);

private:
    // The lock file's descriptor, locked; -1 with the reason.
    int lock(QString *problem) const;
    bool rewrite(const QList<QByteArray> &kept, QString *problem) const;

    QString file;
};
