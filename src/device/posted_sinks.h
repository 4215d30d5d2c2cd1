// Posting adapters: what the device workers call in the program. Each one implements a sink
// of device/sinks.h for a worker thread, copies the call into a task on the UI queue and, on
// the UI thread, passes it to the window's own implementation of the same sink if the window
// is still alive. See the rule at the top of device/sinks.h.
//
//   // in a window on the UI thread (token_ is its LifetimeToken, revoked at WM_DESTROY):
//   auto sink = std::make_shared<device::PostedArchiveDialogSink>(uiQueue, token_.Watch<ArchiveDialogSink>(this));
//   connection.PostListArchiveFolders(sink, root);
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/ui_queue.h"
#include "device/sinks.h"

namespace device {

class PostedStatusSink final : public StatusSink {
 public:
  PostedStatusSink(UiQueue& queue, std::weak_ptr<StatusSink> target) : ui_(queue, std::move(target)) {}
  void ShowStatus(const std::string& text) override {
    ui_.Post([text](StatusSink& s) { s.ShowStatus(text); });
  }
  void ShowProgress(const std::string& text, int position) override {
    ui_.Post([text, position](StatusSink& s) { s.ShowProgress(text, position); });
  }

 private:
  UiPoster<StatusSink> ui_;
};

class PostedMessageSink final : public MessageSink {
 public:
  PostedMessageSink(UiQueue& queue, std::weak_ptr<MessageSink> target) : ui_(queue, std::move(target)) {}
  void ShowError(const std::string& text) override {
    ui_.Post([text](MessageSink& s) { s.ShowError(text); });
  }

 private:
  UiPoster<MessageSink> ui_;
};

class PostedArchiveDialogSink final : public ArchiveDialogSink {
 public:
  PostedArchiveDialogSink(UiQueue& queue, std::weak_ptr<ArchiveDialogSink> target) : ui_(queue, std::move(target)) {}
  void ShowFolders(const std::vector<ArchiveEntry>& folders) override {
    ui_.Post([folders](ArchiveDialogSink& s) { s.ShowFolders(folders); });
  }
  void ShowFiles(const std::string& folder, const std::vector<ArchiveEntry>& files) override {
    ui_.Post([folder, files](ArchiveDialogSink& s) { s.ShowFiles(folder, files); });
  }
  void MarkFileDownloaded(const std::string& folder, const std::string& file) override {
    ui_.Post([folder, file](ArchiveDialogSink& s) { s.MarkFileDownloaded(folder, file); });
  }
  void MarkFolderDownloaded(const std::string& folder) override {
    ui_.Post([folder](ArchiveDialogSink& s) { s.MarkFolderDownloaded(folder); });
  }

 private:
  UiPoster<ArchiveDialogSink> ui_;
};

class PostedNetworkDialogSink final : public NetworkDialogSink {
 public:
  PostedNetworkDialogSink(UiQueue& queue, std::weak_ptr<NetworkDialogSink> target) : ui_(queue, std::move(target)) {}
  void ShowAddresses(std::uint32_t address, std::uint32_t netmask, std::uint32_t gateway) override {
    ui_.Post([=](NetworkDialogSink& s) { s.ShowAddresses(address, netmask, gateway); });
  }
  void ShowReadAddresses(std::optional<std::uint32_t> address, std::optional<std::uint32_t> netmask,
                         std::optional<std::uint32_t> gateway) override {
    ui_.Post([=](NetworkDialogSink& s) { s.ShowReadAddresses(address, netmask, gateway); });
  }
  void ShowHardwareAddress(const std::string& text) override {
    ui_.Post([text](NetworkDialogSink& s) { s.ShowHardwareAddress(text); });
  }

 private:
  UiPoster<NetworkDialogSink> ui_;
};

// Asks on the UI thread; the asking worker waits for the answer or its stop signal.
class PostedSaveFileQuestion final : public SaveFileQuestion {
 public:
  PostedSaveFileQuestion(UiQueue& queue, std::weak_ptr<SaveFileQuestion> target) : ui_(queue, std::move(target)) {}
  std::optional<std::string> AskSaveFileName() override {
    auto answer = ui_.Ask<std::optional<std::string>>([](SaveFileQuestion& q) { return q.AskSaveFileName(); });
    return answer ? *answer : std::nullopt;
  }

 private:
  UiPoster<SaveFileQuestion> ui_;
};

// Asks on the UI thread; the asking worker waits for the answer or its stop signal (No).
class PostedHostKeyQuestion final : public HostKeyQuestion {
 public:
  PostedHostKeyQuestion(UiQueue& queue, std::weak_ptr<HostKeyQuestion> target) : ui_(queue, std::move(target)) {}
  bool AskReplaceHostKey(const std::string& card, const std::string& stored, const std::string& offered) override {
    auto answer = ui_.Ask<bool>(
        [card, stored, offered](HostKeyQuestion& q) { return q.AskReplaceHostKey(card, stored, offered); });
    return answer && *answer;
  }

 private:
  UiPoster<HostKeyQuestion> ui_;
};

class PostedDeviceListSink final : public DeviceListSink {
 public:
  PostedDeviceListSink(UiQueue& queue, std::weak_ptr<DeviceListSink> target) : ui_(queue, std::move(target)) {}
  void AddItem(const std::string& text) override {
    ui_.Post([text](DeviceListSink& s) { s.AddItem(text); });
  }

 private:
  UiPoster<DeviceListSink> ui_;
};

}  // namespace device
