// Renders the frame with sample content, each message box and the progress
// dialog to PNG files under <working dir>/screenshots/ for a person to look
// at, and checks that the pictures have content and that Chinese text uses a
// font that has the glyphs. Also checks that every compiled-in image decodes.

#include "resources/resources.h"
#include "support/screenshots.h"
#include "ui/boxes/custombox.h"
#include "ui/boxes/progressbar.h"
#include "ui/frame/framelesswidget.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFontInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPainter>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSet>
#include <QStatusBar>
#include <QTableWidget>
#include <QTest>
#include <QVBoxLayout>

namespace
{

const QColor kDesktop(0xdd, 0xe3, 0xea);

// The grab has transparent margins around the frame; it is laid on a plain
// desktop colour so that the shadow shows.
QImage onDesktop(const QImage &grab)
{
    QImage image(grab.size(), QImage::Format_RGB32);
    image.setDevicePixelRatio(grab.devicePixelRatio());
    image.fill(kDesktop);
    QPainter painter(&image);
    painter.drawImage(0, 0, grab);
    return image;
}

QWidget *sampleDevicePage()
{
    auto *page = new QWidget;
    auto *layout = new QVBoxLayout(page);

    auto *port = new QGroupBox(QObject::tr("串口设置"));
    auto *portGrid = new QGridLayout(port);
    auto *portCombo = new QComboBox;
    portCombo->setView(new QListView);
    portCombo->addItems({"COM3", "COM4", "COM12"});
    portGrid->addWidget(new QLabel(QObject::tr("串口号：")), 0, 0);
    portGrid->addWidget(portCombo, 0, 1);
    portGrid->addWidget(new QPushButton(QObject::tr("打开串口")), 0, 2);
    auto *disabled = new QPushButton(QObject::tr("关闭串口"));
    disabled->setEnabled(false);
    portGrid->addWidget(disabled, 0, 3);
    layout->addWidget(port);

    auto *wifi = new QGroupBox(QObject::tr("Wi-Fi 信息"));
    auto *wifiGrid = new QGridLayout(wifi);
    wifiGrid->addWidget(new QLabel(QObject::tr("SSID：")), 0, 0);
    wifiGrid->addWidget(new QLineEdit(QStringLiteral("KB-R5530-2F")), 0, 1);
    wifiGrid->addWidget(new QLabel(QObject::tr("加密方式：")), 0, 2);
    auto *mode = new QComboBox;
    mode->setView(new QListView);
    mode->addItems({QObject::tr("WPA2-PSK"), QObject::tr("不加密")});
    wifiGrid->addWidget(mode, 0, 3);
    wifiGrid->addWidget(new QLabel(QObject::tr("IP地址：")), 1, 0);
    auto *ip = new QLineEdit(QStringLiteral("192.168.1.10"));
    ip->setReadOnly(true);
    wifiGrid->addWidget(ip, 1, 1);
    wifiGrid->addWidget(new QLabel(QObject::tr("MAC地址：")), 1, 2);
    auto *mac = new QLineEdit;
    mac->setPlaceholderText(QObject::tr("未读取"));
    mac->setEnabled(false);
    wifiGrid->addWidget(mac, 1, 3);
    auto *checked = new QCheckBox(QObject::tr("记住账号"));
    checked->setChecked(true);
    wifiGrid->addWidget(checked, 2, 0, 1, 2);
    wifiGrid->addWidget(new QCheckBox(QObject::tr("显示密码")), 2, 2);
    auto *radio = new QRadioButton(QObject::tr("2.4G"));
    radio->setChecked(true);
    wifiGrid->addWidget(radio, 3, 0);
    wifiGrid->addWidget(new QRadioButton(QObject::tr("5G")), 3, 1);
    auto *off = new QRadioButton(QObject::tr("关闭"));
    off->setEnabled(false);
    wifiGrid->addWidget(off, 3, 2);
    layout->addWidget(wifi);

    auto *table = new QTableWidget(3, 3);
    table->setHorizontalHeaderLabels(
        {QObject::tr("MAC地址"), QObject::tr("使用状态"), QObject::tr("使用时间")});
    const QStringList rows[] = {{"00:1A:2B:3C:4D:01", QObject::tr("已使用"), "2024-05-01 10:20:31"},
                                {"00:1A:2B:3C:4D:02", QObject::tr("未使用"), ""},
                                {"00:1A:2B:3C:4D:03", QObject::tr("未使用"), ""}};
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c)
            table->setItem(r, c, new QTableWidgetItem(rows[r][c]));
    }
    table->setAlternatingRowColors(true);
    table->horizontalHeader()->setStretchLastSection(true);
    table->verticalHeader()->hide();
    table->setColumnWidth(0, 190);
    table->setColumnWidth(1, 110);
    table->selectRow(0);
    layout->addWidget(table);

    auto *progress = new QProgressBar;
    progress->setValue(64);
    layout->addWidget(progress);

    auto *status = new QStatusBar;
    status->addPermanentWidget(new QLabel(QObject::tr("版本号: V1.0.9 ")));
    status->setStyleSheet("QLabel { color: #FFFFFF; }");
    layout->addWidget(status);
    return page;
}

} // namespace

class TestShellScreenshots : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void compiledInImagesDecode_data();
    void compiledInImagesDecode();
    void chineseTextUsesCjkFont();
    void frameWithContent();
    void messageBoxes_data();
    void messageBoxes();
    void progressDialogWithError();

private:
    // Saves the picture and checks that it exists and is not blank.
    void saveAndCheck(const QImage &image, const QString &name);
    QDir m_dir;
};

void TestShellScreenshots::initTestCase()
{
    initMaintResources();
    m_dir = QDir(QDir::current().absoluteFilePath("screenshots"));
    QVERIFY(m_dir.mkpath("."));
    for (const QString &old : m_dir.entryList({"*.png"}, QDir::Files))
        QVERIFY(m_dir.remove(old));
}

void TestShellScreenshots::cleanup()
{
    for (QWidget *widget : QApplication::topLevelWidgets())
        widget->hide();
}

void TestShellScreenshots::saveAndCheck(const QImage &image, const QString &name)
{
    const QString path = m_dir.absoluteFilePath(name);
    QVERIFY2(image.save(path, "PNG"), qPrintable(path));
    const QImage back(path);
    QVERIFY2(!back.isNull(), qPrintable(path));
    QCOMPARE(back.size(), image.size());
    // A blank or single-colour picture means nothing was painted.
    QVERIFY2(distinctColours(back) > 30, qPrintable(name));
    qInfo("screenshot: %s", qPrintable(path));
}

void TestShellScreenshots::compiledInImagesDecode_data()
{
    QTest::addColumn<QString>("name");
    const char *names[] = {"icon.png",
                           "window.ico",
                           "6.png",
                           "openEye.png",
                           "icon_window_close.png",
                           "icon_window_maximize.png",
                           "icon_window_restore.png",
                           "icon_window_minimize.png",
                           "icon_window_help.png",
                           "fullscreen.png",
                           "fullscreen_exit.png",
                           "sort_up.png",
                           "sort_down.png",
                           "caret-left.png",
                           "caret-right.png",
                           "checkbox.png",
                           "checkbox--checked.png",
                           "checkbox_dis.png",
                           "radio-button.png",
                           "radio-button--checked.png",
                           "radio-button_dis.png",
                           "filter.png"};
    for (const char *name : names)
        QTest::newRow(name) << QString::fromLatin1(name);
}

void TestShellScreenshots::compiledInImagesDecode()
{
    QFETCH(QString, name);
    const QImage image(":/images/" + name);
    QVERIFY2(!image.isNull(), qPrintable(name));
    QVERIFY(image.width() >= 8 && image.height() >= 6);
    QVERIFY(image.hasAlphaChannel());
    // Something is drawn, and the glyphs leave a clear background.
    int painted = 0;
    int clear = 0;
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < argb.height(); ++y) {
        for (int x = 0; x < argb.width(); ++x) {
            const int alpha = qAlpha(argb.pixel(x, y));
            painted += alpha > 0;
            clear += alpha == 0;
        }
    }
    QVERIFY(painted > 0);
    if (name != "icon.png" && name != "window.ico")
        QVERIFY(clear > 0);
}

void TestShellScreenshots::chineseTextUsesCjkFont()
{
    FramelessWidget frame;
    auto *label = new QLabel(tr("串口自测"));
    frame.setContent(label);
    frame.show();
    QVERIFY(QTest::qWaitForWindowExposed(&frame));
    label->ensurePolished();
    const QFontInfo info(label->font());
    QVERIFY2(info.family().contains("WenQuanYi", Qt::CaseInsensitive), qPrintable(info.family()));
    QCOMPARE(info.pixelSize(), 14);
    QVERIFY(QFontMetrics(label->font()).inFont(QChar(0x4e32))); // 串
}

void TestShellScreenshots::frameWithContent()
{
    FramelessWidget frame;
    frame.setContent(sampleDevicePage());
    frame.setTitle(tr("KB-R5530"));
    frame.resize(700, 560);
    frame.show();
    QVERIFY(QTest::qWaitForWindowExposed(&frame));
    frame.styleWindow(true, true);
    saveAndCheck(onDesktop(grabSettled(&frame)), "frame_normal.png");
    QCOMPARE(frame.findChild<QWidget *>("windowFrame")->pos(), QPoint(15, 15));

    frame.on_toolButton_max_clicked();
    saveAndCheck(onDesktop(grabSettled(&frame)), "frame_maximised.png");
    QCOMPARE(frame.findChild<QWidget *>("windowFrame")->pos(), QPoint(0, 0));
}

void TestShellScreenshots::messageBoxes_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("info") << "info";
    QTest::newRow("warning") << "warning";
    QTest::newRow("login password tips") << "tips";
    QTest::newRow("wifi password tips") << "tipsTwo";
}

void TestShellScreenshots::messageBoxes()
{
    QFETCH(QString, kind);
    QPointer<QWidget> box;
    if (kind == "info") {
        CustomInfoBox::showInfoBox(tr("提示"), tr("修改成功！"));
        box = CustomInfoBox::instance();
    } else if (kind == "warning") {
        CustomWarningBox::showWarningBox(tr("提示"), tr("串口打开失败！"));
        box = CustomWarningBox::instance();
    } else if (kind == "tips") {
        CustomWarningBoxTips::showTips(tr("提示"), tr("登陆密码为初始密码，需要修改！"),
                                       tr("提示：使用默认密码会存在密码暴露风险！"));
        box = CustomWarningBoxTips::instance();
    } else {
        box =
            CustomWarningBoxTipsTwo::showTips(tr("提示"), tr("Wifi密码为初始密码，需要修改！"),
                                              tr("提示：使用默认wifi密码会存在网络接口暴露风险！"));
    }
    QVERIFY(box);
    saveAndCheck(onDesktop(grabSettled(box)), QStringLiteral("box_%1.png").arg(kind));
    if (kind == "tipsTwo")
        box->close();
}

void TestShellScreenshots::progressDialogWithError()
{
    // The dialog sits below the frame, as on the MAC page, and so takes the
    // frame's style sheet.
    FramelessWidget frame;
    auto *page = new QWidget;
    frame.setContent(page);
    Progressbar dialog(tr("正在生成MAC地址"), page);
    dialog.onSetRange(0, 1000);
    dialog.onSetValue(420);
    dialog.show();
    saveAndCheck(grabSettled(&dialog), "progress_compact.png");

    dialog.onSetError(tr("插入MAC地址失败：<b>database is locked</b>，请稍后重试。"));
    saveAndCheck(grabSettled(&dialog), "progress_error.png");
}

QTEST_MAIN(TestShellScreenshots)
#include "tst_shell_screenshots.moc"
