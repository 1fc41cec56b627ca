#pragma once

#include <QWidget>

// The permanent status-bar widget that carries the tool's version label. It
// is a plain widget with a meta-object of its own so the style sheet can
// address it; the main window fills it.
class VersionInfoWidget : public QWidget
{
    Q_OBJECT

public:
    explicit VersionInfoWidget(QWidget *parent = nullptr);
};
