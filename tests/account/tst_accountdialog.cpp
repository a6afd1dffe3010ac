#include "account/AccountSession.h"
#include "account/LoginReply.h"
#include "account/ui/AccountFunctionDialog.h"
#include "app/AppConfig.h"
#include "app/ui/GuiResources.h"
#include "service/Endpoints.h"
#include "service/ServiceClient.h"
#include "service/protocol/RequestSigner.h"

#include "ModalAnswerer.h"
#include "ScriptedHttpServer.h"

#include <QApplication>
#include <QCheckBox>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QtTest>

namespace {
QByteArray scrambled(const QByteArray &plain)
{
    QByteArray out;
    const quint32 n = quint32(plain.size());
    out.append(char(n >> 24)).append(char(n >> 16)).append(char(n >> 8)).append(char(n));
    for (char c : plain)
        out.append(char(c ^ 0x71));
    return out;
}

QByteArray readFile(const QString &name)
{
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString &name, const QByteArray &bytes)
{
    QFile file(name);
    file.open(QIODevice::WriteOnly);
    file.write(bytes);
}

QByteArray pngOf(const QSize &size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

const QByteArray kLoginOk = R"({"statu":1,"data":{"isvip":"1","issvip":true,"viptime":1700000000}})";
} // namespace

class TestAccountDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void replyConversions();
    void loginWritesUserDataAndShowsMiscPageOncePerDay();
    void rememberedPasswordAndAutomaticLogin();
    void failuresAreShownWithTheOperationTitle();
    void logoutAndPasswordChangeForgetTheCredentials();
    void captchaBecomesTheButtonIcon();
    void signUpChecksInOrder();
    void closingTheLoginPageEndsTheProgram();

private:
    template <typename T> T *child(const char *name) { return m_dialog->findChild<T *>(QLatin1String(name)); }
    void setText(const char *edit, const QString &text) { child<QLineEdit>(edit)->setText(text); }
    void click(const char *button) { child<QPushButton>(button)->click(); }
    QString text(const char *edit) { return child<QLineEdit>(edit)->text(); }
    bool checked(const char *box) { return child<QCheckBox>(box)->isChecked(); }
    QString page() { return child<QStackedWidget>("clientStackedWidget")->currentWidget()->objectName(); }
    void showPage(const char *name)
    {
        child<QStackedWidget>("clientStackedWidget")->setCurrentWidget(child<QWidget>(name));
    }
    // Clicks the button and expects one message box with this title and text.
    void expectMessage(const char *button, const QString &title, const QString &text)
    {
        ModalAnswerer answerer({QStringLiteral("确定")});
        click(button);
        QCOMPARE(answerer.seen().size(), 1);
        QCOMPARE(answerer.seen()[0].title, title);
        QCOMPARE(answerer.seen()[0].text, text);
    }

    QTemporaryDir m_dir;
    ScriptedHttpServer m_server;
    ServiceClient m_client;
    AccountSession m_session{&m_client};
    AccountFunctionDialog *m_dialog = nullptr;
    QList<bool> m_monitorSwitches;
};

void TestAccountDialog::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(QDir::setCurrent(m_dir.path()));
    QVERIFY(m_server.listen());
    AppConfig::setServiceHost(m_server.hostPort());
    // As the application switches the clipboard monitor.
    connect(&m_session, &AccountSession::loginChanged, this,
            [this](bool in) { m_monitorSwitches.append(in && m_session.wantsClipboardMonitor()); });
    m_dialog = new AccountFunctionDialog(&m_session, nullptr);
    QCOMPARE(m_dialog->size(), QSize(322, 382));
    QCOMPARE(page(), QStringLiteral("loginPage"));
}

void TestAccountDialog::init()
{
    m_server.clearRoutes();
    m_server.clearRequests();
    m_monitorSwitches.clear();
    m_server.route("r=default/verfy", [](const RecordedRequest &) {
        ScriptedResponse r;
        r.body = pngOf(QSize(80, 30));
        r.headers.append(qMakePair(QByteArray("Content-Type"), QByteArray("image/png")));
        return r;
    });
}

void TestAccountDialog::replyConversions()
{
    const QList<std::tuple<QByteArray, bool, bool>> flags = {{R"({"isvip":1,"issvip":true})", true, true},
                                                             {R"({"isvip":"1","issvip":"true"})", true, true},
                                                             {R"({"isvip":0,"issvip":false})", false, false},
                                                             {R"({"issvip":"TRUE"})", false, false}};
    for (const auto &c : flags) {
        const QVariantMap data = QJsonDocument::fromJson(std::get<0>(c)).toVariant().toMap();
        QCOMPARE(LoginReply::isVip(data), std::get<1>(c));
        QCOMPARE(LoginReply::isPermanentVip(data), std::get<2>(c));
    }
    // No time given reads as the epoch.
    for (const qint64 seconds : {0LL, 1700000000LL}) {
        const QDate date = QDateTime::fromSecsSinceEpoch(seconds).toLocalTime().date();
        QVariantMap data;
        if (seconds)
            data.insert(QStringLiteral("viptime"), seconds);
        QCOMPARE(LoginReply::vipDateText(data),
                 QStringLiteral("%1年%2月%3日").arg(date.year()).arg(date.month()).arg(date.day()));
    }
}

void TestAccountDialog::loginWritesUserDataAndShowsMiscPageOncePerDay()
{
    m_server.route("do=login", ScriptedResponse::json(kLoginOk));
    AppConfig::setLastAutoShowDayOfYear(0);

    // Nothing is sent while a field is empty.
    setText("loginPageUsernameLineEdit", QStringLiteral("用户 a+b@x.test"));
    setText("loginPagePasswordLineEdit", QString());
    click("loginPageLoginPushButton");
    QVERIFY(m_server.requests().isEmpty());

    setText("loginPagePasswordLineEdit", QStringLiteral("p%w+d"));
    {
        ModalAnswerer answerer({QStringLiteral("    关闭")}); // the misc page shows itself once a day
        click("loginPageLoginPushButton");
        QVERIFY(answerer.done());
    }
    QCOMPARE(page(), QStringLiteral("miscPage"));
    const QStringList parameters =
        Endpoints::login(QStringLiteral("用户 a+b@x.test"), QStringLiteral("p%w+d")).parameters;
    QCOMPARE(QString::fromUtf8(m_server.requests().value(0).body),
             parameters.join(QLatin1Char('&')) + QStringLiteral("&sign=") + RequestSigner::sign(parameters));
    QVERIFY(m_dialog->loggedIn());
    QVERIFY(m_dialog->vip());
    QVERIFY(m_dialog->permanentVip());
    QCOMPARE(text("miscPageEmailLineEdit"), QStringLiteral("用户 a+b@x.test"));
    QCOMPARE(text("miscPageVIPDataLineEdit"), LoginReply::vipDateText({{QStringLiteral("viptime"), 1700000000}}));
    QCOMPARE(AppConfig::lastAutoShowDayOfYear(), uint(QDate::currentDate().dayOfYear()));
    QCOMPARE(AppConfig::autoLogin(), 0u);
    QCOMPARE(m_monitorSwitches, QList<bool>{true});

    // Without "记住密码" only the name is kept, readable by the owner alone.
    QCOMPARE(readFile(QStringLiteral("user.dat")), scrambled("用户 a+b@x.test"));
    QCOMPARE(QFile::permissions(QStringLiteral("user.dat")) & 0x0077, QFileDevice::Permissions());

    // The second login of the day does not show the misc page again; with the setting off the
    // clipboard monitor is switched off.
    AppConfig::setClipboardMonitor(0);
    child<QCheckBox>("loginPageRememberPasswordCheckBox")->setChecked(true);
    m_server.route("do=login", ScriptedResponse::json(R"({"statu":1,"data":{"isvip":0,"issvip":"false"}})"));
    ModalAnswerer none({QStringLiteral("    关闭")});
    click("loginPageLoginPushButton");
    QVERIFY(!QApplication::activeModalWidget());
    QVERIFY(none.seen().isEmpty());
    QVERIFY(!m_dialog->vip());
    QVERIFY(!m_dialog->permanentVip());
    QCOMPARE(m_monitorSwitches, (QList<bool>{true, false}));
    QCOMPARE(readFile(QStringLiteral("user.dat")), scrambled("用户 a+b@x.test") + scrambled("p%w+d"));
    AppConfig::setClipboardMonitor(1);
}

void TestAccountDialog::rememberedPasswordAndAutomaticLogin()
{
    m_server.route("do=login", ScriptedResponse::json(kLoginOk));
    auto *name = child<QLineEdit>("loginPageUsernameLineEdit");
    auto *password = child<QLineEdit>("loginPagePasswordLineEdit");
    auto *remember = child<QCheckBox>("loginPageRememberPasswordCheckBox");
    auto *autoLogin = child<QCheckBox>("loginPageAutoLoginCheckBox");

    // Automatic login checks "记住密码" (end to end); unchecking it leaves that.
    autoLogin->setChecked(true);
    autoLogin->setChecked(false);
    QVERIFY(remember->isChecked());

    // Name only: filled in, and no login even with automatic login on.
    name->clear();
    password->clear();
    remember->setChecked(false);
    writeFile(QStringLiteral("user.dat"), scrambled("only@x.test"));
    AppConfig::setAutoLogin(1);
    m_dialog->restoreRememberedLogin();
    QCOMPARE(name->text(), QStringLiteral("only@x.test"));
    QVERIFY(password->text().isEmpty());
    QVERIFY(!remember->isChecked());
    QVERIFY(m_server.requests().isEmpty());

    // Name and password with automatic login: the login runs at once.
    writeFile(QStringLiteral("user.dat"), scrambled("auto@x.test") + scrambled("秘密 pw"));
    m_dialog->restoreRememberedLogin();
    QCOMPARE(password->text(), QStringLiteral("秘密 pw"));
    QVERIFY(remember->isChecked());
    QVERIFY(autoLogin->isChecked());
    QCOMPARE(m_server.requestsMatching("do=login").size(), 1);
    QVERIFY(m_server.requests().value(0).body.contains("f[password]=秘密 pw"));
    QCOMPARE(AppConfig::autoLogin(), 1u);

    // No file: nothing changes.
    QFile::remove(QStringLiteral("user.dat"));
    name->setText(QStringLiteral("kept"));
    m_dialog->restoreRememberedLogin();
    QCOMPARE(name->text(), QStringLiteral("kept"));
}

void TestAccountDialog::failuresAreShownWithTheOperationTitle()
{
    setText("loginPageUsernameLineEdit", QStringLiteral("a"));
    setText("loginPagePasswordLineEdit", QStringLiteral("b"));
    const QList<QPair<ScriptedResponse, QString>> cases = {
        {ScriptedResponse::drop(), QStringLiteral("连接服务器失败！")},
        {ScriptedResponse::text("<html/>"), QStringLiteral("服务器返回数据异常！")},
        {ScriptedResponse::json(R"({"statu":0,"msg":"密码错误"})"), QStringLiteral("密码错误")},
    };
    for (const auto &c : cases) {
        m_server.route("do=login", c.first);
        expectMessage("loginPageLoginPushButton", QStringLiteral("登录账号"), c.second);
    }
}

void TestAccountDialog::logoutAndPasswordChangeForgetTheCredentials()
{
    m_server.route("do=logout", ScriptedResponse::json(R"({"statu":1})"));
    m_server.route("do=pwd", ScriptedResponse::json(R"({"statu":1})"));
    const auto remembered = [this] {
        writeFile(QStringLiteral("user.dat"), scrambled("n") + scrambled("p"));
        setText("loginPageUsernameLineEdit", QStringLiteral("n"));
        setText("loginPagePasswordLineEdit", QStringLiteral("p"));
        child<QCheckBox>("loginPageAutoLoginCheckBox")->setChecked(true);
        showPage("miscPage");
    };

    remembered();
    click("miscPageLogoutPushButton"); // the page, the name, user.dat and the monitor: end to end
    QCOMPARE(m_server.requests().value(0).body, QByteArray("r=www/user/logout&do=logout&_s=pc"));
    QVERIFY(text("loginPagePasswordLineEdit").isEmpty());
    QVERIFY(!checked("loginPageRememberPasswordCheckBox"));
    QVERIFY(!checked("loginPageAutoLoginCheckBox"));

    remembered();
    setText("modifyPasswordPageOldPasswordLineEdit", QStringLiteral("old"));
    setText("modifyPasswordPageNewPasswordLineEdit", QStringLiteral("new1"));
    setText("modifyPasswordPageNewRePasswordLineEdit", QStringLiteral("new2"));
    expectMessage("modifyPasswordPageSubmitPushButton", QStringLiteral("修改密码"),
                  QStringLiteral("两次填写的新密码不相同，请重新填写！"));
    QCOMPARE(m_server.requestsMatching("do=pwd").size(), 0);
    setText("modifyPasswordPageNewRePasswordLineEdit", QStringLiteral("new1"));
    expectMessage("modifyPasswordPageSubmitPushButton", QStringLiteral("修改密码"),
                  QStringLiteral("修改成功，请重新登录！"));
    QCOMPARE(m_server.requestsMatching("do=pwd").value(0).body,
             QByteArray("r=www/user/pwd&do=pwd&f[password]=old&f[newpassword]=new1&f[repassword]=new1&_s=pc"));
    QCOMPARE(page(), QStringLiteral("loginPage"));
    QCOMPARE(text("loginPageUsernameLineEdit"), QStringLiteral("n"));
    QVERIFY(text("loginPagePasswordLineEdit").isEmpty());
    QVERIFY(text("modifyPasswordPageOldPasswordLineEdit").isEmpty());
    QVERIFY(!checked("loginPageAutoLoginCheckBox"));
    QVERIFY(!QFile::exists(QStringLiteral("user.dat")));
}

void TestAccountDialog::captchaBecomesTheButtonIcon()
{
    auto *button = child<QPushButton>("signUpPageCaptchaImagePushButton");
    // Showing the sign-up page fetches a fresh captcha.
    showPage("signUpPage");
    QCOMPARE(m_server.requestsMatching("r=default/verfy").size(), 1);
    QCOMPARE(m_server.requests().value(0).target, QByteArray("/server/?r=default/verfy&_=1&_s=pc"));
    QCOMPARE(button->iconSize(), QSize(80, 30));
    QVERIFY(!button->icon().isNull());

    const QList<QPair<ScriptedResponse, QString>> cases = {
        {ScriptedResponse::drop(), QStringLiteral("连接服务器失败！")},
        {ScriptedResponse::text(""), QStringLiteral("服务器返回数据异常！")},
    };
    for (const auto &c : cases) {
        m_server.route("r=default/verfy", c.first);
        expectMessage("signUpPageCaptchaImagePushButton", QStringLiteral("注册账号"), c.second);
    }
}

void TestAccountDialog::signUpChecksInOrder()
{
    showPage("signUpPage");
    m_server.clearRequests();
    auto *declaration = child<QCheckBox>("signUpPageDeclarationCheckBox");
    const auto expectRefusal = [this](const QString &text) {
        expectMessage("signUpPageSignUpPushButton", QStringLiteral("注册"), text);
    };

    setText("signUpPageEmailLineEdit", QStringLiteral("new@x.test"));
    setText("signUpPagePasswordLineEdit", QStringLiteral("pw1"));
    setText("signUpPageRePasswordLineEdit", QString());
    click("signUpPageSignUpPushButton"); // an empty field: nothing
    setText("signUpPageRePasswordLineEdit", QStringLiteral("pw2"));
    expectRefusal(QStringLiteral("两次填写的密码不相同，请重新填写！"));
    setText("signUpPageRePasswordLineEdit", QStringLiteral("pw1"));
    setText("signUpPageCaptchaLineEdit", QString());
    click("signUpPageSignUpPushButton"); // no captcha: nothing
    setText("signUpPageCaptchaLineEdit", QStringLiteral("AbCd"));
    declaration->setChecked(false);
    expectRefusal(QStringLiteral("请熟读并认可Pelorin声明后再进行注册！"));
    QVERIFY(m_server.requests().isEmpty());

    // A wrong captcha shows the service's words and fetches a new image.
    declaration->setChecked(true);
    m_server.route("do=register_new", ScriptedResponse::json(R"({"statu":-5,"msg":"验证码错误"})"));
    expectRefusal(QStringLiteral("验证码错误"));
    QCOMPARE(m_server.requestsMatching("r=default/verfy").size(), 1);
    const QStringList parameters = {QStringLiteral("r=www/user/register"), QStringLiteral("do=register_new"),
                                    QStringLiteral("f[code]=AbCd"),        QStringLiteral("f[username]=new@x.test"),
                                    QStringLiteral("f[password]=pw1"),     QStringLiteral("f[repassword]=pw1"),
                                    QStringLiteral("union_uid=0"),         QStringLiteral("_s=pc")};
    QCOMPARE(QString::fromUtf8(m_server.requestsMatching("do=register_new").value(0).body),
             parameters.join(QLatin1Char('&')) + QStringLiteral("&sign=") + RequestSigner::sign(parameters));

    // Another refusal keeps the captcha; union_uid.dat is sent raw.
    writeFile(QStringLiteral("union_uid.dat"), "ref-42");
    m_server.route("do=register_new", ScriptedResponse::json(R"({"statu":0,"msg":"邮箱已存在"})"));
    expectRefusal(QStringLiteral("邮箱已存在"));
    QCOMPARE(m_server.requestsMatching("r=default/verfy").size(), 1);
    QVERIFY(m_server.requestsMatching("do=register_new").value(1).body.contains("&union_uid=ref-42&"));

    m_server.route("do=register_new", ScriptedResponse::json(R"({"statu":1})"));
    expectRefusal(QStringLiteral("注册的邮箱请务必填写本人的，否则密码丢失只能通过邮箱找回。\r\n\r\n"
                                 "警告：若发现近期内重复注册，且没有正当使用，Pelorin有权收回且禁用IP注册账户！"));
    // The login page with the new name comes back (end to end); the form is emptied.
    QVERIFY(text("signUpPageCaptchaLineEdit").isEmpty());
    QVERIFY(!declaration->isChecked());
}

void TestAccountDialog::closingTheLoginPageEndsTheProgram()
{
    // The misc page's close button closes the dialog only; the login page's asks to end the program.
    QSignalSpy quit(m_dialog, &AccountFunctionDialog::quitRequested);
    m_dialog->show();
    showPage("miscPage");
    click("miscPageClosePushButton");
    QVERIFY(!m_dialog->isVisible());
    QCOMPARE(quit.size(), 0);

    m_dialog->show();
    showPage("loginPage");
    click("loginPageClosePushButton");
    QVERIFY(!m_dialog->isVisible());
    QCOMPARE(quit.size(), 1);
}

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    initGuiResources();
    TestAccountDialog test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_accountdialog.moc"
