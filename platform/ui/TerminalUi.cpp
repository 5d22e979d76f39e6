#include "platform/ui/TerminalUi.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <iostream>
#include <string>

#include "platform/system/Text.h"

namespace platform::ui {
namespace {

std::string utf8(const std::u16string& text) { return system::utf16ToUtf8(text); }

// The text on one line, for the error stream.
std::string oneLine(const std::u16string& text) {
  std::string line = utf8(text);
  for (char& c : line) {
    if (c == '\n' || c == '\r' || c == '\t') c = ' ';
  }
  return line;
}

char keyOf(int answer) {
  switch (answer) {
    case IDOK: return 'o';
    case IDCANCEL: return 'c';
    case IDABORT: return 'a';
    case IDRETRY: return 'r';
    case IDIGNORE: return 'i';
    case IDYES: return 'y';
    case IDNO: return 'n';
    case IDTRYAGAIN: return 't';
    case IDCONTINUE: return 'o';
    default: return '\0';
  }
}

std::string lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string trim(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

bool isDirectory(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool isFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

std::string currentFolder() {
  char buffer[4096];
  return ::getcwd(buffer, sizeof buffer) ? buffer : "/";
}

}  // namespace

TerminalUi::TerminalUi() : TerminalUi(std::cin, std::cerr, ::isatty(STDIN_FILENO) == 1) {}

TerminalUi::TerminalUi(std::istream& in, std::ostream& out, bool interactive)
    : m_in(in), m_out(out), m_interactive(interactive) {}

bool TerminalUi::readLine(std::string& line) {
  m_out.flush();
  if (!std::getline(m_in, line)) return false;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return true;
}

int TerminalUi::messageBox(HWND, const std::u16string& text, const std::u16string& caption, UINT type) {
  const std::vector<int> buttons = buttonsOf(type);
  const int fallback = defaultAnswerOf(type);
  if (!m_interactive) {
    m_out << "message box \"" << oneLine(caption) << "\": " << oneLine(text) << " -> " << utf8(labelOf(fallback))
          << " (no terminal)\n";
    m_out.flush();
    return fallback;
  }
  m_out << utf8(caption) << "\n" << utf8(text) << "\n";
  std::string choices;
  for (int button : buttons) {
    if (!choices.empty()) choices += " / ";
    choices += utf8(labelOf(button));
  }
  for (;;) {
    m_out << choices << " (Enter: " << utf8(labelOf(fallback)) << ") > ";
    std::string line;
    if (!readLine(line)) return escapeAnswerOf(type);
    line = lower(trim(line));
    if (line.empty()) return fallback;
    for (int button : buttons) {
      if (line == lower(utf8(labelOf(button))) || (line.size() == 1 && line[0] == keyOf(button))) return button;
    }
    m_out << "Please answer " << choices << ".\n";
  }
}

std::optional<std::u16string> TerminalUi::openFile(const OpenFileRequest& request) {
  const std::string title = request.title.empty() ? "Open" : utf8(request.title);
  if (!m_interactive) {
    m_out << "open-file dialog \"" << oneLine(request.title) << "\": cancelled (no terminal)\n";
    m_out.flush();
    return std::nullopt;
  }
  const std::string folder = request.initialDir.empty() ? currentFolder() : utf8(request.initialDir);
  m_out << title << "\n";
  for (const FileFilter& filter : request.filters) {
    m_out << "  " << utf8(filter.description) << "  [" << utf8(filter.patterns) << "]\n";
  }
  m_out << "Folder: " << folder << "\n";
  const std::string offered = utf8(request.fileName);
  for (;;) {
    m_out << "File name" << (offered.empty() ? "" : " [" + offered + "]") << " (end of input cancels) > ";
    std::string line;
    if (!readLine(line)) return std::nullopt;
    line = trim(line);
    if (line.empty()) {
      if (offered.empty()) return std::nullopt;
      line = offered;
    }
    std::string path = line[0] == '/' ? line : folder + (folder.back() == '/' ? "" : "/") + line;
    const std::size_t slash = path.rfind('/');
    const std::string parent = slash == 0 ? "/" : path.substr(0, slash);
    if (!request.defaultExtension.empty() && path.find('.', slash + 1) == std::string::npos) {
      path += "." + utf8(request.defaultExtension);
    }
    if ((request.flags & (OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST)) && !isDirectory(parent)) {
      m_out << path << "\nPath does not exist.\nCheck the path and try again.\n";
      continue;
    }
    if ((request.flags & OFN_FILEMUSTEXIST) && !isFile(path)) {
      m_out << path << "\nFile not found.\nCheck the file name and try again.\n";
      continue;
    }
    return system::utf8ToUtf16(path);
  }
}

int TerminalUi::choose(const ChoiceRequest& request) {
  const int count = static_cast<int>(request.options.size());
  const int fallback = request.defaultIndex >= 0 && request.defaultIndex < count ? request.defaultIndex : -1;
  if (!m_interactive) {
    m_out << "choice \"" << oneLine(request.title) << "\": "
          << (fallback >= 0 ? oneLine(request.options[static_cast<std::size_t>(fallback)]) : std::string("cancelled"))
          << " (no terminal)\n";
    m_out.flush();
    return fallback;
  }
  if (count == 0) return -1;
  m_out << utf8(request.title) << "\n";
  if (!request.prompt.empty()) m_out << utf8(request.prompt) << "\n";
  for (int i = 0; i < count; ++i) m_out << "  " << (i + 1) << ". " << utf8(request.options[static_cast<std::size_t>(i)]) << "\n";
  for (;;) {
    m_out << "Number";
    if (fallback >= 0) m_out << " (Enter: " << (fallback + 1) << ")";
    m_out << " > ";
    std::string line;
    if (!readLine(line)) return -1;
    line = trim(line);
    if (line.empty() && fallback >= 0) return fallback;
    if (!line.empty() && line.size() < 9 && line.find_first_not_of("0123456789") == std::string::npos) {
      const int number = std::stoi(line);
      if (number >= 1 && number <= count) return number - 1;
    }
    m_out << "Please give a number from 1 to " << count << ".\n";
  }
}

}  // namespace platform::ui
