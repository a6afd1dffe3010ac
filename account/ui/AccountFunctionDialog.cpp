#include "account/ui/AccountFunctionDialog.h"

#include "account/AccountSession.h"
#include "app/AppConfig.h"
#include "app/ui/DialogRegistry.h"
#include "app/ui/OkMessageBox.h"

#include <QDate>
#include <QEvent>
#include <QLineEdit>
#include <QDesktopServices>
#include <QImage>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>
#include <QUrl>

namespace {
// The message boxes' titles, per operation.
const char kLoginTitle[] = QT_TRANSLATE_NOOP("AccountFunctionDialog", "登录账号");
const char kLogoutTitle[] = QT_TRANSLATE_NOOP("AccountFunctionDialog", "注销");
const char kModifyTitle[] = QT_TRANSLATE_NOOP("AccountFunctionDialog", "修改密码");
const char kRetrieveTitle[] = QT_TRANSLATE_NOOP("AccountFunctionDialog", "找回密码");
const char kCaptchaTitle[] = QT_TRANSLATE_NOOP("AccountFunctionDialog", "注册账号");
const char kSignUpTitle[] = QT_TRANSLATE_NOOP("AccountFunctionDialog", "注册");
} // namespace

AccountFunctionDialog *AccountFunctionDialog::instance()
{
    return DialogRegistry::instanceOf<AccountFunctionDialog>();
}

AccountFunctionDialog::AccountFunctionDialog(AccountSession *session, QWidget *parent)
    : MoveableDialog(parent, Qt::FramelessWindowHint)
    , m_session(session)
{
    setupUi(this);
    showOwnTexts();
    signUpPageCheckDeclarationLabel->setOpenExternalLinks(true);
    clientStackedWidget->setCurrentWidget(loginPage);
    connectForm();
}

void AccountFunctionDialog::showOwnTexts()
{
    signUpPageCheckDeclarationLabel->setText(
        QStringLiteral("<a href=\"%1?r=www/default/page&amp;p=mianze\" style=\"color:#01bd31; "
                       "text-decoration: none;\">%2</a>")
            .arg(AppConfig::serviceBase(), tr("查看")));
    if (!m_session->loggedIn())
        return;
    miscPageVIPDataLineEdit->setText(m_session->vipDateText());
    miscPageSupportLabel->setText(tr("用户反馈请关注Pelorin微信公众号：pelorinfans或搜索影迷工坊，有客服为您解决问题"));
}

void AccountFunctionDialog::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange) {
        retranslateUi(this);
        showOwnTexts();
    }
    MoveableDialog::changeEvent(event);
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

    // Enter in a form's field does what the form's button does.
    const auto enter = [this](std::initializer_list<QLineEdit *> fields, void (AccountFunctionDialog::*slot)()) {
        for (QLineEdit *field : fields)
            connect(field, &QLineEdit::returnPressed, this, slot);
    };
    enter({loginPageUsernameLineEdit, loginPagePasswordLineEdit}, &AccountFunctionDialog::loginPageLoginPushButton_clicked);
    enter({signUpPageEmailLineEdit, signUpPagePasswordLineEdit, signUpPageRePasswordLineEdit, signUpPageCaptchaLineEdit},
          &AccountFunctionDialog::signUpPageSignUpPushButton_clicked);
    enter({retrievePasswordPageEmailLineEdit}, &AccountFunctionDialog::retrievePasswordPageRetrievePushButton_clicked);
    enter({modifyPasswordPageOldPasswordLineEdit, modifyPasswordPageNewPasswordLineEdit,
           modifyPasswordPageNewRePasswordLineEdit},
          &AccountFunctionDialog::modifyPasswordPageSubmitPushButton_clicked);
}

void AccountFunctionDialog::showMessage(const QString &title, const QString &text)
{
    OkMessageBox::inform(this, title, text);
}

bool AccountFunctionDialog::succeededOrShow(const ServiceReply &reply, const QString &title)
{
    if (reply.succeeded())
        return true;
    showMessage(title, reply.failureText());
    return false;
}

bool AccountFunctionDialog::loggedIn() const { return m_session->loggedIn(); }
bool AccountFunctionDialog::vip() const { return m_session->vip(); }
bool AccountFunctionDialog::permanentVip() const { return m_session->permanentVip(); }

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
    emit quitRequested();
}

// ---- operations ----

void AccountFunctionDialog::loginPageLoginPushButton_clicked()
{
    const QString name = loginPageUsernameLineEdit->text();
    const QString password = loginPagePasswordLineEdit->text();
    if (name.isEmpty() || password.isEmpty())
        return;

    // The answer may be slow on a poor link: the button says what happens meanwhile, and an
    // automatic login (the dialog hidden) brings the dialog up once it has waited a moment.
    const QString buttonText = loginPageLoginPushButton->text();
    loginPageLoginPushButton->setEnabled(false);
    loginPageLoginPushButton->setText(tr("正在登录..."));
    QTimer reveal;
    reveal.setSingleShot(true);
    if (isHidden()) {
        connect(&reveal, &QTimer::timeout, this, [this] {
            clientStackedWidget->setCurrentWidget(loginPage);
            show();
        });
        reveal.start(LoginRevealMs);
    }
    const ServiceReply reply =
        m_session->logIn(name, password, loginPageRememberPasswordCheckBox->isChecked());
    reveal.stop();
    loginPageLoginPushButton->setText(buttonText);
    loginPageLoginPushButton->setEnabled(true);
    if (!succeededOrShow(reply, tr(kLoginTitle)))
        return;

    miscPageEmailLineEdit->setText(name);
    showOwnTexts();

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
}

void AccountFunctionDialog::restoreRememberedLogin()
{
    QString name;
    QString password;
    if (!AccountSession::remembered(&name, &password))
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
}

void AccountFunctionDialog::miscPageLogoutPushButton_clicked()
{
    if (!succeededOrShow(m_session->logOut(), tr(kLogoutTitle)))
        return;
    loginPageUsernameLineEdit->clear();
    loginPageUsernameLineEdit->setFocus();
    forgetLoginFields();
}

void AccountFunctionDialog::modifyPasswordPageSubmitPushButton_clicked()
{
    const QString old = modifyPasswordPageOldPasswordLineEdit->text();
    const QString fresh = modifyPasswordPageNewPasswordLineEdit->text();
    const QString again = modifyPasswordPageNewRePasswordLineEdit->text();
    if (old.isEmpty() || fresh.isEmpty() || again.isEmpty())
        return;
    if (fresh != again) {
        showMessage(tr(kModifyTitle), tr("两次填写的新密码不相同，请重新填写！"));
        return;
    }
    if (!succeededOrShow(m_session->changePassword(old, fresh, again), tr(kModifyTitle)))
        return;
    showMessage(tr(kModifyTitle), tr("修改成功，请重新登录！"));
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
    if (!succeededOrShow(m_session->retrievePassword(email), tr(kRetrieveTitle)))
        return;
    showMessage(tr(kRetrieveTitle), tr("邮件发送成功，请尽快修改密码！"));
    retrievePasswordPageEmailLineEdit->clear();
}

void AccountFunctionDialog::signUpPageCaptchaImagePushButton_clicked()
{
    QByteArray body;
    if (!succeededOrShow(m_session->fetchCaptcha(&body), tr(kCaptchaTitle)))
        return;
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
        showMessage(tr(kSignUpTitle), tr("两次填写的密码不相同，请重新填写！"));
        return;
    }
    const QString captcha = signUpPageCaptchaLineEdit->text();
    if (captcha.isEmpty())
        return;
    if (!signUpPageDeclarationCheckBox->isChecked()) {
        showMessage(tr(kSignUpTitle), tr("请熟读并认可Pelorin声明后再进行注册！"));
        return;
    }
    const ServiceReply reply = m_session->signUp(captcha, email, password, again);
    if (!reply.succeeded()) {
        showMessage(tr(kSignUpTitle), reply.failureText());
        if (reply.isEnvelope() && reply.statu() == -5)
            signUpPageCaptchaImagePushButton_clicked();
        return;
    }
    showMessage(tr(kSignUpTitle), tr("注册的邮箱请务必填写本人的，否则密码丢失只能通过邮箱找回。") + QStringLiteral("\r\n\r\n")
                                      + tr("警告：若发现近期内重复注册，且没有正当使用，Pelorin有权收回且禁用IP注册账户！"));
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

QAbstractButton *AccountFunctionDialog::escapeButton() const
{
    // The login page's close button ends the program: Esc there only dismisses the dialog, and the
    // program runs without a login.
    QWidget *page = clientStackedWidget->currentWidget();
    if (page == signUpPage)
        return signUpPageReturnPushButton;
    if (page == retrievePasswordPage)
        return retrievePasswordPageReturnPushButton;
    if (page == modifyPasswordPage)
        return modifyPasswordPageReturnPushButton;
    if (page == miscPage)
        return miscPageClosePushButton;
    return nullptr;
}
