#include "audio/UiDispatcher.h"

#include <memory>
#include <mutex>

namespace brindle {
namespace {
std::mutex DispatcherLock;
std::shared_ptr<UiDispatcher> Current;
} // namespace

void SetUiDispatcher(UiDispatcher Dispatcher) {
    auto next = Dispatcher ? std::make_shared<UiDispatcher>(std::move(Dispatcher)) : nullptr;
    std::lock_guard guard(DispatcherLock);
    Current = std::move(next);
}

void DispatchToUi(std::function<void()> Work) {
    std::shared_ptr<UiDispatcher> dispatcher;
    {
        std::lock_guard guard(DispatcherLock);
        dispatcher = Current;
    }
    if (dispatcher)
        (*dispatcher)(std::move(Work));
    else
        Work();
}

} // namespace brindle
