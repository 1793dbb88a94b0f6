#include "monitor/spooler.h"

#include <atomic>

namespace nimbra {
namespace {
std::atomic<Spooler*> current{nullptr};
}

void SetSpooler(Spooler* spooler) { current = spooler; }
Spooler* CurrentSpooler() { return current; }

}  // namespace nimbra
