#pragma once
// The five sound clips every build of the game carries, by the names their
// files and resources have. Effect names find them whatever their case.

#include <array>
#include <string_view>

namespace keelmark {

inline constexpr std::array<std::string_view, 5> clipNames{"DROP", "HIT", "MISS", "SINK", "BUZZER"};

// The clip name for this effect name, compared without regard to case, or
// empty when no clip has that name.
std::string_view ClipNameOf(std::string_view effectName);

}  // namespace keelmark
