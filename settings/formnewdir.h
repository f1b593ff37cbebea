#pragma once

#include <QDialog>

// The new-folder dialog of the directory chooser.
class TFormNewDir : public QDialog
{
  public:
    explicit TFormNewDir(QWidget* parent = nullptr) : QDialog(parent)
    {
        setWindowTitle(QStringLiteral("Create new folder"));
    }
};
