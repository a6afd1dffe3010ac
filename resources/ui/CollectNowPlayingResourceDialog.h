#pragma once

#include "resources/BTResourceFile.h"
#include "ui_CollectNowPlayingResourceDialog.h"

#include <QDialog>

// Asks for the name under which the playing file is collected, and adds it on the service.
class CollectNowPlayingResourceDialog : public QDialog, private Ui::CollectNowPlayingResourceDialog
{
    Q_OBJECT

public:
    CollectNowPlayingResourceDialog(const BTResourceFile &file, QWidget *parent);

signals:
    void collectionPageFlushCollectionList();

private slots:
    void okPushButtonClicked();

private:
    void showMessage(const QString &text);

    BTResourceFile m_file;
};
