#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

// The about box: the program's name, its version and the maker's home page.
class TFormAbout : public QDialog
{
    Q_OBJECT

  public:
    TFormAbout(const QPixmap& picture, QWidget* parent = nullptr);

    QLabel* Image1;
    QLabel* LabelTitle;
    QLabel* LabelSubtitle;
    QLabel* LabelVersion;
    QLabel* LabelCorvaneHome;
    QPushButton* BitBtnAboutOk;

    void FormShow();
    void BitBtnAboutOkClick();
    void LabelCorvaneHomeClick();

  protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
};

// Opens one of the maker's web pages in the desktop's browser; says so when none could.
void OpenWebPage(const char* address);
