#pragma once
// Hands work from an audio or worker thread to the user-interface thread. The application installs
// the real dispatcher (a queued call into the Qt event loop); until then, and in programs without a
// UI, work runs at once on the calling thread.
#include <functional>

namespace brindle {

using UiDispatcher = std::function<void(std::function<void()>)>;

// An empty dispatcher restores the default (run immediately).
void SetUiDispatcher(UiDispatcher Dispatcher);
void DispatchToUi(std::function<void()> Work);

} // namespace brindle
