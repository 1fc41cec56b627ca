#pragma once

// The provisioning report, a sink of the unit job: one JSON line per unit appended to a file that
// several kbmaint processes may share. The file is opened with O_APPEND and
// every record leaves in a single write(), so records of different
// processes and ports never interleave.

#include "provision/unitsink.h"

#include <QCoreApplication>
#include <QJsonObject>
#include <QString>

#include <mutex>

class ReportFile : public UnitSink
{
    Q_DECLARE_TR_FUNCTIONS(ReportFile)

public:
    ReportFile() = default;
    ~ReportFile() override;
    ReportFile(const ReportFile &) = delete;
    ReportFile &operator=(const ReportFile &) = delete;

    // Opens (creating it when missing) for appending; false with the reason.
    bool open(const QString &path, QString *problem);
    bool isOpen() const { return fd >= 0; }

    // Appends `record` as one line; false when the write did not take it
    // whole. Safe from any thread.
    bool append(const QJsonObject &record);

    // The unit's record goes in as one line.
    void unitEnded(const PortOutcome &, const QJsonObject &record) override { append(record); }

private:
    int fd = -1;
    std::mutex lock;
};
