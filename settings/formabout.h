#pragma once

#include <QDialog>

// The about box; its content comes with the help menu.
class TFormAbout : public QDialog
{
  public:
    explicit TFormAbout(QWidget* parent = nullptr) : QDialog(parent)
    {
        setWindowTitle(QStringLiteral("About Kestrow"));
    }
};
