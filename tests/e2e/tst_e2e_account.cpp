#include "account/AccountSession.h"
#include "account/ui/AccountFunctionDialog.h"
#include "service/Endpoints.h"
#include "app/AppConfig.h"
#include "app/ui/GuiResources.h"
#include "TestClient.h"
#include "service/ServiceClient.h"

#include "EndToEnd.h"
#include "ModalAnswerer.h"
#include "ServiceProcess.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {
const QString kCaptcha = QStringLiteral("Qz7Kp");
const QString kEmail = QStringLiteral("new.viewer@pelorin.test");
const QString kPassword = QStringLiteral("secret 12345");
} // namespace

// Sign-up, log in and log out through the account dialog's widgets against a started service.
class TestEndToEndAccount : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void signUpLogInLogOut();

private:
    template <typename T> T *child(const char *name) { return m_dialog->findChild<T *>(QLatin1String(name)); }
    void setText(const char *edit, const QString &text) { child<QLineEdit>(edit)->setText(text); }
    void click(const char *button) { child<QPushButton>(button)->click(); }
    // Clicks a button whose outcome is one message box, answers it, and returns what it showed.
    ModalAnswerer::Seen clickForMessage(const char *button)
    {
        ModalAnswerer answerer({QStringLiteral("确定")});
        click(button);
        return answerer.seen().size() == 1 ? answerer.seen()[0] : ModalAnswerer::Seen{};
    }
    void logIn()
    {
        setText("loginPageUsernameLineEdit", kEmail);
        setText("loginPagePasswordLineEdit", kPassword);
        click("loginPageLoginPushButton");
    }
    QString currentPage() { return child<QStackedWidget>("clientStackedWidget")->currentWidget()->objectName(); }
    // Whether the service accepts a request that needs a logged-in session.
    static ServiceReply listCollections() { return testClient().call(Endpoints::collectionList()); }

    QTemporaryDir m_dir;
    std::unique_ptr<ServiceProcess> m_service;
    AccountSession m_session{&testClient()};
    AccountFunctionDialog *m_dialog = nullptr;
    QList<bool> m_monitorSwitches;
};

void TestEndToEndAccount::initTestCase()
{
    initGuiResources();
    QVERIFY(m_dir.isValid());
    QVERIFY(QDir::setCurrent(m_dir.path()));
    m_service = std::make_unique<ServiceProcess>();
    QVERIFY2(m_service->start({QStringLiteral("--test-captcha"), kCaptcha}), m_service->log().constData());
    e2e::useService(*m_service);
    AppConfig::setLastAutoShowDayOfYear(0); // the first login of the day shows the account page
    AppConfig::setClipboardMonitor(1);
    // As the application switches the clipboard monitor.
    connect(&m_session, &AccountSession::loginChanged, this,
            [this](bool in) { m_monitorSwitches.append(in && m_session.wantsClipboardMonitor()); });
    m_dialog = new AccountFunctionDialog(&m_session, nullptr);
    m_dialog->show();
}

void TestEndToEndAccount::cleanupTestCase()
{
    delete m_dialog;
    m_service.reset();
}

void TestEndToEndAccount::signUpLogInLogOut()
{
    QVERIFY(!listCollections().succeeded());

    // The sign-up page fetches a captcha bound to this program's session.
    click("loginPageFreeSignUpPushButton");
    QCOMPARE(currentPage(), QStringLiteral("signUpPage"));
    QVERIFY(!child<QPushButton>("signUpPageCaptchaImagePushButton")->icon().isNull());

    setText("signUpPageEmailLineEdit", kEmail);
    setText("signUpPagePasswordLineEdit", kPassword);
    setText("signUpPageRePasswordLineEdit", kPassword);
    child<QCheckBox>("signUpPageDeclarationCheckBox")->setChecked(true);

    // A wrong captcha is refused (and a fresh one fetched); the right one creates the account.
    setText("signUpPageCaptchaLineEdit", QStringLiteral("nope"));
    ModalAnswerer::Seen message = clickForMessage("signUpPageSignUpPushButton");
    QCOMPARE(message.title, QStringLiteral("注册"));
    QCOMPARE(message.text, QStringLiteral("验证码错误，请重新输入！"));
    QCOMPARE(currentPage(), QStringLiteral("signUpPage"));
    setText("signUpPageCaptchaLineEdit", kCaptcha.toLower());
    message = clickForMessage("signUpPageSignUpPushButton");
    QCOMPARE(message.title, QStringLiteral("注册"));
    QVERIFY2(message.text.startsWith(QStringLiteral("注册的邮箱请务必填写本人的")), qPrintable(message.text));
    QCOMPARE(currentPage(), QStringLiteral("loginPage"));
    QCOMPARE(child<QLineEdit>("loginPageUsernameLineEdit")->text(), kEmail);
    QVERIFY(child<QLineEdit>("signUpPageEmailLineEdit")->text().isEmpty());
    QByteArray users;
    QCOMPARE(m_service->run({QStringLiteral("user"), QStringLiteral("list")}, &users), 0);
    QVERIFY2(users.contains(kEmail.toUtf8()), users.constData());

    // A wrong password is refused with the login title; the right one logs in.
    setText("loginPagePasswordLineEdit", QStringLiteral("not the password"));
    message = clickForMessage("loginPageLoginPushButton");
    QCOMPARE(message.title, QStringLiteral("登录账号"));
    QVERIFY(!message.text.isEmpty());
    QVERIFY(!m_dialog->loggedIn());
    setText("loginPagePasswordLineEdit", kPassword);
    click("loginPageLoginPushButton");
    QVERIFY(m_dialog->loggedIn());
    QVERIFY(!m_dialog->vip());
    QVERIFY(!m_dialog->permanentVip());
    QCOMPARE(currentPage(), QStringLiteral("miscPage"));
    QCOMPARE(child<QLineEdit>("miscPageEmailLineEdit")->text(), kEmail);
    QVERIFY(QFile::exists(QStringLiteral("user.dat")));
    QCOMPARE(m_monitorSwitches, QList<bool>{true});
    const ServiceReply listed = listCollections();
    QVERIFY2(listed.succeeded(), qPrintable(listed.failureText()));

    // Logging out ends the session on the service too.
    click("miscPageLogoutPushButton");
    QCOMPARE(currentPage(), QStringLiteral("loginPage"));
    QVERIFY(child<QLineEdit>("loginPageUsernameLineEdit")->text().isEmpty());
    QVERIFY(!QFile::exists(QStringLiteral("user.dat")));
    QCOMPARE(m_monitorSwitches.last(), false);
    const ServiceReply refused = listCollections();
    QVERIFY(refused.isEnvelope());
    QCOMPARE(refused.statu(), -1);

    // A second login works; the day's account page was shown, so the dialog closes.
    logIn();
    QVERIFY(m_dialog->isHidden());
    QVERIFY(listCollections().succeeded());

    // Remembered with automatic login, the next start logs in from user.dat alone: tst_e2e_product.
}

QTEST_MAIN(TestEndToEndAccount)
#include "tst_e2e_account.moc"
