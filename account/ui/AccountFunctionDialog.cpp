#include "account/ui/AccountFunctionDialog.h"

#include "account/LoginReply.h"
#include "account/RememberedLogin.h"
#include "app/AppConfig.h"
#include "service/ServiceClient.h"
#include "shell/ui/MainWindow.h"

#include <QDate>
#include <QDesktopServices>
#include <QImage>
#include <QMessageBox>
#include <QNetworkReply>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>
#include <QUrl>

namespace {
const QString kLoginTitle = QStringLiteral("登录账号");
const QString kLogoutTitle = QStringLiteral("注销");
const QString kModifyTitle = QStringLiteral("修改密码");
const QString kRetrieveTitle = QStringLiteral("找回密码");
const QString kCaptchaTitle = QStringLiteral("注册账号");
const QString kSignUpTitle = QStringLiteral("注册");
} // namespace

AccountFunctionDialog::ClipboardMonitorSwitch AccountFunctionDialog::s_clipboardMonitorSwitch;

void AccountFunctionDialog::setClipboardMonitorSwitch(const ClipboardMonitorSwitch &monitorSwitch)
{
    s_clipboardMonitorSwitch = monitorSwitch;
}

AccountFunctionDialog *AccountFunctionDialog::instance()
{
    static AccountFunctionDialog *dialog = nullptr;
    if (!dialog)
        dialog = new AccountFunctionDialog(MainWindow::instance());
    dialog->centreOverParent();
    return dialog;
}

AccountFunctionDialog::AccountFunctionDialog(QWidget *parent)
    : MoveableDialog(parent, Qt::FramelessWindowHint)
{
    setupUi(this);
    signUpPageCheckDeclarationLabel->setText(
        QStringLiteral("<a href=\"%1?r=www/default/page&amp;p=mianze\" style=\"color:#01bd31; text-decoration: none;\">查看</a>")
            .arg(AppConfig::serviceBase()));
    signUpPageCheckDeclarationLabel->setOpenExternalLinks(true);
    clientStackedWidget->setCurrentWidget(loginPage);
    connectForm();
}

void AccountFunctionDialog::connectForm()
{
    connect(clientStackedWidget, &QStackedWidget::currentChanged, this,
            &AccountFunctionDialog::clientStackedWidget_currentChanged);
    const auto click = [this](QPushButton *button, void (AccountFunctionDialog::*slot)()) {
        connect(button, &QPushButton::clicked, this, slot);
    };
    click(loginPageFreeSignUpPushButton, &AccountFunctionDialog::loginPageFreeSignUpPushButton_clicked);
    click(loginPageForgetPasswordPushButton, &AccountFunctionDialog::loginPageForgetPasswordPushButton_clicked);
    connect(loginPageAutoLoginCheckBox, &QCheckBox::stateChanged, this,
            &AccountFunctionDialog::loginPageAutoLoginCheckBox_stateChanged);
    click(loginPageLoginPushButton, &AccountFunctionDialog::loginPageLoginPushButton_clicked);
    click(loginPageClosePushButton, &AccountFunctionDialog::loginPageClosePushButton_clicked);
    click(miscPagePayPushButton, &AccountFunctionDialog::miscPagePayPushButton_clicked);
    click(miscPageModifyPasswordPushButton, &AccountFunctionDialog::miscPageModifyPasswordPushButton_clicked);
    click(miscPageLogoutPushButton, &AccountFunctionDialog::miscPageLogoutPushButton_clicked);
    connect(miscPageClosePushButton, &QPushButton::clicked, this, &QDialog::close);
    click(modifyPasswordPageSubmitPushButton, &AccountFunctionDialog::modifyPasswordPageSubmitPushButton_clicked);
    click(modifyPasswordPageReturnPushButton, &AccountFunctionDialog::modifyPasswordPageReturnPushButton_clicked);
    click(signUpPageSignUpPushButton, &AccountFunctionDialog::signUpPageSignUpPushButton_clicked);
    click(signUpPageReturnPushButton, &AccountFunctionDialog::signUpPageReturnPushButton_clicked);
    click(signUpPageCaptchaImagePushButton, &AccountFunctionDialog::signUpPageCaptchaImagePushButton_clicked);
    click(retrievePasswordPageRetrievePushButton, &AccountFunctionDialog::retrievePasswordPageRetrievePushButton_clicked);
    click(retrievePasswordPageReturnPushButton, &AccountFunctionDialog::retrievePasswordPageReturnPushButton_clicked);
}

void AccountFunctionDialog::showMessage(const QString &title, const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok, this);
    box.button(QMessageBox::Ok)->setText(QStringLiteral("确定"));
    box.exec();
}

bool AccountFunctionDialog::succeededOrShow(const ServiceReply &reply, const QString &title)
{
    if (reply.succeeded())
        return true;
    showMessage(title, reply.failureText());
    return false;
}

void AccountFunctionDialog::setClipboardMonitorEnabled(bool on)
{
    // The monitor belongs to the resource dialog; this is the one place the account switches it.
    if (s_clipboardMonitorSwitch)
        s_clipboardMonitorSwitch(on);
}

void AccountFunctionDialog::openAccountWebSite()
{
    QDesktopServices::openUrl(QUrl(AppConfig::serviceBase() + QStringLiteral("?r=www/user/login")));
}

void AccountFunctionDialog::showMiscPage()
{
    clientStackedWidget->setCurrentWidget(miscPage);
    exec();
}

// ---- pages ----

void AccountFunctionDialog::clientStackedWidget_currentChanged(int index)
{
    if (clientStackedWidget->widget(index) == signUpPage)
        emit signUpPageCaptchaImagePushButton->clicked();
}

void AccountFunctionDialog::loginPageFreeSignUpPushButton_clicked() { clientStackedWidget->setCurrentWidget(signUpPage); }
void AccountFunctionDialog::loginPageForgetPasswordPushButton_clicked()
{
    clientStackedWidget->setCurrentWidget(retrievePasswordPage);
}
void AccountFunctionDialog::miscPageModifyPasswordPushButton_clicked()
{
    clientStackedWidget->setCurrentWidget(modifyPasswordPage);
}
void AccountFunctionDialog::modifyPasswordPageReturnPushButton_clicked() { clientStackedWidget->setCurrentWidget(miscPage); }
void AccountFunctionDialog::signUpPageReturnPushButton_clicked() { clientStackedWidget->setCurrentWidget(loginPage); }
void AccountFunctionDialog::retrievePasswordPageReturnPushButton_clicked()
{
    clientStackedWidget->setCurrentWidget(loginPage);
}
void AccountFunctionDialog::miscPagePayPushButton_clicked() { openAccountWebSite(); }

void AccountFunctionDialog::loginPageAutoLoginCheckBox_stateChanged(int state)
{
    if (state == Qt::Checked)
        loginPageRememberPasswordCheckBox->setChecked(true);
}

void AccountFunctionDialog::loginPageClosePushButton_clicked()
{
    close();
    if (QWidget *window = MainWindow::instance())
        QTimer::singleShot(100, window, &QWidget::close);
}

// ---- operations ----

void AccountFunctionDialog::loginPageLoginPushButton_clicked()
{
    const QString name = loginPageUsernameLineEdit->text();
    const QString password = loginPagePasswordLineEdit->text();
    if (name.isEmpty() || password.isEmpty())
        return;

    const ServiceReply reply = ServiceClient::call(Post, LoginReply::loginParameters(name, password), true);
    if (!succeededOrShow(reply, kLoginTitle))
        return;

    const QVariantMap data = reply.data().toMap();
    m_loggedIn = true;
    m_vip = LoginReply::isVip(data);
    m_permanentVip = LoginReply::isPermanentVip(data);
    miscPageEmailLineEdit->setText(name);
    miscPageVIPDataLineEdit->setText(LoginReply::vipDateText(data));
    miscPageSupportLabel->setText(
        QStringLiteral("用户反馈请关注Pelorin微信公众号：pelorinfans或搜索影迷工坊，有客服为您解决问题"));
    RememberedLogin::write(name, loginPageRememberPasswordCheckBox->isChecked() ? password : QString());

    const uint today = uint(QDate::currentDate().dayOfYear());
    if (today == AppConfig::lastAutoShowDayOfYear()) {
        close();
    } else {
        AppConfig::setLastAutoShowDayOfYear(today);
        clientStackedWidget->setCurrentWidget(miscPage);
        if (!isVisible())
            exec(); // already running modally: it simply stays open on the misc page
    }
    AppConfig::setAutoLogin(loginPageAutoLoginCheckBox->isChecked() ? 1 : 0);
    setClipboardMonitorEnabled(AppConfig::clipboardMonitor() == 1);
}

void AccountFunctionDialog::restoreRememberedLogin()
{
    QString name;
    QString password;
    if (!RememberedLogin::read(&name, &password))
        return;
    loginPageUsernameLineEdit->setText(name);
    if (password.isEmpty())
        return;
    loginPagePasswordLineEdit->setText(password);
    loginPageRememberPasswordCheckBox->setChecked(true);
    if (AppConfig::autoLogin() == 1) {
        loginPageAutoLoginCheckBox->setChecked(true);
        emit loginPageLoginPushButton->clicked();
    }
}

void AccountFunctionDialog::forgetLoginFields()
{
    loginPagePasswordLineEdit->clear();
    loginPageRememberPasswordCheckBox->setChecked(false);
    loginPageAutoLoginCheckBox->setChecked(false);
    clientStackedWidget->setCurrentWidget(loginPage);
    RememberedLogin::remove();
}

void AccountFunctionDialog::miscPageLogoutPushButton_clicked()
{
    const ServiceReply reply = ServiceClient::call(
        Post, {QStringLiteral("r=www/user/logout"), QStringLiteral("do=logout"), QStringLiteral("_s=pc")}, false);
    if (!succeededOrShow(reply, kLogoutTitle))
        return;
    loginPageUsernameLineEdit->clear();
    loginPageUsernameLineEdit->setFocus();
    forgetLoginFields();
    setClipboardMonitorEnabled(false);
}

void AccountFunctionDialog::modifyPasswordPageSubmitPushButton_clicked()
{
    const QString old = modifyPasswordPageOldPasswordLineEdit->text();
    const QString fresh = modifyPasswordPageNewPasswordLineEdit->text();
    const QString again = modifyPasswordPageNewRePasswordLineEdit->text();
    if (old.isEmpty() || fresh.isEmpty() || again.isEmpty())
        return;
    if (fresh != again) {
        showMessage(kModifyTitle, QStringLiteral("两次填写的新密码不相同，请重新填写！"));
        return;
    }
    const ServiceReply reply = ServiceClient::call(
        Post,
        {QStringLiteral("r=www/user/pwd"), QStringLiteral("do=pwd"), QStringLiteral("f[password]=") + old,
         QStringLiteral("f[newpassword]=") + fresh, QStringLiteral("f[repassword]=") + again, QStringLiteral("_s=pc")},
        false);
    if (!succeededOrShow(reply, kModifyTitle))
        return;
    showMessage(kModifyTitle, QStringLiteral("修改成功，请重新登录！"));
    loginPagePasswordLineEdit->setFocus();
    forgetLoginFields();
    modifyPasswordPageOldPasswordLineEdit->clear();
    modifyPasswordPageNewPasswordLineEdit->clear();
    modifyPasswordPageNewRePasswordLineEdit->clear();
    modifyPasswordPageOldPasswordLineEdit->setFocus();
}

void AccountFunctionDialog::retrievePasswordPageRetrievePushButton_clicked()
{
    const QString email = retrievePasswordPageEmailLineEdit->text();
    if (email.isEmpty())
        return;
    const ServiceReply reply = ServiceClient::call(Post,
                                                   {QStringLiteral("r=www/user/forgetpwd"), QStringLiteral("do=forgetpwd"),
                                                    QStringLiteral("f[username]=") + email, QStringLiteral("_s=pc")},
                                                   false);
    if (!succeededOrShow(reply, kRetrieveTitle))
        return;
    showMessage(kRetrieveTitle, QStringLiteral("邮件发送成功，请尽快修改密码！"));
    retrievePasswordPageEmailLineEdit->clear();
}

void AccountFunctionDialog::signUpPageCaptchaImagePushButton_clicked()
{
    QNetworkReply *reply = ServiceClient::send(
        Get, {QStringLiteral("r=default/verfy"), QStringLiteral("_=1"), QStringLiteral("_s=pc")}, false);
    ServiceClient::waitForReply(reply);
    const bool failed = reply->error() != QNetworkReply::NoError;
    const QByteArray body = failed ? QByteArray() : reply->readAll();
    reply->deleteLater();
    if (failed) {
        showMessage(kCaptchaTitle, ServiceReply::networkFailure().failureText());
        return;
    }
    if (body.isEmpty()) {
        showMessage(kCaptchaTitle, ServiceReply::badData().failureText());
        return;
    }
    const QImage image = QImage::fromData(body);
    signUpPageCaptchaImagePushButton->setIconSize(image.size());
    signUpPageCaptchaImagePushButton->setIcon(QIcon(QPixmap::fromImage(image)));
}

void AccountFunctionDialog::signUpPageSignUpPushButton_clicked()
{
    const QString email = signUpPageEmailLineEdit->text();
    const QString password = signUpPagePasswordLineEdit->text();
    const QString again = signUpPageRePasswordLineEdit->text();
    if (email.isEmpty() || password.isEmpty() || again.isEmpty())
        return;
    if (password != again) {
        showMessage(kSignUpTitle, QStringLiteral("两次填写的密码不相同，请重新填写！"));
        return;
    }
    const QString captcha = signUpPageCaptchaLineEdit->text();
    if (captcha.isEmpty())
        return;
    if (!signUpPageDeclarationCheckBox->isChecked()) {
        showMessage(kSignUpTitle, QStringLiteral("请熟读并认可Pelorin声明后再进行注册！"));
        return;
    }
    const ServiceReply reply = ServiceClient::call(
        Post,
        {QStringLiteral("r=www/user/register"), QStringLiteral("do=register_new"), QStringLiteral("f[code]=") + captcha,
         QStringLiteral("f[username]=") + email, QStringLiteral("f[password]=") + password,
         QStringLiteral("f[repassword]=") + again,
         QString::fromUtf8(QByteArrayLiteral("union_uid=") + RememberedLogin::unionUid()), QStringLiteral("_s=pc")},
        true);
    if (!reply.succeeded()) {
        showMessage(kSignUpTitle, reply.failureText());
        if (reply.isEnvelope() && reply.statu() == -5)
            signUpPageCaptchaImagePushButton_clicked();
        return;
    }
    showMessage(kSignUpTitle, QStringLiteral("注册的邮箱请务必填写本人的，否则密码丢失只能通过邮箱找回。\r\n\r\n"
                                             "警告：若发现近期内重复注册，且没有正当使用，Pelorin有权收回且禁用IP注册账户！"));
    loginPageUsernameLineEdit->setText(email);
    loginPagePasswordLineEdit->clear();
    loginPagePasswordLineEdit->setFocus();
    loginPageRememberPasswordCheckBox->setChecked(false);
    clientStackedWidget->setCurrentWidget(loginPage);
    signUpPageEmailLineEdit->clear();
    signUpPagePasswordLineEdit->clear();
    signUpPageRePasswordLineEdit->clear();
    signUpPageCaptchaLineEdit->clear();
    signUpPageEmailLineEdit->setFocus();
    signUpPageDeclarationCheckBox->setChecked(false);
}
