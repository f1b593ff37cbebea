#include <QApplication>

#include "app/formkestrow.h"

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kestrow"));
    TFormKestrow formKestrow;
    formKestrow.show();
    return QApplication::exec();
}
