#include "logic/win/tuning_frame.h"

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "base/text.h"
#include "doc/detector.h"
#include "doc/document.h"

namespace {

class MessageBoxQuestions : public TuningQuestions {
 public:
  bool ConfirmApply(HWND owner) override {
    return MessageBoxW(owner, WideFromUtf8("Zastosować wybrane wartości progów?").c_str(),
                       WideFromUtf8("Strojenie detektorów").c_str(), MB_ICONQUESTION | MB_YESNO) == IDYES;
  }
};

std::wstring WindowText(HWND control) {
  wchar_t text[17] = L"";
  GetWindowTextW(control, text, 17);
  return text;
}

void SetTextIfDifferent(HWND control, const std::wstring& text) {
  if (WindowText(control) != text) SetWindowTextW(control, text.c_str());
}

std::wstring Unsigned(std::uint32_t value) {
  wchar_t text[16];
  std::swprintf(text, 16, L"%u", value);
  return text;
}

}  // namespace

TuningFrame::TuningFrame()
    : state_([this] {
        // On the live worker: only ask for a repaint, which never waits for the UI thread.
        if (HWND view = graph_.load()) InvalidateRect(view, nullptr, FALSE);
      }),
      view_(state_),
      boxQuestions_(std::make_unique<MessageBoxQuestions>()),
      questions_(boxQuestions_.get()) {}

TuningFrame::~TuningFrame() = default;

void TuningFrame::SetQuestions(TuningQuestions* questions) {
  questions_ = questions ? questions : boxQuestions_.get();
}

HWND TuningFrame::AddControl(const wchar_t* className, const wchar_t* text, int id, int x, int y, int width,
                             DWORD style) {
  HWND control = CreateWindowExW(0, className, text, WS_CHILD | WS_VISIBLE | style, ScaledPixels(x), ScaledPixels(y),
                                 ScaledPixels(width), ScaledPixels(20), window,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), frame_->Instance(), nullptr);
  if (!control) throw std::runtime_error(Cp1250FromUtf8("Nie udało się utworzyć okna Tuningu."));
  WindowDc screen(window);
  const int height = -MulDiv(GetDeviceCaps(screen.Get(), LOGPIXELSY), 8, 72);
  FontHandle& font = fonts_[static_cast<std::size_t>(fontCount_++)];
  font.Reset(CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, 0, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                         DEFAULT_QUALITY, DEFAULT_PITCH, L"MS Shell Dlg"));
  SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font.Get()), FALSE);
  return control;
}

void TuningFrame::Create(FrameContext& frame, int top) {
  frame_ = &frame;
  const HINSTANCE instance = frame.Instance();
  // The layout is in pixels at 96 dots per inch, scaled to the screen like the font.
  RECT owner{};
  GetWindowRect(frame.MainWindow(), &owner);
  int x = owner.right - ScaledPixels(233);
  if (HWND panel = frame.Parameters().Handle()) {
    RECT rect{};
    GetWindowRect(panel, &rect);
    x = rect.left;
  }
  const std::wstring title = WideFromUtf8("Strojenie detektorów");
  CreateDescribedWindow(*this, {.className = L"TuningFrame",
                                .instance = instance,
                                .classStyle = CS_OWNDC | CS_HREDRAW,
                                .background = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1),
                                .exStyle = WS_EX_TOOLWINDOW,
                                .style = WS_CLIPCHILDREN | WS_OVERLAPPEDWINDOW,
                                .title = title.c_str(),
                                .x = x - ScaledPixels(284),
                                .y = top,
                                .width = ScaledPixels(280),
                                .height = ScaledPixels(600),
                                .parent = frame.MainWindow(),
                                .failure = "Nie udało się utworzyć okna Tuningu."});
  fontCount_ = 0;
  AddControl(L"Static", WideFromUtf8("Czułość detekcji").c_str(), kFeatureLabel, 9, 6, 100, 0);
  // Tab goes from box to button to box (the main loop gives the window dialog navigation).
  AddControl(L"Edit", L"", kFeatureEdit, 109, 6, 36, WS_BORDER | ES_NUMBER | ES_RIGHT | WS_TABSTOP);
  AddControl(L"Static", L"", kHorizontalReadout, 149, 6, 42, SS_SUNKEN | SS_WORDELLIPSIS);
  AddControl(L"Button", L"Resetuj", kReset, 199, 6, 60, WS_TABSTOP);
  AddControl(L"Static", WideFromUtf8("Próg detekcji").c_str(), kThresholdLabel, 9, 32, 100, 0);
  AddControl(L"Edit", L"", kThresholdEdit, 109, 32, 36, WS_BORDER | ES_NUMBER | ES_RIGHT | WS_TABSTOP);
  AddControl(L"Static", L"", kVerticalReadout, 149, 32, 42, SS_SUNKEN | SS_WORDELLIPSIS);
  RECT client{};
  GetClientRect(window, &client);
  view_.pointer = [this](int px, int py, bool click) { OnPointer(px, py, click); };
  const int edge = ScaledPixels(2);
  view_.Create(window, instance, RECT{edge, ScaledPixels(60), client.right - edge, client.bottom - edge});
  graph_.store(view_.window);
  Bind(nullptr);
}

void TuningFrame::Bind(const Detector* detector) {
  if (!window) return;
  binding_ = true;
  const bool enable = detector && !detector->contrast;
  for (int id : {kFeatureLabel, kFeatureEdit, kReset, kThresholdLabel, kThresholdEdit}) {
    EnableWindow(GetDlgItem(window, id), enable);
  }
  SetTextIfDifferent(GetDlgItem(window, kFeatureEdit),
                     detector ? Unsigned(static_cast<std::uint32_t>(detector->featureThreshold)) : L"");
  SetTextIfDifferent(GetDlgItem(window, kThresholdEdit),
                     detector ? Unsigned(static_cast<std::uint32_t>(detector->threshold)) : L"");
  binding_ = false;
  if (detector) {
    state_.Bind(detector->track, static_cast<int>(detector->number) - 1);
    view_.SetMarkers(detector->featureThreshold, detector->threshold);
  } else {
    state_.Bind(-1, -1);
    view_.SetMarkers(-1, -1);
  }
}

void TuningFrame::OnCommand(int id, int code) {
  if (id == kReset && code == BN_CLICKED) {
    state_.RequestReset();
    return;
  }
  if ((id != kFeatureEdit && id != kThresholdEdit) || code != EN_CHANGE || binding_ || !frame_) return;
  Document& document = frame_->Doc();
  const Detector* detector = document.Current().SelectedDetector();
  if (!detector) return;
  const int value = std::atoi(Cp1250FromWide(WindowText(GetDlgItem(window, id))).c_str());
  if (id == kFeatureEdit) {
    document.SetThresholds(value, detector->threshold);
  } else {
    document.SetThresholds(detector->featureThreshold, value);
  }
}

void TuningFrame::OnPointer(int x, int y, bool click) {
  const std::uint32_t total = state_.Sums()[device::TuningState::kValues - 1];
  if (total == 0) return;
  RECT client{};
  GetClientRect(view_.window, &client);
  const TuningView::Values values = TuningView::ValuesAt(x, y, client.right, client.bottom, total);
  if (!click) {
    SetWindowTextW(GetDlgItem(window, kHorizontalReadout), Unsigned(values.horizontal).c_str());
    SetWindowTextW(GetDlgItem(window, kVerticalReadout), Unsigned(values.vertical).c_str());
    return;
  }
  if (!frame_ || !questions_->ConfirmApply(window)) return;
  frame_->Doc().SetThresholds(static_cast<std::int32_t>(values.horizontal),
                                       static_cast<std::int32_t>(values.vertical));
}

void TuningFrame::OnSize(int width, int height) {
  if (!view_.window) return;
  RECT rect{};
  GetWindowRect(view_.window, &rect);
  POINT corner{rect.left, rect.top};
  ScreenToClient(window, &corner);
  const int edge = ScaledPixels(2);
  SetWindowPos(view_.window, nullptr, corner.x, corner.y, width - 2 * edge, height - corner.y - edge, SWP_NOZORDER);
}

LRESULT TuningFrame::WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_SIZE:
      OnSize(LOWORD(lparam), HIWORD(lparam));
      return 0;
    case WM_CLOSE:
      ShowWindow(hwnd, SW_HIDE);
      if (frame_) frame_->PanelClosed(Panel::Tuning);
      return 0;
    case WM_COMMAND:
      OnCommand(LOWORD(wparam), HIWORD(wparam));
      return 0;
    case WM_DESTROY:
      graph_.store(nullptr);
      return 0;
    default:
      return Window::WindowProc(hwnd, message, wparam, lparam);
  }
}
