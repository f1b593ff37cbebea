#pragma once

#include <string>

#include <QDateTime>
#include <QDialog>

#include "platform/prompt.h"

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTimer;

// The login dialog: a user name and a password for a web site or a proxy, beside the server
// that asks and its challenge. Left untouched for about a minute it closes as cancelled; every keystroke in
// either field gives the minute back. Created once at start-up and shown modally for each login.
class TFormLogin : public QDialog
{
    Q_OBJECT

  public:
    explicit TFormLogin(QWidget* parent = nullptr);

    QLabel* Label5;
    QLabel* StaticTextServer;
    QLabel* Label1;
    QLabel* StaticTextAuth;
    QLabel* Label2;
    QLineEdit* EditUserName;
    QLabel* Label3;
    QLineEdit* MaskEditPassword;
    QLabel* Label4;
    QProgressBar* ProgressBarCountDown;
    QPushButton* BitBtn1;
    QPushButton* BitBtn2;
    QTimer* Timer1;

    // Shows the question modally: its caption, the server, the challenge and the proposed name. The
    // password typed last stays only for a login to the same server. True for OK, with the
    // answer filled in.
    bool Ask(const platform::LoginQuestion& question, platform::LoginAnswer& answer);

    void FormShow();
    void FormHide();
    void Timer1Timer();
    void EditUserNameChange();
    void MaskEditPasswordChange();

  protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    void CreateControls();
    void RestartCountDown();

    // The countdown counts the clock's seconds since the last keystroke, so that a busy moment
    // that delays a tick does not stretch the minute.
    QDateTime countDownStart;
    std::string lastServer;
};
