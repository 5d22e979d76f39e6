// Prints on the real browser that complete behind a modal dialog: one dialog opened from inside
// the printer's own timer handler, one from inside a read of the browser's pipe. Inside each
// dialog's loop the pulse and the window timers keep ticking, and a job the pulse starts (as the
// automation queue does) prints a real sample.

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "engine/Printer.h"
#include "foundation/Settings.h"
#include "foundation/Timer.h"
#include "platform/browser/ChromiumPrintEngine.h"
#include "platform/browser/PrintTemplate.h"
#include "platform/loop/MessageLoop.h"
#include "platform/outlook/Outlook.h"
#include "platform/resources/Resources.h"
#include "platform/system/Tick.h"
#include "platform/ui/Desktop.h"
#include "platform/ui/WinUser.h"
#include "tests/support/TestEnvironment.h"

namespace {

namespace fs = std::filesystem;
using platform::resources::DialogItem;
using platform::resources::DialogTemplate;

constexpr UINT_PTR kDialogTimer = 7;
constexpr DWORD kGiveUpMs = 90000;

// A pulse responder: counts ticks, and runs the job queued for it on the next tick.
class CPulseJobs : public ITimerCallback {
 public:
  STDMETHOD(QueryInterface)(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!IsEqualGUID(riid, IID_IUnknown) && !IsEqualGUID(riid, IID_ITimerCallback)) return E_NOINTERFACE;
    *out = static_cast<ITimerCallback*>(this);
    AddRef();
    return S_OK;
  }
  STDMETHOD_(ULONG, AddRef)() override { return ++m_refs; }
  STDMETHOD_(ULONG, Release)() override { return --m_refs; }
  STDMETHOD(onTimerCallback)() override {
    ++ticks;
    if (auto job = std::exchange(queued, nullptr)) job();
    return S_OK;
  }

  int ticks = 0;
  std::function<void()> queued;

 private:
  ULONG m_refs = 0;
};

// The dialog: its own window timer ends it once `done` answers true, or gives up.
struct Waiting {
  std::function<bool()> done;
  int timerTicks = 0;
  int pulseTicksAtOpen = 0;
  DWORD opened = 0;
};

INT_PTR waitingProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* waiting = reinterpret_cast<Waiting*>(GetWindowLongPtrW(dialog, DWLP_USER));
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrW(dialog, DWLP_USER, lParam);
    SetTimer(dialog, kDialogTimer, 50, nullptr);
    return TRUE;
  }
  if (message == WM_TIMER && wParam == kDialogTimer && waiting) {
    ++waiting->timerTicks;
    if (waiting->done()) {
      EndDialog(dialog, IDOK);
    } else if (GetTickCount() - waiting->opened > kGiveUpMs) {
      EndDialog(dialog, IDABORT);
    }
    return TRUE;
  }
  return FALSE;
}

INT_PTR showWaiting(Waiting& waiting) {
  static const DialogItem items[] = {
      {u"BUTTON", u"Cancel", IDCANCEL, WS_CHILD | WS_VISIBLE | BS_DEFPUSHBUTTON, 0, 65, 40, 50, 14, 0}};
  static const DialogTemplate dialog{900,   DS_MODALFRAME | WS_POPUP | WS_CAPTION, 0, 0, 0, 180, 62, u"Waiting",
                                     u"MS Shell Dlg", 8, 0, false, 0, items, 1, u"", 0, 0};
  waiting.opened = GetTickCount();
  return DialogBoxIndirectParamW(nullptr, &dialog, nullptr, waitingProc, reinterpret_cast<LPARAM>(&waiting));
}

class PrinterBehindDialogTest : public testsupport::IsolatedTest {
 protected:
  void SetUp() override {
    IsolatedTest::SetUp();
    QM_REQUIRE_SHARED_DATA();
    ASSERT_TRUE(platform::ui::chooseFace(platform::ui::Face::kHeadless));
    CSettings::resetForTesting();
    beginPrintRun();
    const fs::path inbox = dir() / "store" / "Inbox";
    fs::create_directories(inbox);
    for (const char* sample : {"hht__Friday_Lunch.msg", "sicos__TxtSampleEmail.msg"})
      fs::create_symlink(testsupport::sharedDir() / "testdata" / "msg" / sample, inbox / sample);
    m_outlook = platform::outlook::COutlook::open(dir() / "store");
    ASSERT_TRUE(m_outlook);
    CSettings::instance().outlookApplication() = m_outlook->application();
    m_template = dir() / "Subject.htm";
    std::ofstream(m_template) << "<html><head><title>Subject</title></head><body>"
                                 "<h1>PRINTED <span id=QMMessProp>NAME=Subject</span></h1></body></html>";
    registerTimerCallback(&m_pulse);
  }
  void TearDown() override {
    CTimerImpl::instance()->deactivate();
    platform::browser::detail::setBrowserEventListenerForTesting(nullptr);
    CPrinter::resetServicesForTesting();
    setPrintDestination({});
    CSettings::instance().outlookApplication() = nullptr;
    m_outlook.reset();
    CSettings::resetForTesting();
  }

  int print(const char* sample) {
    CPrintInfo job(m_outlook->item(dir() / "store" / "Inbox" / sample));
    return CPrinter(job, quilstring::fromUtf8(m_template.string())).DoService(5);
  }
  // Queues a print for the pulse; done once it answered and the pulse ticked twice after it.
  std::function<bool()> printFromThePulse(const char* sample, int& status) {
    m_pulse.queued = [this, sample, &status] {
      status = print(sample);
      m_ticksAfterPrint = m_pulse.ticks;
    };
    return [this, &status] { return status != 0 && m_pulse.ticks >= m_ticksAfterPrint + 2; };
  }

  CPulseJobs m_pulse;
  int m_ticksAfterPrint = 0;
  std::unique_ptr<platform::outlook::COutlook> m_outlook;
  fs::path m_template;
};

TEST_F(PrinterBehindDialogTest, ADialogOpenedInsideThePrintersTimerHandlerHasAPrintCompleteBehindIt) {
  // The printer hands its pages to the printer from its timer handler; a dialog opens there.
  setPrintDestination(PrintDestination{dir() / "out", false, u"", {}});
  int printerCalls = 0, behindStatus = 0;
  INT_PTR dialogResult = 0;
  Waiting waiting;
  CPrinter::Services services;
  services.printOnPrinter = [&](const fs::path& pdf, int) -> HRESULT {
    const int call = ++printerCalls;
    if (call == 1) {
      waiting.done = printFromThePulse("sicos__TxtSampleEmail.msg", behindStatus);
      waiting.pulseTicksAtOpen = m_pulse.ticks;
      dialogResult = showWaiting(waiting);
    }
    fs::copy_file(pdf, dir() / ("printer-" + std::to_string(call) + ".pdf"));
    return S_OK;
  };
  CPrinter::setServicesForTesting(services);

  EXPECT_EQ(print("hht__Friday_Lunch.msg"), 1);
  EXPECT_EQ(dialogResult, IDOK);
  EXPECT_EQ(behindStatus, 1);
  EXPECT_GE(m_pulse.ticks - waiting.pulseTicksAtOpen, 3);
  EXPECT_GE(waiting.timerTicks, 3);
  ASSERT_EQ(printerCalls, 2);
  EXPECT_NE(testsupport::pdfText(dir() / "printer-1.pdf", 0, true).find("PRINTED Friday Lunch"), std::string::npos);
  EXPECT_NE(testsupport::pdfText(dir() / "printer-2.pdf", 0, true).find("PRINTED TxtSampleEmail"), std::string::npos);
}

TEST_F(PrinterBehindDialogTest, ADialogOpenedInsideAReadOfTheBrowsersPipeHasAPrintCompleteBehindIt) {
  setPrintDestination(PrintDestination{dir() / "out", true, u"behind", {}});
  // A first print warms the browser's tab, so a load can be started without waiting.
  ASSERT_EQ(print("hht__Friday_Lunch.msg"), 1);

  // The next event the browser sends, read at the top loop, opens the dialog.
  int behindStatus = 0, depthAtRead = 0;
  INT_PTR dialogResult = 0;
  Waiting waiting;
  platform::browser::detail::setBrowserEventListenerForTesting([&](const std::string&) {
    if (dialogResult != 0 || waiting.done || platform::loop::loopDepth() != 1) return;
    depthAtRead = platform::loop::loopDepth();
    waiting.done = printFromThePulse("sicos__TxtSampleEmail.msg", behindStatus);
    waiting.pulseTicksAtOpen = m_pulse.ticks;
    dialogResult = showWaiting(waiting);
  });
  const fs::path page = dir() / "page.htm";
  std::ofstream(page) << "<html><body><p>Loading</p></body></html>";
  platform::browser::preloadPrintDocument(platform::browser::PrintDocument{page, page.u16string(), {dir()}, {}});
  platform::loop::runUntil([&] { return dialogResult != 0; }, kGiveUpMs + 10000);

  EXPECT_EQ(depthAtRead, 1);
  EXPECT_EQ(dialogResult, IDOK);
  EXPECT_EQ(behindStatus, 1);
  EXPECT_GE(m_pulse.ticks - waiting.pulseTicksAtOpen, 3);
  EXPECT_GE(waiting.timerTicks, 3);
  ASSERT_EQ(writtenPdfs().size(), 2u);
  EXPECT_NE(testsupport::pdfText(writtenPdfs()[1], 0, true).find("PRINTED TxtSampleEmail"), std::string::npos);
}

}  // namespace
