#include "notices/ui/VIPTipDialog.h"

#include "account/ui/AccountFunctionDialog.h"
#include "app/ui/DialogRegistry.h"

#include <QEvent>

VIPTipDialog *VIPTipDialog::instance()
{
    return DialogRegistry::instanceOf<VIPTipDialog>();
}

VIPTipDialog::VIPTipDialog(QWidget *parent)
    : MoveableDialog(parent, Qt::FramelessWindowHint)
{
    setupUi(this);
    goToPayPushButton->setDefault(true); // Enter
    connect(goToPayPushButton, &QPushButton::clicked, this, &VIPTipDialog::goToPayPushButtonClicked);
    connect(cancelPushButton, &QPushButton::clicked, this, &QDialog::close);
}

void VIPTipDialog::goToPayPushButtonClicked()
{
    AccountFunctionDialog::openAccountWebSite();
}

QAbstractButton *VIPTipDialog::escapeButton() const { return cancelPushButton; }

void VIPTipDialog::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        retranslateUi(this);
    MoveableDialog::changeEvent(event);
}
