// Feeds arbitrary datagrams to the announcement reader and the device list, as ScanThread does:
// the alias is at most 63 characters of the datagram, the list never grows past its cap, and
// every address is listed once.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "device/discovery.h"

namespace {

struct CountingList : device::DeviceListSink {
  std::size_t items = 0;
  void AddItem(const std::string& text) override {
    if (text.size() > 63 + 18) std::abort();  // alias, " (", dotted address, ")"
    ++items;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const char* text = reinterpret_cast<const char*>(data);
  const std::size_t counted = size < device::kAnnouncementBytes ? size : device::kAnnouncementBytes;
  const std::string alias = device::AnnouncementAlias(text, counted);
  if (alias.size() > 63 || alias.find('\n') != std::string::npos || alias.find('`') != std::string::npos ||
      alias.find('\0') != std::string::npos) {
    std::abort();
  }
  if (!alias.empty() && (counted < 7 || std::memcmp(text, "DARIRE\n", 7) != 0)) std::abort();
  // Every 4 bytes of the datagram as a sender: a flood of spoofed sources.
  CountingList sink;
  device::DeviceList list(&sink);
  for (std::size_t i = 0; i + 4 <= size; i += 4) {
    std::uint32_t sender = 0;
    std::memcpy(&sender, data + i, 4);
    list.AddDevice(sender & 0x3FF, alias);  // few distinct values, so repeats happen
    list.AddDevice(sender, alias);
  }
  if (list.Count() > device::DeviceList::kMaxEntries || sink.items != list.Count()) std::abort();
  return 0;
}
