#include "auth/formlogin.h"

#include <algorithm>

#include <QFontDatabase>
#include <QHideEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QShowEvent>
#include <QStyle>
#include <QTimer>

#include "platform/clock.h"
#include "platform/widgettext.h"

namespace
{
constexpr int CountDownFirst = 1;
constexpr int CountDownLast = 60;
constexpr int FieldLeft = 92;
constexpr int FieldWidth = 220;

QLabel* MakeLabel(QWidget* parent, const char* text, int y)
{
    auto* label = new QLabel(QString::fromLatin1(text), parent);
    label->setGeometry(8, y, FieldLeft - 12, 16);
    return label;
}

// A sunken field of bold text that the server gives, never read as markup.
QLabel* MakeServerText(QWidget* parent, int y)
{
    auto* field = new QLabel(parent);
    field->setGeometry(FieldLeft, y, FieldWidth, 22);
    field->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    QFont bold = field->font();
    bold.setBold(true);
    field->setFont(bold);
    field->setTextFormat(Qt::PlainText);
    return field;
}

// A text too long for its field is shortened there and shown whole as the field's hint.
void ShowWhole(QLabel* field, const QString& text, Qt::TextElideMode mode)
{
    field->setToolTip(text);
    field->setText(field->fontMetrics().elidedText(text, mode, field->contentsRect().width() - 4));
}
} // namespace

TFormLogin::TFormLogin(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint)
{
    CreateControls();
}

void TFormLogin::CreateControls()
{
    setModal(true);
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPointSize(8);
    setFont(font);
    setFixedSize(FieldLeft + FieldWidth + 8, 190);

    // Who asks comes first: the password typed below goes there.
    Label5 = MakeLabel(this, "Server", 11);
    StaticTextServer = MakeServerText(this, 8);
    Label1 = MakeLabel(this, "Authentication", 39);
    StaticTextAuth = MakeServerText(this, 36);

    Label2 = MakeLabel(this, "User name", 69);
    EditUserName = new QLineEdit(this);
    EditUserName->setGeometry(FieldLeft, 66, FieldWidth, 22);
    Label2->setBuddy(EditUserName);

    Label3 = MakeLabel(this, "Password", 97);
    MaskEditPassword = new QLineEdit(this);
    MaskEditPassword->setGeometry(FieldLeft, 94, FieldWidth, 22);
    MaskEditPassword->setEchoMode(QLineEdit::Password);
    MaskEditPassword->setStyleSheet(QStringLiteral("lineedit-password-character: 42;"));
    Label3->setBuddy(MaskEditPassword);

    Label4 = MakeLabel(this, "Countdown", 125);
    ProgressBarCountDown = new QProgressBar(this);
    ProgressBarCountDown->setGeometry(FieldLeft, 126, FieldWidth, 14);
    ProgressBarCountDown->setRange(CountDownFirst, CountDownLast);
    ProgressBarCountDown->setValue(CountDownFirst);
    ProgressBarCountDown->setTextVisible(false);
    ProgressBarCountDown->setToolTip(QStringLiteral("The dialog closes when the bar is full"));

    const int buttonsLeft = (width() - 2 * 84 - 12) / 2;
    BitBtn1 = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), QStringLiteral("OK"), this);
    BitBtn1->setGeometry(buttonsLeft, 152, 84, 28);
    BitBtn1->setDefault(true);
    BitBtn2 =
        new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton), QStringLiteral("Cancel"), this);
    BitBtn2->setGeometry(buttonsLeft + 96, 152, 84, 28);

    Timer1 = new QTimer(this);
    Timer1->setInterval(1000);

    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
    connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
    connect(EditUserName, &QLineEdit::textEdited, this, [this] { EditUserNameChange(); });
    connect(MaskEditPassword, &QLineEdit::textEdited, this, [this] { MaskEditPasswordChange(); });
}

bool TFormLogin::Ask(const platform::LoginQuestion& question, platform::LoginAnswer& answer)
{
    setWindowTitle(platform::ToQString(question.Caption));
    ShowWhole(StaticTextServer, platform::ToQString(question.Server), Qt::ElideMiddle);
    ShowWhole(StaticTextAuth, platform::ToQString(question.Challenge), Qt::ElideRight);
    EditUserName->setText(platform::ToQString(question.UserName));
    // A password typed for one server is never offered to another.
    if (question.Server != lastServer)
        MaskEditPassword->clear();
    lastServer = question.Server;
    if (exec() != QDialog::Accepted)
        return false;
    answer.UserName = platform::ToStdString(EditUserName->text());
    answer.Password = platform::ToStdString(MaskEditPassword->text());
    return true;
}

void TFormLogin::RestartCountDown()
{
    countDownStart = platform::Now();
    ProgressBarCountDown->setValue(CountDownFirst);
}

void TFormLogin::FormShow()
{
    Timer1->start();
    MaskEditPassword->setFocus();
    RestartCountDown();
}

void TFormLogin::FormHide()
{
    Timer1->stop();
}

void TFormLogin::Timer1Timer()
{
    const qint64 seconds = std::max<qint64>(countDownStart.secsTo(platform::Now()), 0);
    const int position = static_cast<int>(std::min<qint64>(CountDownFirst + seconds, CountDownLast));
    ProgressBarCountDown->setValue(position);
    if (position >= CountDownLast)
        reject();
}

void TFormLogin::EditUserNameChange()
{
    RestartCountDown();
}

void TFormLogin::MaskEditPasswordChange()
{
    RestartCountDown();
}

void TFormLogin::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    FormShow();
}

void TFormLogin::hideEvent(QHideEvent* event)
{
    FormHide();
    QDialog::hideEvent(event);
}
