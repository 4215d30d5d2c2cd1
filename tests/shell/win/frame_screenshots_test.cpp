// Pictures of the main window as the program builds it (build/windows/artifacts/): each tab with
// a document over the simulated card's pictures and the card's live video, each menu opened, and
// the About dialog. The pictures are taken from the screen, so the caption, the menu bar and
// dropped menus are in them.
#include <gtest/gtest.h>

#include <string>

#include "app/win/about_dialog.h"
#include "base/text.h"
#include "resource_ids.h"
#include "support/win_artifacts.h"
#include "frame_test_support.h"
#include "scenario_fixture.h"

using namespace frame_test;

namespace {

using trevna_test::CaptureScreen;
using trevna_test::SaveScreenArtifact;

// The menu being tracked: saved with the frame behind it, then closed.
struct MenuShot {
  HWND frame = nullptr;
  std::string name;
  bool saved = false;
  int items = 0;
};
MenuShot* g_shot = nullptr;

void CALLBACK TakeMenuShot(HWND hwnd, UINT, UINT_PTR timer, DWORD) {
  KillTimer(hwnd, timer);
  HWND popup = FindWindowW(L"#32768", nullptr);
  if (popup && IsWindowVisible(popup)) {
    RECT frame{}, menu{}, both{};
    GetWindowRect(g_shot->frame, &frame);
    GetWindowRect(popup, &menu);
    UnionRect(&both, &frame, &menu);
    OffscreenBitmap picture;
    g_shot->saved = CaptureScreen(both, picture) && !trevna_test::SaveArtifact(picture, g_shot->name).empty();
  }
  EndMenu();
}

// The main window as a technician sees it: "Symulator 1" chosen in the device list, its live
// video on the first tab; on the second a document with detectors whose backgrounds were taken
// from that video ("Tło z obrazu na żywo").
using MainWindowPictures = Scenario;

TEST_F(MainWindowPictures, EachTabWithADocumentOverTheCardsPictures) {
  MainFrame& frame = Frame();
  ChooseSimulator();
  if (HasFatalFailure()) return;
  RenderState document = RenderState::New();
  document.pictures.resize(4, SharedWhitePicture());
  frame_test::AddRoadDetectors(document);
  frame.Doc().Replace(std::move(document), "");
  frame.Editor().DocumentReplaced();
  rig->ClickTab(1);
  rig->Command(IDM_BACKGROUND_LIVE);
  ASSERT_GE(State().pictures.size(), 4u);
  for (std::size_t track = 0; track < 4; ++track)
    EXPECT_NE(State().pictures[track]->pixels, Picture{}.pixels) << "track " << track << " has no picture of the card";
  for (int tab : {0, 1}) {
    rig->ClickTab(tab);
    RedrawWindow(frame.window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    rig->Idle();
    EXPECT_TRUE(SaveScreenArtifact(frame.window, tab == 0 ? "frame_tab_video" : "frame_tab_detectors"));
  }
}

TEST(FrameScreenshots, EachMenuOpened) {
  FrameRig rig(ApplicationParts);
  HWND frame = rig.frame->window;
  SetForegroundWindow(frame);
  const char* names[] = {"file", "edit", "view", "insert", "connection", "tools", "help"};
  HMENU bar = GetMenu(frame);
  for (int i = 0; i < 7; ++i) {
    MenuShot shot{frame, std::string("frame_menu_") + names[i]};
    g_shot = &shot;
    RECT item{};
    GetMenuItemRect(frame, bar, static_cast<UINT>(i), &item);
    HiliteMenuItem(frame, bar, static_cast<UINT>(i), MF_BYPOSITION | MF_HILITE);
    SetTimer(frame, 77, 300, TakeMenuShot);
    TrackPopupMenuEx(GetSubMenu(bar, i), TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RETURNCMD, item.left, item.bottom, frame,
                     nullptr);
    HiliteMenuItem(frame, bar, static_cast<UINT>(i), MF_BYPOSITION | MF_UNHILITE);
    g_shot = nullptr;
    EXPECT_TRUE(shot.saved) << names[i];
    rig.Idle();
  }
}

// The About dialog, while it is open: its texts, the link, a picture; then "Zamknij".
struct AboutCheck {
  std::wstring version, description;
  bool saved = false;
};
AboutCheck* g_about = nullptr;

void CALLBACK InspectAbout(HWND hwnd, UINT, UINT_PTR timer, DWORD) {
  KillTimer(hwnd, timer);
  HWND dialog = FindWindowW(L"#32770", L"O programie");
  if (!dialog) return;
  wchar_t text[256] = {};
  GetDlgItemTextW(dialog, IDC_ABOUT_VERSION, text, 256);
  g_about->version = text;
  GetDlgItemTextW(dialog, IDC_ABOUT_DESCRIPTION, text, 256);
  g_about->description = text;
  RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
  g_about->saved = SaveScreenArtifact(dialog, "about_dialog");
  NMHDR click{GetDlgItem(dialog, IDC_ABOUT_LINK), IDC_ABOUT_LINK, static_cast<UINT>(NM_CLICK)};
  SendMessageW(dialog, WM_NOTIFY, IDC_ABOUT_LINK, reinterpret_cast<LPARAM>(&click));
  PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
}

class RecordingShell : public ShellLauncher {
 public:
  void Open(HWND, const std::wstring& target) override { opened.push_back(target); }
  std::vector<std::wstring> opened;
};

TEST(FrameScreenshots, AboutDialogShowsTheProductAndOpensTheMakersPage) {
  FrameRig rig(ApplicationParts);
  AboutCheck check;
  g_about = &check;
  RecordingShell shell;
  SetTimer(rig.frame->window, 78, 300, InspectAbout);
  EXPECT_EQ(RunAboutDialog(rig.frame->window, shell), 2);
  g_about = nullptr;
  EXPECT_EQ(check.version, L"Wersja 1.1.7");
  EXPECT_EQ(check.description, WideFromUtf8("Program narzędziowy programowania kart detekcji wizyjnej Trevna-2.2"));
  EXPECT_TRUE(check.saved);
  EXPECT_EQ(shell.opened, std::vector<std::wstring>{L"https://trevna.example/"});
}

}  // namespace
