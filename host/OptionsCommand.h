#pragma once
// quillmark options: the add-ins' options pages in a window of their own, as the add-in's ribbon
// button opens its page; quillmark regedit FILE.reg: what `regedit /s FILE.reg` does on Windows.

#include <filesystem>

namespace host {

// Connects the installed add-ins on the default store and clicks the options button (Office's
// options image) an add-in shows on the explorer's ribbon: the add-in's own options window. When
// none shows one, asks them for their pages (OptionsPagesAdd) and shows those in the Options
// window, whose OK applies them. Needs a display. Answers the exit status.
int runOptions();

// Merges the file into the registry: every key and value lands in its hive; a malformed file is
// refused with its line and changes nothing. Answers the exit status.
int runRegedit(const std::filesystem::path& file);

}  // namespace host
