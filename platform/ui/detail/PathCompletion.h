#pragma once
// The file system completion an edit gets from SHAutoComplete: what it offers for a partly typed
// path.

#include <string>
#include <string_view>
#include <vector>

namespace platform::ui::detail {

// The entries of the folder a typed absolute path names up to its last '/' whose names begin
// with what follows it (ignoring case), as full paths, folders with a trailing '/', sorted and at
// most a hundred. Hidden entries only when the typed name begins with '.'. Nothing for a relative
// path or a folder that cannot be read.
std::vector<std::u16string> fileSystemCompletions(std::u16string_view typed);

}  // namespace platform::ui::detail
