#pragma once

#include "app/ui/MoveableDialog.h"
#include "notices/UpdateInfo.h"
#include "ui_UpdateDialog.h"

class PackageDownload;
class ServiceClient;

// Offers the version the service names when it is not this one: the release notes, the official
// site, and the download that is handed to pelorin-updater.
class UpdateDialog : public MoveableDialog, private Ui::UpdateDialog
{
    Q_OBJECT

public:
    // What the service offers; a failure of any kind leaves no update to offer. Asked before the
    // dialog is made, which is only when there is something to offer.
    static UpdateInfo ask(ServiceClient *client);
    static bool offers(const UpdateInfo &info) { return info.differsFrom(currentVersion()); }

    explicit UpdateDialog(const UpdateInfo &info, QWidget *parent = nullptr);
    ~UpdateDialog() override;

    static QString currentVersion();
    // The updater is installed beside the player.
    static QString updaterPath();
    // Closing the window ends a running download.
    void done(int result) override;

protected:
    // A new interface language: the form's texts and the description again.
    void changeEvent(QEvent *event) override;

private slots:
    void goToOfficialWebsitePushButton_clicked();
    void startUpdatePushButton_clicked();

private:
    void showProgress(qint64 received, qint64 total);
    void showDescription();
    // Where the package is saved: the temporary folder and the file name of the address.
    QString packagePath() const;
    // Hands the package to the updater, which goes on after this program has exited.
    static bool startUpdater(const QString &packagePath);

    UpdateInfo m_info;
    PackageDownload *m_download;
    // One download at a time in the whole program.
    static bool s_downloading;
};
