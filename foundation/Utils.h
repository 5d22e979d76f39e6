#pragma once
// NUtils: the system's small free functions. Failures are answered (false, 0, an empty text)
// and logged, never thrown to the caller.

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/QuilString.h"
#include "platform/WinTypes.h"
#include "platform/mapi/Icon.h"

struct IUnknown;
struct IMAPIFormMgr;

namespace NUtils {

// Text.
bool equalsNoCase(const std::u16string& a, const std::u16string& b);
bool equalsNoCase(const std::string& a, const std::string& b);
void toLower(std::u16string& text);
void toUpper(std::u16string& text);
// Appends the tokens between delimiters; runs of delimiters give no empty tokens.
void tokenize(const std::u16string& text, const std::u16string& delimiters, std::vector<quilstring>& tokens);
// Hexadecimal with an optional "0x"; the bit pattern of an unsigned value is kept
// (0x8005001F reads as the 32-bit pattern, not a saturated value). 0 when nothing reads.
std::int32_t hexToLong(const std::u16string& text);
// Decimal as _wtol: leading blanks, a sign, digits; 0 when nothing reads.
std::int32_t toLong(const std::u16string& text);
// The delimiter set of lists of possible values: backslash, slash, comma, semicolon, colon.
const quilstring& separators();
// The separator between listed values: ", ".
const quilstring& listSeparator();
// UTF-8 bytes to text and back; empty or invalid input answers false and leaves out as it was.
bool MultiByteToWide(const std::string& bytes, quilstring& out);
bool WideToMultiByte(const std::u16string& text, std::string& out);

// Files, shell and printing.
// The size of the file with exactly that name ('*' and '?' are ordinary characters); 0 for a
// missing file (logged at Debug) or a directory.
std::uint64_t getFileSize(const quilstring& path);
// Runs the verb on the file through the shell, hidden; an empty verb or parameters text means
// none, an empty directory the file's own folder. False (logged as an Error with the system's
// reason) when it fails, also when no helper application is there.
bool shellExecute(ULONG mask, const quilstring& verb, const quilstring& file, const quilstring& parameters,
                  const quilstring& directory);
// Prints the file through the application registered for its type.
bool printFile(const quilstring& file);
// Whether an attachment is selected by an action's attachment state (1 all, 2 those listed,
// 3 all but those listed, else none) and its ';'-separated list. An entry is an extension
// ("pdf"), a star and an extension ("*.pdf") or a whole file name ("my.report.pdf"); names and
// entries split at their last dot, and case is ignored.
bool printAttachment(const quilstring& filePath, DWORD state, const quilstring& list);
// The open-file dialog. filter holds pairs of description and patterns separated by '\0', as the
// dialog takes them; the title is the module's string titleId. An empty path starts in the folder
// last chosen with the same filter, else in the documents folder. True with path set to the chosen
// file; Cancel answers false and leaves path unchanged.
bool browseForFile(const quilstring& filter, UINT titleId, HWND owner, HINSTANCE module, DWORD flags,
                   const quilstring& defaultExtension, quilstring& path);

// Versions and platform, as the host reports them.
// The browser control's version (major + minor / 10); 0, logged as an Error, when there is none.
float getIEVersion();
DWORD getOSMajorVersion();
// Whether a visual theme is active; asked once per process, false when it cannot be told.
bool isThemeActive();
// Centres a window on its owner's window, or on the screen without one.
void centreOnOwner(HWND window);
// A string of the add-in's own resources; empty when there is none of that id.
quilstring moduleString(UINT id);

// Registry access.
// The current user's effective rights on a registry key named as GetNamedSecurityInfoW names it
// ("MACHINE\\SOFTWARE\\..."); 0, with an Error line, when they cannot be found.
DWORD registryKeyAccessMaskOfCurrentUser(const quilstring& objectName);
// The names of the access bits set in a mask, joined by " | "; empty for 0.
quilstring accessMaskToString(DWORD mask);
// COM.
// True when both pointers are non-null and reach the same COM object (equal IUnknown identities).
bool CompareInterfaces(IUnknown* first, IUnknown* second);
// The same test, logged; finds the display manager of an explorer or inspector.
bool CompareExplorerInterfaces(IUnknown* first, IUnknown* second);

// MAPI forms.
// The display name and icon of the form of a message class (its nearest base class's when it
// has none of its own), the small (16x16) or the large (32x32) icon. A class without a form
// keeps its own name and gets the icon of "IPM.Note"; without a form manager, or when even
// "IPM.Note" has no form, the name is the class and the icon null. The caller destroys the icon.
void getMessageClassData(IMAPIFormMgr* formMgr, const quilstring& messageClass, quilstring& displayName, HICON& icon,
                         bool small);

}  // namespace NUtils
