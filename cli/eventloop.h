#pragma once

#include <memory>

#include <QCoreApplication>

// The clients' waits run the event loop, which needs an application object: this makes one
// unless the program already has it. Keep the result alive while the client works.
std::unique_ptr<QCoreApplication> EnsureEventLoop();
