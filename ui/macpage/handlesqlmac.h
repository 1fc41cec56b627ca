#pragma once

#include <QString>
#include <QThread>

// One generation task of the MAC page on its own thread: checks the request,
// inserts the whole range in one transaction under a connection of its own
// (a range that overlaps the pool is refused before any row goes in), and reports through queued
// signals: progressVSignal(1) first; progressVSignal(i) for i = 0 .. count - 2 as the rows after
// the first are stored (every row up to 200 rows, otherwise each half per cent of the range and the
// last row); then progressVSignal(count + 1) on success, or errorMsg(text) followed by
// progressVSignal of 90 % of count + 1 on failure (nothing stored); isEndSignal() last, in either
// case. A refused request emits errorMsg with the reason and stores nothing.
class HandleSqlMac : public QThread
{
    Q_OBJECT

public:
    HandleSqlMac(const QString &startMac, int count, int headLength, int step,
                 const QString &separator, const QString &batch);

signals:
    void pageInfoSignal(int current, int count); // never emitted by a generation
    void progressVSignal(int value);
    void isEndSignal();
    void errorMsg(QString msg);

protected:
    void run() override;

private:
    void insertMacRange();

    const QString startMac;
    const int count;
    const int headLength;
    const int step;
    const QString separator;
    const QString batch;
};
