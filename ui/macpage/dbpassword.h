#pragma once

#include <QDialog>
#include <QString>

namespace Ui
{
class DBPassword;
}

// The password gate in front of the MAC page's database actions. It asks for
// the password twice; a mismatch is reported before a wrong password, both in
// red in its own message line, and the dialog stays open. The right password
// closes it and emits psOk().
class DBPassword : public QDialog
{
    Q_OBJECT

public:
    explicit DBPassword(const QString &expectedPassword, QWidget *parent = nullptr);
    ~DBPassword() override;

signals:
    void psOk();

private slots:
    void on_pushButton_clicked();

private:
    Ui::DBPassword *ui;
    const QString expected;
};
