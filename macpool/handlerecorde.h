#pragma once

#include <QWidget>

// The MAC address pool page. This version only tells the user that the pool
// management is not offered yet.
class HandleRecorde : public QWidget
{
    Q_OBJECT

public:
    explicit HandleRecorde(QWidget *parent = nullptr);
};
