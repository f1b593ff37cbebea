#include "platform/desktop.h"

#include <QApplication>
#include <QDesktopServices>
#include <QMessageBox>
#include <QUrl>

#include "platform/prompt.h"
#include "platform/shell.h"
#include "platform/widgettext.h"

namespace platform
{
namespace
{
std::function<bool(const LoginQuestion&, LoginAnswer&)>& LoginDialog()
{
    static std::function<bool(const LoginQuestion&, LoginAnswer&)> dialog;
    return dialog;
}

// Messages keep the program's CR LF line ends; the box wants plain line feeds.
QString BoxText(const std::string& text)
{
    return ToQString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

QString Title()
{
    const QString name = QCoreApplication::applicationName();
    return name.isEmpty() ? QStringLiteral("Kestrow") : name;
}

class DesktopPrompts : public PromptHandler
{
  public:
    void Message(const std::string& text) override
    {
        QMessageBox::information(QApplication::activeWindow(), Title(), BoxText(text));
    }
    bool Confirm(const std::string& text) override
    {
        return QMessageBox::question(QApplication::activeWindow(), Title(), BoxText(text),
                                     QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
    }
    bool Login(const LoginQuestion& question, LoginAnswer& answer) override
    {
        return LoginDialog() && LoginDialog()(question, answer);
    }
};

bool OpenWithDesktop(const std::string& pathOrUrl)
{
    const QString text = ToQString(pathOrUrl);
    const QUrl url = text.contains(QStringLiteral("://")) ? QUrl(text) : QUrl::fromLocalFile(text);
    return QDesktopServices::openUrl(url);
}
} // namespace

void SetLoginDialog(std::function<bool(const LoginQuestion& question, LoginAnswer& answer)> dialog)
{
    LoginDialog() = std::move(dialog);
}

void UseDesktop()
{
    static DesktopPrompts prompts;
    SetDefaultPromptHandler(&prompts);
    SetDocumentOpener(OpenWithDesktop);
}
} // namespace platform
