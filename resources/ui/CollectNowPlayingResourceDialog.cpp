#include "resources/ui/CollectNowPlayingResourceDialog.h"

#include "resources/CollectionService.h"
#include "service/ServiceReply.h"
#include "app/ui/OkMessageBox.h"

#include <QPushButton>
#include <QEvent>

CollectNowPlayingResourceDialog::CollectNowPlayingResourceDialog(ServiceClient *client, const BTResourceFile &file,
                                                                 QWidget *parent)
    : QDialog(parent, Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint)
    , m_client(client)
    , m_file(file)
{
    setupUi(this);
    okPushButton->setDefault(true); // Enter, also from the name field
    fileNameLineEdit->setText(file.fileName);
    fileNameLineEdit->setFocus();
    connect(okPushButton, &QPushButton::clicked, this, &CollectNowPlayingResourceDialog::okPushButtonClicked);
    connect(cancelPushButton, &QPushButton::clicked, this, &QDialog::close);
}

void CollectNowPlayingResourceDialog::showMessage(const QString &text)
{
    OkMessageBox::inform(this, tr("收藏"), text);
}

void CollectNowPlayingResourceDialog::okPushButtonClicked()
{
    const QString name = fileNameLineEdit->text();
    if (name.isEmpty()) {
        showMessage(tr("名称不能为空！"));
        return;
    }
    const ServiceReply reply = CollectionService(m_client).add(name, m_file.resourceHash, m_file.resourceIndex);
    if (!reply.succeeded()) {
        showMessage(reply.failureText());
        return;
    }
    emit collectionPageFlushCollectionList();
    close();
}

void CollectNowPlayingResourceDialog::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        retranslateUi(this);
    QDialog::changeEvent(event);
}
