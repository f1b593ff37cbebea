#include "platform/prompt.h"

#include <QApplication>
#include <QMessageBox>

#include "platform/text.h"

namespace platform
{
namespace
{
PromptHandler* installed = nullptr;

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
} // namespace

void ShowMessage(const std::string& text)
{
    if (installed)
        installed->Message(text);
    else
        QMessageBox::information(QApplication::activeWindow(), Title(), BoxText(text));
}

bool Confirm(const std::string& text)
{
    if (installed)
        return installed->Confirm(text);
    return QMessageBox::question(QApplication::activeWindow(), Title(), BoxText(text),
                                 QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

PromptHandler* SetPromptHandler(PromptHandler* handler)
{
    PromptHandler* previous = installed;
    installed = handler;
    return previous;
}

ScriptedPrompts::ScriptedPrompts() : previous(SetPromptHandler(this)) {}

ScriptedPrompts::~ScriptedPrompts()
{
    SetPromptHandler(previous);
}

void ScriptedPrompts::Message(const std::string& text)
{
    Messages.push_back(text);
}

bool ScriptedPrompts::Confirm(const std::string& text)
{
    Questions.push_back(text);
    if (Answers.empty())
        return false;
    const bool answer = Answers.front();
    Answers.pop_front();
    return answer;
}
} // namespace platform
