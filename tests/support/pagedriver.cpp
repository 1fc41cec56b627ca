#include "support/pagedriver.h"

#include "ui/boxes/custombox.h"
#include "ui/dialogs/login.h"

#include <QTest>

bool PageDriver::openPort(const QString &port) const
{
    auto *ports = widget<QComboBox>("comboBox_Com_2");
    const int index = ports->findText(port);
    if (index < 0)
        return false;
    ports->setCurrentIndex(index);
    QPushButton *connect = button("pushButton_Connect_2");
    QTest::mouseClick(connect, Qt::LeftButton);
    return connect->isChecked();
}

void PageDriver::login(const QString &account, const QString &password) const
{
    auto *panel = page->findChild<Login *>();
    panel->findChild<QLineEdit *>(QStringLiteral("lineEdit_id"))->setText(account);
    panel->findChild<QLineEdit *>(QStringLiteral("lineEdit_password"))->setText(password);
    QTest::mouseClick(panel->findChild<QPushButton *>(QStringLiteral("pushButton_enter")),
                      Qt::LeftButton);
}

QString PageDriver::warningText()
{
    return CustomWarningBox::instance() ? CustomWarningBox::instance()->text() : QString();
}

QString PageDriver::infoText()
{
    return CustomInfoBox::instance() ? CustomInfoBox::instance()->text() : QString();
}

void PageDriver::hideBoxes()
{
    if (CustomWarningBox::instance()) {
        CustomWarningBox::showWarningBox(QString(), QString());
        CustomWarningBox::instance()->hide();
    }
    if (CustomInfoBox::instance()) {
        CustomInfoBox::showInfoBox(QString(), QString());
        CustomInfoBox::instance()->hide();
    }
}

QString PageDriver::wifiPasswordText() const
{
    // The login panel has a field of the same name; take the device group's.
    return widget("groupBox_3")
        ->findChild<QLineEdit *>(QStringLiteral("lineEdit_password"))
        ->text();
}

QPushButton *PageDriver::enterButton() const
{
    return page->findChild<Login *>()->findChild<QPushButton *>(QStringLiteral("pushButton_enter"));
}
