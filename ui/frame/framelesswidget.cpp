#include "ui/frame/framelesswidget.h"
#include "ui_framelesswidget.h"

#include "resources/resources.h"
#include "ui/frame/compositor.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QGraphicsDropShadowEffect>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QScreen>

namespace
{
const char *const kDefaultStyleSheet = ":/images/mavo.css";
constexpr int kTitleIconSize = 24;
constexpr qreal kShadowBlurRadius = 9;
} // namespace

FramelessWidget::FramelessWidget(QWidget *parent)
    : FramelessWidget(parent, QString::fromLatin1(kDefaultStyleSheet))
{
}

FramelessWidget::FramelessWidget(QWidget *parent, const QString &styleSheetPath)
    : QWidget(parent), ui(new Ui::FramelessWidget), m_styleSheetPath(styleSheetPath)
{
    ui->setupUi(this);
    // Qt::Window keeps the frame a top-level window even when given a parent.
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowSystemMenuHint);
    setWindowFlags(windowFlags() | Qt::WindowMinimizeButtonHint);
    // Without a compositing manager the transparent margin would show black.
    m_translucent = desktopComposites();
    setAttribute(Qt::WA_NoSystemBackground, m_translucent);
    setAttribute(Qt::WA_TranslucentBackground, m_translucent);

    ui->toolButton_restore->hide();
    ui->toolButton_full->hide();
    ui->toolButton_full_exit->hide();

    connect(qApp, &QGuiApplication::applicationStateChanged, this,
            &FramelessWidget::on_applicationStateChanged);
    setMouseTracking(true);

    initMaintResources();
    setTitleIcon(QIcon(QStringLiteral(":/images/icon.png")));

    ui->windowTitlebar->installEventFilter(this);
    ui->windowContent->installEventFilter(this);
    installEventFilter(this);

    initStyle();
}

FramelessWidget::~FramelessWidget()
{
    delete ui;
}

void FramelessWidget::setContent(QWidget *content)
{
    if (QLayout *old = ui->windowContent->layout()) {
        delete m_content;
        delete old;
    }
    auto *layout = new QHBoxLayout(ui->windowContent);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(content);
    m_content = content;
    content->installEventFilter(this);
}

void FramelessWidget::setContentLayout(QLayout *layout)
{
    auto *wrapper = new QWidget;
    wrapper->setContentsMargins(0, 0, 0, 0);
    wrapper->setLayout(layout);
    setContent(wrapper);
}

void FramelessWidget::setTitle(const QString &title)
{
    ui->label_title->setText(title);
    setWindowTitle(title);
}

QString FramelessWidget::title() const
{
    return ui->label_title->text();
}

void FramelessWidget::setTitleIcon(const QIcon &icon)
{
    ui->label_icon->setPixmap(icon.pixmap(kTitleIconSize, kTitleIconSize));
}

void FramelessWidget::setMaximisable(bool maximisable)
{
    m_maximisable = maximisable;
    if (!maximisable)
        m_fullScreenAllowed = false;
    updateButtons(windowState());
}

void FramelessWidget::setFullScreenAllowed(bool allowed)
{
    m_fullScreenAllowed = allowed && m_maximisable;
    updateButtons(windowState());
}

void FramelessWidget::setResizable(bool resizable)
{
    m_resizable = resizable;
    if (!resizable) {
        m_edges = ResizeEdges();
        setCursor(Qt::ArrowCursor);
    }
}

void FramelessWidget::setMinimisable(bool minimisable)
{
    m_minimisable = minimisable;
    updateButtons(windowState());
}

void FramelessWidget::setHelpButtonVisible(bool visible)
{
    m_helpVisible = visible;
    updateButtons(windowState());
}

void FramelessWidget::updateButtons(Qt::WindowStates state)
{
    if (state & Qt::WindowMinimized)
        return; // minimising keeps the buttons of the state it came from
    const bool fullScreen = state & Qt::WindowFullScreen;
    const bool maximised = !fullScreen && (state & Qt::WindowMaximized);
    const bool normal = !fullScreen && !maximised;
    ui->toolButton_full_exit->setVisible(fullScreen);
    ui->toolButton_full->setVisible(maximised && m_fullScreenAllowed);
    ui->toolButton_restore->setVisible(maximised);
    ui->toolButton_max->setVisible(normal && m_maximisable);
    ui->toolButton_min->setVisible(!fullScreen && m_minimisable);
    ui->toolButton_help->setVisible(!fullScreen && m_helpVisible);
    ui->toolButton_close->setVisible(!fullScreen);
}

void FramelessWidget::on_applicationStateChanged(Qt::ApplicationState state)
{
    const bool active = state == Qt::ApplicationActive;
    if (isNormalState())
        styleWindow(active, true);
    else if (isFullScreen())
        styleWindow(active, false);
}

// closeEvent() emits cancelDev(), so every way of closing shares it.
void FramelessWidget::on_toolButton_close_clicked()
{
    close();
}

void FramelessWidget::on_toolButton_max_clicked()
{
    updateButtons(Qt::WindowMaximized);
    showMaximized();
    styleWindow(true, false);
    update();
}

void FramelessWidget::on_toolButton_restore_clicked()
{
    updateButtons(Qt::WindowNoState);
    showNormal();
    styleWindow(true, true);
    update();
}

void FramelessWidget::on_toolButton_min_clicked()
{
    showMinimized();
    update();
}

void FramelessWidget::on_toolButton_full_clicked()
{
    updateButtons(Qt::WindowFullScreen);
    m_savedPos = pos();
    m_savedSize = size();
    move(0, 0);
    if (const QScreen *desktop = screen())
        resize(desktop->virtualSize());
    showFullScreen();
    update();
}

void FramelessWidget::on_toolButton_full_exit_clicked()
{
    updateButtons(Qt::WindowMaximized);
    move(m_savedPos);
    resize(m_savedSize);
    showMaximized();
    update();
}

void FramelessWidget::on_toolButton_help_clicked()
{
    emit showHelp();
}

void FramelessWidget::styleWindow(bool bActive, bool bNoState)
{
    const QColor colour = palette().color(bActive ? QPalette::Highlight : QPalette::Shadow);
    if (bNoState && m_translucent) {
        ui->gridLayout->setContentsMargins(m_border, m_border, m_border, m_border);
        auto *shadow = new QGraphicsDropShadowEffect;
        shadow->setBlurRadius(kShadowBlurRadius);
        shadow->setOffset(0);
        shadow->setColor(colour);
        ui->windowFrame->setGraphicsEffect(shadow); // deletes the previous effect
    } else {
        ui->gridLayout->setContentsMargins(0, 0, 0, 0);
        ui->windowFrame->setGraphicsEffect(nullptr);
    }
}

void FramelessWidget::initStyle()
{
    QFile file(m_styleSheetPath);
    if (!file.open(QIODevice::ReadOnly))
        return;
    QByteArray sheet = file.readAll();
    const int nul = sheet.indexOf('\0');
    if (nul >= 0)
        sheet.truncate(nul);
    setStyleSheet(QString::fromUtf8(sheet));
    file.close();
}

bool FramelessWidget::leftBorderHit(QPoint pos)
{
    return leftEdgeHit(geometry(), pos, m_border);
}

bool FramelessWidget::rightBorderHit(QPoint pos)
{
    return rightEdgeHit(geometry(), pos, m_border);
}

bool FramelessWidget::topBorderHit(QPoint pos)
{
    return topEdgeHit(geometry(), pos, m_border);
}

bool FramelessWidget::bottomBorderHit(QPoint pos)
{
    return bottomEdgeHit(geometry(), pos, m_border);
}

bool FramelessWidget::isNormalState() const
{
    return !(windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen | Qt::WindowMinimized));
}

FrameZone FramelessWidget::zoneAt(const QPoint &screenPos) const
{
    return m_resizable ? frameZoneAt(geometry(), screenPos, m_border) : FrameZone::None;
}

void FramelessWidget::mousePressEvent(QMouseEvent *event)
{
    QWidget::mousePressEvent(event);
    if (isMaximized() || event->button() != Qt::LeftButton)
        return;
    m_pressed = true;
    m_pressGeometry = geometry();
    const FrameZone zone = zoneAt(event->globalPos());
    m_edges = edgesForZone(zone);
    if (zone != FrameZone::None)
        setCursor(cursorForZone(zone));
}

void FramelessWidget::mouseReleaseEvent(QMouseEvent *event)
{
    QWidget::mouseReleaseEvent(event);
    if (isMaximized() || event->button() != Qt::LeftButton)
        return;
    m_pressed = false;
    if (m_edges.any()) {
        m_edges = ResizeEdges();
        setCursor(Qt::ArrowCursor);
    }
}

void FramelessWidget::mouseDoubleClickEvent(QMouseEvent *event)
{
    // Not QWidget's default, which treats the double click as a press: after
    // a title-bar double click has restored the window the window manager may
    // still report the maximised geometry, and a resize from it would leave
    // the window nearly full-screen.
    cancelPointerGesture();
    event->accept();
}

void FramelessWidget::cancelPointerGesture()
{
    m_pressed = false;
    m_titlebarPressed = false;
    if (m_edges.any()) {
        m_edges = ResizeEdges();
        setCursor(Qt::ArrowCursor);
    }
}

void FramelessWidget::mouseMoveEvent(QMouseEvent *event)
{
    QWidget::mouseMoveEvent(event);
    if (isMaximized() || isFullScreen())
        return;
    const QPoint pointer = event->screenPos().toPoint();
    if (!m_pressed) {
        const FrameZone zone = zoneAt(pointer);
        if (zone == FrameZone::None)
            m_edges = ResizeEdges();
        setCursor(cursorForZone(zone));
        return;
    }
    const std::optional<QRect> resized =
        resizedGeometry(m_pressGeometry, m_edges, pointer, minimumSize());
    // Beyond the maximum Qt would clamp the size and shift the fixed edge.
    if (resized && resized->width() <= maximumWidth() && resized->height() <= maximumHeight())
        setGeometry(*resized);
}

bool FramelessWidget::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ui->windowTitlebar)
        handleTitlebarEvent(event);
    if (event->type() == QEvent::Enter && watched != this)
        setCursor(Qt::ArrowCursor);
    else if (event->type() == QEvent::Leave && watched == this)
        setCursor(Qt::ArrowCursor);
    return QWidget::eventFilter(watched, event);
}

void FramelessWidget::handleTitlebarEvent(QEvent *event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        auto *mouse = static_cast<QMouseEvent *>(event);
        // A press in a resize zone starts a resize, not a move.
        if (mouse->button() == Qt::LeftButton && zoneAt(mouse->globalPos()) == FrameZone::None) {
            m_titlebarPressed = true;
            m_titlebarPressScreenPos = mouse->globalPos();
            m_titlebarPressWindowPos = pos();
        }
        break;
    }
    case QEvent::MouseMove: {
        auto *mouse = static_cast<QMouseEvent *>(event);
        if (m_titlebarPressed && !isMaximized() && !isFullScreen())
            move(m_titlebarPressWindowPos + mouse->globalPos() - m_titlebarPressScreenPos);
        break;
    }
    case QEvent::MouseButtonRelease:
        m_titlebarPressed = false;
        break;
    case QEvent::MouseButtonDblClick:
        // The second press of the double click started a drag with the
        // window's position before the state change; it must not move it.
        cancelPointerGesture();
        if (static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton)
            titlebarDoubleClicked();
        break;
    default:
        break;
    }
}

void FramelessWidget::titlebarDoubleClicked()
{
    if (isNormalState() && m_maximisable)
        on_toolButton_max_clicked();
    else if (isFullScreen())
        on_toolButton_full_exit_clicked();
    else if (isMaximized())
        on_toolButton_restore_clicked();
}

void FramelessWidget::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // A frame shown while the application is already active gets no state
    // change, so it takes its margin and shadow from the current state here.
    if (!event->spontaneous())
        on_applicationStateChanged(QGuiApplication::applicationState());
}

void FramelessWidget::setCloseGuard(std::function<bool()> guard)
{
    m_closeGuard = std::move(guard);
}

void FramelessWidget::closeEvent(QCloseEvent *event)
{
    if (m_closeGuard && !m_closeGuard()) {
        event->ignore();
        return;
    }
    // Logs the device session out before the window goes, whoever closes it.
    emit cancelDev();
    QWidget::closeEvent(event);
}
