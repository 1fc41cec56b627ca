#pragma once

// Puts a ModuleModel on the master side of a pseudo-terminal, so that the
// tool opens the slave side (slavePath(), such as /dev/pts/3) like any serial
// port. Both directions pass a LineShaper: the tool's bytes reach the model,
// and the model's replies reach the tool, at the configured line rate; the
// replies can also be cut into chunks and delayed. Works inside any Qt event
// loop of the thread that made it, the tool's own included.

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>

class LineShaper;
class ModuleModel;
class QSocketNotifier;
class QTimer;

class PtyLink : public QObject
{
    Q_OBJECT

public:
    // Opens the pseudo-terminal at once; isOpen() tells whether that worked.
    // `model` must outlive the link.
    explicit PtyLink(ModuleModel *model, QObject *parent = nullptr);
    ~PtyLink() override;

    bool isOpen() const { return master >= 0; }
    QString errorString() const { return error; }
    QString slavePath() const { return path; }
    ModuleModel *model() const { return module; }

    // Pacing of both directions (0: none, the default).
    void setLineRate(int baud);
    // Replies in pieces of `size` bytes, at least `gapMs` apart (0: whole).
    void setReplyChunking(int size, int gapMs = 1);
    // Every reply waits this long before it starts.
    void setReplyDelayMs(int ms);

    LineShaper *toModule() const { return inbound; }
    LineShaper *toTool() const { return outbound; }
    // Bytes carried in both directions since the link opened.
    qint64 wireBytes() const;
    // Replies still queued for the pty (written when the tool reads).
    int pendingWriteBytes() const { return writeQueue.size(); }

signals:
    // Every piece the tool wrote, as it arrives on the master.
    void toolBytesArrived(const QByteArray &bytes);

private:
    void openPty();
    void readMaster();
    void resumeReading();
    void deliverToModel(const QByteArray &bytes, qint64 dueNs);
    void queueForTool(const QByteArray &bytes);
    void flushWrites();
    void watchForSilence();
    void checkSilence();

    ModuleModel *module;
    QElapsedTimer clock;
    LineShaper *inbound;
    LineShaper *outbound;
    int master = -1;
    int slave = -1;
    QString path;
    QString error;
    QSocketNotifier *readNotifier = nullptr;
    QSocketNotifier *writeNotifier = nullptr;
    QTimer *silenceTimer; // tells the model when a partial frame has gone quiet
    QByteArray writeQueue;
    qint64 feedingDueNs = -1; // line time of the input the model is answering
};
