#pragma once
// Texts that the audio thread reads while the UI may replace them: each distinct text is stored
// once and never moves or dies while the pool lives, so a reader holds a plain pointer and a
// writer swaps it with one atomic store. The pool only grows by the names a user assigns.
#include <mutex>
#include <string>
#include <unordered_set>

class cNamePool {
public:
    // Any thread; the returned text lives as long as the pool.
    const std::string* Intern(const std::string& Text);
    static const std::string* Empty();

private:
    std::mutex Lock;
    std::unordered_set<std::string> Texts;
};
