#include "platform/prompt.h"

#include <cstdio>

namespace platform
{
namespace
{
PromptHandler* installed = nullptr;
PromptHandler* fallback = nullptr;

// Messages keep the program's CR LF line ends; a terminal wants plain line feeds.
std::string TerminalText(std::string text)
{
    for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at))
        text.erase(at, 1);
    return text;
}

PromptHandler* Current()
{
    return installed ? installed : fallback;
}
} // namespace

void ShowMessage(const std::string& text)
{
    if (PromptHandler* handler = Current())
        handler->Message(text);
    else
        std::fprintf(stderr, "%s\n", TerminalText(text).c_str());
}

bool Confirm(const std::string& text)
{
    if (PromptHandler* handler = Current())
        return handler->Confirm(text);
    std::fprintf(stderr, "%s No\n", TerminalText(text).c_str());
    return false;
}

bool AskLogin(const LoginQuestion& question, LoginAnswer& answer)
{
    if (PromptHandler* handler = Current())
        return handler->Login(question, answer);
    std::fprintf(stderr, "%s (%s): cancelled\n", question.Caption.c_str(), question.Server.c_str());
    return false;
}

bool PromptHandler::Login(const LoginQuestion&, LoginAnswer&)
{
    return false;
}

PromptHandler* SetPromptHandler(PromptHandler* handler)
{
    PromptHandler* previous = installed;
    installed = handler;
    return previous;
}

void SetDefaultPromptHandler(PromptHandler* handler)
{
    fallback = handler;
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
bool ScriptedPrompts::Login(const LoginQuestion& question, LoginAnswer& answer)
{
    LoginQuestions.push_back(question);
    if (LoginAnswers.empty())
        return false;
    const std::optional<LoginAnswer> given = LoginAnswers.front();
    LoginAnswers.pop_front();
    if (!given)
        return false;
    answer = *given;
    return true;
}
} // namespace platform
