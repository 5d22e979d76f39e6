#include "platform/ui/PrintDialog.h"

#include <fcntl.h>
#include <glib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>
#include <vector>

#include "platform/system/Diagnostics.h"

namespace platform::ui {

namespace {

constexpr const char* kWhere = "sendPdfToPrinter";

bool isSpace(char c) { return c == ' ' || c == '\t'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// A page number of at most nine digits, not 0.
std::optional<int> pageNumber(std::string_view digits) {
  if (digits.empty() || digits.size() > 9) return std::nullopt;
  int value = 0;
  for (const char c : digits) {
    if (!isDigit(c)) return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (value == 0) return std::nullopt;
  return value;
}

std::string errnoText(int error) { return std::strerror(error); }

// Copies the PDF to `target` through a new file of the same folder, flushed to disk before it
// is renamed over the target.
bool writeWhole(const std::string& source, const std::string& target) {
  const std::filesystem::path targetPath(target);
  std::string pattern = (targetPath.parent_path().empty() ? std::filesystem::path(".") : targetPath.parent_path()) /
                        ("." + targetPath.filename().string() + ".XXXXXX");
  const int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) {
    platform::diag::error(kWhere, "cannot read " + source + ": " + errnoText(errno));
    return false;
  }
  const int out = ::mkostemp(pattern.data(), O_CLOEXEC);
  if (out < 0) {
    const int error = errno;
    ::close(in);
    platform::diag::error(kWhere, "cannot write in the folder of " + target + ": " + errnoText(error));
    return false;
  }
  // mkostemp makes the file private; a printed file is as readable as any other the user saves.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(out, 0666 & ~mask);

  std::vector<char> buffer(1 << 16);
  int failure = 0;
  for (;;) {
    const ssize_t got = ::read(in, buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) { failure = errno; break; }
    if (got == 0) break;
    for (ssize_t done = 0; done < got;) {
      const ssize_t put = ::write(out, buffer.data() + done, static_cast<std::size_t>(got - done));
      if (put < 0 && errno == EINTR) continue;
      if (put < 0) { failure = errno; break; }
      done += put;
    }
    if (failure) break;
  }
  if (!failure && ::fsync(out) != 0) failure = errno;
  if (::close(out) != 0 && !failure) failure = errno;
  ::close(in);
  if (!failure && ::rename(pattern.c_str(), target.c_str()) != 0) failure = errno;
  if (failure) {
    ::unlink(pattern.c_str());
    platform::diag::error(kWhere, "cannot write " + target + ": " + errnoText(failure));
    return false;
  }
  return true;
}

bool sendToLp(const std::string& pdfPath, const PrintAnswer& answer) {
  std::vector<std::string> args{"lp"};
  if (!answer.printer.empty()) args.insert(args.end(), {"-d", answer.printer});
  args.insert(args.end(), {"-n", std::to_string(std::max(1, answer.copies))});
  if (answer.collate) args.insert(args.end(), {"-o", "collate=true"});
  if (answer.duplex == Duplex::kLongEdge) args.insert(args.end(), {"-o", "sides=two-sided-long-edge"});
  if (answer.duplex == Duplex::kShortEdge) args.insert(args.end(), {"-o", "sides=two-sided-short-edge"});
  args.insert(args.end(), {"--", pdfPath});

  std::vector<char*> argv;
  for (auto& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  gchar* errors = nullptr;
  gint status = 0;
  GError* error = nullptr;
  const gboolean ran = g_spawn_sync(nullptr, argv.data(), nullptr,
                                    static_cast<GSpawnFlags>(G_SPAWN_SEARCH_PATH | G_SPAWN_STDOUT_TO_DEV_NULL),
                                    nullptr, nullptr, nullptr, &errors, &status, &error);
  bool sent = false;
  if (!ran) {
    platform::diag::error(kWhere, std::string("cannot run lp: ") + (error ? error->message : ""));
  } else if (!g_spawn_check_wait_status(status, nullptr)) {
    std::string why = errors ? errors : "";
    while (!why.empty() && (why.back() == '\n' || why.back() == '\r')) why.pop_back();
    platform::diag::error(kWhere, "lp refused the job" + (why.empty() ? std::string() : ": " + why));
  } else {
    sent = true;
  }
  g_free(errors);
  if (error) g_error_free(error);
  return sent;
}

}  // namespace

RangeChoice readPageRange(std::string_view text) {
  while (!text.empty() && isSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && isSpace(text.back())) text.remove_suffix(1);
  RangeChoice choice;
  if (text.empty()) return choice;
  choice.status = RangeStatus::kRefused;
  const std::size_t dash = text.find('-');
  if (dash == std::string_view::npos) {
    const auto page = pageNumber(text);
    if (page) choice = {RangeStatus::kRange, *page, *page};
    return choice;
  }
  auto trimmed = [](std::string_view part) {
    while (!part.empty() && isSpace(part.front())) part.remove_prefix(1);
    while (!part.empty() && isSpace(part.back())) part.remove_suffix(1);
    return part;
  };
  const std::string_view first = trimmed(text.substr(0, dash));
  const std::string_view last = trimmed(text.substr(dash + 1));
  if (first.empty() && last.empty()) return choice;
  const auto from = first.empty() ? std::optional<int>(1) : pageNumber(first);
  const auto to = last.empty() ? std::optional<int>(RangeChoice::kLastPage) : pageNumber(last);
  if (from && to && *from <= *to) choice = {RangeStatus::kRange, *from, *to};
  return choice;
}

bool sendPdfToPrinter(const std::string& pdfPath, const PrintAnswer& answer) {
  return diag::guarded(kWhere, false, [&] {
    if (answer.cancelled) {
      platform::diag::error(kWhere, "the print dialog was cancelled");
      return false;
    }
    return answer.printToFile.empty() ? sendToLp(pdfPath, answer) : writeWhole(pdfPath, answer.printToFile);
  });
}

}  // namespace platform::ui
