#include "base/realtime/StableNames.h"

#include <mutex>
#include <unordered_set>

namespace brindle {

const std::string* StableName(const std::string& Text) {
    // Never freed: names only grow by the files a user opens.
    static auto* names = new std::unordered_set<std::string>();
    static std::mutex lock;
    std::lock_guard guard(lock);
    return &*names->insert(Text).first;
}

} // namespace brindle
