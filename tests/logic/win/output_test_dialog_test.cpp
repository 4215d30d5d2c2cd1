// The output test dialog, modal as the frame opens it, driven from a timer inside its own
// message loop; the forced outputs are checked in the replies the simulated card logged.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "base/text.h"
#include "logic/win/card_stream.h"
#include "logic/win/output_test_dialog.h"
#include "resource_ids.h"
#include "support/win_artifacts.h"

namespace {

// A script of steps run inside the modal loop: each step waits (polling) until its condition
// holds, then acts; a step that does not get its condition by the deadline fails the test and
// closes the dialog.
struct Script {
  struct Step {
    std::string what;
    std::function<bool(HWND dialog)> ready;
    std::function<void(HWND dialog)> act;
  };
  std::vector<Step> steps;
  std::size_t next = 0;
  bool acting = false;
  std::chrono::steady_clock::time_point deadline;
  std::string failure;
  std::string seen;

  static Script* current;
  static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    Script& s = *current;
    HWND dialog = FindWindowW(L"#32770", WideFromUtf8("Testowanie wyjść").c_str());
    if (!dialog || s.next >= s.steps.size() || s.acting) return;  // a step's own message pump
    Step& step = s.steps[s.next];
    if (step.ready(dialog)) {
      ++s.next;
      s.acting = true;
      step.act(dialog);
      s.acting = false;
      s.deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    } else if (std::chrono::steady_clock::now() > s.deadline) {
      s.failure = "timed out waiting for: " + step.what + "; seen: " + s.seen;
      s.next = s.steps.size();
      SendMessageW(GetDlgItem(dialog, IDCANCEL), BM_CLICK, 0, 0);
    }
  }
  void Run(device::OutputTestState& state) {
    current = this;
    deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    const UINT_PTR timer = SetTimer(nullptr, 0, 20, &Tick);
    RunOutputTest(nullptr, state);
    KillTimer(nullptr, timer);
    current = nullptr;
  }
};
Script* Script::current = nullptr;

void Tick(HWND dialog, int output) { SendMessageW(GetDlgItem(dialog, IDC_FORCE_Y1 + output - 1), BM_CLICK, 0, 0); }
bool Always(HWND) { return true; }

TEST(OutputTestDialog, TickedOutputsReachTheCardsRepliesWhileOpen) {
  logic_test::CardStream card;
  ASSERT_TRUE(card.Ready()) << card.Problem();
  device::OutputTestState state;
  device::LivePictures pictures;
  card.Start({&pictures, nullptr, &state, nullptr, {}});

  // Waits for a reply logged after the step began with that output test part.
  auto reply = [&](int flags, int forced) {
    return [&card, flags, forced](HWND) {
      for (const logic_test::CardReply& r : card.NewReplies()) {
        if ((r.flags & 2) == flags && r.forced == forced) return true;
      }
      return false;
    };
  };
  Script script;
  script.steps = {
      {"flag 2 with mask 0 after opening", reply(2, 0),
       [](HWND d) {
         Tick(d, 1);
         Tick(d, 8);
       }},
      {"mask 0x81 after ticking Y1 and Y8", reply(2, 0x81),
       [](HWND d) {
         trevna_test::SaveScreenArtifact(d, "output_test_ticked");
         Tick(d, 1);
       }},
      {"mask 0x80 after unticking Y1", reply(2, 0x80),
       [&](HWND d) {
         EXPECT_EQ(state.Read().mask, 0x80);
         Tick(d, 2);  // ticked again when the dialog closes
         SendMessageW(GetDlgItem(d, IDCANCEL), BM_CLICK, 0, 0);
       }},
  };
  script.Run(state);
  EXPECT_EQ(script.failure, "");
  EXPECT_FALSE(state.Read().open);
  EXPECT_EQ(state.Read().mask, 0);
  // After closing, the replies return to no flag 2 and mask 0.
  card.NewReplies();
  std::ostringstream seen;
  const bool cleared = logic_test::PollUntil([&] {
    for (const logic_test::CardReply& r : card.NewReplies()) {
      seen << " " << r.flags << "/" << r.forced;
      if ((r.flags & 2) == 0 && r.forced == 0) return true;
    }
    return false;
  });
  EXPECT_TRUE(cleared) << "replies (flags/forced):" << seen.str();
  card.Stop();
}

TEST(OutputTestDialog, OpensAndClosesWithoutAStream) {
  device::OutputTestState state;
  std::vector<std::uint8_t> masks;
  Script script;
  script.steps = {
      {"the dialog", Always,
       [&](HWND d) {
         masks.push_back(state.Read().open ? 1 : 0);
         Tick(d, 3);
         masks.push_back(state.Read().mask);
         SendMessageW(d, WM_COMMAND, IDCANCEL, 0);  // the close box and Esc take this path
       }},
  };
  script.Run(state);
  EXPECT_EQ(script.failure, "");
  EXPECT_EQ(masks, (std::vector<std::uint8_t>{1, 0x04}));
  EXPECT_FALSE(state.Read().open);
  EXPECT_EQ(state.Read().mask, 0);
}

}  // namespace
