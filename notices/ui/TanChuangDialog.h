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
    // The notice as PopupNotice::fetch brought it; made only when it shows().
    TanChuangDialog(const PopupNotice &notice, QWidget *parent);
    QAbstractButton *escapeButton() const override;

    bool enabled() const { return m_notice.shows(); }
    int currentIndex() const { return m_currentIndex; }

    bool eventFilter(QObject *watched, QEvent *event) override;

private slots:
    void nextImagePushButtonClicked();
    void previousImagePushButtonClicked();

protected:
    // A new interface language: the form's texts again.
    void changeEvent(QEvent *event) override;

private:
    void showImage(int index);

    PopupNotice m_notice;
    int m_currentIndex = 0;
    QTimer *m_carousel = nullptr;
};
