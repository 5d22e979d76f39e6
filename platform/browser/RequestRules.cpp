#include "platform/browser/RequestRules.h"

#include <cctype>
#include <string>
#include <system_error>

namespace platform::browser::detail {
namespace {

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool startsWithNoCase(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(s[i])) != prefix[i]) return false;
  return true;
}

std::filesystem::path resolved(const std::filesystem::path& p) {
  std::error_code ec;
  auto r = std::filesystem::weakly_canonical(p, ec);
  return ec ? p.lexically_normal() : r;
}

}  // namespace

std::optional<std::filesystem::path> pathOfFileUrl(std::string_view url) {
  if (!startsWithNoCase(url, "file://")) return std::nullopt;
  std::string_view rest = url.substr(7);
  const auto cut = rest.find_first_of("?#");
  if (cut != std::string_view::npos) rest = rest.substr(0, cut);
  const auto slash = rest.find('/');
  if (slash == std::string_view::npos) return std::nullopt;
  const std::string_view host = rest.substr(0, slash);
  if (!host.empty() && !(host.size() == 9 && startsWithNoCase(host, "localhost"))) return std::nullopt;
  std::string decoded;
  for (std::size_t i = slash; i < rest.size(); ++i) {
    if (rest[i] == '%' && i + 2 < rest.size() && hexValue(rest[i + 1]) >= 0 && hexValue(rest[i + 2]) >= 0) {
      decoded.push_back(static_cast<char>(hexValue(rest[i + 1]) * 16 + hexValue(rest[i + 2])));
      i += 2;
    } else {
      decoded.push_back(rest[i]);
    }
  }
  if (decoded.find('\0') != std::string::npos) return std::nullopt;
  return std::filesystem::path(decoded);
}

std::string fileUrlOf(const std::filesystem::path& path) {
  static const char* kHex = "0123456789ABCDEF";
  std::string url = "file://";
  for (unsigned char c : path.string()) {
    if (std::isalnum(c) || c == '/' || c == '-' || c == '.' || c == '_' || c == '~') {
      url.push_back(static_cast<char>(c));
    } else {
      url.push_back('%');
      url.push_back(kHex[c >> 4]);
      url.push_back(kHex[c & 15]);
    }
  }
  return url;
}

bool isInsideFolder(const std::filesystem::path& path, const std::filesystem::path& folder) {
  if (!path.is_absolute() || !folder.is_absolute() || folder.empty()) return false;
  const auto p = resolved(path);
  const auto f = resolved(folder);
  auto pi = p.begin();
  for (auto fi = f.begin(); fi != f.end(); ++fi) {
    if (fi->empty()) continue;  // the trailing separator of "/tmp/job/"
    if (pi == p.end() || *pi != *fi) return false;
    ++pi;
  }
  return pi != p.end();
}

RequestAnswer classifyRequest(std::string_view url, std::string_view resourceType,
                              const std::filesystem::path& mainDocument,
                              const std::vector<std::filesystem::path>& allowedFolders,
                              const std::vector<std::filesystem::path>& frameDocuments) {
  const auto local = pathOfFileUrl(url);
  if (local && !mainDocument.empty() && resolved(*local) == resolved(mainDocument)) return RequestAnswer::kContinue;
  if (resourceType == "Document") {
    if (local)
      for (const auto& frame : frameDocuments)
        if (resolved(*local) == resolved(frame)) return RequestAnswer::kContinue;
    return RequestAnswer::kEmptyDocument;
  }
  if (local) {
    for (const auto& folder : allowedFolders)
      if (isInsideFolder(*local, folder)) return RequestAnswer::kContinue;
  }
  return RequestAnswer::kFail;
}

}  // namespace platform::browser::detail
