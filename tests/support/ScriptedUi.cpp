#include "tests/support/ScriptedUi.h"

namespace testsupport {

ScriptedUi::ScriptedUi() { platform::ui::SetForTesting(this); }

ScriptedUi::~ScriptedUi() { platform::ui::SetForTesting(nullptr); }

int ScriptedUi::messageBox(HWND owner, const std::u16string& text, const std::u16string& caption, UINT type) {
  m_boxes.push_back({owner, text, caption, type});
  if (m_boxAnswers.empty()) return platform::ui::defaultAnswerOf(type);
  const int answer = m_boxAnswers.front();
  m_boxAnswers.pop_front();
  return answer;
}

std::optional<std::u16string> ScriptedUi::openFile(const platform::ui::OpenFileRequest& request) {
  m_files.push_back(request);
  if (m_fileAnswers.empty()) return std::nullopt;
  std::optional<std::u16string> answer = std::move(m_fileAnswers.front());
  m_fileAnswers.pop_front();
  return answer;
}

int ScriptedUi::choose(const platform::ui::ChoiceRequest& request) {
  m_choices.push_back(request);
  if (m_choiceAnswers.empty()) return request.defaultIndex;
  const int answer = m_choiceAnswers.front();
  m_choiceAnswers.pop_front();
  return answer;
}

}  // namespace testsupport
