#pragma once
// Which requests of a printed document may go out: the rules that keep mail inert.

#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/Export.h"

namespace platform::browser::detail {

enum class RequestAnswer {
  kContinue,       // the job's own document or one of its frame documents, or a local file inside an allowed folder
  kEmptyDocument,  // any other document (frame, refresh, navigation): answered 204, the page stays
  kFail,           // everything else
};

// `resourceType` is the DevTools resource type ("Document", "Image", ...).
QM_PLATFORM_API RequestAnswer classifyRequest(std::string_view url, std::string_view resourceType,
                                              const std::filesystem::path& mainDocument,
                                              const std::vector<std::filesystem::path>& allowedFolders,
                                              const std::vector<std::filesystem::path>& frameDocuments = {});

// The local path of a file:// URL (host empty or "localhost"; query and fragment dropped,
// percent-escapes decoded); nothing for other URLs or a path that decodes to a NUL.
QM_PLATFORM_API std::optional<std::filesystem::path> pathOfFileUrl(std::string_view url);
// A file:// URL for an absolute path, escaping everything but unreserved characters and '/'.
QM_PLATFORM_API std::string fileUrlOf(const std::filesystem::path& path);
// Whether `path`, with symbolic links resolved, lies inside `folder` (resolved the same way).
QM_PLATFORM_API bool isInsideFolder(const std::filesystem::path& path, const std::filesystem::path& folder);

}  // namespace platform::browser::detail
