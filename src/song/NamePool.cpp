#include "song/NamePool.h"

const std::string* cNamePool::Intern(const std::string& Text) {
    if (Text.empty()) return Empty();
    std::lock_guard guard(Lock);
    return &*Texts.insert(Text).first; // set nodes never move
}

const std::string* cNamePool::Empty() {
    static const std::string empty;
    return &empty;
}
