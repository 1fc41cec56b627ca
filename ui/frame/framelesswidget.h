#pragma once

#include "ui/frame/framegeometry.h"

#include <QIcon>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <QWidget>

#include <functional>

class QLayout;
class QMouseEvent;

namespace Ui
{
class FramelessWidget;
}

// A top-level window with its own title bar (icon, title, help, full-screen,
// minimise, maximise/restore and close buttons), a drop shadow in the normal
// state, moving by dragging the title bar and resizing by dragging a 15-pixel
// zone along the edges and corners. Loads the application style sheet. Any
// widget can be placed in its content area.
class FramelessWidget : public QWidget
{
    Q_OBJECT

public:
    explicit FramelessWidget(QWidget *parent = nullptr);
    // The same, with the style sheet read from `styleSheetPath` instead of
    // ":/images/mavo.css" (a path that cannot be opened leaves the frame unstyled).
    FramelessWidget(QWidget *parent, const QString &styleSheetPath);
    ~FramelessWidget() override;

    // Puts `content` into the content area through a margin-free layout and
    // watches it for cursor resets. Replaces (and deletes) earlier content.
    void setContent(QWidget *content);
    // Wraps `layout` in a new widget with zero contents margins and places that
    // widget as content; the frame owns both.
    void setContentLayout(QLayout *layout);
    QWidget *content() const { return m_content; }

    // Sets the title bar text and the window title to the same string.
    void setTitle(const QString &title);
    QString title() const;
    // Shows `icon` at 24 x 24 in the title bar.
    void setTitleIcon(const QIcon &icon);

    // The maximise button and maximising by double click; off also turns off
    // full screen.
    void setMaximisable(bool maximisable);
    bool isMaximisable() const { return m_maximisable; }
    // The full-screen button offered in the maximised state; stays off while
    // the frame is not maximisable.
    void setFullScreenAllowed(bool allowed);
    bool isFullScreenAllowed() const { return m_fullScreenAllowed; }
    // The edge and corner resize zones.
    void setResizable(bool resizable);
    bool isResizable() const { return m_resizable; }
    void setMinimisable(bool minimisable);
    bool isMinimisable() const { return m_minimisable; }
    // The help button (emits showHelp()); visible by default.
    void setHelpButtonVisible(bool visible);
    // Asked before the frame closes, however it is closed; a guard that
    // answers false keeps the frame open, and cancelDev() is not emitted.
    // An empty guard (the default) lets every close through.
    void setCloseGuard(std::function<bool()> guard);

    // Follows the application's activation: in the normal state the margin and
    // shadow (active: highlight colour, inactive: shadow colour); in full screen
    // no margin; maximised or minimised nothing changes. Callable as a slot
    // (connected with the function-pointer form).
    void on_applicationStateChanged(Qt::ApplicationState state);

signals:
    void showHelp();
    // Emitted once before the frame closes, however it is closed: the close
    // button, the window manager (Alt+F4, the taskbar) or close().
    void cancelDev();

public slots:
    void on_toolButton_close_clicked();
    void on_toolButton_max_clicked();
    void on_toolButton_restore_clicked();
    void on_toolButton_min_clicked();
    void on_toolButton_full_clicked();
    void on_toolButton_full_exit_clicked();
    void on_toolButton_help_clicked();

    // bNoState: the normal-state look, a 15-pixel transparent margin and a drop
    // shadow around the visible frame; otherwise no margin and no shadow. A
    // desktop without compositing manager never gets the margin or the shadow.
    void styleWindow(bool bActive, bool bNoState);
    // Applies the style sheet; a sheet that cannot be opened changes nothing.
    void initStyle();

    // Hit tests of a screen position against the window's current geometry.
    bool leftBorderHit(QPoint pos);
    bool rightBorderHit(QPoint pos);
    bool topBorderHit(QPoint pos);
    bool bottomBorderHit(QPoint pos);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    // A double click is never a press: it neither starts a resize nor a move,
    // and it ends one that its second press started.
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    // Cursor feedback over the resize zones and the resize itself; does nothing
    // while maximised or full screen. Subclasses that override it call it.
    void mouseMoveEvent(QMouseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void handleTitlebarEvent(QEvent *event);
    void titlebarDoubleClicked();
    // Forgets a press in progress: no resize and no title-bar drag follows.
    void cancelPointerGesture();
    bool isNormalState() const;
    FrameZone zoneAt(const QPoint &screenPos) const;
    // Shows the title-bar buttons that belong to a window state and the options.
    void updateButtons(Qt::WindowStates state);

    Ui::FramelessWidget *ui;
    QString m_styleSheetPath;
    QWidget *m_content = nullptr;

    QRect m_pressGeometry;
    quint8 m_border = kFrameBorder;
    bool m_pressed = false;
    bool m_titlebarPressed = false;
    ResizeEdges m_edges;
    QPoint m_titlebarPressScreenPos;
    QPoint m_titlebarPressWindowPos;
    QPoint m_savedPos;
    QSize m_savedSize;

    bool m_maximisable = true;
    bool m_fullScreenAllowed = true;
    bool m_resizable = true;
    bool m_minimisable = true;
    bool m_helpVisible = true;
    bool m_translucent = true; // shadow margin drawn: the desktop composites
    std::function<bool()> m_closeGuard;
};
