#include "doc/background.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "base/bytes.h"
#include "base/file.h"
#include "base/text.h"
#include "doc/document.h"
#include "doc/file_commands.h"

namespace {

[[noreturn]] void Refuse(const char* utf8Text) { throw std::runtime_error(Cp1250FromUtf8(utf8Text)); }

}  // namespace

AcceptedBitmap CheckBitmap(std::string_view file) {
  if (file.size() < 54) Refuse("Niepoprawny plik bitmapy.");
  if (LoadU16(file.data()) != 0x4D42) Refuse("Niepoprawna sygnatura nagłówka bitampy.");
  if (LoadU16(file.data() + 6) != 0 || LoadU16(file.data() + 8) != 0) Refuse("Niepoprawny nagłówek bitampy.");
  if (LoadU32(file.data() + 14) != 40) Refuse("Niepoprawny rozmiar nagłówka bitmapy.");
  if (LoadU16(file.data() + 26) != 1) Refuse("Niepoprawna liczba warstw bitmapy.");
  if (LoadU32(file.data() + 30) != 0) Refuse("Niepoprawny format kodowania obrazu bitmapy.");
  if (LoadU16(file.data() + 28) != 24) Refuse("Niepoprawna głebia koloru obrazu bitmapy (musi być 24-bitowa).");
  const std::uint32_t width = LoadU32(file.data() + 18);
  if ((width != 180 && width != 192 && width != 240) || LoadU32(file.data() + 22) != 144)
    Refuse("Niepoprawne wymiary obrazu bitmapy (muszą wynosić 180x144, 192x144 lub 240x144).");
  if (LoadU32(file.data() + 10) != 54) Refuse("Niepoprawny plik bitmapy.");
  if (file.size() != std::size_t{width} * 432 + 54) Refuse("Niepoprawny rozmiar pliku bitmapy.");
  return AcceptedBitmap{static_cast<std::int32_t>(width), file.substr(54)};
}

void ImportBitmap(Picture& picture, const std::uint8_t* pixelData, std::int32_t width) {
  const std::int32_t columns = std::clamp(width, 0, Picture::kCanvasWidth);
  const int left = (Picture::kCanvasWidth - columns) / 2;
  const std::size_t rowBytes = static_cast<std::size_t>(width) * 3;
  for (int y = 0; y < Picture::kCanvasHeight && y < picture.height; ++y) {
    const std::uint8_t* row = pixelData + static_cast<std::size_t>(Picture::kCanvasHeight - 1 - y) * rowBytes;
    for (int x = 0; x < columns; ++x) {
      const std::uint8_t* p = row + static_cast<std::size_t>(x) * 3;
      const unsigned grey = (7u * p[0] + 72u * p[1] + 21u * p[2]) / 100u;
      if (picture.Contains(x + left, y)) picture.SetGrey(x + left, y, static_cast<std::uint8_t>(grey));
    }
  }
}

std::string ReadBitmapFile(const std::string& path) {
  File file(path, "rb");
  std::string data = file.ReadAll();
  CheckBitmap(data);
  return data;
}

bool LoadBackgroundFromFile(Document& document, std::int32_t track, FileDialogs& dialogs) {
  if (track < 0 || static_cast<std::size_t>(track) >= document.Current().pictures.size()) return false;
  std::string path;
  if (!dialogs.ChooseFile(BitmapOpenRequest(), path)) return false;
  const std::string data = ReadBitmapFile(path);
  const AcceptedBitmap bitmap = CheckBitmap(data);
  RenderState& state = document.NewRenderState();
  ImportBitmap(state.pictures[static_cast<std::size_t>(track)].Write(),
               reinterpret_cast<const std::uint8_t*>(bitmap.pixels.data()), bitmap.width);
  return true;
}

void BackgroundFromLiveVideo(Document& document, const std::vector<Picture>& livePictures) {
  RenderState& state = document.NewRenderState();
  for (std::size_t i = 0; i < state.pictures.size() && i < livePictures.size(); ++i)
    state.pictures[i].Assign(livePictures[i]);
}
