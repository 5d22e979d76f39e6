// Opening the `quillmark outlook` explorer on a folder of N items, as a person waits for it: the
// store is read, the item list is filled row by row into the GTK list and the screen catches up.
// Needs a display: without DISPLAY it starts its own Xvfb for the run.
#include <benchmark/benchmark.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <system_error>

#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include "host/OutlookWindows.h"
#include "platform/loop/MessageLoop.h"
#include "platform/mapi/PropTags.h"
#include "platform/office/CommandBars.h"
#include "platform/outlook/Outlook.h"
#include "platform/outlook/OutlookInterfaces.h"
#include "platform/ui/CommCtrl.h"
#include "platform/ui/Desktop.h"
#include "tests/support/MsgWriter.h"

namespace {

namespace fs = std::filesystem;

fs::path benchRoot() { return fs::temp_directory_path() / ("quillmark-explorer-bench-" + std::to_string(getpid())); }

// A store whose Inbox holds `count` mails: one written, the rest hard links to it.
fs::path storeOf(int count) {
  static std::map<int, fs::path> made;
  if (const auto found = made.find(count); found != made.end()) return found->second;
  using namespace testsupport;
  const fs::path store = benchRoot() / ("store" + std::to_string(count));
  const fs::path inbox = store / "Inbox";
  fs::create_directories(inbox);
  MsgDescription d;
  d.messageClass = "IPM.Note";
  d.props = {unicodeProp(PR_SUBJECT_W, u"Quarterly figures for the northern region"),
             unicodeProp(PR_SENDER_NAME_W, u"Anna Berg"), unicodeProp(PR_BODY_W, u"See the attached figures.")};
  const fs::path first = inbox / "item00000.msg";
  if (!writeMsgFile(d, first)) return {};
  for (int i = 1; i < count; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "item%05d.msg", i);
    std::error_code ec;
    fs::create_hard_link(first, inbox / name, ec);
    if (ec) return {};
  }
  made[count] = store;
  return store;
}

void BM_ExplorerFill(benchmark::State& state) {
  if (platform::ui::currentFace() != platform::ui::Face::kGtk) {
    state.SkipWithError("no display for GTK");
    return;
  }
  const int count = static_cast<int>(state.range(0));
  const fs::path store = storeOf(count);
  if (store.empty()) {
    state.SkipWithError("cannot write the store");
    return;
  }
  for (auto _ : state) {
    platform::office::COfficeCommandBars office;
    host::COutlookWindows windows(office);
    platform::outlook::OutlookOptions options;
    windows.prepare(options, true);
    auto outlook = platform::outlook::COutlook::open(store, options);
    windows.attach(outlook.get());
    const CComPtr<IDispatch> explorer = outlook->openExplorer(outlook->defaultFolder(olFolderInbox));
    platform::loop::runUntilIdle();
    const HWND list = windows.itemListOf(outlook->windowHandle(explorer));
    if (ListView_GetItemCount(list) != count) state.SkipWithError("the list is not full");
    state.PauseTiming();
    outlook.reset();
    platform::loop::runUntilIdle();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_ExplorerFill)->Arg(250)->Arg(5000)->Unit(benchmark::kMillisecond)->UseRealTime();

// An X server of the run's own when there is no display; its pid, or 0.
pid_t startXvfb() {
  int fds[2];
  if (pipe(fds) != 0) return 0;
  const pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    const std::string fd = std::to_string(fds[1]);
    execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x1024x24", "-nolisten", "tcp", nullptr);
    _exit(127);
  }
  close(fds[1]);
  char number[16] = {};
  const ssize_t got = pid > 0 ? read(fds[0], number, sizeof number - 1) : -1;
  close(fds[0]);
  if (got <= 0) {
    if (pid > 0) waitpid(pid, nullptr, 0);
    return 0;
  }
  setenv("DISPLAY", (":" + std::string(number, static_cast<std::size_t>(std::strcspn(number, "\n")))).c_str(), 1);
  return pid;
}

}  // namespace

int main(int argc, char** argv) {
  const char* display = std::getenv("DISPLAY");
  const pid_t xvfb = display && *display ? 0 : startXvfb();
  const std::string home = (benchRoot() / "home").string();
  fs::create_directories(home);
  setenv("QUILLMARK_HOME", home.c_str(), 1);
  platform::ui::chooseFace(platform::ui::Face::kGtk);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::error_code ec;
  fs::remove_all(benchRoot(), ec);
  if (xvfb > 0) {
    kill(xvfb, SIGTERM);
    waitpid(xvfb, nullptr, 0);
  }
  return 0;
}
