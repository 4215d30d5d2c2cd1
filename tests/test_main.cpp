#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>

namespace {

// Every test remembers the cards' SSH host keys in a file of its own (TREVNA_KNOWN_CARDS, read
// by the device engine and inherited by the programs a test starts), so simulated cards with
// fresh keys never meet a key another test remembered, and the user's own file stays untouched.
class OwnKnownCardsFile : public testing::EmptyTestEventListener {
 public:
  void OnTestStart(const testing::TestInfo&) override {
    static std::atomic<unsigned> counter{0};
    static const unsigned long long token = std::random_device{}() ^
        static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
    path_ = (std::filesystem::temp_directory_path() /
             ("trevna-known-cards-" + std::to_string(token) + "-" + std::to_string(counter++)))
                .string();
#ifdef _WIN32
    _putenv_s("TREVNA_KNOWN_CARDS", path_.c_str());
#else
    setenv("TREVNA_KNOWN_CARDS", path_.c_str(), 1);
#endif
  }
  void OnTestEnd(const testing::TestInfo&) override {
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
  }

 private:
  std::string path_;
};

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  testing::UnitTest::GetInstance()->listeners().Append(new OwnKnownCardsFile);
  return RUN_ALL_TESTS();
}
