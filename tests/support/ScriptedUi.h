#pragma once
// A user interface that answers from queues and records what it was asked; installed as the
// process's user interface for its lifetime. An empty queue gives the default answer (the
// default button, Cancel for a file, the default option).

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/Ui.h"

namespace testsupport {

class ScriptedUi : public platform::ui::IUserInterface {
 public:
  struct MessageBoxCall {
    HWND owner;
    std::u16string text;
    std::u16string caption;
    UINT type;
  };

  ScriptedUi();
  ~ScriptedUi() override;
  ScriptedUi(const ScriptedUi&) = delete;
  ScriptedUi& operator=(const ScriptedUi&) = delete;

  int messageBox(HWND owner, const std::u16string& text, const std::u16string& caption, UINT type) override;
  std::optional<std::u16string> openFile(const platform::ui::OpenFileRequest& request) override;
  int choose(const platform::ui::ChoiceRequest& request) override;

  void queueMessageBoxAnswer(int answer) { m_boxAnswers.push_back(answer); }
  // A path, or nothing for Cancel.
  void queueFile(std::optional<std::u16string> path) { m_fileAnswers.push_back(std::move(path)); }
  void queueChoice(int index) { m_choiceAnswers.push_back(index); }

  const std::vector<MessageBoxCall>& messageBoxes() const { return m_boxes; }
  const std::vector<platform::ui::OpenFileRequest>& fileRequests() const { return m_files; }
  const std::vector<platform::ui::ChoiceRequest>& choiceRequests() const { return m_choices; }

 private:
  std::deque<int> m_boxAnswers;
  std::deque<std::optional<std::u16string>> m_fileAnswers;
  std::deque<int> m_choiceAnswers;
  std::vector<MessageBoxCall> m_boxes;
  std::vector<platform::ui::OpenFileRequest> m_files;
  std::vector<platform::ui::ChoiceRequest> m_choices;
};

}  // namespace testsupport
