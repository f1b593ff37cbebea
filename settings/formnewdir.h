#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

// Asks for the name of a folder to create in the directory chooser. The name stays from one
// use to the next.
class TFormNewDir : public QDialog
{
    Q_OBJECT

  public:
    explicit TFormNewDir(QWidget* parent = nullptr);

    QLabel* Label1;
    QLineEdit* EditNewDir;
    QPushButton* BitBtnOk;
    QPushButton* BitBtnCancel;

    void FormShow();
    void EditNewDirChange();

  protected:
    void showEvent(QShowEvent* event) override;
};
