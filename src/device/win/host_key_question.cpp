// The Windows answer to HostKeyQuestion: a Yes/No message box with the card and both
// fingerprints, No the default button. It runs on the UI thread; the worker asks it through a
// PostedHostKeyQuestion (device/posted_sinks.h).
#include <windows.h>

#include <memory>

#include "base/text.h"
#include "device/known_cards.h"
#include "device/sinks.h"

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

std::shared_ptr<HostKeyQuestion> MakeHostKeyMessageBox(void* ownerWindow) {
  return std::make_shared<HostKeyMessageBox>(static_cast<HWND>(ownerWindow));
}

}  // namespace device
