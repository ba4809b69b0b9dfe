// UTF-8 names to UTF-16 and back, lossless for any byte string: a byte that is not part of
// valid UTF-8 travels as the lone surrogate U+DC80..U+DCFF.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace plat {

std::u16string widenName(std::string_view bytes);
// Nothing when `wide` holds a surrogate that no byte or pair accounts for.
std::optional<std::string> narrowName(std::u16string_view wide);

}  // namespace plat
