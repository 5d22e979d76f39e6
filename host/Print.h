#pragma once
// quillmark print FILE.msg... [--preview | --dialog] [--table] [--template NAME] [--out DIR]

#include <filesystem>
#include <optional>
#include <string>
#include <vector>


namespace host {

// The add-in's own print requests, and the print statuses it answers.
inline constexpr int kModePreview = 4;
inline constexpr int kModePrint = 5;
inline constexpr int kModePrintWithPrompt = 6;
inline constexpr int kStatusPrinted = 1;
inline constexpr int kStatusDeclined = 8;

struct PrintCommandLine {
  std::vector<std::filesystem::path> files;
  int mode = kModePrint;  // or kModePrintWithPrompt (--dialog), kModePreview (--preview)
  bool table = false;
  std::string templateName;
  std::filesystem::path out;  // every PDF goes there when set
};

// The command line after "print"; nothing (and the reason in `error`) when it is wrong.
std::optional<PrintCommandLine> parsePrintCommandLine(const std::vector<std::string>& args, std::string& error);

// Runs the command; answers the process's exit status (0 when everything printed).
int runPrint(const PrintCommandLine& command);

}  // namespace host
