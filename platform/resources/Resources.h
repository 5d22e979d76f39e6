#pragma once
// Module resources: the string table, HTML pages and images, dialog and menu templates that a
// module carries. A module's table is generated at build time from its resource scripts; its
// HINSTANCE is the handle of that table.

#include <cstddef>
#include <span>

#include "platform/Export.h"
#include "platform/WinTypes.h"

namespace platform::resources {

struct StringEntry {
  UINT id;
  const char16_t* text;  // not terminated; see length
  std::size_t length;
};

struct BlobEntry {
  const char16_t* type;  // upper case: "HTML", "RCDATA", "PNG" ...
  const char16_t* name;  // upper case; a numeric id is written in decimal
  const unsigned char* data;
  std::size_t size;
};

// One module's resources; strings sorted by id, blobs in script order.
struct ModuleResources {
  const char* moduleName;
  const StringEntry* strings;
  std::size_t stringCount;
  const BlobEntry* blobs;
  std::size_t blobCount;
};

// The handle under which a module's resources are found.
inline HINSTANCE handleOf(const ModuleResources& module) {
  return reinterpret_cast<HINSTANCE>(const_cast<ModuleResources*>(&module));
}

// The named resource of the given type (names and types ignore case), or an empty span.
QM_PLATFORM_API std::span<const unsigned char> findResource(HINSTANCE module, const char16_t* name,
                                                            const char16_t* type);

// Every blob of a module, in script order.
QM_PLATFORM_API std::span<const BlobEntry> allResources(HINSTANCE module);

}  // namespace platform::resources

// As Windows: copies at most cchBufferMax - 1 characters of the text with that id and a
// terminator; answers the number of characters copied, 0 when there is no such text (or no
// module, or no room).
QM_PLATFORM_API int LoadStringW(HINSTANCE module, UINT id, char16_t* buffer, int cchBufferMax);
