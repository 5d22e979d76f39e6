#include "platform/resources/Resources.h"

#include <algorithm>

#include "platform/system/Text.h"

namespace platform::resources {
namespace {

const ModuleResources* tableOf(HINSTANCE module) {
  return reinterpret_cast<const ModuleResources*>(module);
}

}  // namespace

std::span<const unsigned char> findResource(HINSTANCE module, const char16_t* name, const char16_t* type) {
  const ModuleResources* table = tableOf(module);
  if (!table || !name || !type) return {};
  for (std::size_t i = 0; i < table->blobCount; ++i) {
    const BlobEntry& blob = table->blobs[i];
    if (platform::system::equalsNoCase(blob.name, name) && platform::system::equalsNoCase(blob.type, type)) return {blob.data, blob.size};
  }
  return {};
}

const DialogTemplate* findDialog(HINSTANCE module, UINT id) {
  const ModuleResources* table = tableOf(module);
  if (!table) return nullptr;
  for (std::size_t i = 0; i < table->dialogCount; ++i) {
    if (table->dialogs[i].id == id) return &table->dialogs[i];
  }
  return nullptr;
}

const MenuTemplate* findMenu(HINSTANCE module, UINT id) {
  const ModuleResources* table = tableOf(module);
  if (!table) return nullptr;
  for (std::size_t i = 0; i < table->menuCount; ++i) {
    if (table->menus[i].id == id) return &table->menus[i];
  }
  return nullptr;
}

std::span<const BlobEntry> allResources(HINSTANCE module) {
  const ModuleResources* table = tableOf(module);
  if (!table) return {};
  return {table->blobs, table->blobCount};
}

}  // namespace platform::resources

int LoadStringW(HINSTANCE module, UINT id, char16_t* buffer, int cchBufferMax) {
  using namespace platform::resources;
  const ModuleResources* table = tableOf(module);
  if (!table || !buffer || cchBufferMax <= 0) return 0;
  const StringEntry* begin = table->strings;
  const StringEntry* end = begin + table->stringCount;
  const StringEntry* hit = std::lower_bound(begin, end, id, [](const StringEntry& e, UINT v) { return e.id < v; });
  if (hit == end || hit->id != id || hit->length == 0) return 0;
  const std::size_t n = std::min<std::size_t>(hit->length, static_cast<std::size_t>(cchBufferMax - 1));
  std::copy_n(hit->text, n, buffer);
  buffer[n] = u'\0';
  return static_cast<int>(n);
}
