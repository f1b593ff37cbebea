#pragma once

#include <QWidget>

class QLabel;
class QTimer;

// The window shown while the program starts: borderless, on top, gone after five seconds.
class TFormSplash : public QWidget
{
    Q_OBJECT

  public:
    // mainWindow is made visible when the timer fires, if it is not yet.
    explicit TFormSplash(QWidget* mainWindow, const QPixmap& picture);

    QLabel* LabelVersion;
    QTimer* Timer1;

    void FormCreate();
    void Timer1Timer();

  private:
    QWidget* MainWindow;
};
