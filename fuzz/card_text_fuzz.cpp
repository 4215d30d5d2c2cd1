// Feeds arbitrary card output to the readers of the card's texts: the key = value reader, the
// address parser, the hardware address, listings, archive names and the clock text. Nothing
// may read outside the text; the results keep their promises.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "base/socket.h"
#include "device/card_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  for (const char* key : {"ipaddr", "netmask", "gateway"}) {
    const std::string value = card::KeyValue(text, key);
    if (value.find('\n') != std::string::npos || value.find(';') != std::string::npos) std::abort();
    const auto address = card::PackAddress(value);
    // A parsed address prints back as the same text, or the text had leading zeros.
    if (address && net::DottedAddress(*address) != value && value.find('0') == std::string::npos) std::abort();
  }
  if (const auto hw = card::HardwareAddress(text); hw && hw->size() > 17) std::abort();
  std::size_t total = 0;
  for (const std::string& line : card::SplitListing(text)) {
    if (line.find('\n') != std::string::npos) std::abort();
    total += line.size() + 1;
    if (card::IsSafeArchiveName(line)) {
      if (line.find("..") != std::string::npos || line.find('\\') != std::string::npos || (!line.empty() && line[0] == '/')) {
        std::abort();
      }
      for (char c : line)
        if (static_cast<unsigned char>(c) < 0x20) std::abort();
    }
    const std::string shown = card::Printable(line);
    for (char c : shown)
      if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) std::abort();
    (void)card::UnsafeArchiveNameText(line);
    (void)card::ShellQuoted(line);
  }
  if (total > size + 1) std::abort();
  if (const auto t = card::ParseCardDate(text)) {
    const auto back = card::TimeFromSeconds(card::SecondsSinceEpoch(*t));
    if (back.year != t->year || back.month != t->month || back.day != t->day || back.second != t->second) std::abort();
    (void)card::SetDateCommand(*t);
  }
  return 0;
}
