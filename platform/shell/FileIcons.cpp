// The icon of a file type: the desktop's MIME type of the name, and that type's icon from the
// installed icon themes, made into an icon handle as the form icons are.
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gio/gio.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/mapi/detail/Forms.h"
#include "platform/shell/Shell.h"
#include "platform/system/Diagnostics.h"
#include "platform/system/Text.h"

namespace {

void putWord(std::string& out, unsigned value) {
  out.push_back(static_cast<char>(value & 0xFF));
  out.push_back(static_cast<char>((value >> 8) & 0xFF));
}

void putLong(std::string& out, unsigned long value) {
  putWord(out, static_cast<unsigned>(value & 0xFFFF));
  putWord(out, static_cast<unsigned>((value >> 16) & 0xFFFF));
}

// An .ico file of one 32-bit image (a bottom-up BGRA bitmap and an empty mask).
std::string icoOf(GdkPixbuf* source) {
  GdkPixbuf* pixbuf = gdk_pixbuf_add_alpha(source, FALSE, 0, 0, 0);
  if (!pixbuf) return {};
  const int width = gdk_pixbuf_get_width(pixbuf), height = gdk_pixbuf_get_height(pixbuf);
  const int stride = gdk_pixbuf_get_rowstride(pixbuf);
  const guchar* pixels = gdk_pixbuf_read_pixels(pixbuf);
  const unsigned maskRow = static_cast<unsigned>((width + 31) / 32 * 4);
  const unsigned long imageBytes = 40 + static_cast<unsigned long>(width) * height * 4 + maskRow * height;

  std::string out;
  putWord(out, 0);
  putWord(out, 1);
  putWord(out, 1);
  out.push_back(static_cast<char>(width >= 256 ? 0 : width));
  out.push_back(static_cast<char>(height >= 256 ? 0 : height));
  out.push_back(0);
  out.push_back(0);
  putWord(out, 1);
  putWord(out, 32);
  putLong(out, imageBytes);
  putLong(out, 22);
  putLong(out, 40);
  putLong(out, static_cast<unsigned long>(width));
  putLong(out, static_cast<unsigned long>(height) * 2);
  putWord(out, 1);
  putWord(out, 32);
  for (int i = 0; i < 6; ++i) putLong(out, 0);
  for (int y = height - 1; y >= 0; --y) {
    const guchar* row = pixels + static_cast<std::ptrdiff_t>(y) * stride;
    for (int x = 0; x < width; ++x) {
      const guchar* p = row + x * 4;
      out.push_back(static_cast<char>(p[2]));
      out.push_back(static_cast<char>(p[1]));
      out.push_back(static_cast<char>(p[0]));
      out.push_back(static_cast<char>(p[3]));
    }
  }
  out.append(static_cast<std::size_t>(maskRow) * height, '\0');
  g_object_unref(pixbuf);
  return out;
}

// The icon names of the name's type, most specific first, then the generic file icons.
std::vector<std::string> iconNames(const std::string& name) {
  std::vector<std::string> names;
  gboolean uncertain = FALSE;
  gchar* type = g_content_type_guess(name.c_str(), nullptr, 0, &uncertain);
  if (type) {
    if (GIcon* icon = g_content_type_get_icon(type)) {
      if (G_IS_THEMED_ICON(icon)) {
        for (const gchar* const* n = g_themed_icon_get_names(G_THEMED_ICON(icon)); n && *n; ++n) names.emplace_back(*n);
      }
      g_object_unref(icon);
    }
    if (gchar* generic = g_content_type_get_generic_icon_name(type)) {
      names.emplace_back(generic);
      g_free(generic);
    }
    g_free(type);
  }
  names.emplace_back("text-x-generic");
  names.emplace_back("application-x-generic");
  return names;
}

std::string themedIconFile(const std::vector<std::string>& names, int size) {
  std::vector<std::string> roots;
  if (const gchar* user = g_get_user_data_dir()) roots.emplace_back(user);
  for (const gchar* const* dir = g_get_system_data_dirs(); dir && *dir; ++dir) roots.emplace_back(*dir);
  const std::string sized = std::to_string(size) + "x" + std::to_string(size);
  std::error_code ec;
  for (const std::string& name : names) {
    for (const char* theme : {"Adwaita", "hicolor"}) {
      for (const std::string& folder : {sized, std::string("48x48"), std::string("64x64")}) {
        for (const std::string& root : roots) {
          const std::string file = root + "/icons/" + theme + "/" + folder + "/mimetypes/" + name + ".png";
          if (std::filesystem::is_regular_file(file, ec)) return file;
        }
      }
    }
  }
  return {};
}

}  // namespace

std::uintptr_t SHGetFileInfoW(LPCWSTR path, DWORD, SHFILEINFOW* info, UINT size, UINT flags) {
  return platform::diag::guarded("SHGetFileInfoW", std::uintptr_t{0}, [&]() -> std::uintptr_t {
    if (!path || !info || size < sizeof(SHFILEINFOW)) {
      platform::diag::error("SHGetFileInfoW", "no path or no room for the answer");
      return 0;
    }
    *info = SHFILEINFOW{};
    if (!(flags & SHGFI_ICON)) {
      platform::diag::error("SHGetFileInfoW", "only the icon of a file type is supported");
      return 0;
    }
    const int pixels = (flags & SHGFI_SMALLICON) ? 16 : 32;
    const std::string name = std::filesystem::path(platform::system::utf16ToUtf8(path)).filename().string();
    const std::string file = themedIconFile(iconNames(name), pixels);
    if (file.empty()) {
      platform::diag::error("SHGetFileInfoW", "no icon installed for the type of " + name);
      return 0;
    }
    GError* error = nullptr;
    GdkPixbuf* pixbuf = gdk_pixbuf_new_from_file_at_size(file.c_str(), pixels, pixels, &error);
    if (!pixbuf) {
      platform::diag::error("SHGetFileInfoW", file + ": " + (error ? error->message : "unreadable"));
      if (error) g_error_free(error);
      return 0;
    }
    platform::mapi::IconImage image;
    image.width = gdk_pixbuf_get_width(pixbuf);
    image.height = gdk_pixbuf_get_height(pixbuf);
    image.bytes = icoOf(pixbuf);
    g_object_unref(pixbuf);
    if (image.bytes.empty()) return 0;
    info->hIcon = platform::mapi::detail::createIcon(std::move(image));
    return 1;
  });
}
