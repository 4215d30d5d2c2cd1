// Checks that the Wine prefix has Wine's own fonts: for each face asked for, the face GDI gives
// must be that face (a missing font is silently replaced by another one, and then the caption
// buttons read "0 1 r" instead of Marlett's glyphs). Exit code 0 when all are there.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <initializer_list>

int wmain() {
  HDC dc = CreateCompatibleDC(nullptr);
  int missing = 0;
  for (const wchar_t* face : {L"Marlett", L"Symbol", L"Tahoma"}) {
    LOGFONTW font{};
    font.lfHeight = -16;
    font.lfCharSet = DEFAULT_CHARSET;
    std::wcsncpy(font.lfFaceName, face, LF_FACESIZE - 1);
    HFONT handle = CreateFontIndirectW(&font);
    HGDIOBJ old = SelectObject(dc, handle);
    wchar_t got[LF_FACESIZE] = L"";
    GetTextFaceW(dc, LF_FACESIZE, got);
    SelectObject(dc, old);
    DeleteObject(handle);
    if (std::wcscmp(got, face) == 0) {
      std::wprintf(L"font %ls: present\n", face);
    } else {
      std::fwprintf(stderr, L"font %ls: missing, GDI gives %ls\n", face, got);
      ++missing;
    }
  }
  DeleteDC(dc);
  return missing == 0 ? 0 : 1;
}
