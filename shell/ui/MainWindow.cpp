#include "shell/ui/MainWindow.h"

#include "app/AppConfig.h"
#include "app/Version.h"
#include "app/ui/MoveableDialog.h"
#include "app/ui/WindowPlatform.h"
#include "player/FormatDuration.h"
#include "player/PlaybackController.h"
#include "player/ui/CastNotice.h"
#include "player/ui/SeekBarHoverTime.h"
#include "player/ui/VideoNotice.h"
#include "shell/EdgeRegions.h"

#include <QApplication>
#include <QBoxLayout>
#include <QDesktopServices>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QUrl>
#include <QWindow>

#include <cmath>

namespace {
MainWindow *g_mainWindow = nullptr;

QString threeStateFace(const QString &name)
{
    return QStringLiteral("QPushButton{ border-image: url(:/MainWindow/ToolBar/%1_Normal.png); }"
                          "QPushButton:hover{ border-image: url(:/MainWindow/ToolBar/%1_Hover.png); }"
                          "QPushButton:pressed{ border-image: url(:/MainWindow/ToolBar/%1_Pressed.png); }")
        .arg(name);
}

// Slider value under a press at x (the groove is inset 4 pixels at each end), and how far a press
// must be from the value to jump there.
int grooveTarget(const QSlider *slider, int x)
{
    const int target = int(double(x - 4) / double(slider->width() - 8) * slider->maximum());
    return qBound(slider->minimum(), target, slider->maximum());
}

double jumpThreshold(const QSlider *slider)
{
    return double(slider->maximum()) * 6.0 / double(slider->width() - 8);
}
} // namespace

MainWindow *MainWindow::instance()
{
    return g_mainWindow;
}

MainWindow::MainWindow(PlaybackController *playback, const PlayerEngineFactory &engineFactory,
                       const AnnouncementList &announcements, QWidget *parent)
    : QMainWindow(parent, Qt::FramelessWindowHint | Qt::WindowMinimizeButtonHint)
    , m_playback(playback)
    , m_announcements(announcements)
{
    g_mainWindow = this;
    setupUi(this);
    versionNumberLabel->setText(QStringLiteral("V" PELORIN_VERSION_SHORT));
    connectForm();
    contentStackedWidget->setCurrentWidget(normalPage);

    showAnnouncements();
    volumeControlSlider->setValue(int(AppConfig::latestValue(uint(volumeControlSlider->maximum()))));
    m_playback->setVolume(volumeControlSlider->value());

    // The engine and its surface come into the play page later: once the window has been shown
    // (StartUp), or at the first play if that comes first.
    m_playback->setEngineSource([this, engineFactory] { return engineFactory(playPage); });
    connectPlayback();
    m_videoNotice = new VideoNotice(playPage);
    connect(m_videoNotice, &VideoNotice::startOverRequested, this, &MainWindow::startOverRequested);
    m_castNotice = new CastNotice(playPage);
    connect(m_castNotice, &CastNotice::linkChosen, this, &MainWindow::castNoticeLinkChosen);
    new SeekBarHoverTime(playProgressSlider, m_playback);

    // Keys belong to playback wherever the user clicked: no control may take the focus (Space on
    // a focused title-bar button would close the program), so every key reaches the window.
    setFocusPolicy(Qt::StrongFocus);
    const QList<QWidget *> children = findChildren<QWidget *>();
    for (QWidget *child : children)
        child->setFocusPolicy(Qt::NoFocus);

    // The announcement takes only its text's width: the rest of the title bar drags the window.
    announcementLabel->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Preferred);
    if (auto *titleLayout = qobject_cast<QBoxLayout *>(announcementLabel->parentWidget()->layout()))
        titleLayout->insertStretch(titleLayout->indexOf(announcementLabel) + 1, 1);

    playProgressSlider->installEventFilter(this);
    volumeControlSlider->installEventFilter(this);
    installEventFilter(this);
    // In full screen the bars float on a page and follow its size.
    normalPage->installEventFilter(this);
    playPage->installEventFilter(this);

    showTopmostAvailability();

    m_cursorHideTimer = new QTimer(this);
    m_cursorHideTimer->setObjectName(QStringLiteral("cursorHideTimer"));
    m_cursorHideTimer->setSingleShot(true);
    m_cursorHideTimer->setInterval(5000);
    connect(m_cursorHideTimer, &QTimer::timeout, this, &MainWindow::hideCursorOverVideo);
}

void MainWindow::showTopmostAvailability()
{
    if (WindowPlatform::canKeepAbove())
        return;
    // Said on the button rather than pretending: the compositor decides the stacking.
    toggleTopmostPushButton->setEnabled(false);
    toggleTopmostPushButton->setToolTip(tr("<html><head/><body><p>此桌面不允许程序将窗口置顶</p></body></html>"));
}

void MainWindow::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange) {
        retranslateUi(this);
        // What the form does not hold: the texts that follow the window's state.
        showTopmostAvailability();
        if (volumeControlSlider->value() == 0) // the form's tip is the one for sound on
            updateMuteFace(0);
        playStateLabel->setText(m_playback->stateText());
    }
    QMainWindow::changeEvent(event);
}

MainWindow::~MainWindow()
{
    // The engine goes down with the play page, after the widgets its events would touch.
    m_playback->setEngineSource(nullptr);
    m_playback->detachEngine();
    m_playback->disconnect(this);
    if (g_mainWindow == this)
        g_mainWindow = nullptr;
}

void MainWindow::connectForm()
{
    const auto click = [this](QPushButton *button, void (MainWindow::*slot)()) {
        connect(button, &QPushButton::clicked, this, slot);
    };
    click(newbieTutorialPushButton, &MainWindow::newbieTutorialPushButton_clicked);
    click(playRecordPushButton, &MainWindow::playRecordPushButton_clicked);
    click(userPushButton, &MainWindow::userPushButton_clicked);
    click(toggleTopmostPushButton, &MainWindow::toggleTopmostPushButton_clicked);
    click(maximizePushButton, &MainWindow::maximizePushButton_clicked);
    click(normalPageOpenURLPushButton, &MainWindow::normalPageOpenURLPushButton_clicked);
    click(normalPageOpenBTPushButton, &MainWindow::normalPageOpenBTPushButton_clicked);
    click(startOrPausePlayPushButton, &MainWindow::startOrPausePlayPushButton_clicked);
    click(stopPlayPushButton, &MainWindow::stopPlayPushButton_clicked);
    click(toggleMutePushButton, &MainWindow::toggleMutePushButton_clicked);
    click(downloadBTResourcePushButton, &MainWindow::downloadBTResourcePushButton_clicked);
    click(collectBTResourcePushButton, &MainWindow::collectBTResourcePushButton_clicked);
    click(openURLPushButton, &MainWindow::openURLPushButton_clicked);
    click(fullScreenPushButton, &MainWindow::fullScreenPushButton_clicked);
    connect(castPushButton, &QPushButton::clicked, this,
            [this] { emit castMenuRequested(castPushButton->mapToGlobal(QPoint(0, 0))); });
    connect(minimizePushButton, &QPushButton::clicked, this, &QWidget::showMinimized);
    connect(closePushButton, &QPushButton::clicked, this, &QWidget::close);
    connect(playProgressSlider, &QSlider::sliderPressed, this, &MainWindow::playProgressSlider_pressed);
    connect(playProgressSlider, &QSlider::sliderMoved, this, &MainWindow::playProgressSlider_moved);
    connect(playProgressSlider, &QSlider::sliderReleased, this, &MainWindow::playProgressSlider_released);
    connect(volumeControlSlider, &QSlider::valueChanged, this, &MainWindow::volumeControlSlider_valueChanged);
}

void MainWindow::connectPlayback()
{
    connect(m_playback, &PlaybackController::stateTextChanged, playStateLabel, &QLabel::setText);
    connect(m_playback, &PlaybackController::playingChanged, this, [this](bool playing) { setStartFace(!playing); });
    connect(m_playback, &PlaybackController::opened, this, &MainWindow::showOpenedMedia);
    connect(m_playback, &PlaybackController::closed, this, &MainWindow::showClosedMedia);
    connect(m_playback, &PlaybackController::progressTick, this, &MainWindow::showProgress);
}

void MainWindow::showVideoNotice(const QString &text, bool startOverOffered)
{
    m_videoNotice->showNotice(text, startOverOffered);
}

void MainWindow::showCastNotice(const QString &text, const QString &linkText)
{
    m_castNotice->showNotice(text, linkText);
}

// ---- announcements ----

void MainWindow::showAnnouncements()
{
    if (m_announcements.isEmpty())
        return;
    m_announcementIndex = 0;
    announcementLabel->setText(m_announcements.labelText(0));
    m_announcementTimer = new QTimer(this);
    connect(m_announcementTimer, &QTimer::timeout, this, &MainWindow::rotateAnnouncement);
    m_announcementTimer->start(10000);
}

void MainWindow::rotateAnnouncement()
{
    m_announcementIndex = m_announcements.next(m_announcementIndex);
    announcementLabel->setText(m_announcements.labelText(m_announcementIndex));
    announcementLabel->setToolTip(m_announcements.title(m_announcementIndex));
}

// ---- title bar and pages ----

void MainWindow::newbieTutorialPushButton_clicked()
{
    QDesktopServices::openUrl(QUrl(AppConfig::serviceBase() + QStringLiteral("?r=www/default/page&p=jiaocheng")));
}

void MainWindow::openResourcePage(const QString &pageName)
{
    emit resourcePageRequested(pageName);
}

void MainWindow::playRecordPushButton_clicked() { openResourcePage(QStringLiteral("playRecordPage")); }
void MainWindow::collectBTResourcePushButton_clicked() { openResourcePage(QStringLiteral("collectionPage")); }
void MainWindow::downloadBTResourcePushButton_clicked() { openResourcePage(QStringLiteral("downloadPage")); }
void MainWindow::normalPageOpenURLPushButton_clicked() { openResourcePage(QStringLiteral("parsePage")); }
void MainWindow::normalPageOpenBTPushButton_clicked() { openResourcePage(QStringLiteral("parsePage")); }
void MainWindow::openURLPushButton_clicked() { openResourcePage(QStringLiteral("parsePage")); }

void MainWindow::userPushButton_clicked()
{
    emit accountPageRequested();
}

void MainWindow::toggleTopmostPushButton_clicked()
{
    if (!WindowPlatform::canKeepAbove())
        return;
    const bool topmost = !(windowFlags() & Qt::WindowStaysOnTopHint);
    // Told to the native window as it is: setting the widget's flags would make a new window,
    // which the desktop would place anew.
    const Qt::WindowFlags flags = topmost ? windowFlags() | Qt::WindowStaysOnTopHint : windowFlags() & ~Qt::WindowStaysOnTopHint;
    overrideWindowFlags(flags);
    if (QWindow *handle = windowHandle())
        handle->setFlags(flags);
    toggleTopmostPushButton->setStyleSheet(
        topmost ? QStringLiteral("border-image: url(:/MainWindow/TitleBar/TopmostPushButton_Yes.png);")
                : QStringLiteral("border-image: url(:/MainWindow/TitleBar/TopmostPushButton_No.png);"));
}

void MainWindow::maximizePushButton_clicked()
{
    if (isMaximized()) {
        showNormal();
        return;
    }
    const bool wasFullScreen = isFullScreen();
    showMaximized();
    if (wasFullScreen)
        restoreBarsToLayout();
}

void MainWindow::fullScreenPushButton_clicked()
{
    setFullScreen(!isFullScreen());
}

void MainWindow::setFullScreen(bool on)
{
    if (on) {
        showFullScreen();
        // The bars float over the video and appear only when the mouse comes near them.
        moveOverlayBarsTo(contentStackedWidget->currentWidget());
        titleBarWidget->hide();
        toolBarWidget->hide();
        return;
    }
    showNormal();
    restoreBarsToLayout();
}

void MainWindow::moveOverlayBarsTo(QWidget *page)
{
    const bool titleShown = titleBarWidget->isVisible();
    const bool toolShown = toolBarWidget->isVisible();
    titleBarWidget->setParent(page);
    toolBarWidget->setParent(page);
    placeOverlayBars();
    titleBarWidget->setVisible(titleShown);
    toolBarWidget->setVisible(toolShown);
}

void MainWindow::placeOverlayBars()
{
    // Over the top and bottom of the page, whatever size full screen gave it.
    QWidget *page = titleBarWidget->parentWidget();
    titleBarWidget->setGeometry(0, 0, page->width(), titleBarWidget->height());
    toolBarWidget->setGeometry(0, page->height() - toolBarWidget->height(), page->width(), toolBarWidget->height());
}

void MainWindow::restoreBarsToLayout()
{
    // Straight onto the layout's widget, so that adding them to the layout does not hide them again.
    titleBarWidget->setParent(Ui::MainWindow::centralWidget);
    titleBarWidget->setGeometry(0, 0, width(), titleBarWidget->height());
    titleBarWidget->show();
    toolBarWidget->setParent(Ui::MainWindow::centralWidget);
    toolBarWidget->setGeometry(0, height() - toolBarWidget->height(), width(), toolBarWidget->height());
    toolBarWidget->show();
    centralWidgetLayout->addWidget(titleBarWidget);
    centralWidgetLayout->addWidget(contentStackedWidget);
    centralWidgetLayout->addWidget(toolBarWidget);
}

// ---- tool bar ----

void MainWindow::setStartFace(bool start)
{
    startOrPausePlayPushButton->setStyleSheet(
        threeStateFace(start ? QStringLiteral("StartPlayPushButton") : QStringLiteral("PausePlayPushButton")));
}

void MainWindow::startOrPausePlayPushButton_clicked()
{
    m_playback->togglePlayPause();
}

void MainWindow::stopPlayPushButton_clicked()
{
    m_playback->stop();
}

void MainWindow::setProgressSliderHandleVisible(bool visible)
{
    const QString groove = QStringLiteral("QSlider::groove:horizontal{ background: rgb(64, 72, 77); height: 4px; "
                                          "margin-left: 4px; margin-right: 4px; }");
    playProgressSlider->setStyleSheet(
        groove
        + (visible ? QStringLiteral("QSlider::sub-page:horizontal{ background: rgb(57, 166, 240); margin-left: 4px; }"
                                    "QSlider::handle:horizontal{ border-image: url(:/MainWindow/ToolBar/"
                                    "PlayProgressSliderHandle.png); width: 14px; height: 14px; margin: -5px -4px; }")
                   : QStringLiteral("QSlider::handle:horizontal{ width: 0px; height: 0px; }")));
}

void MainWindow::showOpenedMedia(int durationMs)
{
    setProgressSliderHandleVisible(true);
    playProgressSlider->setMaximum(durationMs);
    totalDurationLabel->setText(formatDuration(durationMs));
    contentStackedWidget->setCurrentWidget(playPage);
    if (isFullScreen())
        moveOverlayBarsTo(playPage);
}

void MainWindow::showClosedMedia()
{
    setProgressSliderHandleVisible(false);
    playProgressSlider->setValue(0);
    currentPlayDurationLabel->setText(QStringLiteral("00:00:00"));
    totalDurationLabel->setText(QStringLiteral("00:00:00"));
    contentStackedWidget->setCurrentWidget(normalPage);
    if (isFullScreen())
        moveOverlayBarsTo(normalPage);
}

void MainWindow::showProgress(int positionMs)
{
    // While the user holds the handle, the label and the handle show where it is going.
    if (playProgressSlider->isSliderDown())
        return;
    currentPlayDurationLabel->setText(formatDuration(positionMs));
    playProgressSlider->setValue(positionMs);
}

void MainWindow::playProgressSlider_pressed()
{
    m_pressedValue = playProgressSlider->value();
}

void MainWindow::playProgressSlider_moved(int value)
{
    currentPlayDurationLabel->setText(formatDuration(value));
}

void MainWindow::playProgressSlider_released()
{
    // Drags of up to six pixels' worth do not seek; with nothing open there is nothing to seek.
    const int value = playProgressSlider->value();
    if (std::abs(double(m_pressedValue) - value) > jumpThreshold(playProgressSlider))
        m_playback->seek(value);
}

void MainWindow::updateMuteFace(int volume)
{
    if (volume != 0) {
        toggleMutePushButton->setStyleSheet(QStringLiteral("border-image: url(:/MainWindow/ToolBar/MuteSwitchPushButton_Off.png);"));
        toggleMutePushButton->setToolTip(tr("禁音"));
    } else {
        toggleMutePushButton->setStyleSheet(QStringLiteral("border-image: url(:/MainWindow/ToolBar/MuteSwitchPushButton_On.png);"));
        toggleMutePushButton->setToolTip(tr("取消禁音"));
    }
}

void MainWindow::volumeControlSlider_valueChanged(int value)
{
    updateMuteFace(value);
    m_playback->setVolume(value);
    AppConfig::setLatestValue(uint(value));
}

void MainWindow::toggleMutePushButton_clicked()
{
    if (m_savedVolume < 0)
        m_savedVolume = volumeControlSlider->maximum();
    const int volume = volumeControlSlider->value();
    if (volume != 0) {
        m_savedVolume = volume;
        volumeControlSlider->setValue(0);
    } else {
        volumeControlSlider->setValue(m_savedVolume);
    }
}

// ---- input ----

QRect MainWindow::contentArea() const
{
    const int title = titleBarWidget->height();
    return QRect(0, title, width(), height() - toolBarWidget->height() - title);
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == this)
        return filterWindowEvent(event) || QMainWindow::eventFilter(watched, event);
    if (event->type() == QEvent::Expose && watched == windowHandle() && windowHandle()->isExposed()) {
        windowHandle()->removeEventFilter(this);
        QTimer::singleShot(0, this, QOverload<>::of(&QWidget::update));
    }
    if (event->type() == QEvent::Resize && titleBarWidget->parentWidget() == watched)
        placeOverlayBars();
    if (event->type() == QEvent::MouseButtonPress
        && (watched == playProgressSlider || watched == volumeControlSlider))
        return filterSliderPress(static_cast<QSlider *>(watched), event) || QMainWindow::eventFilter(watched, event);
    return QMainWindow::eventFilter(watched, event);
}

bool MainWindow::filterSliderPress(QSlider *slider, QEvent *event)
{
    auto *mouse = static_cast<QMouseEvent *>(event);
    if (mouse->button() != Qt::LeftButton || slider->width() <= 8)
        return false;
    const int target = grooveTarget(slider, mouse->pos().x());
    if (std::abs(double(target) - slider->value()) <= jumpThreshold(slider))
        return false; // close to the handle: the slider starts a drag
    slider->setValue(target);
    if (slider == playProgressSlider)
        m_playback->seek(target);
    return true;
}

int MainWindow::regionAt(const QPoint &position) const
{
    // The announcement text is a link: pressing it never moves or resizes the window.
    if (announcementLabel->isVisible() && announcementLabel->rect().contains(announcementLabel->mapFrom(this, position)))
        return EdgeRegions::None;
    return EdgeRegions(size()).regionAt(position);
}

bool MainWindow::filterWindowEvent(QEvent *event)
{
    DragState &d = m_drag;
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() != Qt::LeftButton)
            return false;
        d.leftPressed = true;
        d.dragging = false;
        d.pressRegion = regionAt(mouse->pos());
        d.pressPoint = mouse->globalPos();
        d.startGeometry = geometry();
        return true;
    }
    case QEvent::MouseMove:
        return handleMouseMove(static_cast<QMouseEvent *>(event));
    case QEvent::MouseButtonDblClick:
        if (static_cast<QMouseEvent *>(event)->button() != Qt::LeftButton)
            return false;
        d.doubleClicked = true;
        return true;
    case QEvent::MouseButtonRelease:
        return handleRelease(static_cast<QMouseEvent *>(event));
    case QEvent::KeyPress:
        return handleKey(static_cast<QKeyEvent *>(event));
    case QEvent::Show:
        // A compositor that has seen no commit since the window appeared anchors the first top or
        // left resize wrongly (weston 10): one more frame once the first has been shown.
        if (!m_exposeWatched && WindowPlatform::isNativeWayland() && windowHandle()) {
            m_exposeWatched = true;
            windowHandle()->installEventFilter(this);
        }
        return false;
    case QEvent::Leave:
        m_cursorHideTimer->stop();
        return false;
    case QEvent::ActivationChange:
    case QEvent::WindowStateChange:
        // Repaint, and let Qt see the change too (show/hide of children on minimise).
        updateWindowFaces();
        update();
        return false;
    default:
        return false;
    }
}

void MainWindow::updateCursorHiding(const QPoint &position)
{
    if (cursor().shape() == Qt::BlankCursor)
        setCursor(Qt::ArrowCursor);
    if (contentStackedWidget->currentWidget() == playPage && contentArea().contains(position))
        m_cursorHideTimer->start();
    else
        m_cursorHideTimer->stop();
}

void MainWindow::hideCursorOverVideo()
{
    // The timer runs only after a move over the video and stops when the pointer leaves the window.
    if (contentStackedWidget->currentWidget() == playPage)
        setCursor(Qt::BlankCursor);
}

void MainWindow::updateWindowFaces()
{
    const auto face = [](const QString &folder, const QString &name, bool pressedState) {
        QString sheet = QStringLiteral("QPushButton{ border-image: url(:/MainWindow/%1/%2_Normal.png); }"
                                       "QPushButton:hover{ border-image: url(:/MainWindow/%1/%2_Hover.png); }")
                            .arg(folder, name);
        if (pressedState)
            sheet += QStringLiteral("QPushButton:pressed{ border-image: url(:/MainWindow/%1/%2_Pressed.png); }")
                         .arg(folder, name);
        return sheet;
    };
    const auto apply = [](QPushButton *button, const QString &sheet) {
        if (button->styleSheet() != sheet) // a new style sheet re-polishes the button
            button->setStyleSheet(sheet);
    };
    apply(maximizePushButton, face(QStringLiteral("TitleBar"),
                                   isMaximized() ? QStringLiteral("RestorePushButton") : QStringLiteral("MaximizePushButton"),
                                   true));
    apply(fullScreenPushButton, face(QStringLiteral("ToolBar"),
                                     isFullScreen() ? QStringLiteral("ExitFullScreenPushButton")
                                                    : QStringLiteral("FullScreenPushButton"),
                                     false));
}

bool MainWindow::handleMouseMove(QMouseEvent *event)
{
    const QPoint position = event->pos();
    updateCursorHiding(position);
    if (isFullScreen()) {
        // The overlay bars live on the page; their geometry is in page coordinates.
        const QPoint onPage = contentStackedWidget->currentWidget()->mapFrom(this, position);
        titleBarWidget->setVisible(titleBarWidget->geometry().contains(onPage));
        toolBarWidget->setVisible(toolBarWidget->geometry().contains(onPage));
        return true;
    }
    if (isMaximized())
        return false;

    DragState &d = m_drag;
    if (!d.leftPressed) {
        setCursor(EdgeRegions::cursorFor(regionAt(position)));
        return true;
    }
    // Global positions: the window moves under the pointer while it is dragged.
    const QPoint delta = event->globalPos() - d.pressPoint;
    if (delta.isNull())
        return true;
    if (!d.dragging) {
        // A press that stays within the drag distance is a click.
        if (!WindowPlatform::pastDragDistance(delta))
            return true;
        d.dragging = true;
        if (d.pressRegion != EdgeRegions::None && startSystemDrag(d.pressRegion)) {
            // The window manager or compositor has the pointer until the button goes up.
            d.leftPressed = false;
            return true;
        }
    }
    dragBy(delta);
    return true;
}

void MainWindow::dragBy(const QPoint &delta)
{
    const DragState &d = m_drag;
    if (d.pressRegion == 22) {
        move(d.startGeometry.topLeft() + delta);
        return;
    }
    if (d.pressRegion == EdgeRegions::None)
        return;
    const QRect next = EdgeRegions::resized(d.startGeometry, d.pressRegion, delta);
    if (next.width() >= minimumWidth() && next.width() <= maximumWidth() && next.height() >= minimumHeight()
        && next.height() <= maximumHeight())
        setGeometry(next);
}

bool MainWindow::handleRelease(QMouseEvent *event)
{
    DragState &d = m_drag;
    if (contentArea().contains(event->pos())) {
        if (event->button() == Qt::RightButton) {
            emit contextMenuRequested(event->pos());
        } else if (event->button() == Qt::LeftButton && d.doubleClicked) {
            if (d.clickTimer)
                d.clickTimer->stop();
            fullScreenPushButton_clicked();
        } else if (event->button() == Qt::LeftButton && d.leftPressed && !d.dragging && geometry() == d.startGeometry) {
            if (!d.clickTimer) {
                d.clickTimer = new QTimer(this);
                d.clickTimer->setSingleShot(true);
                connect(d.clickTimer, &QTimer::timeout, this, &MainWindow::startOrPausePlayPushButton_clicked);
            }
            d.clickTimer->start(QApplication::doubleClickInterval());
        }
    }
    d.leftPressed = false;
    d.dragging = false;
    d.doubleClicked = false;
    return true;
}

bool MainWindow::startSystemDrag(int region)
{
    if (region == 22)
        return WindowPlatform::startSystemMove(this, m_drag.pressPoint);
    return WindowPlatform::startSystemResize(this, EdgeRegions::edgesOf(region), m_drag.pressPoint);
}

bool MainWindow::handleKey(QKeyEvent *event)
{
    const auto step = [](QSlider *slider, int delta) {
        slider->setValue(qBound(slider->minimum(), slider->value() + delta, slider->maximum()));
        return slider->value();
    };
    switch (event->key()) {
    case Qt::Key_Space:
        m_playback->togglePlayPause();
        return true;
    case Qt::Key_Escape:
        // A dialog left open over the window goes first: it covers the video.
        if (!MoveableDialog::escapeTopmostOver(this) && isFullScreen())
            setFullScreen(false);
        return true;
    case Qt::Key_F:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        fullScreenPushButton_clicked();
        return true;
    case Qt::Key_M:
        toggleMutePushButton_clicked();
        return true;
    case Qt::Key_Home:
        emit startOverRequested();
        return true;
    case Qt::Key_S:
        emit screenshotRequested();
        return true;
    case Qt::Key_Up:
    case Qt::Key_Down: {
        const int volume = step(volumeControlSlider, event->key() == Qt::Key_Up ? 5 : -5);
        m_playback->setVolume(volume);
        return true;
    }
    case Qt::Key_Left:
    case Qt::Key_Right: {
        const int position = step(playProgressSlider, event->key() == Qt::Key_Right ? 5000 : -5000);
        m_playback->seek(position);
        return true;
    }
    default:
        return false;
    }
}
