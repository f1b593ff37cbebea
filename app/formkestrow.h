#pragma once

#include <QMainWindow>

// The main window: the robot's lists, progress and controls.
class TFormKestrow : public QMainWindow
{
    Q_OBJECT

  public:
    explicit TFormKestrow(QWidget* parent = nullptr);
};
