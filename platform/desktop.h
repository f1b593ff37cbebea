#pragma once

#include <functional>

#include "platform/prompt.h"

namespace platform
{
// Makes the desktop the answer of the program's seams: message boxes for messages and
// questions, the desktop's handlers for opening documents and web addresses. Programs with a
// window call it once at start-up; without it they stay free of any desktop toolkit.
void UseDesktop();

// The dialog that answers login questions on the desktop; until one is set, logins are cancelled.
void SetLoginDialog(std::function<bool(const LoginQuestion& question, LoginAnswer& answer)> dialog);
} // namespace platform
