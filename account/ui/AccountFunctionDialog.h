#pragma once

#include "app/ui/MoveableDialog.h"
#include "ui_AccountFunctionDialog.h"

#include <functional>

class ServiceReply;

// Log in, sign up, retrieve and change the password, log out, see the VIP date; and the login
// state of the running program that the rest of it reads.
class AccountFunctionDialog : public MoveableDialog, private Ui::AccountFunctionDialog
{
    Q_OBJECT

public:
    // The one dialog, created on first use over the main window and re-centred on every call.
    static AccountFunctionDialog *instance();

    bool loggedIn() const { return m_loggedIn; }
    bool vip() const { return m_vip; }
    bool permanentVip() const { return m_permanentVip; }

    // Fills the login page from user.dat and logs in when automatic login is on.
    void restoreRememberedLogin();
    // Switches to the misc page and runs the dialog modally (the main window's user button).
    void showMiscPage();

    static void openAccountWebSite();

    // The clipboard monitor lives in the resource dialog, which registers its switch here.
    using ClipboardMonitorSwitch = std::function<void(bool on)>;
    static void setClipboardMonitorSwitch(const ClipboardMonitorSwitch &monitorSwitch);

private slots:
    void clientStackedWidget_currentChanged(int index);
    void loginPageFreeSignUpPushButton_clicked();
    void loginPageForgetPasswordPushButton_clicked();
    void loginPageAutoLoginCheckBox_stateChanged(int state);
    void loginPageLoginPushButton_clicked();
    void loginPageClosePushButton_clicked();
    void miscPagePayPushButton_clicked();
    void miscPageModifyPasswordPushButton_clicked();
    void miscPageLogoutPushButton_clicked();
    void modifyPasswordPageSubmitPushButton_clicked();
    void modifyPasswordPageReturnPushButton_clicked();
    void signUpPageSignUpPushButton_clicked();
    void signUpPageReturnPushButton_clicked();
    void signUpPageCaptchaImagePushButton_clicked();
    void retrievePasswordPageRetrievePushButton_clicked();
    void retrievePasswordPageReturnPushButton_clicked();

private:
    explicit AccountFunctionDialog(QWidget *parent);

    void connectForm();
    void showMessage(const QString &title, const QString &text);
    // Shows the failure words of an outcome that is not a success; true when it was a success.
    bool succeededOrShow(const ServiceReply &reply, const QString &title);
    // The clipboard monitor follows the login: on at login when the setting says so, off at logout.
    void setClipboardMonitorEnabled(bool on);
    void forgetLoginFields();

    static ClipboardMonitorSwitch s_clipboardMonitorSwitch;

    bool m_loggedIn = false;
    bool m_vip = false;
    bool m_permanentVip = false;
};
