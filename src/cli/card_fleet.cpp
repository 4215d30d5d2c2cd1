#include "cli/card_fleet.h"

#include <cstdio>
#include <thread>

#include "base/socket.h"
#include "base/text.h"

namespace cli {

int OnEveryCard(const std::vector<std::string>& hosts, const CardOptions& options, const char* successUtf8,
                const std::function<void(device::OperationContext&)>& body) {
  const auto password = Password(options);
  if (!password) return kExitUsage;
  ConsoleStatus console(hosts);
  std::vector<std::string> results(hosts.size());
  std::vector<char> ok(hosts.size(), 0);
  std::vector<std::thread> workers;
  // The socket library stays started while the sessions come and go.
  net::NetworkStartup network;
  for (std::size_t i = 0; i < hosts.size(); ++i) {
    workers.emplace_back([&, i] {
      CardSession card;
      if (!OpenCard(card, hosts[i], options, *password, console)) {
        results[i] = "connection failed";
        return;
      }
      device::OperationContext ctx{card.session, *card.status, device::RealFiles(), card.timing};
      try {
        body(ctx);
        ok[i] = 1;
        results[i] = successUtf8;
      } catch (const std::exception& e) {
        results[i] = Utf8FromCp1250(e.what());
      }
    });
  }
  for (auto& worker : workers) worker.join();
  console.Finish();
  bool all = true;
  for (std::size_t i = 0; i < hosts.size(); ++i) {
    std::printf("%s: %s: %s\n", hosts[i].c_str(), ok[i] ? "OK" : "FAILED", results[i].c_str());
    all = all && ok[i];
  }
  std::fflush(stdout);
  return all ? kExitOk : kExitFailure;
}

}  // namespace cli
