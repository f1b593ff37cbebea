#pragma once

#include <QDialog>

// The URL builder window.
class TFormURLBuilder : public QDialog
{
  public:
    explicit TFormURLBuilder(QWidget* parent = nullptr) : QDialog(parent)
    {
        setWindowTitle(QStringLiteral("URL Builder"));
    }
};
