#include "notices/ui/UpdateDialog.h"

#include "app/AppConfig.h"
#include "app/InterfaceLanguage.h"
#include "app/Version.h"
#include "notices/PackageDownload.h"
#include "service/Endpoints.h"
#include "service/ServiceClient.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QEvent>
#include <QProcess>
#include <QUrl>

bool UpdateDialog::s_downloading = false;

UpdateInfo UpdateDialog::ask(ServiceClient *client)
{
    return UpdateInfo::fromReply(client->call(Endpoints::updateInfo()));
}

UpdateDialog::UpdateDialog(const UpdateInfo &info, QWidget *parent)
    : MoveableDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint)
    , m_info(info)
    , m_download(new PackageDownload(this))
{
    setupUi(this);
    connect(goToOfficialWebsitePushButton, &QPushButton::clicked, this,
            &UpdateDialog::goToOfficialWebsitePushButton_clicked);
    connect(startUpdatePushButton, &QPushButton::clicked, this, &UpdateDialog::startUpdatePushButton_clicked);
    connect(m_download, &PackageDownload::progress, this, &UpdateDialog::showProgress);

    showDescription();
}

void UpdateDialog::showDescription()
{
    descriptionTextBrowser->setText(tr("当前版本：") + currentVersion());
    if (m_info.serverVersion.isEmpty())
        return;
    descriptionTextBrowser->append(tr("服务器版本：") + m_info.serverVersion);
    descriptionTextBrowser->append(tr("版本说明：") + QStringLiteral("\r\n") + m_info.description);
}

void UpdateDialog::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange) {
        retranslateUi(this);
        showDescription();
    }
    MoveableDialog::changeEvent(event);
}

UpdateDialog::~UpdateDialog()
{
    m_download->abort();
}

QString UpdateDialog::currentVersion()
{
    return QStringLiteral(PELORIN_VERSION);
}

QString UpdateDialog::updaterPath()
{
    // Not by bare name: that would search PATH instead of this installation.
    return QCoreApplication::applicationDirPath() + QStringLiteral("/pelorin-updater");
}

QString UpdateDialog::packagePath() const
{
    return QDir::tempPath() + QLatin1Char('/') + m_info.packageFileName();
}

bool UpdateDialog::startUpdater(const QString &packagePath)
{
    // In the interface language of this run: the updater's reasons come back to the player's window.
    QProcess updater;
    updater.setProgram(updaterPath());
    updater.setArguments({QDir::toNativeSeparators(packagePath)});
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QLatin1String(InterfaceLanguage::EnvironmentVariable), InterfaceLanguage::current());
    updater.setProcessEnvironment(environment);
    return updater.startDetached();
}

void UpdateDialog::done(int result)
{
    m_download->abort();
    MoveableDialog::done(result);
}

void UpdateDialog::goToOfficialWebsitePushButton_clicked()
{
    QDesktopServices::openUrl(QUrl(AppConfig::serviceBase() + QStringLiteral("?r=www")));
}

void UpdateDialog::showProgress(qint64 received, qint64 total)
{
    // Without an announced size there is no percentage to show.
    updateStateLabel->setText(total > 0 ? tr("正在下载%1%...").arg(received * 100 / total)
                                        : tr("正在下载..."));
}

void UpdateDialog::startUpdatePushButton_clicked()
{
    if (s_downloading)
        return;
    s_downloading = true;
    const QString path = packagePath();
    const QUrl address(m_info.downloadUrl, QUrl::TolerantMode);
    // Fetched from the web only, never from a local file the service names.
    const bool usable = !m_info.packageFileName().isEmpty()
                        && (address.scheme() == QLatin1String("http") || address.scheme() == QLatin1String("https"));
    const PackageDownload::Outcome outcome = usable ? m_download->run(address, m_info.sha256, path)
                                                    : PackageDownload::Outcome::NetworkError;
    s_downloading = false;
    if (outcome == PackageDownload::Outcome::Aborted)
        return;
    // A package that did not arrive whole, does not match its digest or could not be saved is
    // never handed over.
    if (outcome != PackageDownload::Outcome::Saved || !startUpdater(path)) {
        updateStateLabel->setText(tr("更新失败！"));
        return;
    }
    updateStateLabel->setText(tr("下载完成，即将自动更新。"));
    close();
}
