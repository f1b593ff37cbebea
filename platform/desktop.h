#pragma once

namespace platform
{
// Makes the desktop the answer of the program's seams: message boxes for messages and
// questions, the desktop's handlers for opening documents and web addresses. Programs with a
// window call it once at start-up; without it they stay free of any desktop toolkit.
void UseDesktop();
} // namespace platform
