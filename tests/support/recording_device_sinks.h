// Sinks that record what the device workers show, and waits on a worker, for tests
// (portable: native and under Wine).
#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "base/text.h"
#include "device/connection.h"
#include "device/sinks.h"

namespace recording {

struct StatusEvent {
  std::string text;  // UTF-8; empty for a position alone
  int position;      // -1 for ShowStatus
};

class Status : public device::StatusSink {
 public:
  void ShowStatus(const std::string& text) override { Add({Utf8FromCp1250(text), -1}); }
  void ShowProgress(const std::string& text, int position) override { Add({Utf8FromCp1250(text), position}); }
  std::vector<StatusEvent> Events() {
    std::lock_guard lock(mutex_);
    return events_;
  }
  // Texts in order (positions alone left out).
  std::vector<std::string> Texts() {
    std::vector<std::string> texts;
    for (const auto& e : Events()) {
      if (!e.text.empty()) texts.push_back(e.text);
    }
    return texts;
  }
  std::string Last() {
    const auto texts = Texts();
    return texts.empty() ? "" : texts.back();
  }
  void Clear() {
    std::lock_guard lock(mutex_);
    events_.clear();
  }

 private:
  void Add(StatusEvent e) {
    std::lock_guard lock(mutex_);
    events_.push_back(std::move(e));
  }
  std::mutex mutex_;
  std::vector<StatusEvent> events_;
};

// The device list (discovery) as item texts, in order.
class DeviceList : public device::DeviceListSink {
 public:
  void AddItem(const std::string& text) override {
    std::lock_guard lock(mutex_);
    items_.push_back(text);
  }
  std::vector<std::string> Items() {
    std::lock_guard lock(mutex_);
    return items_;
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> items_;
};

class Messages : public device::MessageSink {
 public:
  void ShowError(const std::string& text) override {
    std::lock_guard lock(mutex_);
    errors_.push_back(Utf8FromCp1250(text));
  }
  std::vector<std::string> Errors() {
    std::lock_guard lock(mutex_);
    return errors_;
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> errors_;
};

// The archive dialog as the user sees it: the item texts of both lists, the folder whose
// files are shown and the selected folder.
class ArchiveDialog : public device::ArchiveDialogSink {
 public:
  std::vector<std::string> folders, files;
  std::string filesFolder;
  int folderSelection = -1;
  int showFolderCalls = 0;

  void ShowFolders(const std::vector<device::ArchiveEntry>& entries) override {
    ++showFolderCalls;
    folders.clear();
    for (const auto& e : entries) folders.push_back(device::ArchiveItemText(e));
  }
  void ShowFiles(const std::string& folder, const std::vector<device::ArchiveEntry>& entries) override {
    filesFolder = folder;
    files.clear();
    for (const auto& e : entries) files.push_back(device::ArchiveItemText(e));
  }
  void MarkFileDownloaded(const std::string& folder, const std::string& file) override {
    if (folder != filesFolder) return;
    for (auto& item : files) {
      if (item == file) item = device::ArchiveItemText({file, true});
    }
  }
  void MarkFolderDownloaded(const std::string& folder) override {
    for (std::size_t i = 0; i < folders.size(); ++i) {
      if (folders[i] == folder || folders[i] == device::ArchiveItemText({folder, true})) {
        folders[i] = device::ArchiveItemText({folder, true});
        folderSelection = static_cast<int>(i);
      }
    }
  }
};

class NetworkDialog : public device::NetworkDialogSink {
 public:
  std::optional<std::array<std::uint32_t, 3>> addresses;  // address, netmask, gateway
  std::optional<std::string> hardware;
  void ShowAddresses(std::uint32_t address, std::uint32_t netmask, std::uint32_t gateway) override {
    addresses = {address, netmask, gateway};
  }
  void ShowHardwareAddress(const std::string& text) override { hardware = text; }
};

class SaveQuestion : public device::SaveFileQuestion {
 public:
  std::optional<std::string> answer;
  int asked = 0;
  std::optional<std::string> AskSaveFileName() override {
    ++asked;
    return answer;
  }
};

// Waits until `done` holds (polling), at most `limit`.
inline bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(60)) {
  const auto until = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

// Posts a request and waits until the worker has finished it.
inline bool RunRequest(device::Connection& connection, const std::function<bool()>& post,
                       std::chrono::milliseconds limit = std::chrono::seconds(120)) {
  if (!post()) return false;
  return WaitFor([&] { return connection.SlotFree(); }, limit);
}

}  // namespace recording
