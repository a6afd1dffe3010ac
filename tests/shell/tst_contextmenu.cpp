// The right-click menu as it is built and what its entries do; the settings dialog's switch and
// colour sliders. Real right clicks are in tst_mainwindowinput, the options' engine values in
// tst_PictureSoundOptions.
#include "MainWindowFixture.h"

#include "app/AppConfig.h"
#include "app/ui/GuiResources.h"
#include "player/PictureSoundOptions.h"
#include "player/ui/SubtitleSettingDialog.h"
#include "resources/ui/BTResourceFunctionDialog.h"
#include "shell/ui/ContextMenu.h"
#include "shell/ui/SettingsDialog.h"

#include <QActionGroup>
#include <QCheckBox>
#include <QMenu>
#include <QPushButton>
#include <QSlider>
#include <QStackedWidget>
#include <QtTest>

#include <functional>
#include <memory>
#include <tuple>

class TestContextMenu : public MainWindowFixture
{
    Q_OBJECT

private slots:
    void initTestCase() { startService(); }
    void init()
    {
        resetService();
        AppConfig::setVideoAspectRatio(QStringLiteral("default"));
        AppConfig::setAudioChannelMode(QStringLiteral("StereoAudioChannel"));
        AppConfig::setRenderMode(QStringLiteral("Renderless"));
        AppConfig::setImageNormalize(0);
        for (auto store : {&AppConfig::setBrightness, &AppConfig::setContrast, &AppConfig::setSaturation, &AppConfig::setHue})
            store(50);
        AppConfig::setClipboardMonitor(1);
    }
    void cleanup() { closeWindow(); }

    void entriesGroupsAndCheckMarks();
    void entriesActThroughOptionsAndDialogs();
    void settingsSwitchAndColourSliders();

private:
    std::unique_ptr<QMenu> buildMenu() { return std::unique_ptr<QMenu>(m_window->findChild<ContextMenu *>()->build(m_window)); }
    static QAction *entry(QMenu *menu, const char *text);
    static QStringList utf8(std::initializer_list<const char *> texts);
    static QStringList texts(QMenu *menu); // "-" for a separator, "[x] " before a checked entry
};

QStringList TestContextMenu::utf8(std::initializer_list<const char *> texts)
{
    QStringList list;
    for (const char *text : texts)
        list << QString::fromUtf8(text);
    return list;
}

QAction *TestContextMenu::entry(QMenu *menu, const char *text)
{
    // Breadth first: the top level's own entries before its submenus'.
    QList<QMenu *> menus{menu};
    while (!menus.isEmpty()) {
        for (QAction *action : menus.takeFirst()->actions()) {
            if (action->text() == QString::fromUtf8(text))
                return action;
            if (action->menu())
                menus << action->menu();
        }
    }
    qFatal("no entry %s", text);
}

QStringList TestContextMenu::texts(QMenu *menu)
{
    QStringList list;
    for (const QAction *action : menu->actions())
        list << (action->isSeparator() ? QStringLiteral("-")
                                       : (action->isChecked() ? QStringLiteral("[x] ") : QString()) + action->text());
    return list;
}

void TestContextMenu::entriesGroupsAndCheckMarks()
{
    makeWindow();
    std::unique_ptr<QMenu> menu = buildMenu();
    const auto checked = [&menu](const char *title) { return texts(entry(menu.get(), title)->menu()).filter(QStringLiteral("[x] ")); };
    QCOMPARE(checked("视频比例"), utf8({"[x] 默认"}));
    QCOMPARE(checked("渲染模式"), utf8({"[x] Renderless - 建议"}));
    for (const QAction *action : menu->findChildren<QAction *>())
        QVERIFY2(action->shortcut().isEmpty(), qPrintable(action->text()));
    for (const char *title : {"视频比例", "声道模式", "渲染模式"}) {
        const QList<QAction *> actions = entry(menu.get(), title)->menu()->actions();
        QVERIFY(actions.first()->actionGroup() && actions.first()->actionGroup()->isExclusive());
        QCOMPARE(actions.first()->actionGroup()->actions(), actions);
    }

    // Built anew from what is stored now; values that name no entry check nothing in their group.
    AppConfig::setVideoAspectRatio(QStringLiteral("16:9"));
    AppConfig::setAudioChannelMode(QStringLiteral("Surround"));
    AppConfig::setRenderMode(QStringLiteral("evr"));
    AppConfig::setImageNormalize(1);
    menu = buildMenu();
    QCOMPARE(checked("视频比例"), utf8({"[x] 16 : 9"}));
    QVERIFY(checked("声道模式").isEmpty() && checked("渲染模式").isEmpty());
    QVERIFY(entry(menu.get(), "画质增强")->isChecked());
}

void TestContextMenu::entriesActThroughOptionsAndDialogs()
{
    makeWindow();
    openMedia(600000);
    m_engine->setScriptedConfig(PlayerEngine::PictureEnhancement, QStringLiteral("0"));
    m_engine->clearCalls();
    const auto choose = [this](const char *text) {
        std::unique_ptr<QMenu> menu = buildMenu();
        entry(menu.get(), text)->trigger();
    };
    const QList<std::tuple<const char *, const char *, std::function<QString()>, const char *>> options = {
        {"左声道", "404=1", &AppConfig::audioChannelMode, "LeftAudioChannel"},
        {"EVRCP - win7默认", "201=4", &AppConfig::renderMode, "EVRCP"},
        {"画质增强", "305=1", [] { return QString::number(AppConfig::imageNormalize()); }, "1"},
    };
    for (const auto &[text, write, stored, value] : options) {
        choose(text);
        QCOMPARE(m_engine->configWrites().value(0), QLatin1String(write));
        QCOMPARE(stored(), QLatin1String(value));
        m_engine->clearCalls();
    }

    BTResourceFunctionDialog *resources = BTResourceFunctionDialog::instance();
    auto *pages = resources->findChild<QStackedWidget *>(QStringLiteral("clientStackedWidget"));
    const QList<std::pair<const char *, const char *>> pageEntries = {
        {"播放记录", "playRecordPage"}, {"资源收藏", "collectionPage"}, {"视频下载", "downloadPage"}, {"打开URL", "parsePage"}};
    for (const auto &[text, page] : pageEntries) {
        resources->hide();
        choose(text);
        QVERIFY(resources->isVisible());
        QCOMPARE(pages->currentWidget()->objectName(), QLatin1String(page));
    }
    choose("色彩调整"); // "软件设置" is tst_mainwindowinput's
    QVERIFY(SettingsDialog::instance()->isVisible());
    choose("字幕设置");
    QVERIFY(SubtitleSettingDialog::instance()->isVisible());
    choose("进入官网");
    QCOMPARE(m_urls.urls, QList<QUrl>({QUrl(AppConfig::serviceBase() + QStringLiteral("?r=www"))}));
}

void TestContextMenu::settingsSwitchAndColourSliders()
{
    makeWindow();
    openMedia(600000);
    // Stored values off the form's 50 are applied once as the dialog is made; 50 is not.
    AppConfig::setBrightness(70);
    AppConfig::setHue(0);
    AppConfig::setClipboardMonitor(0);
    m_engine->clearCalls();
    SettingsDialog *dialog = SettingsDialog::instance();
    QCOMPARE(m_engine->configWrites(), utf8({"214=70", "217=0"}));
    const auto slider = [dialog](const char *name) { return dialog->findChild<QSlider *>(QLatin1String(name)); };

    // The switch stops and starts the monitor at once and stores the choice.
    auto *box = dialog->findChild<QCheckBox *>(QStringLiteral("clipboardMonitorCheckBox"));
    BTResourceFunctionDialog *resources = BTResourceFunctionDialog::instance();
    resources->setClipboardMonitorEnabled(true);
    const auto monitorRunning = [resources] {
        for (QTimer *timer : resources->findChildren<QTimer *>(QString(), Qt::FindDirectChildrenOnly))
            if (timer->interval() == 1000 && timer->isActive())
                return true;
        return false;
    };
    for (const bool on : {true, false, true}) {
        box->click();
        QCOMPARE(monitorRunning(), on);
        QCOMPARE(AppConfig::clipboardMonitor(), uint(on));
    }

    // A press far from the handle jumps there; one near it leaves the slider to drag.
    QSlider *contrast = slider("contrastAdjustSlider");
    m_engine->clearCalls();
    QTest::mouseClick(contrast, Qt::LeftButton, {}, QPoint(0, contrast->height() / 2));
    QCOMPARE(m_engine->configWrites(), utf8({"215=0"}));
    m_engine->clearCalls();
    const int handle = contrast->width() * 2 / 100; // within six values of 0
    QTest::mouseClick(contrast, Qt::LeftButton, {}, QPoint(handle, contrast->height() / 2));
    QCOMPARE(m_engine->configWrites(), QStringList());

    // "恢复默认色彩": each slider that is off 50 goes back through its own path, in order, once.
    m_engine->clearCalls();
    dialog->findChild<QPushButton *>(QStringLiteral("resetDefaultColorPushButton"))->click();
    QCOMPARE(m_engine->configWrites(), utf8({"214=50", "215=50", "217=50"}));
    QCOMPARE(QList<uint>({AppConfig::brightness(), AppConfig::contrast(), AppConfig::saturation(), AppConfig::hue()}),
             QList<uint>({50, 50, 50, 50}));
}

MAIN_WINDOW_TEST_MAIN(TestContextMenu)
#include "tst_contextmenu.moc"
