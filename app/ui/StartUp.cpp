#include "app/ui/StartUp.h"

#include "app/AppConfig.h"
#include "app/DesktopShortcut.h"
#include "app/InstanceChannel.h"
#include "app/InterfaceLanguage.h"
#include "app/SingleInstanceGuard.h"
#include "app/ui/Application.h"
#include "app/ui/FontWarmUp.h"
#include "app/ui/GuiResources.h"
#include "notices/ui/TanChuangDialog.h"
#include "notices/ui/UpdateDialog.h"
#include "player/ui/EngineModule.h"
#include "service/ServiceClient.h"
#include "shell/ui/WindowGeometry.h"
#include "app/ui/OkMessageBox.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFont>
#include <QMessageBox>
#include <QPushButton>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>

#include <clocale>

StartUp::StartUp(const QString &lockDirectory, const PlayerEngineFactory &engineFactory)
    : m_lockDirectory(lockDirectory.isEmpty() ? SingleInstanceGuard::defaultDirectory() : lockDirectory)
    , m_engineFactory(engineFactory)
{
    if (!m_engineFactory) {
        m_engineModule = std::make_unique<EngineModule>();
        m_engineFactory = [module = m_engineModule.get()](QWidget *playPage) { return module->create(playPage); };
    }
}

StartUp::~StartUp() = default;

void StartUp::setApplicationAttributes()
{
    QApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
}

void StartUp::prepareApplication()
{
    QApplication::setAttribute(Qt::AA_DisableWindowContextHelpButton);
    // The media engine parses numbers in the C locale and refuses to start otherwise.
    std::setlocale(LC_NUMERIC, "C");
    initGuiResources();
    // Ties the windows to pelorin.desktop: its icon and name in the task bar, also on Wayland.
    QGuiApplication::setDesktopFileName(QStringLiteral("pelorin"));
    // One face for every text, so that the fixed-size labels of the forms hold their texts.
    QApplication::setFont(QFont(QStringLiteral("WenQuanYi Micro Hei"), 9));
}

QString StartUp::tutorialUrl()
{
    return AppConfig::serviceBase() + QStringLiteral("?r=www/default/page&p=jiaocheng");
}

void StartUp::installTranslator()
{
    // Read in the folder the program works in: Config.ini is there.
    const QString language = InterfaceLanguage::forRun(QCoreApplication::arguments(),
                                                       qEnvironmentVariable(InterfaceLanguage::EnvironmentVariable),
                                                       AppConfig::language());
    if (!InterfaceLanguage::apply(language))
        InterfaceLanguage::apply(InterfaceLanguage::Chinese); // the source texts, always there
}

bool StartUp::ensureSingleInstance(int *status)
{
    m_guard = std::make_unique<SingleInstanceGuard>(m_lockDirectory);
    if (m_guard->tryAcquire()) {
        m_channel = std::make_unique<InstanceChannel>(m_lockDirectory);
        m_channel->listen(); // without it later copies are still refused, only not shown the way
        // Until the application exists (update check, first-launch questions), the newest resource
        // handed over waits to be opened with the start-up's own.
        QObject::connect(m_channel.get(), &InstanceChannel::openRequested, m_channel.get(),
                         [this](const QString &input) {
                             if (!m_applicationWired)
                                 m_resourceInput = input;
                         });
        return true;
    }
    if (!m_resourceInput.isEmpty() && InstanceChannel::requestOpen(m_lockDirectory, m_resourceInput)) {
        *status = 0;
        return false;
    }

    // The running window comes to the front, and the warning above it even when it is topmost:
    // otherwise the user sees nothing happen.
    InstanceChannel::requestRaise(m_lockDirectory);
    OkMessageBox box(tr("警告"), tr("检测到Pelorin已运行，请勿多次运行！"));
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    *status = box.exec();
    return false;
}

void StartUp::askFirstLaunchQuestions()
{
    if (AppConfig::firstLaunch() != 1)
        return;

    QMessageBox box(QMessageBox::NoIcon, tr("询问"), QString(),
                    QMessageBox::Yes | QMessageBox::No);
    box.button(QMessageBox::Yes)->setText(tr("是(Y)"));
    box.button(QMessageBox::No)->setText(tr("否(N)"));

    box.setText(tr("是否创建快捷方式在您的桌面上，以方便下次访问！"));
    if (box.exec() == QMessageBox::Yes)
        DesktopShortcut::create(); // a failure is not worth bothering the user with

    box.setText(tr("第一次使用？是否需要观看新手教程？"));
    if (box.exec() == QMessageBox::Yes)
        QDesktopServices::openUrl(QUrl(tutorialUrl()));

    AppConfig::setFirstLaunch(0);
}

bool StartUp::updateTakesOver(ServiceClient *client, int *status)
{
    const UpdateInfo offered = UpdateDialog::ask(client);
    if (!UpdateDialog::offers(offered))
        return false;
    UpdateDialog update(offered);
    *status = update.exec();
    return true;
}

void StartUp::showNotice(Application &application)
{
    // Asked first: the dialog is made only for a notice to show, and kept with the main window.
    ServiceClient *client = application.serviceClient();
    const PopupNotice offered = PopupNotice::fetch(client, client->transferTimeout());
    if (!offered.shows())
        return;
    auto *notice = new TanChuangDialog(offered, application.mainWidget());
    notice->centreOverParent();
    notice->show();
}

void StartUp::showUpdateFailure(const QStringList &arguments)
{
    const int at = arguments.indexOf(QStringLiteral("--update-failed"));
    if (at < 0 || at + 1 >= arguments.size())
        return;
    OkMessageBox box(tr("更新"), arguments.at(at + 1), nullptr, QMessageBox::Warning);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

void StartUp::enterUserFolderWhenInstalled()
{
    // The program keeps its files in the working directory. Installed system-wide, it is started from
    // menus, browsers and file managers in any folder (often one it cannot write), so it works in the
    // user's own data folder instead, the same whichever way it was started.
    if (!QCoreApplication::applicationDirPath().startsWith(QLatin1String("/usr/")))
        return;
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
                         + QStringLiteral("/pelorin/player");
    if (QDir().mkpath(folder))
        QDir::setCurrent(folder);
}

int StartUp::run()
{
    m_fontWarmUp = std::make_unique<FontWarmUp>();
    enterUserFolderWhenInstalled();
    installTranslator();

    int status = 0;
    if (!ensureSingleInstance(&status))
        return status;
    showUpdateFailure(QCoreApplication::arguments());

    // The program's one service channel, made here so that the update check is its first request;
    // the application takes it over.
    auto client = std::make_unique<ServiceClient>();
    const int transferTimeout = client->transferTimeout();
    client->setTransferTimeout(kStartUpTransferTimeoutMs);
    if (updateTakesOver(client.get(), &status))
        return status;

    askFirstLaunchQuestions();

    const PlayerEngineFactory engineFactory = [this](QWidget *playPage) {
        PlayerEngine *engine = m_engineFactory(playPage);
        if (!engine) {
            // Without its engine the program cannot play anything: say so and end.
            OkMessageBox::inform(nullptr, tr("错误"), EngineModule::failureText(), QMessageBox::Critical);
            QCoreApplication::exit(1);
        }
        return engine;
    };
    Application application(engineFactory, client.release());
    new WindowGeometry(application.mainWidget());
    // The engine is made once the window is on screen (its module opened on a thread of its own
    // first); a play before then waits for it.
    application.mainWidget()->show();
    const auto makeEngine = [&application] { application.engine(); };
    if (m_engineModule) {
        QObject::connect(m_engineModule.get(), &EngineModule::loaded, &application, makeEngine);
        m_engineModule->loadOnceShown(application.mainWidget()->windowHandle());
    } else {
        QTimer::singleShot(0, &application, makeEngine);
    }
    showNotice(application);
    application.serviceClient()->setTransferTimeout(transferTimeout);
    if (m_channel) {
        QObject::connect(m_channel.get(), &InstanceChannel::raiseRequested, &application, &Application::raiseMainWindow);
        QObject::connect(m_channel.get(), &InstanceChannel::openRequested, &application,
                         &Application::openResourceInput);
        m_applicationWired = true;
    }
    application.logIn();
    // Opened once logged in (at once when the login succeeded, otherwise at the login).
    if (!m_resourceInput.isEmpty())
        application.openResourceInput(m_resourceInput);
    return QApplication::exec();
}
