#pragma once

#include <QDialog>

// The directory chooser; its drive list and folder tree come later.
class TFormChooseDir : public QDialog
{
  public:
    explicit TFormChooseDir(QWidget* parent = nullptr) : QDialog(parent)
    {
        setWindowTitle(QStringLiteral("Choose directory"));
    }
};
