#include "platform/ui/Ui.h"

#include <atomic>
#include <cstring>

#include "platform/system/Diagnostics.h"
#include "platform/ui/TerminalUi.h"
#include "platform/ui/detail/Window.h"

namespace platform::ui {
namespace {

std::atomic<IUserInterface*> g_testUi{nullptr};
thread_local DWORD t_dialogError = 0;

std::u16string textOf(LPCWSTR text) { return text ? std::u16string(text) : std::u16string(); }

}  // namespace

IUserInterface::~IUserInterface() = default;

std::optional<std::u16string> IUserInterface::saveFile(const OpenFileRequest& request) { return openFile(request); }

IUserInterface& defaultUi() {
  if (IUserInterface* ui = g_testUi.load()) return *ui;
  if (IUserInterface* gtk = detail::gtkUserInterface()) return *gtk;
  static TerminalUi terminal;
  return terminal;
}

void SetForTesting(IUserInterface* ui) { g_testUi.store(ui); }

std::vector<int> buttonsOf(UINT type) {
  switch (type & MB_TYPEMASK) {
    case MB_OK: return {IDOK};
    case MB_OKCANCEL: return {IDOK, IDCANCEL};
    case MB_ABORTRETRYIGNORE: return {IDABORT, IDRETRY, IDIGNORE};
    case MB_YESNOCANCEL: return {IDYES, IDNO, IDCANCEL};
    case MB_YESNO: return {IDYES, IDNO};
    case MB_RETRYCANCEL: return {IDRETRY, IDCANCEL};
    case MB_CANCELTRYCONTINUE: return {IDCANCEL, IDTRYAGAIN, IDCONTINUE};
    default: return {};
  }
}

int defaultAnswerOf(UINT type) {
  const std::vector<int> buttons = buttonsOf(type);
  if (buttons.empty()) return 0;
  const std::size_t index = (type & MB_DEFMASK) >> 8;
  return index < buttons.size() ? buttons[index] : buttons[0];
}

int escapeAnswerOf(UINT type) {
  const std::vector<int> buttons = buttonsOf(type);
  for (int button : buttons) {
    if (button == IDCANCEL) return IDCANCEL;
  }
  return defaultAnswerOf(type);
}

std::u16string labelOf(int answer) {
  switch (answer) {
    case IDOK: return u"OK";
    case IDCANCEL: return u"Cancel";
    case IDABORT: return u"Abort";
    case IDRETRY: return u"Retry";
    case IDIGNORE: return u"Ignore";
    case IDYES: return u"Yes";
    case IDNO: return u"No";
    case IDTRYAGAIN: return u"Try Again";
    case IDCONTINUE: return u"Continue";
    default: return u"?";
  }
}

std::vector<FileFilter> parseFilter(LPCWSTR filter) {
  std::vector<FileFilter> filters;
  if (!filter) return filters;
  const char16_t* p = filter;
  while (*p) {
    FileFilter entry;
    entry.description = p;
    p += entry.description.size() + 1;
    if (!*p) break;
    entry.patterns = p;
    p += entry.patterns.size() + 1;
    filters.push_back(std::move(entry));
  }
  return filters;
}

}  // namespace platform::ui

int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) {
  using namespace platform::ui;
  if (buttonsOf(type).empty()) return 0;
  return platform::diag::guarded("MessageBoxW", escapeAnswerOf(type), [&] {
    const int answer = defaultUi().messageBox(owner, textOf(text), caption ? std::u16string(caption) : u"Error", type);
    for (int button : buttonsOf(type)) {
      if (button == answer) return answer;
    }
    return escapeAnswerOf(type);
  });
}

namespace {

BOOL pickFile(OPENFILENAMEW* info, bool save) {
  using namespace platform::ui;
  t_dialogError = 0;
  if (!info || info->lStructSize != sizeof(OPENFILENAMEW)) {
    t_dialogError = CDERR_STRUCTSIZE;
    return FALSE;
  }
  if (!info->lpstrFile || info->nMaxFile == 0) {
    t_dialogError = CDERR_INITIALIZATION;
    return FALSE;
  }
  OpenFileRequest request;
  request.owner = info->hwndOwner;
  request.title = textOf(info->lpstrTitle);
  request.filters = parseFilter(info->lpstrFilter);
  request.filterIndex = info->nFilterIndex;
  request.initialDir = textOf(info->lpstrInitialDir);
  // The initial name ends at its terminator or at the buffer's end, never past it.
  DWORD initialLength = 0;
  while (initialLength + 1 < info->nMaxFile && info->lpstrFile[initialLength]) ++initialLength;
  request.fileName.assign(info->lpstrFile, initialLength);
  request.flags = info->Flags;
  request.defaultExtension = textOf(info->lpstrDefExt);

  const std::optional<std::u16string> chosen = platform::diag::guarded(
      save ? "GetSaveFileNameW" : "GetOpenFileNameW", std::optional<std::u16string>(),
      [&] { return save ? defaultUi().saveFile(request) : defaultUi().openFile(request); });
  if (!chosen) return FALSE;
  if (chosen->size() >= info->nMaxFile) {
    t_dialogError = FNERR_BUFFERTOOSMALL;
    return FALSE;
  }
  std::memcpy(info->lpstrFile, chosen->data(), chosen->size() * sizeof(char16_t));
  info->lpstrFile[chosen->size()] = u'\0';
  const std::size_t slash = chosen->rfind(u'/');
  const std::size_t nameStart = slash == std::u16string::npos ? 0 : slash + 1;
  const std::size_t dot = chosen->rfind(u'.');
  info->nFileOffset = static_cast<WORD>(nameStart);
  info->nFileExtension = static_cast<WORD>(dot != std::u16string::npos && dot >= nameStart ? dot + 1 : chosen->size());
  return TRUE;
}

}  // namespace

BOOL GetOpenFileNameW(OPENFILENAMEW* info) { return pickFile(info, false); }

BOOL GetSaveFileNameW(OPENFILENAMEW* info) { return pickFile(info, true); }

DWORD CommDlgExtendedError() { return platform::ui::t_dialogError; }
