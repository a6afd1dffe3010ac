#pragma once

#include "app/ui/MoveableDialog.h"
#include "notices/PopupNotice.h"
#include "ui_TanChuangDialog.h"

class QTimer;
class ServiceClient;

// The pop-up notice over the main window: a carousel of the service's images, each opening its
// link when clicked.
class TanChuangDialog : public MoveableDialog, private Ui::TanChuangDialog
{
    Q_OBJECT

public:
    // Asks the service for the notice and fetches its images before it returns; each request gives
    // up after the client's transfer timeout without progress.
    TanChuangDialog(ServiceClient *client, QWidget *parent);

    // Switched on by the service and with at least one image to show.
    bool enabled() const { return m_notice.switchedOn && !m_notice.images.isEmpty(); }
    int currentIndex() const { return m_currentIndex; }

    bool eventFilter(QObject *watched, QEvent *event) override;

private slots:
    void nextImagePushButtonClicked();
    void previousImagePushButtonClicked();

private:
    void showImage(int index);

    PopupNotice m_notice;
    int m_currentIndex = 0;
    QTimer *m_carousel = nullptr;
};
