#include "settings/formsplash.h"

#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

#include "platform/widgettext.h"
#include "platform/version.h"

TFormSplash::TFormSplash(QWidget* mainWindow, const QPixmap& picture)
    : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      MainWindow(mainWindow)
{
    setFixedSize(297, 181);
    auto* panel = new QFrame(this);
    panel->setGeometry(0, 0, 297, 181);
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    panel->setLineWidth(2);
    panel->setStyleSheet(QStringLiteral("QFrame { background: #00FFFF; }"));

    auto* title = new QLabel(QStringLiteral("Kestrow"), panel);
    QFont titleFont(QStringLiteral("Serif"), 28);
    titleFont.setBold(true);
    titleFont.setItalic(true);
    title->setFont(titleFont);
    title->setStyleSheet(QStringLiteral("color: #000080;"));
    title->setGeometry(84, 24, 200, 52);
    auto* subtitle = new QLabel(QStringLiteral("Web Robot"), panel);
    subtitle->setGeometry(88, 80, 200, 20);
    auto* image = new QLabel(panel);
    image->setPixmap(picture);
    image->setGeometry(16, 28, 64, 64);
    LabelVersion = new QLabel(panel);
    LabelVersion->setGeometry(88, 140, 200, 20);

    Timer1 = new QTimer(this);
    Timer1->setInterval(5000);
    connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
    FormCreate();
    Timer1->start();
    show();
}

void TFormSplash::FormCreate()
{
    if (const QScreen* screen = QGuiApplication::primaryScreen())
    {
        const QRect area = screen->geometry();
        move(area.width() / 2 - width() / 2, area.height() / 2 - height() / 2);
    }
    LabelVersion->setText(platform::ToQString("Version " + platform::VersionText()));
}

void TFormSplash::Timer1Timer()
{
    hide();
    if (MainWindow && !MainWindow->isVisible())
        MainWindow->show();
    Timer1->stop();
}
