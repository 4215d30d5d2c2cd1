#include "device/discovery.h"

#include <cstring>
#include <vector>

#include "base/socket.h"
#include "base/trace.h"

namespace device {

std::string AnnouncementAlias(const char* data, std::size_t size) {
  static const char magic[] = "DARIRE\n";
  static const char acting[] = "acting as vemo\n";
  static const char aliasStart[] = "alias `";
  const std::size_t magicLength = sizeof magic - 1;
  const std::size_t actingLength = sizeof acting - 1;
  const std::size_t aliasLength = sizeof aliasStart - 1;
  std::string alias;
  if (size < magicLength || std::memcmp(data, magic, magicLength) != 0) return alias;
  std::size_t i = magicLength;
  while (i < size && data[i] != '\0') {
    if (size - i >= actingLength && std::memcmp(data + i, acting, actingLength) == 0) {
      i += actingLength;
    } else if (size - i >= aliasLength && std::memcmp(data + i, aliasStart, aliasLength) == 0) {
      i += aliasLength;
      alias.clear();
      while (i < size && data[i] != '\0' && data[i] != '\n' && data[i] != '`') {
        if (alias.size() < 63) alias += data[i];
        ++i;
      }
      if (i + 1 < size && data[i] == '`' && data[i + 1] == '\n') {
        i += 2;
      } else {
        break;  // unterminated alias line: keep what was read, stop
      }
    } else {
      break;
    }
  }
  return alias;
}

std::string DeviceItemText(std::uint32_t address, const std::string& alias) {
  const std::string dotted = net::DottedAddress(address);
  if (alias.empty()) return dotted;
  return alias + " (" + dotted + ")";
}

DeviceList::DeviceList(DeviceListSink* sink) : sink_(sink) {
  addresses_.push_back(0);
  if (sink_) sink_->AddItem(DeviceItemText(0, ""));
}

void DeviceList::AddDevice(std::uint32_t address, const std::string& alias) {
  if (!sink_) return;
  {
    std::lock_guard lock(mutex_);
    for (std::uint32_t known : addresses_) {
      if (known == address) return;
    }
    if (addresses_.size() >= kMaxEntries) return;
    addresses_.push_back(address);
  }
  // The array is appended first, so it is never shorter than the list box.
  sink_->AddItem(DeviceItemText(address, alias));
}

std::uint32_t DeviceList::AddressAt(int index) const {
  std::lock_guard lock(mutex_);
  if (index < 0 || static_cast<std::size_t>(index) >= addresses_.size()) return 0;
  return addresses_[static_cast<std::size_t>(index)];
}

std::size_t DeviceList::Count() const {
  std::lock_guard lock(mutex_);
  return addresses_.size();
}

ScanThread::ScanThread(DeviceList* list, std::uint16_t port) : Thread("Scan"), list_(list), port_(port) {}

ScanThread::~ScanThread() { Stop(); }

bool ScanThread::Listening() const {
  std::lock_guard lock(mutex_);
  return listening_;
}

int ScanThread::Run() {
  net::NetworkStartup network;
  if (!network.Ok()) return 1;
  net::Socket socket = net::Socket::Udp();
  if (!socket.Valid()) return -1;
  // Several programs on one PC (or tests) may listen to the same announcements.
  socket.SetReuseAddress();
  if (!socket.SetNonBlocking(true) || !socket.Bind(0, port_)) return -1;
  {
    std::lock_guard lock(mutex_);
    listening_ = true;
  }
  // Room for the largest datagram: a receive into a smaller buffer cuts the datagram on some
  // systems and fails on others (Windows), and every sender must count the same.
  std::vector<char> buffer(65536);
  while (!WaitForStop(0)) {
    std::uint32_t sender = 0;
    long received = socket.ReceiveFrom(buffer.data(), buffer.size(), &sender);
    if (received > 0) {
      if (static_cast<std::size_t>(received) > kAnnouncementBytes) received = static_cast<long>(kAnnouncementBytes);
      Trace("%s: Found %u.%u.%u.%u\n", "ScanThread::Run", (sender >> 24) & 0xFFu, (sender >> 16) & 0xFFu,
            (sender >> 8) & 0xFFu, sender & 0xFFu);
      const std::string alias = AnnouncementAlias(buffer.data(), static_cast<std::size_t>(received));
      if (list_) list_->AddDevice(sender, alias);
    }
    socket.WaitReadable(1000);
  }
  return 0;
}

}  // namespace device
