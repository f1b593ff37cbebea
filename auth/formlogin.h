#pragma once

#include <QDialog>

// The login dialog; the caller sets the caption before showing it.
class TFormLogin : public QDialog
{
  public:
    explicit TFormLogin(QWidget* parent = nullptr) : QDialog(parent) {}
};
