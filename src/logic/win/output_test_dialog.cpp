#include "logic/win/output_test_dialog.h"

#include "resource_ids.h"

// The boxes are numbered in the order of the outputs.
static_assert(IDC_FORCE_Y2 == IDC_FORCE_Y1 + 1 && IDC_FORCE_Y3 == IDC_FORCE_Y1 + 2 && IDC_FORCE_Y4 == IDC_FORCE_Y1 + 3 &&
              IDC_FORCE_Y5 == IDC_FORCE_Y1 + 4 && IDC_FORCE_Y6 == IDC_FORCE_Y1 + 5 && IDC_FORCE_Y7 == IDC_FORCE_Y1 + 6 &&
              IDC_FORCE_Y8 == IDC_FORCE_Y1 + 7);

namespace {

constexpr int kOutputs = 8;

}  // namespace

std::uint8_t OutputTestDialog::TickedMask() const {
  std::uint8_t mask = 0;
  for (int k = 0; k < kOutputs; ++k) {
    if (IsDlgButtonChecked(dialog, IDC_FORCE_Y1 + k) == BST_CHECKED) mask = static_cast<std::uint8_t>(mask | (1u << k));
  }
  return mask;
}

INT_PTR OutputTestDialog::DialogProc(HWND, UINT message, WPARAM wparam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      state_.Open();  // every box starts unticked, matching mask 0
      return TRUE;
    case WM_COMMAND: {
      const int id = LOWORD(wparam);
      if (id >= IDC_FORCE_Y1 && id < IDC_FORCE_Y1 + kOutputs && HIWORD(wparam) == BN_CLICKED) {
        state_.SetMask(TickedMask());
        return TRUE;
      }
      if (id == IDCANCEL) {
        EndDialog(dialog, IDCANCEL);
        return TRUE;
      }
      return FALSE;
    }
    default:
      return FALSE;
  }
}

void RunOutputTest(HWND owner, device::OutputTestState& state) {
  OutputTestDialog dialog(state);
  DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_OUTPUT_TEST), owner, &Dialog::SharedDialogProc,
                  reinterpret_cast<LPARAM>(&dialog));
  state.Close();
}
