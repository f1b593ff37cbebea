#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "auth/formlogin.h"
#include "platform/clock.h"
#include "platform/desktop.h"
#include "platform/prompt.h"
#include "scriptedserver.h"

namespace
{
platform::LoginQuestion Question(const std::string& server)
{
    platform::LoginQuestion question;
    question.Caption = "Web site login";
    question.Challenge = "Basic realm=\"files\"";
    question.Server = server;
    question.UserName = "alice";
    return question;
}

// Acts once the dialog shows, from inside its modal loop, as a user would.
void OnceShown(TFormLogin& form, std::function<void()> action)
{
    auto* poll = new QTimer(&form);
    QObject::connect(poll, &QTimer::timeout, &form,
                     [&form, poll, action]
                     {
                         if (!form.isVisible())
                             return;
                         poll->deleteLater();
                         poll->stop();
                         action();
                     });
    poll->start(5);
}
} // namespace

TEST(FormLogin, AsksWithServerChallengeAndProposedNameAndKeepsAPasswordForItsOwnServerOnly)
{
    TFormLogin form;
    EXPECT_EQ(form.Label5->text(), "Server");
    EXPECT_EQ(form.Label1->text(), "Authentication");
    EXPECT_EQ(form.Label2->text(), "User name");
    EXPECT_EQ(form.Label3->text(), "Password");
    EXPECT_EQ(form.Label4->text(), "Countdown");
    EXPECT_EQ(form.ProgressBarCountDown->minimum(), 1);
    EXPECT_EQ(form.ProgressBarCountDown->maximum(), 60);
    EXPECT_EQ(form.MaskEditPassword->echoMode(), QLineEdit::Password);
    EXPECT_EQ(form.Timer1->interval(), 1000);
    EXPECT_FALSE(form.Timer1->isActive()) << "the countdown rests while the dialog is hidden";

    platform::LoginAnswer answer;
    bool seen = false;
    OnceShown(form,
              [&]
              {
                  seen = true;
                  EXPECT_EQ(form.windowTitle(), "Web site login");
                  // Who asks for the password, before it is typed.
                  EXPECT_EQ(form.StaticTextServer->text(), "http://a.example:80");
                  EXPECT_EQ(form.StaticTextAuth->text(), "Basic realm=\"files\"");
                  EXPECT_TRUE(form.StaticTextAuth->font().bold());
                  EXPECT_EQ(form.EditUserName->text(), "alice");
                  EXPECT_EQ(form.focusWidget(), form.MaskEditPassword);
                  EXPECT_TRUE(form.Timer1->isActive());
                  QTest::keyClicks(form.MaskEditPassword, "s3cret");
                  QTest::mouseClick(form.BitBtn1, Qt::LeftButton);
              });
    EXPECT_TRUE(form.Ask(Question("http://a.example:80"), answer));
    EXPECT_TRUE(seen);
    EXPECT_EQ(answer.UserName, "alice");
    EXPECT_EQ(answer.Password, "s3cret");
    EXPECT_FALSE(form.Timer1->isActive());

    // The same server again: the password is still there. Cancel gives no answer.
    answer = {};
    OnceShown(form,
              [&]
              {
                  EXPECT_EQ(form.MaskEditPassword->text(), "s3cret");
                  QTest::mouseClick(form.BitBtn2, Qt::LeftButton);
              });
    EXPECT_FALSE(form.Ask(Question("http://a.example:80"), answer));
    EXPECT_EQ(answer.Password, "");

    // Another server never sees it offered; Enter gives OK.
    OnceShown(form,
              [&]
              {
                  EXPECT_EQ(form.StaticTextServer->text(), "http://b.example:80");
                  EXPECT_EQ(form.MaskEditPassword->text(), "");
                  QTest::keyClick(form.MaskEditPassword, Qt::Key_Return);
              });
    EXPECT_TRUE(form.Ask(Question("http://b.example:80"), answer));
    EXPECT_EQ(answer.Password, "");

    // A long challenge is cut visibly and kept whole in the hint; a long server name keeps its
    // scheme and its port in view.
    platform::LoginQuestion wordy = Question("http://" + std::string(200, 'h') + ".example:8080");
    wordy.Challenge = "Basic realm=\"" + std::string(200, 'r') + "\"";
    OnceShown(form,
              [&]
              {
                  EXPECT_TRUE(form.StaticTextAuth->text().endsWith(QChar(0x2026)));
                  EXPECT_EQ(form.StaticTextAuth->toolTip().toStdString(), wordy.Challenge);
                  const QString server = form.StaticTextServer->text();
                  EXPECT_TRUE(server.startsWith("http://h") && server.endsWith(".example:8080") &&
                              server.contains(QChar(0x2026)))
                      << server.toStdString();
                  EXPECT_EQ(form.StaticTextServer->toolTip().toStdString(), wordy.Server);
                  form.reject();
              });
    EXPECT_FALSE(form.Ask(wordy, answer));
}

TEST(FormLogin, TheCountdownClosesTheDialogAsCancelledUnlessAKeystrokeRestartsIt)
{
    TFormLogin form;
    platform::ScriptedClock clock(QDateTime(QDate(2026, 3, 1), QTime(9, 0)), 0);
    // Each tick reads the clock; ticking often only makes the test quick.
    form.Timer1->setInterval(5);
    auto bar = [&] { return form.ProgressBarCountDown->value(); };
    bool stillOpenAt59 = false;
    OnceShown(form,
              [&]
              {
                  EXPECT_EQ(bar(), 1);
                  // A keystroke every 50 seconds keeps the dialog open, in either field.
                  for (QLineEdit* field : {form.MaskEditPassword, form.EditUserName, form.MaskEditPassword})
                  {
                      clock.Time = clock.Time.addSecs(50);
                      EXPECT_TRUE(WaitUntil([&] { return bar() == 51; }));
                      QTest::keyClick(field, Qt::Key_X);
                      EXPECT_EQ(bar(), 1);
                  }
                  clock.Time = clock.Time.addSecs(58);
                  EXPECT_TRUE(WaitUntil([&] { return bar() == 59; }));
                  stillOpenAt59 = form.isVisible();
                  clock.Time = clock.Time.addSecs(1);
              });
    platform::LoginAnswer answer;
    EXPECT_FALSE(form.Ask(Question("http://a.example:80"), answer));
    EXPECT_TRUE(stillOpenAt59);
    EXPECT_EQ(bar(), 60);
    EXPECT_FALSE(form.isVisible());
    EXPECT_FALSE(form.Timer1->isActive());
}

TEST(FormLogin, OnTheDesktopLoginQuestionsComeToTheDialog)
{
    platform::UseDesktop();
    platform::LoginAnswer answer;
    EXPECT_FALSE(platform::AskLogin(Question("http://a.example:80"), answer)) << "no dialog yet: cancelled";

    TFormLogin form;
    platform::SetLoginDialog([&form](const platform::LoginQuestion& question, platform::LoginAnswer& given)
                             { return form.Ask(question, given); });
    OnceShown(form,
              [&]
              {
                  QTest::keyClicks(form.MaskEditPassword, "pw");
                  QTest::mouseClick(form.BitBtn1, Qt::LeftButton);
              });
    EXPECT_TRUE(platform::AskLogin(Question("http://a.example:80"), answer));
    EXPECT_EQ(answer.UserName, "alice");
    EXPECT_EQ(answer.Password, "pw");
    platform::SetLoginDialog({});
}
