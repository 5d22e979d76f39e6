#pragma once
// Outlook's windows played by the host over a store of three shared samples in an Inbox with a
// subfolder; a test chooses the face and opens the store.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>

#include "host/OutlookWindows.h"
#include "platform/office/CommandBars.h"
#include "platform/outlook/Outlook.h"
#include "tests/support/TestEnvironment.h"

class OutlookWindowsFixture : public testsupport::IsolatedTest {
 protected:
  // Skips without the shared samples; `prepare` sees the windows before the store opens.
  void openStore(const std::function<void(host::COutlookWindows&)>& prepare = {}) {
    namespace fs = std::filesystem;
    if (testsupport::sharedDir().empty()) GTEST_SKIP() << "shared test data not found (set QM_SHARED_DIR)";
    const fs::path inbox = dir() / "store" / "Inbox";
    fs::create_directories(inbox / "Projects");
    for (const char* sample : {"bbot__HTML_mail_with_replyto_and_attachment_and_embedded_image.msg",
                               "aspose__Test_Meeting.msg", "bbot__S_MIME_test_message_signed.msg"})
      fs::copy_file(testsupport::sharedDir() / "testdata" / "msg" / sample, inbox / sample);
    m_windows = std::make_unique<host::COutlookWindows>(m_office);
    platform::outlook::OutlookOptions options;
    m_windows->prepare(options, true);
    if (prepare) prepare(*m_windows);
    m_outlook = platform::outlook::COutlook::open(dir() / "store", options);
    ASSERT_TRUE(m_outlook);
    m_windows->attach(m_outlook.get());
  }
  void TearDown() override {
    m_outlook.reset();
    m_windows.reset();
  }

  platform::office::COfficeCommandBars m_office;
  std::unique_ptr<host::COutlookWindows> m_windows;
  std::unique_ptr<platform::outlook::COutlook> m_outlook;
};
