#pragma once
// Long waits (Ghostscript, copy retries, log retries, the balloon wait) sleep in short steps and
// let pending user-interface events run between them. The program installs its event pump once
// (the Qt event loop, or nothing when headless); lower layers only call ProcessPendingEvents().
#include <functional>

namespace nimbra {

void SetEventPump(std::function<void()> pump);
void ProcessPendingEvents();

}  // namespace nimbra
