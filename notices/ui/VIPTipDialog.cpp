#include "notices/ui/VIPTipDialog.h"

#include "account/ui/AccountFunctionDialog.h"
#include "shell/ui/MainWindow.h"

VIPTipDialog *VIPTipDialog::instance()
{
    static VIPTipDialog *dialog = nullptr;
    if (!dialog)
        dialog = new VIPTipDialog(MainWindow::instance());
    dialog->centreOverParent();
    return dialog;
}

VIPTipDialog::VIPTipDialog(QWidget *parent)
    : MoveableDialog(parent, Qt::FramelessWindowHint)
{
    setupUi(this);
    connect(goToPayPushButton, &QPushButton::clicked, this, &VIPTipDialog::goToPayPushButtonClicked);
    connect(cancelPushButton, &QPushButton::clicked, this, &QDialog::close);
}

void VIPTipDialog::goToPayPushButtonClicked()
{
    AccountFunctionDialog::openAccountWebSite();
}
