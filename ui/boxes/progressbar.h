#pragma once

#include <QDialog>
#include <QString>

namespace Ui
{
class progressbar;
}

// The progress dialog of long database work: a bar, and under it a red
// message line that appears only when an error is reported. Closing it (in
// any way) makes it compact again, so a reused dialog starts with the bar
// alone.
class Progressbar : public QDialog
{
    Q_OBJECT

public:
    explicit Progressbar(const QString &title, QWidget *parent = nullptr);
    ~Progressbar() override;

public slots:
    void onSetValue(int value);
    // Shows `msg` in red under the bar, growing the dialog to 400 x 150. The
    // message is rich text: markup in it is rendered.
    void onSetError(QString msg);
    void onSetRange(int min, int max);

protected:
    void hideEvent(QHideEvent *event) override;

private:
    void makeCompact();

    Ui::progressbar *ui;
};
