// The split of a text into lines as the class library's string list loads a file: a line
// ends at CR LF, at LF or at CR, a last line without an end counts, and a line end at the
// very end of the text adds no empty line.
//
// Used by the POP3 service's TOP and the settings program's alias import. Any bytes are
// taken; the lines are views into the caller's text and live as long as it does.
#pragma once

#include <string_view>
#include <vector>

namespace vrel {

std::vector<std::string_view> SplitTextLines(std::string_view text);

}  // namespace vrel
