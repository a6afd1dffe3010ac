#include "account/AccountSession.h"
#include "TestFiles.h"
#include "account/ui/AccountFunctionDialog.h"
#include "app/AppConfig.h"
#include "app/ui/GuiResources.h"
#include "service/ServiceClient.h"

#include "Eventually.h"
#include "ModalAnswerer.h"
#include "ScriptedHttpServer.h"

#include <QApplication>
#include <QCheckBox>
#include <QDate>
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
    void loginWritesUserDataAndShowsMiscPageOncePerDay();
    void automaticLoginNeedsThePasswordAndShowsItselfWhenSlow();
    void passwordChangeForgetsTheCredentials();
    void signUpSaysACaptchaFailureAndChecksInOrder();

private:
    template <typename T> T *child(const char *name) { return m_dialog->findChild<T *>(QLatin1String(name)); }
    void setText(const char *edit, const QString &text) { child<QLineEdit>(edit)->setText(text); }
    void click(const char *button) { child<QPushButton>(button)->click(); }
    QString text(const char *edit) { return child<QLineEdit>(edit)->text(); }
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
};

void TestAccountDialog::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(QDir::setCurrent(m_dir.path()));
    QVERIFY(m_server.listen());
    AppConfig::setServiceHost(m_server.hostPort());
    m_dialog = new AccountFunctionDialog(&m_session, nullptr);
}

void TestAccountDialog::init()
{
    m_server.clearRoutes();
    m_server.clearRequests();
    m_server.route("r=default/verfy", ScriptedResponse::withType("image/png", pngOf(QSize(80, 30)), 200));
}

void TestAccountDialog::loginWritesUserDataAndShowsMiscPageOncePerDay()
{
    m_server.route("do=login", ScriptedResponse::json(kLoginOk));
    AppConfig::setLastAutoShowDayOfYear(0);

    setText("loginPageUsernameLineEdit", QStringLiteral("用户 a+b@x.test"));
    setText("loginPagePasswordLineEdit", QStringLiteral("p%w+d"));
    {
        ModalAnswerer answerer({QStringLiteral("    关闭")}); // the misc page shows itself once a day
        click("loginPageLoginPushButton");
        QVERIFY(answerer.done());
    }
    QCOMPARE(page(), QStringLiteral("miscPage"));

    // Without "记住密码" only the name is kept, readable by the owner alone.
    QCOMPARE(readFile(QStringLiteral("user.dat")), scrambled("用户 a+b@x.test"));
    QCOMPARE(QFile::permissions(QStringLiteral("user.dat")) & 0x0077, QFileDevice::Permissions());

    // The second login of the day does not show the misc page again; with "记住密码" both are kept.
    child<QCheckBox>("loginPageRememberPasswordCheckBox")->setChecked(true);
    m_server.route("do=login", ScriptedResponse::json(R"({"statu":1,"data":{"isvip":0,"issvip":"false"}})"));
    ModalAnswerer none({QStringLiteral("    关闭")});
    click("loginPageLoginPushButton");
    QVERIFY(!QApplication::activeModalWidget());
    QVERIFY(none.seen().isEmpty());
    QCOMPARE(readFile(QStringLiteral("user.dat")), scrambled("用户 a+b@x.test") + scrambled("p%w+d"));
}

void TestAccountDialog::automaticLoginNeedsThePasswordAndShowsItselfWhenSlow()
{
    ScriptedResponse slow = ScriptedResponse::json(kLoginOk);
    slow.delayMs = 2500;
    m_server.route("do=login", slow);
    AppConfig::setAutoLogin(1);
    // A remembered name alone: filled in, and no login even with automatic login on.
    setText("loginPageUsernameLineEdit", QString());
    setText("loginPagePasswordLineEdit", QString());
    child<QCheckBox>("loginPageRememberPasswordCheckBox")->setChecked(false);
    writeFile(QStringLiteral("user.dat"), scrambled("only@x.test"));
    m_dialog->restoreRememberedLogin();
    QCOMPARE(text("loginPageUsernameLineEdit"), QStringLiteral("only@x.test"));
    QVERIFY(m_server.requests().isEmpty());

    AppConfig::setLastAutoShowDayOfYear(uint(QDate::currentDate().dayOfYear()));
    writeFile(QStringLiteral("user.dat"), scrambled("n") + scrambled("p"));
    m_dialog->hide();
    auto *button = child<QPushButton>("loginPageLoginPushButton");
    QString seenText;
    bool seenEnabled = true;
    whenTrue(this, [this] { return m_dialog->isVisible(); }, [&] {
        seenText = button->text();
        seenEnabled = button->isEnabled();
    });
    m_dialog->restoreRememberedLogin();
    // While it waited the dialog came up saying so; logged in, it went, its button as before.
    QCOMPARE(seenText, QStringLiteral("正在登录..."));
    QVERIFY(!seenEnabled);
    QVERIFY(m_session.loggedIn());
    QVERIFY(m_dialog->isHidden());
    QCOMPARE(button->text(), QStringLiteral("登录"));
    QVERIFY(button->isEnabled());
}

void TestAccountDialog::passwordChangeForgetsTheCredentials()
{
    m_server.route("do=pwd", ScriptedResponse::json(R"({"statu":1})"));
    writeFile(QStringLiteral("user.dat"), scrambled("n") + scrambled("p"));
    showPage("miscPage");
    setText("modifyPasswordPageOldPasswordLineEdit", QStringLiteral("old"));
    setText("modifyPasswordPageNewPasswordLineEdit", QStringLiteral("new1"));
    setText("modifyPasswordPageNewRePasswordLineEdit", QStringLiteral("new2"));
    expectMessage("modifyPasswordPageSubmitPushButton", QStringLiteral("修改密码"),
                  QStringLiteral("两次填写的新密码不相同，请重新填写！"));
    QCOMPARE(m_server.requestsMatching("do=pwd").size(), 0);
    setText("modifyPasswordPageNewRePasswordLineEdit", QStringLiteral("new1"));
    expectMessage("modifyPasswordPageSubmitPushButton", QStringLiteral("修改密码"),
                  QStringLiteral("修改成功，请重新登录！"));
    QCOMPARE(page(), QStringLiteral("loginPage"));
    QVERIFY(!QFile::exists(QStringLiteral("user.dat")));
}

void TestAccountDialog::signUpSaysACaptchaFailureAndChecksInOrder()
{
    showPage("signUpPage"); // fetching and showing the captcha is covered end to end
    m_server.route("r=default/verfy", ScriptedResponse::text(""));
    expectMessage("signUpPageCaptchaImagePushButton", QStringLiteral("注册账号"), QStringLiteral("服务器返回数据异常！"));
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

    // A refusal other than the captcha's keeps the captcha; union_uid.dat is sent raw.
    declaration->setChecked(true);
    writeFile(QStringLiteral("union_uid.dat"), "ref-42");
    m_server.route("do=register_new", ScriptedResponse::json(R"({"statu":0,"msg":"邮箱已存在"})"));
    expectRefusal(QStringLiteral("邮箱已存在"));
    QVERIFY(m_server.requestsMatching("r=default/verfy").isEmpty());
    QVERIFY(m_server.requestsMatching("do=register_new").value(0).body.contains("&union_uid=ref-42&"));
}

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    initGuiResources();
    TestAccountDialog test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_accountdialog.moc"
