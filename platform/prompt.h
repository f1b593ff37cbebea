#pragma once

#include <deque>
#include <string>
#include <vector>

namespace platform
{
// Every modal question and message box of the program goes through here, so that
// tests and unattended runs can answer without a person.
class PromptHandler
{
  public:
    virtual ~PromptHandler() = default;
    virtual void Message(const std::string& text) = 0;
    // True only when the answer is Yes.
    virtual bool Confirm(const std::string& text) = 0;
};

void ShowMessage(const std::string& text);
bool Confirm(const std::string& text);

// Installs a handler; nullptr restores the default. Returns the previous one.
PromptHandler* SetPromptHandler(PromptHandler* handler);

// The handler used while none is installed: the desktop's message boxes once a program with a
// window has called UseDesktop (platform/desktop.h). Without one, messages go to standard
// error and every question is answered No, so a program without a desktop never blocks.
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

    std::vector<std::string> Messages;
    std::vector<std::string> Questions;
    std::deque<bool> Answers;

  private:
    PromptHandler* previous;
};
} // namespace platform
