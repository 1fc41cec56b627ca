#pragma once

// One slot's tile: name and port, state with progress, the last unit's MAC
// addresses and time, the slot's counts. Grey while idle or waiting, blue
// while running, green for a pass, red for a failure. A click selects it.

#include "ui/station/stationboard.h"

#include <QFrame>

class QLabel;
class QProgressBar;

class SlotTile : public QFrame
{
    Q_OBJECT

public:
    explicit SlotTile(QWidget *parent = nullptr);

    void display(const SlotView &view);
    // The colour name of the state the tile shows: "grey", "blue", "green", "red".
    QString colour() const { return property("colour").toString(); }
    QString stateText() const;

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    QLabel *name;
    QLabel *port;
    QLabel *state;
    QProgressBar *progress;
    QLabel *macs;
    QLabel *counts;
};
