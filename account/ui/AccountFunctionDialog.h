#pragma once

#include "app/ui/MoveableDialog.h"
#include "ui_AccountFunctionDialog.h"

class AccountSession;
class ServiceReply;

// Log in, sign up, retrieve and change the password, log out, see the VIP date: the view of the
// account session, whose flags the rest of the program reads.
class AccountFunctionDialog : public MoveableDialog, private Ui::AccountFunctionDialog
{
    Q_OBJECT

public:
    AccountFunctionDialog(AccountSession *session, QWidget *parent);

    // The one dialog, created on first use over the main window and re-centred on every call.
    static AccountFunctionDialog *instance();
    QAbstractButton *escapeButton() const override;

    bool loggedIn() const;
    bool vip() const;
    bool permanentVip() const;

    // Fills the login page from user.dat and logs in when automatic login is on.
    void restoreRememberedLogin();
    // Switches to the misc page and runs the dialog modally (the main window's user button).
    void showMiscPage();

    static void openAccountWebSite();

signals:
    // Closing the login page ends the program.
    void quitRequested();

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

protected:
    // A new interface language: the form's texts and the dialog's own again.
    void changeEvent(QEvent *event) override;

private:
    // An automatic login still waiting after this long shows the dialog with its button's text.
    static constexpr int LoginRevealMs = 1000;

    void connectForm();
    // What the form does not hold: the declaration's link and, once logged in, the account's texts.
    void showOwnTexts();
    void showMessage(const QString &title, const QString &text);
    // Shows the failure words of an outcome that is not a success; true when it was a success.
    bool succeededOrShow(const ServiceReply &reply, const QString &title);
    void forgetLoginFields();

    AccountSession *m_session;
};
