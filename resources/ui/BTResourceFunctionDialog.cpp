#include "resources/ui/BTResourceFunctionDialog.h"

#include "account/AccountSession.h"
#include "app/AppConfig.h"
#include "app/ui/DialogRegistry.h"
#include "notices/ui/ReportDialog.h"
#include "notices/ui/VIPTipDialog.h"
#include "player/PlayPositionStore.h"
#include "player/PlaybackController.h"
#include "resources/CollectionService.h"
#include "resources/DownloadTransfer.h"
#include "resources/PlayRequest.h"
#include "resources/ui/BTResourceCollectionListItemWidget.h"
#include "resources/ui/BTResourceDownloadListItemWidget.h"
#include "resources/ui/BTResourceParseResultListItemWidget.h"
#include "resources/ui/BTResourcePlayRecordListItemWidget.h"
#include "resources/ui/CollectNowPlayingResourceDialog.h"
#include "resources/protocol/ResourceInput.h"
#include "service/ServiceReply.h"
#include "app/ui/OkMessageBox.h"

#include <QClipboard>
#include <QDir>
#include <QEvent>
#include <QDirIterator>
#include <QFileInfo>
#include <QFileDialog>
#include <QGuiApplication>
#include <QPointer>
#include <QStyledItemDelegate>
#include <QTimer>

#include <algorithm>

namespace {
const char kParse[] = QT_TRANSLATE_NOOP("BTResourceFunctionDialog", "解析");
const char kAbort[] = QT_TRANSLATE_NOOP("BTResourceFunctionDialog", "中止");
const char kParsed[] = QT_TRANSLATE_NOOP("BTResourceFunctionDialog", "解析BT资源成功");

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
} // namespace

BTResourceFunctionDialog *BTResourceFunctionDialog::instance()
{
    return DialogRegistry::instanceOf<BTResourceFunctionDialog>();
}

QString BTResourceFunctionDialog::cacheFolder()
{
    return PlayRequest::cacheFolder();
}

BTResourceFunctionDialog::BTResourceFunctionDialog(ServiceClient *client, AccountSession *session,
                                                   PlaybackController *playback, PlayRequest *request,
                                                   QWidget *parent)
    : MoveableDialog(parent, Qt::FramelessWindowHint)
    , m_client(client)
    , m_session(session)
    , m_playback(playback)
    , m_request(request)
{
    setupUi(this);
    // The list of the engine box inherits the box's white background, and the menu-like drawing of
    // the style then shows the highlighted entry white on white: drawn as a list, with colours.
    parsePageEngineComboBox->setItemDelegate(new QStyledItemDelegate(parsePageEngineComboBox));
    parsePageEngineComboBox->setStyleSheet(
        parsePageEngineComboBox->styleSheet()
        + QStringLiteral("QComboBox QAbstractItemView{ background: rgb(255, 255, 255); color: rgb(51, 51, 51); "
                         "selection-background-color: rgb(89, 177, 252); selection-color: rgb(255, 255, 255); "
                         "outline: none; }"));
    clientStackedWidget->setCurrentWidget(parsePage);
    parsePageEngineComboBox->setCurrentIndex(AppConfig::engineComboBoxIndex());
    connectForm();
    connectRequest();

    const QString directory = AppConfig::downloadDirectory();
    if (!directory.isEmpty())
        downloadPageDownloadDirectoryLineEdit->setText(directory);
    listUnfinishedDownloads();
}

void BTResourceFunctionDialog::loadLists()
{
    m_request->loadVideoHosts();
    playRecordPageFlushRecordListPushButton_clicked();
    collectionPageFlushCollectionListPushButton_clicked();
}

bool BTResourceFunctionDialog::isBusy() const
{
    return m_request->isBusy();
}

void BTResourceFunctionDialog::parseInput(const QString &input)
{
    if (isBusy() || input.isEmpty())
        return;
    const bool again = input == parsePageBTResourceLineEdit->text();
    showParsePage();
    raise();
    activateWindow();
    if (again)
        parsePageParseBTResourcePushButton_clicked();
    else
        parsePageBTResourceLineEdit->setText(input); // its change starts the parse
}

void BTResourceFunctionDialog::showParsePage()
{
    clientStackedWidget->setCurrentWidget(parsePage);
    // Shown first, over the main window as it is now: the parse waits for the service, and the
    // user watches its state text meanwhile and may abort it.
    if (isHidden()) {
        centreOverParent();
        show();
    }
}

QStringList BTResourceFunctionDialog::videoDomains() const
{
    return m_request->videoHosts();
}

BTResourceFunctionDialog::~BTResourceFunctionDialog()
{
    emit stopParseBTResource();
    m_request->disconnect(this);
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

void BTResourceFunctionDialog::connectRequest()
{
    connect(this, &BTResourceFunctionDialog::stopParseBTResource, m_request, &PlayRequest::abortProbe);
    connect(m_request, &PlayRequest::stateText, this,
            [this] { showState([this] { return m_request->currentStateText(); }); });
    connect(m_request, &PlayRequest::abortableChanged, this, &BTResourceFunctionDialog::setParseButtonAborts);
    connect(m_request, &PlayRequest::busyChanged, this, &BTResourceFunctionDialog::showBusy);
    connect(m_request, &PlayRequest::vipRequired, this, [] { VIPTipDialog::instance()->show(); });
    connect(m_request, &PlayRequest::fileOpened, this, &BTResourceFunctionDialog::recordOpenedFile);
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
    for (BTResourceDownloadListItemWidget *row : downloadRows())
        row->setResumeEnabled(enabled);
}

void BTResourceFunctionDialog::showBusy(bool busy)
{
    if (busy) {
        setClipboardMonitorEnabled(false);
        setInputsEnabled(false);
        return;
    }
    setInputsEnabled(true);
    m_idleSince.start();
    // The monitor only pauses while busy: it resumes as the user's setting and the login say.
    setClipboardMonitorEnabled(m_session->wantsClipboardMonitor());
}

void BTResourceFunctionDialog::setClipboardMonitorEnabled(bool on)
{
    if (!m_clipboardTimer) {
        m_clipboardTimer = new QTimer(this);
        connect(m_clipboardTimer, &QTimer::timeout, this, &BTResourceFunctionDialog::onClipboardTick);
        // Besides the timer: a Wayland compositor hands the clipboard to the focused client only,
        // so a link copied elsewhere arrives when the user comes back to the program.
        const auto tickWhileOn = [this] {
            if (m_clipboardTimer->isActive())
                onClipboardTick();
        };
        connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this, tickWhileOn);
        connect(qApp, &QGuiApplication::applicationStateChanged, this, [tickWhileOn](Qt::ApplicationState state) {
            if (state == Qt::ApplicationActive)
                tickWhileOn();
        });
    }
    if (on)
        m_clipboardTimer->start(1000);
    else
        m_clipboardTimer->stop();
}

void BTResourceFunctionDialog::onClipboardTick()
{
    // A link copied while a step failed waits until its message has been on screen a while.
    const QString state = parsePageParseStateLabel->text();
    if (!state.isEmpty() && state != tr(kParsed) && m_idleSince.isValid() && m_idleSince.elapsed() < FailureReadingMs)
        return;
    const QString text = QGuiApplication::clipboard()->text(QClipboard::Clipboard);
    if (!clipboardTextToParse(text, &m_lastClipboardText))
        return;
    // Pasted by hand already: handing it over again would only bring the dialog back over the video.
    if (text == parsePageBTResourceLineEdit->text())
        return;
    showParsePage();
    parsePageBTResourceLineEdit->setText(text);
}

void BTResourceFunctionDialog::setParseButtonAborts(bool aborts)
{
    m_parseAborts = aborts;
    parsePageParseBTResourcePushButton->setText(tr(aborts ? kAbort : kParse));
    if (aborts)
        parsePageParseBTResourcePushButton->setEnabled(true);
}

void BTResourceFunctionDialog::showState(const std::function<QString()> &text)
{
    m_stateText = text;
    parsePageParseStateLabel->setText(text ? text() : QString());
}

void BTResourceFunctionDialog::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange) {
        retranslateUi(this);
        parsePageParseBTResourcePushButton->setText(tr(m_parseAborts ? kAbort : kParse));
        showState(m_stateText);
    }
    MoveableDialog::changeEvent(event);
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
    if (m_parseAborts) {
        // While the hosts are probed or the media opens, the media goes too; a service step
        // only ends its own wait.
        if (!m_request->isWaitingForService())
            m_playback->stop();
        emit stopParseBTResource();
        return;
    }
    parsePageParseResultListWidget->clear();
    showState(nullptr);
    const QString text = parsePageBTResourceLineEdit->text();
    if (text.isEmpty())
        return;
    const QString hash = resourceHashFromInput(text);
    if (hash.isEmpty()) {
        showState([] { return tr("请输入有效的BT资源！"); });
        return;
    }
    showState([] { return tr("正在解析BT资源..."); });
    QList<BTResourceFile> files;
    const ServiceReply reply = m_request->listFiles(hash, &files);
    if (reply.succeeded()) {
        for (const BTResourceFile &file : qAsConst(files))
            addParseRow(file);
        showState([] { return tr(kParsed); });
    } else {
        showState([reply] { return reply.failureText(); });
    }
}

void BTResourceFunctionDialog::parsePageBrowseBTFilePushButton_clicked()
{
    const QString path = QFileDialog::getOpenFileName(this, tr("浏览种子文件"),
                                                      AppConfig::latestOpenDirectory(),
                                                      tr("种子文件(*.torrent)"));
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
    ReportDialog dialog(m_client, this);
    dialog.setHash(hash);
    centreOverWindow(&dialog, this);
    dialog.exec();
}

// ---- address resolution ----

void BTResourceFunctionDialog::showVipOnly(const QString &title)
{
    OkMessageBox::inform(this, title, tr("非永久vip不可用！"));
}

void BTResourceFunctionDialog::parsePageParseResultListItemWidgetPlayPushButton_clicked(
    BTResourceParseResultListItemWidget *widget, bool reload)
{
    if (reload && !m_session->permanentVip()) {
        showVipOnly(tr("重新加载"));
        return;
    }
    // The row may go while the request waits; what the steps filled in is kept while it lives.
    QPointer<BTResourceParseResultListItemWidget> row(widget);
    BTResourceFile file = row->file();
    m_request->play(&file, parsePageEngineComboBox->currentIndex(), reload);
    if (row)
        row->file() = file;
}

void BTResourceFunctionDialog::parsePageParseResultListItemWidgetDownloadPushButton_clicked(
    BTResourceParseResultListItemWidget *widget)
{
    if (!m_session->permanentVip()) {
        showVipOnly(tr("下载"));
        return;
    }
    QPointer<BTResourceParseResultListItemWidget> row(widget);
    BTResourceFile file = row->file();
    const bool accepted = m_request->resolveDownload(&file, parsePageEngineComboBox->currentIndex());
    if (row)
        row->file() = file;
    if (!accepted)
        return;
    if (downloadPageDownloadDirectoryLineEdit->text().isEmpty()) {
        showState([] { return tr("请先设置下载目录，再重新点击下载。"); });
        return;
    }
    showState(nullptr);
    clientStackedWidget->setCurrentWidget(downloadPage);
    if (row)
        startDownload(file);
}

// ---- play records ----

void BTResourceFunctionDialog::setPositionStore(PlayPositionStore *positions)
{
    m_positions = positions;
    connect(positions, &PlayPositionStore::changed, this, [this](const QString &hash, quint32 index) {
        for (int i = 0; i < playRecordPagePlayRecordListWidget->count(); ++i) {
            auto *row = rowWidget<BTResourcePlayRecordListItemWidget>(playRecordPagePlayRecordListWidget, i);
            if (row->file().resourceIndex == index && row->file().resourceHash.compare(hash, Qt::CaseInsensitive) == 0)
                row->setKeptPosition(m_positions->resumePosition(hash, index));
        }
    });
    for (int i = 0; i < playRecordPagePlayRecordListWidget->count(); ++i) {
        auto *row = rowWidget<BTResourcePlayRecordListItemWidget>(playRecordPagePlayRecordListWidget, i);
        row->setKeptPosition(positions->resumePosition(row->file().resourceHash, row->file().resourceIndex));
    }
}

void BTResourceFunctionDialog::addPlayRecordRow(const BTResourceFile &file, int row)
{
    auto *widget = new BTResourcePlayRecordListItemWidget(file);
    if (m_positions)
        widget->setKeptPosition(m_positions->resumePosition(file.resourceHash, file.resourceIndex));
    insertRow(playRecordPagePlayRecordListWidget, widget, row);
    widget->setPlayEnabled(!isBusy());
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
    if (isBusy())
        return;
    playRecordPagePlayRecordListWidget->clear();
    m_records.load();
    for (int i = 0; i < m_records.size(); ++i)
        addPlayRecordRow(m_records.at(i), -1);
}

void BTResourceFunctionDialog::playRecordPageClearRecordListPushButton_clicked()
{
    // Also with nothing listed: a file that did not load is cleared (and kept aside) too.
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
    widget->setPlayEnabled(!isBusy());
    connect(widget, &BTResourceCollectionListItemWidget::playFile, this,
            &BTResourceFunctionDialog::collectionPageCollectionListWidgetPlayPushButton_clicked);
    connect(widget, &BTResourceCollectionListItemWidget::copyURL, this,
            &BTResourceFunctionDialog::collectionPageCollectionListWidgetCopyButton_clicked);
    connect(widget, &BTResourceCollectionListItemWidget::deleteFile, this,
            &BTResourceFunctionDialog::collectionPageCollectionListWidgetDeleteButton_clicked);
}

void BTResourceFunctionDialog::collectionPageFlushCollectionListPushButton_clicked()
{
    if (isBusy())
        return;
    collectionPageCollectionListWidget->clear();
    QList<CollectionService::Entry> entries;
    const ServiceReply reply = CollectionService(m_client).list(&entries);
    if (!reply.succeeded()) {
        showState([reply] { return reply.failureText(); });
        return;
    }
    for (const CollectionService::Entry &entry : qAsConst(entries))
        addCollectionRow(entry.file, entry.id);
}

void BTResourceFunctionDialog::collectionPageCollectNowPlayingResourcePushButton_clicked()
{
    if (!m_playback->isMediaOpen())
        return;
    CollectNowPlayingResourceDialog dialog(m_client, m_currentResource, this);
    centreOverWindow(&dialog, this);
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
    const ServiceReply reply = CollectionService(m_client).remove(id);
    if (!reply.succeeded())
        showState([reply] { return reply.failureText(); });
}

// ---- downloads ----

void BTResourceFunctionDialog::startDownload(const BTResourceFile &file)
{
    const QString directory = downloadPageDownloadDirectoryLineEdit->text();
    m_downloads.add(file, directory);
    addDownloadRow(new BTResourceDownloadListItemWidget(file, directory));
}

void BTResourceFunctionDialog::listUnfinishedDownloads()
{
    m_downloads.load();
    for (const DownloadRecordStore::Record &record : m_downloads.records()) {
        addDownloadRow(new BTResourceDownloadListItemWidget(record.file, record.directory,
                                                            BTResourceDownloadListItemWidget::Start::OnResume));
    }
}

void BTResourceFunctionDialog::addDownloadRow(BTResourceDownloadListItemWidget *widget)
{
    insertRow(downloadPageDownloadListWidget, widget, -1);
    connect(widget, &BTResourceDownloadListItemWidget::deleteFile, this,
            &BTResourceFunctionDialog::downloadPageDownloadListWidgetDeletePushButton_clicked);
    connect(widget, &BTResourceDownloadListItemWidget::resumeFile, this,
            &BTResourceFunctionDialog::downloadPageDownloadListWidgetResumePushButton_clicked);
    const BTResourceFile file = widget->file();
    const QString directory = widget->directory();
    connect(widget->transfer(), &DownloadTransfer::finished, this, [this, file, directory](bool succeeded) {
        if (succeeded)
            m_downloads.remove(file, directory);
    });
    widget->setResumeEnabled(!m_request->isBusy());
}

QList<BTResourceDownloadListItemWidget *> BTResourceFunctionDialog::downloadRows() const
{
    QList<BTResourceDownloadListItemWidget *> rows;
    for (int i = 0; i < downloadPageDownloadListWidget->count(); ++i)
        rows << rowWidget<BTResourceDownloadListItemWidget>(downloadPageDownloadListWidget, i);
    return rows;
}

void BTResourceFunctionDialog::downloadPageDownloadListWidgetResumePushButton_clicked(
    BTResourceDownloadListItemWidget *widget)
{
    if (!m_session->permanentVip()) {
        showVipOnly(tr("下载"));
        return;
    }
    if (m_request->isBusy())
        return;
    QPointer<BTResourceDownloadListItemWidget> row(widget);
    BTResourceFile file = row->file();
    row->showResolving();
    const bool accepted = m_request->resolveDownload(&file, parsePageEngineComboBox->currentIndex());
    if (!row)
        return;
    if (!accepted) {
        row->showResolveFailed(parsePageParseStateLabel->text());
        return;
    }
    row->resume(file);
}

void BTResourceFunctionDialog::downloadPageSelectDownloadDirectroryPushButton_clicked()
{
    const QString directory = QFileDialog::getExistingDirectory(this, tr("选择下载目录"));
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
    // Another row saving as the same file keeps the record.
    const auto pathOf = [](BTResourceDownloadListItemWidget *w) {
        return QDir::cleanPath(QFileInfo(w->transfer()->finalPath()).absoluteFilePath());
    };
    const QList<BTResourceDownloadListItemWidget *> rows = downloadRows();
    if (std::none_of(rows.begin(), rows.end(), [&](auto *other) { return pathOf(other) == pathOf(widget); }))
        m_downloads.remove(widget->file(), widget->directory());
    // The row is still inside its own button's click; it goes once that has returned.
    widget->deleteLater();
}

QAbstractButton *BTResourceFunctionDialog::escapeButton() const
{
    QWidget *page = clientStackedWidget->currentWidget();
    if (page == playRecordPage)
        return playRecordPageClosePushButton;
    if (page == collectionPage)
        return collectionPageClosePushButton;
    if (page == downloadPage)
        return downloadPageClosePushButton;
    return parsePageClosePushButton;
}
