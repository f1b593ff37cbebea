#include "settings/formnewdir.h"

#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>

TFormNewDir::TFormNewDir(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint)
{
    setWindowTitle(QStringLiteral("Create new folder"));
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPointSize(8);
    setFont(font);
    setFixedSize(280, 84);

    Label1 = new QLabel(QStringLiteral("Name"), this);
    Label1->setGeometry(8, 14, 40, 16);
    EditNewDir = new QLineEdit(this);
    EditNewDir->setGeometry(52, 11, 220, 22);
    Label1->setBuddy(EditNewDir);
    BitBtnOk = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), QStringLiteral("OK"), this);
    BitBtnOk->setGeometry(104, 48, 80, 28);
    BitBtnOk->setDefault(true);
    BitBtnOk->setEnabled(false);
    BitBtnCancel =
        new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton), QStringLiteral("Cancel"), this);
    BitBtnCancel->setGeometry(192, 48, 80, 28);

    connect(EditNewDir, &QLineEdit::textChanged, this, [this] { EditNewDirChange(); });
    connect(BitBtnOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(BitBtnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TFormNewDir::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    FormShow();
}

void TFormNewDir::FormShow()
{
    EditNewDir->setFocus();
    EditNewDir->selectAll();
}

void TFormNewDir::EditNewDirChange()
{
    BitBtnOk->setEnabled(!EditNewDir->text().isEmpty());
}
