#pragma once

// What the station page shows, kept apart from the widgets: each slot's
// state, its last unit's addresses and time, its messages, and the counts
// since the page opened. Fed by StationFeed's signals on the GUI thread.
// A pass or a failure is held until the next unit starts on that slot.

#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVector>

struct StationSlot;

struct SlotView {
    enum class State { Idle, Waiting, Running, Passed, Failed, Refused };
    QString name;
    QString port; // the device of the last look, or the slot's path or serial
    State state = State::Idle;
    QString status; // 空闲, 等待模块, the running step, 通过, 失败：reason
    QString note;   // the slot's phase while a verdict is held
    int percent = -1;
    QString wifiMac;
    QString feMac;
    QString time; // the last unit's end
    int passed = 0;
    int failed = 0;
    QStringList messages;     // the current (or last ended) unit's
    QStringList lastMessages; // the unit before
    bool active = false;      // the slot's thread runs
};

class StationBoard : public QObject
{
    Q_OBJECT

public:
    explicit StationBoard(QObject *parent = nullptr) : QObject(parent) {}

    // Starts over with `slots`, every slot idle and the counts at zero.
    void reset(const QVector<StationSlot> &slotList);
    int size() const { return views.size(); }
    const SlotView &view(int index) const { return views.at(index); }
    int passed() const { return passCount; }
    int failed() const { return failCount; }
    // "97.5%", or "—" before the first unit.
    static QString yieldText(int passed, int failed);
    bool anyActive() const;
    // Marks every slot's thread as running, before the runner starts them.
    void markStarted();

    // The step's name as the operator reads it ("升级").
    static QString stepText(const QString &step);

public slots:
    void onPhase(int slot, int phase, const QString &detail);
    void onBegan(int slot, const QString &port);
    void onStep(int slot, const QString &step);
    void onProgress(int slot, int phase, qint64 done, qint64 total);
    void onEnded(int slot, bool ok, const QString &message, const QJsonObject &record);

signals:
    void slotChanged(int slot);
    void countsChanged();

private:
    void note(int slot, const QString &text);
    bool valid(int slot) const { return slot >= 0 && slot < views.size(); }

    QVector<SlotView> views;
    int passCount = 0;
    int failCount = 0;
};
