#include "settings/formabout.h"

#include <QFontDatabase>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QStyle>

#include "platform/prompt.h"
#include "platform/shell.h"
#include "platform/widgettext.h"
#include "platform/version.h"
#include "settings/makerpages.h"

void OpenWebPage(const char* address)
{
    if (!platform::OpenDocument(address))
        platform::ShowMessage(std::string("No web browser could be found to open ") + address +
                              ".  Please install a web browser.");
}

TFormAbout::TFormAbout(const QPixmap& picture, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint)
{
    setWindowTitle(QStringLiteral("About Kestrow"));
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPointSize(8);
    setFont(font);
    setFixedSize(300, 176);
    setStyleSheet(QStringLiteral("TFormAbout { background: #00FFFF; }"));

    Image1 = new QLabel(this);
    Image1->setPixmap(picture);
    Image1->setGeometry(16, 20, 64, 64);
    LabelTitle = new QLabel(QStringLiteral("Kestrow"), this);
    QFont titleFont(QStringLiteral("Serif"), 24);
    titleFont.setBold(true);
    titleFont.setItalic(true);
    LabelTitle->setFont(titleFont);
    LabelTitle->setStyleSheet(QStringLiteral("color: #000080;"));
    LabelTitle->setGeometry(96, 14, 196, 44);
    LabelSubtitle = new QLabel(QStringLiteral("Web Robot"), this);
    LabelSubtitle->setGeometry(100, 58, 192, 18);
    LabelVersion = new QLabel(this);
    LabelVersion->setGeometry(100, 78, 192, 18);
    LabelCorvaneHome = new QLabel(QString::fromLatin1(CorvaneHomeText), this);
    LabelCorvaneHome->setGeometry(100, 100, 192, 18);
    LabelCorvaneHome->setStyleSheet(QStringLiteral("color: #0000FF; text-decoration: underline;"));
    LabelCorvaneHome->setCursor(Qt::PointingHandCursor);
    LabelCorvaneHome->setToolTip(QString::fromLatin1(CorvaneHomePage));
    LabelCorvaneHome->installEventFilter(this);
    BitBtnAboutOk =
        new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), QStringLiteral("OK"), this);
    BitBtnAboutOk->setGeometry(110, 138, 80, 28);
    BitBtnAboutOk->setDefault(true);

    connect(BitBtnAboutOk, &QPushButton::clicked, this, [this] { BitBtnAboutOkClick(); });
}

void TFormAbout::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    FormShow();
}

void TFormAbout::FormShow()
{
    LabelVersion->setText(platform::ToQString("Version " + platform::VersionText()));
}

void TFormAbout::BitBtnAboutOkClick()
{
    accept();
}

void TFormAbout::LabelCorvaneHomeClick()
{
    OpenWebPage(CorvaneHomePage);
}

bool TFormAbout::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == LabelCorvaneHome && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
        LabelCorvaneHomeClick();
    return QDialog::eventFilter(watched, event);
}
