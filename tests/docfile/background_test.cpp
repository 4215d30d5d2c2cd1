#include "doc/background.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "base/bitmap_file.h"
#include "base/text.h"
#include "doc/document.h"
#include "doc/document_file.h"
#include "doc/file_commands.h"
#include "support/recording_updates.h"
#include "docfile_test_support.h"

namespace {

// A valid 24-bit bitmap of the width; pixel (x, row from the bottom) gets blue x, green row, red 7.
std::string Bitmap(std::uint32_t width) {
  std::string rows;
  for (std::uint32_t row = 0; row < 144; ++row)
    for (std::uint32_t x = 0; x < width; ++x) {
      rows += static_cast<char>(x & 0xFF);
      rows += static_cast<char>(row);
      rows += static_cast<char>(7);
    }
  return BitmapFile(BitmapFormat{width, 144, 24, 0, false}, rows);
}

std::string Refusal(const std::string& file) {
  try {
    CheckBitmap(file);
  } catch (const std::runtime_error& e) {
    return Utf8FromCp1250(e.what());
  }
  return "(accepted)";
}

TEST(BitmapChecks, EachCheckWithItsText) {
  const std::string good = Bitmap(180);
  EXPECT_EQ(Refusal(good), "(accepted)");
  EXPECT_EQ(Refusal(Bitmap(192)), "(accepted)");
  EXPECT_EQ(Refusal(Bitmap(240)), "(accepted)");
  EXPECT_EQ(Refusal(good.substr(0, 53)), "Niepoprawny plik bitmapy.");
  std::string s = good;
  s[0] = 'X';
  EXPECT_EQ(Refusal(s), "Niepoprawna sygnatura nagłówka bitampy.");
  s = good;
  StoreU16(s.data() + 8, 1);
  EXPECT_EQ(Refusal(s), "Niepoprawny nagłówek bitampy.");
  s = good;
  StoreU32(s.data() + 14, 124);
  EXPECT_EQ(Refusal(s), "Niepoprawny rozmiar nagłówka bitmapy.");
  s = good;
  StoreU16(s.data() + 26, 2);
  EXPECT_EQ(Refusal(s), "Niepoprawna liczba warstw bitmapy.");
  s = good;
  StoreU16(s.data() + 28, 32);
  EXPECT_EQ(Refusal(s), "Niepoprawna głebia koloru obrazu bitmapy (musi być 24-bitowa).");
  s = good;
  StoreU32(s.data() + 18, 181);
  EXPECT_EQ(Refusal(s), "Niepoprawne wymiary obrazu bitmapy (muszą wynosić 180x144, 192x144 lub 240x144).");
  s = good;
  StoreU32(s.data() + 22, static_cast<std::uint32_t>(-144));  // top-down rows are refused
  EXPECT_EQ(Refusal(s), "Niepoprawne wymiary obrazu bitmapy (muszą wynosić 180x144, 192x144 lub 240x144).");
  s = good;
  StoreU32(s.data() + 10, 54 + 1024);  // a colour table
  EXPECT_EQ(Refusal(s), "Niepoprawny plik bitmapy.");
  EXPECT_EQ(Refusal(good + "x"), "Niepoprawny rozmiar pliku bitmapy.");
  EXPECT_EQ(Refusal(good.substr(0, good.size() - 1)), "Niepoprawny rozmiar pliku bitmapy.");
}

TEST(BitmapChecks, OrderDecidesTheText) {
  // A compressed 8-bit file: the compression message comes before the depth message.
  std::string s = Bitmap(180);
  StoreU16(s.data() + 28, 8);
  StoreU32(s.data() + 30, 1);
  EXPECT_EQ(Refusal(s), "Niepoprawny format kodowania obrazu bitmapy.");
  // Wrong size and wrong offset: the offset is checked first.
  s = Bitmap(180) + "tail";
  StoreU32(s.data() + 10, 58);
  EXPECT_EQ(Refusal(s), "Niepoprawny plik bitmapy.");
  // Bad signature and bad header size: the signature first.
  s = Bitmap(180);
  s[1] = 'A';
  StoreU32(s.data() + 14, 12);
  EXPECT_EQ(Refusal(s), "Niepoprawna sygnatura nagłówka bitampy.");
  // 54 bytes of zeros: the signature.
  EXPECT_EQ(Refusal(std::string(54, '\0')), "Niepoprawna sygnatura nagłówka bitampy.");
}

TEST(ImportBitmap, CentresNarrowFilesAndKeepsOtherColumns) {
  const std::string file = Bitmap(192);
  const AcceptedBitmap bitmap = CheckBitmap(file);
  Picture picture;
  picture.SetGrey(0, 0, 11);
  picture.SetGrey(239, 143, 22);
  ImportBitmap(picture, reinterpret_cast<const std::uint8_t*>(bitmap.pixels.data()), bitmap.width);
  EXPECT_EQ(picture.Grey(0, 0), 11);
  EXPECT_EQ(picture.Grey(23, 50), 255);
  EXPECT_EQ(picture.Grey(216, 50), 255);
  EXPECT_EQ(picture.Grey(239, 143), 22);
  // Canvas (24 + x, y) takes file pixel x of row 143 - y: blue x, green 143 - y, red 7.
  auto grey = [](unsigned b, unsigned g, unsigned r) { return (7 * b + 72 * g + 21 * r) / 100; };
  EXPECT_EQ(picture.Grey(24, 0), grey(0, 143, 7));
  EXPECT_EQ(picture.Grey(24 + 100, 43), grey(100, 100, 7));
  EXPECT_EQ(picture.Grey(215, 143), grey(191, 0, 7));
  const std::size_t at = picture.Offset(100, 20);
  EXPECT_EQ(picture.pixels[at], picture.pixels[at + 2]);

  Picture whole;
  const std::string wide = Bitmap(240);
  ImportBitmap(whole, reinterpret_cast<const std::uint8_t*>(CheckBitmap(wide).pixels.data()), 240);
  EXPECT_EQ(whole.Grey(0, 143), grey(0, 0, 7));
  EXPECT_EQ(whole.Grey(239, 0), grey(239, 143, 7));
}

class FakeDialogs : public FileDialogs {
 public:
  SaveAnswer AskYesNoCancel(const std::wstring& text, const std::wstring& title) override {
    questions.push_back(text + L"|" + title);
    return answer;
  }
  bool ChooseFile(const FileRequest& request, std::string& path) override {
    requests.push_back(request);
    if (chosen.empty()) return false;
    path = chosen;
    return true;
  }
  SaveAnswer answer = SaveAnswer::Cancel;
  std::string chosen;
  std::vector<std::wstring> questions;
  std::vector<FileRequest> requests;
};

TEST(Background, FromFileMakesOneUndoableRevision) {
  docfile_test::TempFolder folder("background");
  RecordingUpdates updates;
  Document document(updates);
  FakeDialogs dialogs;
  EXPECT_FALSE(LoadBackgroundFromFile(document, 0, dialogs));  // cancelled
  EXPECT_EQ(document.RevisionCount(), 1u);
  EXPECT_EQ(dialogs.requests.at(0).filterName, L"Pliki bitmap (*.bmp)");
  EXPECT_EQ(dialogs.requests.at(0).defaultExtension, L"bmp");

  dialogs.chosen = folder.File("tlo.bmp");
  docfile_test::WriteBytes(dialogs.chosen, Bitmap(240));
  EXPECT_FALSE(LoadBackgroundFromFile(document, 2, dialogs));  // no picture for track C
  EXPECT_TRUE(LoadBackgroundFromFile(document, 1, dialogs));
  EXPECT_EQ(document.RevisionCount(), 2u);
  EXPECT_NE(document.Current().pictures[1]->Grey(0, 0), 255);
  EXPECT_EQ(document.Current().pictureWidth, 180);
  document.StepBack();
  EXPECT_EQ(document.Current().pictures[1]->Grey(0, 0), 255);

  docfile_test::WriteBytes(dialogs.chosen, Bitmap(240).substr(0, 60));
  EXPECT_THROW(LoadBackgroundFromFile(document, 1, dialogs), std::runtime_error);
  EXPECT_EQ(document.RevisionCount(), 2u);
}

TEST(Background, FromLiveVideoCopiesEachShownTrack) {
  RecordingUpdates updates;
  Document document(updates);
  std::vector<Picture> live(4);
  live[0].SetGrey(5, 5, 1);
  live[1].pixels[0] = 42;  // copied as it is, not made grey
  live[2].SetGrey(9, 9, 3);
  BackgroundFromLiveVideo(document, live);
  EXPECT_EQ(document.RevisionCount(), 2u);
  ASSERT_EQ(document.Current().pictures.size(), 2u);
  EXPECT_EQ(document.Current().pictures[0].Read(), live[0]);
  EXPECT_EQ(document.Current().pictures[1].Read(), live[1]);
  EXPECT_TRUE(document.Modified());
}

TEST(FileCommands, AskToSaveAndSaveAs) {
  docfile_test::TempFolder folder("commands");
  RecordingUpdates updates;
  Document document(updates);
  FakeDialogs dialogs;
  EXPECT_TRUE(AskToSave(document, dialogs));  // not modified: no question
  EXPECT_TRUE(dialogs.questions.empty());

  document.NewRenderState();
  dialogs.answer = SaveAnswer::Cancel;
  EXPECT_FALSE(AskToSave(document, dialogs));
  EXPECT_EQ(dialogs.questions.at(0), WideFromUtf8("Czy chcesz zapisać zmiany?|Zapisz..."));
  dialogs.answer = SaveAnswer::No;
  EXPECT_TRUE(AskToSave(document, dialogs));
  EXPECT_TRUE(document.Modified());

  // Yes with no path asks for a name; cancelling that stops.
  dialogs.answer = SaveAnswer::Yes;
  EXPECT_FALSE(AskToSave(document, dialogs));
  ASSERT_FALSE(dialogs.requests.empty());
  const FileRequest& request = dialogs.requests.back();
  EXPECT_TRUE(request.save);
  EXPECT_EQ(request.proposedName, L"Nowy dokument.trv");
  EXPECT_EQ(request.filterName, L"Dokument Trevna (*.trv)");
  EXPECT_EQ(request.initialFolder, L"C:\\");

  dialogs.chosen = folder.File("zapis.trv");
  EXPECT_TRUE(AskToSave(document, dialogs));
  EXPECT_FALSE(document.Modified());
  EXPECT_EQ(document.Path(), dialogs.chosen);
  EXPECT_TRUE(std::filesystem::exists(dialogs.chosen));

  // With a path, Save writes without asking; Save as always proposes the new-document name.
  document.NewRenderState();
  const std::size_t asked = dialogs.requests.size();
  EXPECT_TRUE(SaveCommand(document, dialogs));
  EXPECT_EQ(dialogs.requests.size(), asked);
  dialogs.chosen = folder.File("inny.trv");
  EXPECT_TRUE(SaveAsCommand(document, dialogs));
  EXPECT_EQ(dialogs.requests.back().proposedName, L"Nowy dokument.trv");
  EXPECT_EQ(document.Path(), dialogs.chosen);
}

TEST(FileCommands, OpenAsksFirstAndLoads) {
  docfile_test::TempFolder folder("open");
  RecordingUpdates updates;
  Document source(updates);
  source.NewRenderState().pictureWidth = 240;
  const std::string path = folder.File("otwarty.trv");
  SaveDocument(source, path);

  Document document(updates);
  document.NewRenderState();
  FakeDialogs dialogs;
  dialogs.answer = SaveAnswer::Cancel;
  dialogs.chosen = path;
  EXPECT_FALSE(OpenCommand(document, dialogs));
  EXPECT_TRUE(dialogs.requests.empty());
  dialogs.answer = SaveAnswer::No;
  EXPECT_TRUE(OpenCommand(document, dialogs));
  EXPECT_FALSE(dialogs.requests.at(0).save);
  EXPECT_EQ(document.Current().pictureWidth, 240);
  EXPECT_EQ(document.Path(), path);
  EXPECT_FALSE(document.Modified());
  // A failed load propagates its text and leaves the document.
  docfile_test::WriteBytes(path, "");
  EXPECT_THROW(OpenCommand(document, dialogs), std::runtime_error);
  EXPECT_EQ(document.Current().pictureWidth, 240);
}

}  // namespace
