// Card discovery: the announcement datagrams cards send to UDP port 21060, the device list's
// address array, and ScanThread, the worker that listens for them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "device/sinks.h"
#include "base/thread.h"

namespace device {

// The alias carried by an announcement ("DARIRE\n", then any number of "acting as vemo\n" and
// "alias `name`\n" lines; the last alias wins, cut at 63 characters). Empty when there is none
// or the datagram is no announcement (it still counts as a sighting of its sender).
std::string AnnouncementAlias(const char* data, std::size_t size);

// Item text of the device list: "alias (a.b.c.d)", or the dotted address alone.
std::string DeviceItemText(std::uint32_t address, const std::string& alias);

// The device list's model: one address per list item, in list order. Entry 0 is 0.0.0.0, the
// no-card choice. AddDevice runs on the discovery worker while the UI thread reads addresses,
// so every access is serialised. The sink is called from the worker: in the program it is a
// PostedDeviceListSink (device/posted_sinks.h), by the rule in device/sinks.h; the array is
// appended before the item is posted, so it is never shorter than the list box.
class DeviceList {
 public:
  // Any sender is listed, but spoofed senders must not grow the list without end: beyond this
  // many entries (0.0.0.0 included) new senders are dropped.
  static constexpr std::size_t kMaxEntries = 256;

  // Adds the 0.0.0.0 entry (also to the sink, when there is one). `sink` outlives the list.
  explicit DeviceList(DeviceListSink* sink);

  // Does nothing without a sink (no list window), for an address already listed or when the
  // list is full; otherwise appends the address, then the item text.
  void AddDevice(std::uint32_t address, const std::string& alias);
  // Address of item `index`; 0 when the index is negative or outside the array.
  std::uint32_t AddressAt(int index) const;
  std::size_t Count() const;

 private:
  mutable std::mutex mutex_;
  DeviceListSink* sink_;
  std::vector<std::uint32_t> addresses_;
};

// The part of a datagram that counts: its first kAnnouncementBytes bytes, however long it was
// (a longer datagram is cut, never dropped, on every system).
inline constexpr std::size_t kAnnouncementBytes = 1023;

// Listens on UDP port `port` (21060 by default) and adds every sender to the list.
class ScanThread : public Thread {
 public:
  explicit ScanThread(DeviceList* list, std::uint16_t port = 21060);
  ~ScanThread() override;

  // True once the socket is bound (for tests and the command line).
  bool Listening() const;

 protected:
  int Run() override;

 private:
  DeviceList* list_;
  std::uint16_t port_;
  mutable std::mutex mutex_;
  bool listening_ = false;
};

}  // namespace device
