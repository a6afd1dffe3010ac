#pragma once

#include "resources/BTResourceFile.h"
#include "ui_CollectNowPlayingResourceDialog.h"

#include <QDialog>

class ServiceClient;

// Asks for the name under which the playing file is collected, and adds it on the service.
class CollectNowPlayingResourceDialog : public QDialog, private Ui::CollectNowPlayingResourceDialog
{
    Q_OBJECT

public:
    CollectNowPlayingResourceDialog(ServiceClient *client, const BTResourceFile &file, QWidget *parent);

signals:
    void collectionPageFlushCollectionList();

private slots:
    void okPushButtonClicked();

protected:
    // A new interface language: the form's texts again.
    void changeEvent(QEvent *event) override;

private:
    void showMessage(const QString &text);

    ServiceClient *m_client;
    BTResourceFile m_file;
};
