#pragma once

#include "app/ui/MoveableDialog.h"
#include "ui_VIPTipDialog.h"

// Tells the user that what was just asked for needs a VIP account, and offers the account site.
class VIPTipDialog : public MoveableDialog, private Ui::VIPTipDialog
{
    Q_OBJECT

public:
    explicit VIPTipDialog(QWidget *parent);
    QAbstractButton *escapeButton() const override;

    // The one dialog, created on first use over the main window and re-centred on every call.
    static VIPTipDialog *instance();

private slots:
    void goToPayPushButtonClicked();

protected:
    // A new interface language: the form's texts again.
    void changeEvent(QEvent *event) override;
};
