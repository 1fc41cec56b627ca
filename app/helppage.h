#pragma once

#include <QWidget>

namespace Ui
{
class help;
}

// The help page: shows "help.html" from the working directory as it was at
// construction. Links open in the system's browser.
class help : public QWidget
{
    Q_OBJECT

public:
    explicit help(QWidget *parent = nullptr);
    ~help() override;

private:
    void loadHelpFile();

    Ui::help *ui;
};
