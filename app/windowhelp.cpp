// The window's help menu: the help page, the about box and the maker's web pages; and the
// dialogs start-up hands over.
#include "app/formkestrow.h"

#include <QAction>
#include <QMenu>

#include "settings/formabout.h"
#include "settings/formchoosedir.h"
#include "settings/makerpages.h"

void TFormKestrow::ConnectHelpMenu()
{
    Connect(MenuHelpAbout, &QAction::triggered, [this] { MenuHelpAboutClick(); });
    Connect(MenuHelpUpdates, &QAction::triggered, [this] { MenuHelpUpdatesClick(); });
    Connect(MenuHelpReportBug, &QAction::triggered, [this] { MenuHelpReportBugClick(); });
    Connect(MenuHelpTroubleShoot, &QAction::triggered, [this] { MenuHelpTroubleShootClick(); });
    Connect(MenuHelpCorvaneHome, &QAction::triggered, [this] { MenuHelpCorvaneHomeClick(); });
}

void TFormKestrow::AttachAbout(TFormAbout* about)
{
    FormAbout = about;
}

void TFormKestrow::AttachChooseDir(TFormChooseDir* chooseDir)
{
    FormChooseDir = chooseDir;
}

void TFormKestrow::MenuHelpAboutClick()
{
    if (!FormAbout)
        return;
    // Centred over the window wherever it is, even partly off the screen.
    const QRect main = frameGeometry();
    const QSize about = FormAbout->frameGeometry().size();
    FormAbout->move(main.width() / 2 + main.left() - about.width() / 2,
                    main.height() / 2 + main.top() - about.height() / 2);
    FormAbout->exec();
}

void TFormKestrow::MenuHelpUpdatesClick()
{
    OpenWebPage(CorvaneUpdatesPage);
}

void TFormKestrow::MenuHelpReportBugClick()
{
    OpenWebPage(CorvaneBugReportPage);
}

void TFormKestrow::MenuHelpTroubleShootClick()
{
    OpenWebPage(CorvaneTroubleShootingPage);
}

void TFormKestrow::MenuHelpCorvaneHomeClick()
{
    OpenWebPage(CorvaneHomePage);
}
