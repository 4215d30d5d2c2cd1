// Sinks that record what the device workers show, for tests.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
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

class ArchiveDialog : public device::ArchiveDialogSink {
 public:
  int folderSelection = -1;
  std::vector<int> selectedFiles;
  std::vector<std::string> folders, files;

  int FolderSelection() override { return folderSelection; }
  std::vector<int> SelectedFiles() override { return selectedFiles; }
  void ResetList(device::ArchiveList list, std::size_t) override { List(list).clear(); }
  void InsertItem(device::ArchiveList list, int index, const std::string& text) override {
    auto& items = List(list);
    if (index < 0 || static_cast<std::size_t>(index) > items.size()) {
      items.push_back(text);
    } else {
      items.insert(items.begin() + index, text);
    }
  }
  void DeleteItem(device::ArchiveList list, int index) override {
    auto& items = List(list);
    if (index >= 0 && static_cast<std::size_t>(index) < items.size()) items.erase(items.begin() + index);
  }
  void SelectFolder(int index) override { folderSelection = index; }

 private:
  std::vector<std::string>& List(device::ArchiveList list) {
    return list == device::ArchiveList::Folders ? folders : files;
  }
};

class NetworkDialog : public device::NetworkDialogSink {
 public:
  std::map<device::NetworkField, std::uint32_t> addresses;
  std::optional<std::string> hardware;
  void SetAddress(device::NetworkField field, std::uint32_t address) override { addresses[field] = address; }
  void SetHardwareAddress(const std::string& text) override { hardware = text; }
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
