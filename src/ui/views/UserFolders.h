#pragma once
// Where a new user's files are looked for and written: the Music folder, or home without one.
#include <string>

namespace brindle::ui {

std::string MusicFolder();

} // namespace brindle::ui
