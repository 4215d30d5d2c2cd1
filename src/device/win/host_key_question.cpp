#include "device/win/host_key_question.h"

#include "base/text.h"
#include "device/known_cards.h"

namespace device {

namespace {

class HostKeyMessageBox final : public HostKeyQuestion {
 public:
  explicit HostKeyMessageBox(HWND owner) : owner_(owner) {}
  bool AskReplaceHostKey(const std::string& card, const std::string& stored, const std::string& offered) override {
    const std::wstring text = WideFromCp1250(HostKeyQuestionText(card, stored, offered));
    return MessageBoxW(owner_, text.c_str(), L"TrevnaConf", MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) == IDYES;
  }

 private:
  HWND owner_;
};

}  // namespace

std::shared_ptr<HostKeyQuestion> MakeHostKeyMessageBox(HWND owner) {
  return std::make_shared<HostKeyMessageBox>(owner);
}

}  // namespace device
