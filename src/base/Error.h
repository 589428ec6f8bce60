#pragma once
// A failure that a user, a file, a device or a missing program can cause.
// It carries the message text shown to the user and never ends the process.
#include <stdexcept>
#include <string>

namespace brindle {

class Error : public std::runtime_error {
public:
    explicit Error(const std::string& text) : std::runtime_error(text) {}
};

} // namespace brindle
