#include "resources/ui/BTResourceFunctionDialog.h"

#include "account/ui/AccountFunctionDialog.h"
#include "app/AppConfig.h"
#include "notices/ui/ReportDialog.h"
#include "notices/ui/VIPTipDialog.h"
#include "player/PlayerEngine.h"
#include "resources/AddressResolution.h"
#include "resources/ui/BTResourceCollectionListItemWidget.h"
#include "resources/ui/BTResourceDownloadListItemWidget.h"
#include "resources/ui/BTResourceParseResultListItemWidget.h"
#include "resources/ui/BTResourcePlayRecordListItemWidget.h"
#include "resources/ui/CollectNowPlayingResourceDialog.h"
#include "resources/CollectionService.h"
#include "resources/HostProbe.h"
#include "resources/protocol/ResourceInput.h"
#include "resources/VideoDomainList.h"
#include "service/ServiceClient.h"
#include "shell/ui/MainWindow.h"

#include <QClipboard>
#include <QDir>
#include <QDirIterator>
#include <QEventLoop>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

namespace {
const QString kParse = QStringLiteral("解析");
const QString kAbort = QStringLiteral("中止");

template <typename Row> Row *rowWidget(QListWidget *list, int i)
{
    return qobject_cast<Row *>(list->itemWidget(list->item(i)));
}

template <typename Row> int rowOf(QListWidget *list, Row *widget)
{
    for (int i = 0; i < list->count(); ++i) {
        if (list->itemWidget(list->item(i)) == widget)
            return i;
    }
    return -1;
}

template <typename Row> void insertRow(QListWidget *list, Row *widget, int row)
{
    auto *item = new QListWidgetItem;
    item->setSizeHint(widget->size());
    list->insertItem(row < 0 ? list->count() : row, item);
    list->setItemWidget(item, widget);
}

PlayerEngine *engine()
{
    MainWindow *window = MainWindow::instance();
    return window ? window->engine() : nullptr;
}
} // namespace

BTResourceFunctionDialog *BTResourceFunctionDialog::instance()
{
    static BTResourceFunctionDialog *dialog = nullptr;
    if (!dialog) {
        dialog = new BTResourceFunctionDialog(MainWindow::instance());
        // Loading the host list and the lists waits for the service in local event loops; a click
        // that arrives meanwhile (the title bar's record button at start-up) must find this
        // dialog, not make a second one.
        dialog->m_videoDomains = VideoDomainList::load();
        dialog->playRecordPageFlushRecordListPushButton_clicked();
        dialog->collectionPageFlushCollectionListPushButton_clicked();
    }
    dialog->centreOverParent();
    return dialog;
}

QString BTResourceFunctionDialog::cacheFolder()
{
    return QDir::toNativeSeparators(QDir::tempPath() + QStringLiteral("/Pelorin Cache"));
}

BTResourceFunctionDialog::BTResourceFunctionDialog(QWidget *parent)
    : MoveableDialog(parent, Qt::FramelessWindowHint)
{
    setupUi(this);
    clientStackedWidget->setCurrentWidget(parsePage);
    parsePageEngineComboBox->setCurrentIndex(AppConfig::engineComboBoxIndex());
    connectForm();

    const QString directory = AppConfig::downloadDirectory();
    if (!directory.isEmpty())
        downloadPageDownloadDirectoryLineEdit->setText(directory);
}

BTResourceFunctionDialog::~BTResourceFunctionDialog()
{
    emit stopParseBTResource();
    QDirIterator files(cacheFolder(), QDir::Files | QDir::Hidden | QDir::System);
    while (files.hasNext())
        QFile::remove(files.next());
}

void BTResourceFunctionDialog::connectForm()
{
    connect(parsePageEngineComboBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &BTResourceFunctionDialog::parsePageEngineComboBox_currentIndexChanged);
    connect(parsePageBTResourceLineEdit, &QLineEdit::textChanged, this,
            &BTResourceFunctionDialog::parsePageParseBTResourcePushButton_clicked);
    const auto click = [this](QPushButton *button, void (BTResourceFunctionDialog::*slot)()) {
        connect(button, &QPushButton::clicked, this, slot);
    };
    click(parsePageParseBTResourcePushButton, &BTResourceFunctionDialog::parsePageParseBTResourcePushButton_clicked);
    click(parsePageBrowseBTFilePushButton, &BTResourceFunctionDialog::parsePageBrowseBTFilePushButton_clicked);
    click(parsePageReportPushButton, &BTResourceFunctionDialog::parsePageParseReportPushButton_clicked);
    click(playRecordPageRandomPlayPushButton, &BTResourceFunctionDialog::playRecordPageRandomPlayPushButton_clicked);
    click(playRecordPageFlushRecordListPushButton,
          &BTResourceFunctionDialog::playRecordPageFlushRecordListPushButton_clicked);
    click(playRecordPageClearRecordListPushButton,
          &BTResourceFunctionDialog::playRecordPageClearRecordListPushButton_clicked);
    click(collectionPageCollectCurrentPlayingResourcePushButton,
          &BTResourceFunctionDialog::collectionPageCollectNowPlayingResourcePushButton_clicked);
    click(collectionPageFlushCollectionListPushButton,
          &BTResourceFunctionDialog::collectionPageFlushCollectionListPushButton_clicked);
    click(downloadPageSelectDownloadDirectroryPushButton,
          &BTResourceFunctionDialog::downloadPageSelectDownloadDirectroryPushButton_clicked);
    connect(parsePageClosePushButton, &QPushButton::clicked, this, &QWidget::hide);
    connect(playRecordPageClosePushButton, &QPushButton::clicked, this, &QWidget::hide);
    connect(collectionPageClosePushButton, &QPushButton::clicked, this, &QWidget::hide);
    connect(downloadPageClosePushButton, &QPushButton::clicked, this, &QWidget::close);
}

void BTResourceFunctionDialog::showPage(const QString &pageName)
{
    if (auto *page = clientStackedWidget->findChild<QWidget *>(pageName))
        clientStackedWidget->setCurrentWidget(page);
    if (isHidden())
        show();
}

// ---- busy state and clipboard monitor ----

void BTResourceFunctionDialog::setInputsEnabled(bool enabled)
{
    for (QWidget *w : {static_cast<QWidget *>(parsePageEngineComboBox), static_cast<QWidget *>(parsePageBTResourceLineEdit),
                       static_cast<QWidget *>(parsePageParseBTResourcePushButton),
                       static_cast<QWidget *>(parsePageBrowseBTFilePushButton),
                       static_cast<QWidget *>(playRecordPageRandomPlayPushButton)})
        w->setEnabled(enabled);
    for (BTResourceParseResultListItemWidget *row : parseRows())
        row->setButtonsEnabled(enabled);
    for (int i = 0; i < playRecordPagePlayRecordListWidget->count(); ++i)
        rowWidget<BTResourcePlayRecordListItemWidget>(playRecordPagePlayRecordListWidget, i)->setPlayEnabled(enabled);
    for (int i = 0; i < collectionPageCollectionListWidget->count(); ++i)
        rowWidget<BTResourceCollectionListItemWidget>(collectionPageCollectionListWidget, i)->setPlayEnabled(enabled);
}

void BTResourceFunctionDialog::enterBusyState()
{
    setClipboardMonitorEnabled(false);
    m_busy = true;
    setInputsEnabled(false);
}

void BTResourceFunctionDialog::leaveBusyState()
{
    setInputsEnabled(true);
    m_busy = false;
    // The monitor only pauses while busy: it resumes as the user's setting and the login say.
    setClipboardMonitorEnabled(AppConfig::clipboardMonitor() == 1 && AccountFunctionDialog::instance()->loggedIn());
}

void BTResourceFunctionDialog::setClipboardMonitorEnabled(bool on)
{
    if (!m_clipboardTimer) {
        m_clipboardTimer = new QTimer(this);
        connect(m_clipboardTimer, &QTimer::timeout, this, &BTResourceFunctionDialog::onClipboardTick);
    }
    if (on)
        m_clipboardTimer->start(1000);
    else
        m_clipboardTimer->stop();
}

void BTResourceFunctionDialog::onClipboardTick()
{
    const QString text = QGuiApplication::clipboard()->text(QClipboard::Clipboard);
    if (!clipboardTextToParse(text, &m_lastClipboardText))
        return;
    // Pasted by hand already: handing it over again would only bring the dialog back over the video.
    if (text == parsePageBTResourceLineEdit->text())
        return;
    clientStackedWidget->setCurrentWidget(parsePage);
    parsePageBTResourceLineEdit->setText(text);
    if (isHidden())
        show();
}

void BTResourceFunctionDialog::setParseButtonAborts(bool aborts)
{
    parsePageParseBTResourcePushButton->setText(aborts ? kAbort : kParse);
    if (aborts)
        parsePageParseBTResourcePushButton->setEnabled(true);
}

// ---- parse page ----

void BTResourceFunctionDialog::parsePageEngineComboBox_currentIndexChanged(int index)
{
    AppConfig::setEngineComboBoxIndex(index);
}

QList<BTResourceParseResultListItemWidget *> BTResourceFunctionDialog::parseRows() const
{
    QList<BTResourceParseResultListItemWidget *> rows;
    for (int i = 0; i < parsePageParseResultListWidget->count(); ++i)
        rows.append(rowWidget<BTResourceParseResultListItemWidget>(parsePageParseResultListWidget, i));
    return rows;
}

void BTResourceFunctionDialog::addParseRow(const BTResourceFile &file)
{
    auto *row = new BTResourceParseResultListItemWidget(file);
    insertRow(parsePageParseResultListWidget, row, -1);
    connect(row, &BTResourceParseResultListItemWidget::downloadFile, this,
            &BTResourceFunctionDialog::parsePageParseResultListItemWidgetDownloadPushButton_clicked);
    connect(row, &BTResourceParseResultListItemWidget::playFile, this,
            &BTResourceFunctionDialog::parsePageParseResultListItemWidgetPlayPushButton_clicked);
}

void BTResourceFunctionDialog::parsePageParseBTResourcePushButton_clicked()
{
    if (parsePageParseBTResourcePushButton->text() == kAbort) {
        if (PlayerEngine *e = engine())
            e->close();
        emit stopParseBTResource();
        return;
    }
    parsePageParseResultListWidget->clear();
    parsePageParseStateLabel->clear();
    const QString text = parsePageBTResourceLineEdit->text();
    if (text.isEmpty())
        return;
    const QString hash = resourceHashFromInput(text);
    if (hash.isEmpty()) {
        parsePageParseStateLabel->setText(QStringLiteral("请输入有效的BT资源！"));
        return;
    }
    parsePageParseStateLabel->setText(QStringLiteral("正在解析BT资源..."));
    enterBusyState();
    const ServiceReply reply = ServiceClient::call(Get, AddressResolution::fileListParameters(hash), true);
    if (reply.succeeded()) {
        const QList<BTResourceFile> files = AddressResolution::filesFromReply(hash, reply);
        for (const BTResourceFile &file : files)
            addParseRow(file);
        parsePageParseStateLabel->setText(QStringLiteral("解析BT资源成功"));
    } else {
        parsePageParseStateLabel->setText(reply.failureText());
    }
    leaveBusyState();
}

void BTResourceFunctionDialog::parsePageBrowseBTFilePushButton_clicked()
{
    const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("浏览种子文件"),
                                                      AppConfig::latestOpenDirectory(),
                                                      QStringLiteral("种子文件(*.torrent)"));
    if (path.isEmpty())
        return;
    const QString native = QDir::toNativeSeparators(path);
    parsePageBTResourceLineEdit->setText(native);
    AppConfig::setLatestOpenDirectory(native.left(native.lastIndexOf(QDir::separator())));
}

void BTResourceFunctionDialog::parsePageParseReportPushButton_clicked()
{
    const QString text = parsePageBTResourceLineEdit->text();
    if (text.isEmpty())
        return;
    const QString hash = resourceHashFromInput(text);
    if (hash.isEmpty())
        return;
    ReportDialog dialog(this);
    dialog.setHash(hash);
    dialog.exec();
}

// ---- address resolution ----

void BTResourceFunctionDialog::showVipOnly(const QString &title)
{
    QMessageBox box(QMessageBox::NoIcon, title, QStringLiteral("非永久vip不可用！"), QMessageBox::Ok, this);
    box.button(QMessageBox::Ok)->setText(QStringLiteral("确定"));
    box.exec();
}

bool BTResourceFunctionDialog::resolveFileHash(BTResourceParseResultListItemWidget *row)
{
    parsePageParseStateLabel->setText(QStringLiteral("正在解析视频文件hash值..."));
    const ServiceReply reply =
        ServiceClient::call(Get, AddressResolution::fileHashParameters(row->file(), localMacAddress()), true);
    if (reply.succeeded()) {
        AddressResolution::applyFileHash(&row->file(), reply);
        parsePageParseStateLabel->clear();
        return true;
    }
    if (reply.isEnvelope() && reply.statu() == -11)
        VIPTipDialog::instance()->show();
    parsePageParseStateLabel->setText(reply.failureText());
    leaveBusyState();
    return false;
}

bool BTResourceFunctionDialog::resolveFileInfo(BTResourceParseResultListItemWidget *row, bool reload)
{
    parsePageParseStateLabel->setText(QStringLiteral("正在解析视频文件信息..."));
    const ServiceReply reply = ServiceClient::call(
        Get,
        AddressResolution::fileInfoParameters(row->file(), parsePageEngineComboBox->currentIndex(), reload,
                                              localMacAddress()),
        true);
    if (reply.succeeded()) {
        m_videoDomains.append(AddressResolution::applyFileInfo(&row->file(), reply));
        parsePageParseStateLabel->clear();
        return true;
    }
    parsePageParseStateLabel->setText(reply.failureText());
    leaveBusyState();
    return false;
}

bool BTResourceFunctionDialog::probeHosts(HostProbe *probe, const QStringList &hosts, const BTResourceFile &file,
                                          bool play, QString *acceptedUrl, bool *aborted)
{
    *aborted = false;
    const auto link = connect(this, &BTResourceFunctionDialog::stopParseBTResource, probe, &HostProbe::abort,
                              Qt::DirectConnection);
    bool accepted = false;
    for (const QString &host : hosts) {
        const QString url = play ? AddressResolution::playAddress(host, file.code)
                                 : AddressResolution::downloadAddress(host, file.code, QTime::currentTime());
        const HostProbe::Outcome outcome =
            probe->run(QUrl(url), play ? file.comCookie.toUtf8() : QByteArray(), file.size, play);
        if (outcome == HostProbe::Aborted) {
            *aborted = true;
            break;
        }
        if (outcome == HostProbe::Accepted) {
            *acceptedUrl = url;
            accepted = true;
            break;
        }
    }
    disconnect(link);
    return accepted;
}

void BTResourceFunctionDialog::parsePageParseResultListItemWidgetPlayPushButton_clicked(
    BTResourceParseResultListItemWidget *widget, bool reload)
{
    AccountFunctionDialog *account = AccountFunctionDialog::instance();
    if (reload && !account->permanentVip()) {
        showVipOnly(QStringLiteral("重新加载"));
        return;
    }
    QPointer<BTResourceParseResultListItemWidget> row(widget);
    enterBusyState();
    if (row->file().jxhash.isEmpty() && !resolveFileHash(row))
        return;
    if (!resolveFileInfo(row, reload))
        return;

    parsePageParseStateLabel->setText(QStringLiteral("正在筛选视频文件播放地址..."));
    setParseButtonAborts(true);
    AddressResolution::shuffleHosts(&m_videoDomains);
    HostProbe probe;
    QString url;
    bool aborted = false;
    const BTResourceFile file = row->file();
    if (!probeHosts(&probe, m_videoDomains, file, true, &url, &aborted)) {
        setParseButtonAborts(false);
        if (aborted)
            parsePageParseStateLabel->clear();
        else
            parsePageParseStateLabel->setText(QStringLiteral("筛选视频文件播放地址失败！"));
        leaveBusyState();
        return;
    }

    parsePageParseStateLabel->setText(QStringLiteral("筛选视频文件播放地址成功，等待播放；如果长时间无法播放，请重试！"));
    PlayerEngine *e = engine();
    MainWindow *window = MainWindow::instance();
    if (e && window) {
        if (account->vip()) {
            QDir().mkpath(cacheFolder());
            m_cachePath = cacheFolder() + QDir::separator()
                          + QStringLiteral("%1_%2").arg(file.resourceHash).arg(file.resourceIndex);
            e->setConfig(PlayerEngine::CacheFilePath, m_cachePath);
            e->setConfig(PlayerEngine::CacheEnabled, QStringLiteral("1"));
        }
        e->setConfig(PlayerEngine::HttpCookie, file.comCookie);

        // Ends when the media has opened (after it is recorded) or closed without opening.
        // Opening over a media that is still open closes that one first: its close is not ours.
        QEventLoop loop;
        bool done = false;
        bool opening = false;
        const auto started = connect(e, &PlayerEngine::stateChanged, this, [&](int, int newState) {
            if (newState == PlayerEngine::Opening)
                opening = true;
        });
        const auto opened = connect(window, &MainWindow::btResourceOpened, this, [&] {
            recordOpenedFile(file);
            done = true;
            loop.quit();
        });
        const auto closed = connect(window, &MainWindow::btResourceClosed, this, [&] {
            if (!opening)
                return;
            done = true;
            loop.quit();
        });
        e->open(url);
        if (!done)
            loop.exec();
        disconnect(started);
        disconnect(opened);
        disconnect(closed);
    }
    setParseButtonAborts(false);
    parsePageParseStateLabel->clear();
    leaveBusyState();
    probe.release();
}

void BTResourceFunctionDialog::parsePageParseResultListItemWidgetDownloadPushButton_clicked(
    BTResourceParseResultListItemWidget *widget)
{
    if (!AccountFunctionDialog::instance()->permanentVip()) {
        showVipOnly(QStringLiteral("下载"));
        return;
    }
    QPointer<BTResourceParseResultListItemWidget> row(widget);
    enterBusyState();
    if (row->file().jxhash.isEmpty() && !resolveFileHash(row))
        return;
    if (!resolveFileInfo(row, false))
        return;

    parsePageParseStateLabel->setText(QStringLiteral("正在筛选视频文件下载地址..."));
    setParseButtonAborts(true);
    HostProbe probe;
    QString url;
    bool aborted = false;
    const bool accepted = probeHosts(&probe, m_videoDomains, row->file(), false, &url, &aborted);
    setParseButtonAborts(false);
    if (!accepted) {
        if (aborted)
            parsePageParseStateLabel->clear();
        else
            parsePageParseStateLabel->setText(QStringLiteral("解析视频文件下载地址失败！"));
    } else if (downloadPageDownloadDirectoryLineEdit->text().isEmpty()) {
        parsePageParseStateLabel->setText(QStringLiteral("请先设置下载目录，再重新点击下载。"));
    } else {
        parsePageParseStateLabel->clear();
        clientStackedWidget->setCurrentWidget(downloadPage);
        if (row) {
            row->file().downloadUrl = url;
            startDownload(row->file());
        }
    }
    leaveBusyState();
    probe.release();
}

// ---- play records ----

void BTResourceFunctionDialog::addPlayRecordRow(const BTResourceFile &file, int row)
{
    auto *widget = new BTResourcePlayRecordListItemWidget(file);
    insertRow(playRecordPagePlayRecordListWidget, widget, row);
    widget->setPlayEnabled(!m_busy);
    connect(widget, &BTResourcePlayRecordListItemWidget::playFile, this,
            &BTResourceFunctionDialog::playRecordPagePlayRecordListWidgetPlayPushButton_clicked);
    connect(widget, &BTResourcePlayRecordListItemWidget::deleteFile, this,
            &BTResourceFunctionDialog::playRecordPagePlayRecordListWidgetDeletePushButton_clicked);
}

void BTResourceFunctionDialog::recordOpenedFile(const BTResourceFile &file)
{
    hide();
    m_currentResource = file;
    if (m_records.indexOf(file.resourceHash, file.resourceIndex) >= 0)
        return;
    if (m_records.size() == PlayRecordStore::Limit && playRecordPagePlayRecordListWidget->count() > 0)
        delete playRecordPagePlayRecordListWidget->takeItem(playRecordPagePlayRecordListWidget->count() - 1);
    m_records.add(file);
    addPlayRecordRow(file, 0);
}

void BTResourceFunctionDialog::playRecordPageFlushRecordListPushButton_clicked()
{
    if (m_busy)
        return;
    playRecordPagePlayRecordListWidget->clear();
    m_records.load();
    for (int i = 0; i < m_records.size(); ++i)
        addPlayRecordRow(m_records.at(i), -1);
}

void BTResourceFunctionDialog::playRecordPageClearRecordListPushButton_clicked()
{
    if (playRecordPagePlayRecordListWidget->count() == 0)
        return;
    playRecordPagePlayRecordListWidget->clear();
    m_records.clear();
}

void BTResourceFunctionDialog::playRecordPageRandomPlayPushButton_clicked()
{
    const int row = PlayRecordStore::randomRow(playRecordPagePlayRecordListWidget->count(), QTime::currentTime());
    if (row >= 0)
        rowWidget<BTResourcePlayRecordListItemWidget>(playRecordPagePlayRecordListWidget, row)->clickPlay();
}

void BTResourceFunctionDialog::playRecordPagePlayRecordListWidgetPlayPushButton_clicked(
    BTResourcePlayRecordListItemWidget *widget)
{
    replay(widget->file().resourceHash, widget->file().resourceIndex);
}

void BTResourceFunctionDialog::playRecordPagePlayRecordListWidgetDeletePushButton_clicked(
    BTResourcePlayRecordListItemWidget *widget)
{
    const int row = rowOf(playRecordPagePlayRecordListWidget, widget);
    if (row < 0)
        return;
    const BTResourceFile file = widget->file();
    delete playRecordPagePlayRecordListWidget->takeItem(row);
    m_records.remove(file.resourceHash, file.resourceIndex);
}

void BTResourceFunctionDialog::replay(const QString &resourceHash, quint32 resourceIndex)
{
    clientStackedWidget->setCurrentWidget(parsePage);
    {
        const QSignalBlocker noAutomaticParse(parsePageBTResourceLineEdit);
        parsePageBTResourceLineEdit->setText(resourceHash);
    }
    parsePageParseBTResourcePushButton_clicked();
    for (BTResourceParseResultListItemWidget *row : parseRows()) {
        if (row->file().resourceIndex == resourceIndex) {
            parsePageParseResultListItemWidgetPlayPushButton_clicked(row, false);
            return;
        }
    }
}

// ---- collections ----

void BTResourceFunctionDialog::addCollectionRow(const BTResourceFile &file, quint32 id)
{
    auto *widget = new BTResourceCollectionListItemWidget(file, id);
    insertRow(collectionPageCollectionListWidget, widget, -1);
    widget->setPlayEnabled(!m_busy);
    connect(widget, &BTResourceCollectionListItemWidget::playFile, this,
            &BTResourceFunctionDialog::collectionPageCollectionListWidgetPlayPushButton_clicked);
    connect(widget, &BTResourceCollectionListItemWidget::copyURL, this,
            &BTResourceFunctionDialog::collectionPageCollectionListWidgetCopyButton_clicked);
    connect(widget, &BTResourceCollectionListItemWidget::deleteFile, this,
            &BTResourceFunctionDialog::collectionPageCollectionListWidgetDeleteButton_clicked);
}

void BTResourceFunctionDialog::collectionPageFlushCollectionListPushButton_clicked()
{
    if (m_busy)
        return;
    collectionPageCollectionListWidget->clear();
    const ServiceReply reply = ServiceClient::call(Get, CollectionService::listParameters(), false);
    if (!reply.succeeded()) {
        parsePageParseStateLabel->setText(reply.failureText());
        return;
    }
    const auto entries = CollectionService::entriesFromReply(reply);
    for (const CollectionService::Entry &entry : entries)
        addCollectionRow(entry.file, entry.id);
}

void BTResourceFunctionDialog::collectionPageCollectNowPlayingResourcePushButton_clicked()
{
    MainWindow *window = MainWindow::instance();
    if (!window || !window->isMediaOpen())
        return;
    CollectNowPlayingResourceDialog dialog(m_currentResource, this);
    connect(&dialog, &CollectNowPlayingResourceDialog::collectionPageFlushCollectionList, this,
            &BTResourceFunctionDialog::collectionPageFlushCollectionListPushButton_clicked);
    dialog.exec();
}

void BTResourceFunctionDialog::collectionPageCollectionListWidgetPlayPushButton_clicked(
    BTResourceCollectionListItemWidget *widget)
{
    replay(widget->file().resourceHash, widget->file().resourceIndex);
}

void BTResourceFunctionDialog::collectionPageCollectionListWidgetCopyButton_clicked(
    BTResourceCollectionListItemWidget *widget)
{
    QGuiApplication::clipboard()->setText(CollectionService::magnetLink(widget->file().resourceHash),
                                          QClipboard::Clipboard);
}

void BTResourceFunctionDialog::collectionPageCollectionListWidgetDeleteButton_clicked(
    BTResourceCollectionListItemWidget *widget)
{
    const int row = rowOf(collectionPageCollectionListWidget, widget);
    if (row < 0)
        return;
    const quint32 id = widget->id();
    delete collectionPageCollectionListWidget->takeItem(row);
    const ServiceReply reply = ServiceClient::call(Post, CollectionService::deleteParameters(id), false);
    if (!reply.succeeded())
        parsePageParseStateLabel->setText(reply.failureText());
}

// ---- downloads ----

void BTResourceFunctionDialog::startDownload(const BTResourceFile &file)
{
    auto *widget = new BTResourceDownloadListItemWidget(file, downloadPageDownloadDirectoryLineEdit->text());
    insertRow(downloadPageDownloadListWidget, widget, -1);
    connect(widget, &BTResourceDownloadListItemWidget::deleteFile, this,
            &BTResourceFunctionDialog::downloadPageDownloadListWidgetDeletePushButton_clicked);
}

void BTResourceFunctionDialog::downloadPageSelectDownloadDirectroryPushButton_clicked()
{
    const QString directory = QFileDialog::getExistingDirectory(this, QStringLiteral("选择下载目录"));
    if (directory.isEmpty())
        return;
    const QString native = QDir::toNativeSeparators(directory);
    downloadPageDownloadDirectoryLineEdit->setText(native);
    AppConfig::setDownloadDirectory(native);
}

void BTResourceFunctionDialog::downloadPageDownloadListWidgetDeletePushButton_clicked(
    BTResourceDownloadListItemWidget *widget)
{
    const int row = rowOf(downloadPageDownloadListWidget, widget);
    if (row < 0)
        return;
    delete downloadPageDownloadListWidget->takeItem(row);
    // The row is still inside its own button's click; it goes once that has returned.
    widget->deleteLater();
}
