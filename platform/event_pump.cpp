#include "platform/event_pump.h"

#include <utility>

namespace nimbra {
namespace {
std::function<void()>& Pump() {
  static std::function<void()> pump;
  return pump;
}
}  // namespace

void SetEventPump(std::function<void()> pump) { Pump() = std::move(pump); }

void ProcessPendingEvents() {
  if (auto& pump = Pump()) pump();
}

}  // namespace nimbra
