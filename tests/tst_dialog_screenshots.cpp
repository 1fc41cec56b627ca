#include "resources/resources.h"
#include "ui/boxes/custombox.h"
#include "ui/dialogs/login.h"
#include "ui/dialogs/loginsetings.h"
#include "ui/dialogs/setpassword.h"
#include "ui/dialogs/setssid.h"

#include "support/screenshots.h"
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QLineEdit>
#include <QPushButton>
#include <QSet>

#include <QtTest>

#include <functional>
#include <memory>

// Renders the dialogs and the login panel to <working dir>/screenshots/ for
// review, with the application font and style sheet as in the tool.
class TestDialogScreenshots : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void render_data();
    void render();

private:
    QString m_styleSheet;
};

namespace
{

using Factory = std::function<std::unique_ptr<QWidget>()>;

std::unique_ptr<QWidget> setPasswordRejected()
{
    auto dialog = std::make_unique<SetPassword>(QStringLiteral("Oldpass_123"),
                                                QStringLiteral("Office_Wifi5"));
    dialog->findChild<QLineEdit *>("lineEdit_3")->setText(QStringLiteral("Oldpass_123"));
    dialog->findChild<QLineEdit *>("lineEdit")->setText(QStringLiteral("abcdefgh"));
    dialog->findChild<QPushButton *>("pushButton_OK")->click();
    return dialog;
}

std::unique_ptr<QWidget> loginSetingsTyping()
{
    auto dialog =
        std::make_unique<LoginSetings>(QStringLiteral("admin"), QStringLiteral("Initpass_456"));
    QTest::keyClicks(dialog->findChild<QLineEdit *>("lineEdit_oldKey"), QStringLiteral("Init"));
    QTest::keyClicks(dialog->findChild<QLineEdit *>("lineEdit_newKey"), QStringLiteral("Abc_1234"));
    return dialog;
}

std::unique_ptr<QWidget> setSsidRejected()
{
    auto dialog =
        std::make_unique<SetSSID>(QStringLiteral("Office_Wifi"), QStringLiteral("Secret_123"));
    dialog->findChild<QPushButton *>("pushButton_Ok")->click();
    return dialog;
}

std::unique_ptr<QWidget> loginFilled()
{
    auto login = std::make_unique<Login>();
    login->enterEnable(true);
    login->findChild<QLineEdit *>("lineEdit_id")->setText(QStringLiteral("admin"));
    login->findChild<QLineEdit *>("lineEdit_password")->setText(QStringLiteral("secret"));
    return login;
}

} // namespace

Q_DECLARE_METATYPE(Factory)

void TestDialogScreenshots::initTestCase()
{
    initMaintResources();
    QVERIFY(QFontDatabase().families().contains(QStringLiteral("WenQuanYi Micro Hei")));
    QApplication::setFont(QFont(QStringLiteral("WenQuanYi Micro Hei"), 10));
    QFile sheet(QStringLiteral(":/images/mavo.css"));
    if (sheet.open(QIODevice::ReadOnly))
        m_styleSheet = QString::fromUtf8(sheet.readAll());
    QVERIFY(QDir().mkpath(QStringLiteral("screenshots")));
}

void TestDialogScreenshots::render_data()
{
    QTest::addColumn<Factory>("factory");
    QTest::addColumn<QSize>("size");
    QTest::newRow("setpassword") << Factory([] {
        return std::make_unique<SetPassword>(QStringLiteral("Oldpass_123"),
                                             QStringLiteral("Office_Wifi5"));
    }) << QSize(344, 277);
    QTest::newRow("setpassword_rejected") << Factory(setPasswordRejected) << QSize(344, 277);
    QTest::newRow("loginsetings") << Factory([] {
        return std::make_unique<LoginSetings>(QStringLiteral("admin"),
                                              QStringLiteral("Initpass_456"));
    }) << QSize(346, 271);
    QTest::newRow("loginsetings_typing") << Factory(loginSetingsTyping) << QSize(346, 271);
    QTest::newRow("setssid") << Factory([] {
        return std::make_unique<SetSSID>(QStringLiteral("Office_Wifi"),
                                         QStringLiteral("Secret_123"));
    }) << QSize(331, 224);
    QTest::newRow("setssid_rejected") << Factory(setSsidRejected) << QSize(331, 224);
    QTest::newRow("login") << Factory([] { return std::make_unique<Login>(); }) << QSize(586, 443);
    QTest::newRow("login_filled") << Factory(loginFilled) << QSize(586, 443);
    QTest::newRow("close_question") << Factory([] {
        return std::unique_ptr<QWidget>(new CustomQuestionBox(
            QStringLiteral("提示"), QStringLiteral("文件传输进行中，确定中止并退出吗？")));
    }) << QSize(380, 180);
}

void TestDialogScreenshots::render()
{
    QFETCH(Factory, factory);
    QFETCH(QSize, size);
    std::unique_ptr<QWidget> widget = factory();
    if (!m_styleSheet.isEmpty())
        widget->setStyleSheet(m_styleSheet);
    widget->show();
    const QImage image = grabSettled(widget.get());
    QCOMPARE(widget->size(), size);
    QCOMPARE(image.size(), size);
    // Text, frames and buttons give far more than a handful of colours.
    QVERIFY2(distinctColours(image) > 20, "the rendering looks blank");
    const QString path = QDir::current().absoluteFilePath(
        QStringLiteral("screenshots/%1.png").arg(QTest::currentDataTag()));
    QVERIFY(image.save(path));
    qInfo("%s", qPrintable(path));
}

QTEST_MAIN(TestDialogScreenshots)
#include "tst_dialog_screenshots.moc"
