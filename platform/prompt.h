#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace platform
{
// A login the program asks for: a web site's or a proxy's.
struct LoginQuestion
{
    bool ProxyLogin = false;
    std::string Caption;   // "Web site login" or "Proxy server login"
    std::string Challenge; // the server's challenge text, such as Basic realm="files"
    std::string Server;    // where the answer will be sent: "http://host:80", or "host:port" of a proxy
    std::string UserName;  // the name proposed
};

struct LoginAnswer
{
    std::string UserName;
    std::string Password;
};

// Every modal question and message box of the program goes through here, so that
// tests and unattended runs can answer without a person.
class PromptHandler
{
  public:
    virtual ~PromptHandler() = default;
    virtual void Message(const std::string& text) = 0;
    // True only when the answer is Yes.
    virtual bool Confirm(const std::string& text) = 0;
    // True when the user gave a login; false for Cancel. Without a way to ask, it is cancelled.
    virtual bool Login(const LoginQuestion& question, LoginAnswer& answer);
};

void ShowMessage(const std::string& text);
bool Confirm(const std::string& text);
bool AskLogin(const LoginQuestion& question, LoginAnswer& answer);

// Installs a handler; nullptr restores the default. Returns the previous one.
PromptHandler* SetPromptHandler(PromptHandler* handler);

// The handler used while none is installed: the desktop's message boxes once a program with a
// window has called UseDesktop (platform/desktop.h). Without one, messages go to standard
// error and every question is answered No (a login is cancelled), so a program without a desktop
// never blocks.
void SetDefaultPromptHandler(PromptHandler* handler);

// Records every message and question and answers from a script (No once it runs out).
// Installs itself for its lifetime.
class ScriptedPrompts : public PromptHandler
{
  public:
    ScriptedPrompts();
    ~ScriptedPrompts() override;
    ScriptedPrompts(const ScriptedPrompts&) = delete;
    ScriptedPrompts& operator=(const ScriptedPrompts&) = delete;

    void Message(const std::string& text) override;
    bool Confirm(const std::string& text) override;
    bool Login(const LoginQuestion& question, LoginAnswer& answer) override;

    std::vector<std::string> Messages;
    std::vector<std::string> Questions;
    std::deque<bool> Answers;
    // Logins are answered in turn; an empty answer, or none left, is Cancel.
    std::vector<LoginQuestion> LoginQuestions;
    std::deque<std::optional<LoginAnswer>> LoginAnswers;

  private:
    PromptHandler* previous;
};
} // namespace platform
