#include <string>
#include <vector>

#include <QApplication>

#include "app/formkestrow.h"
#include "app/glyphs.h"
#include "platform/desktop.h"
#include "robot/programfiles.h"
#include "auth/formlogin.h"
#include "links/formurlbuilder.h"
#include "settings/formabout.h"
#include "settings/formchoosedir.h"
#include "settings/formnewdir.h"
#include "settings/formpreferences.h"
#include "settings/formsplash.h"

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kestrow"));
    // The launcher's name, by which the desktop finds the window's icon and entry.
    QApplication::setDesktopFileName(QStringLiteral("org.example.Kestrow"));
    QApplication::setWindowIcon(GlyphIcon(TGlyph::Program));
    platform::UseDesktop();

    // The windows live for the whole program, created in this order.
    TFormKestrow formKestrow;
    // The parameters as the bytes they are: a file name need not be UTF-8. The application has
    // taken its own options out of argv.
    formKestrow.FormCreate(std::vector<std::string>(argv + 1, argv + argc));
    TFormSplash formSplash(&formKestrow, GlyphPixmap(TGlyph::Program, 64));
    TFormAbout formAbout(GlyphPixmap(TGlyph::Program, 64), &formKestrow);
    formKestrow.AttachAbout(&formAbout);
    TFormChooseDir formChooseDir(formKestrow.Settings, &formKestrow);
    formKestrow.AttachChooseDir(&formChooseDir);
    TFormNewDir formNewDir(&formChooseDir);
    formChooseDir.AttachNewDir(&formNewDir);
    TFormPreferences formPreferences(
        formKestrow.Settings, [] { return MakeFileName(TFixedFile::Log); }, &formKestrow);
    formKestrow.AttachPreferences(&formPreferences);
    TFormLogin formLogin(&formKestrow);
    platform::SetLoginDialog(
        [&formLogin](const platform::LoginQuestion& question, platform::LoginAnswer& answer)
        { return formLogin.Ask(question, answer); });
    TFormURLBuilder formURLBuilder(&formKestrow);
    formKestrow.AttachURLBuilder(&formURLBuilder);

    // The loop shows the main window at once; the splash stays on top of it until its timer.
    formKestrow.show();
    formSplash.raise();
    QObject::connect(&formKestrow, &TFormKestrow::Closed, &formSplash, &QWidget::close);
    QObject::connect(&formKestrow, &TFormKestrow::Closed, &application, &QApplication::quit);
    return QApplication::exec();
}
