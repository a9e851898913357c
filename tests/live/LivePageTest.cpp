// `vellamor live` on a device, watched by headless Chromium (driven through chromedriver): the
// page loads, the lock-screen panel receives frames that change while the track plays, every
// screen's panel names the plot its host shows, a press from a foreign origin is refused while
// the page's own goes through, and Ctrl-C leaves no process behind. In the Settings panel, as a
// person uses it: a switch reaches SpringBoard's settings (message 3), a new "VisMethod" shows at
// the lock screen's next appearance, a link's pane comes on the app's screen and goes back, and
// the root pane's button restarts the audio daemon, whose new control service the audio buttons
// then reach. The page's screenshot is kept as artefacts/live-page.png in the build.

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <openssl/evp.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <httplib.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <string>

#include "ChildProcess.h"
#include "Foundation/NSKeyedArchiver.h"
#include "TempDevice.h"
#include "Vellamor2/Messaging/LMConnection.h"
#include "Vellamor2/SharedRecords.h"
#include "WaitFor.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using testing_support::ChildProcess;
using testing_support::waitFor;

std::string readFile(const fs::path& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// A port that was free a moment ago (chromedriver takes its port as a number).
int freePort() {
  const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  ::bind(probe, reinterpret_cast<sockaddr*>(&address), size);
  ::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &size);
  ::close(probe);
  return ntohs(address.sin_port);
}

// One WebDriver session of headless Chromium.
class Browser {
 public:
  Browser(const fs::path& profile, const fs::path& log)
      : port_(freePort()),
        driver_("/usr/bin/chromedriver", {"--port=" + std::to_string(port_)}, {}, log),
        client_("127.0.0.1", port_) {
    client_.set_read_timeout(60, 0);
    waitFor([&] { return client_.Get("/status") != nullptr; }, std::chrono::seconds(20));
    const json capabilities = {
        {"capabilities",
         {{"alwaysMatch",
           {{"goog:chromeOptions",
             {{"binary", "/usr/bin/chromium"},
              {"args",
               {"--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                "--disable-background-networking", "--disable-component-update", "--disable-sync",
                "--window-size=1500,1120", "--user-data-dir=" + profile.string()}}}}}}}}};
    const json answer = call("POST", "/session", capabilities);
    session_ = answer["value"].value("sessionId", "");
  }
  ~Browser() {
    if (!session_.empty()) client_.Delete("/session/" + session_);
    driver_.stop();
  }

  bool started() const { return !session_.empty(); }
  void open(const std::string& url) { command("POST", "/url", {{"url", url}}); }
  json run(const std::string& script) {
    return command("POST", "/execute/sync", {{"script", script}, {"args", json::array()}})["value"];
  }
  std::string screenshotBase64() { return command("GET", "/screenshot", {})["value"]; }

 private:
  json command(const char* method, const std::string& path, const json& body) {
    return call(method, "/session/" + session_ + path, body);
  }
  json call(const char* method, const std::string& path, const json& body) {
    auto response = std::string(method) == "GET"
                        ? client_.Get(path)
                        : client_.Post(path, body.dump(), "application/json");
    if (!response) return json::object();
    return json::parse(response->body, nullptr, false);
  }

  int port_;
  ChildProcess driver_;
  httplib::Client client_;
  std::string session_;
};

std::vector<unsigned char> fromBase64(const std::string& text) {
  std::vector<unsigned char> bytes(text.size() / 4 * 3 + 3);
  const int length =
      EVP_DecodeBlock(bytes.data(), reinterpret_cast<const unsigned char*>(text.data()),
                      static_cast<int>(text.size()));
  bytes.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
  return bytes;
}

// One of SpringBoard's settings as the apps get them (message 3); -1 when it does not answer.
double springBoardSetting(const char* key) {
  LMConnection connection{};
  std::memcpy(connection.name, kVellamorServiceIdentifier, sizeof kVellamorServiceIdentifier);
  auto buffer = std::make_unique<LMResponseBuffer>();
  std::int32_t blank = 0;
  if (LMConnectionSendTwoWay(&connection, kPreferencesMessageId, &blank, sizeof blank,
                             buffer.get()) != 0)
    return -1;
  const auto settings = NSKeyedUnarchiver::unarchiveObjectWithBytes(
      LMMessageGetData(&buffer->message), LMMessageGetDataLength(&buffer->message));
  LMResponseBufferFree(buffer.get());
  const auto* dictionary = objc::cast<NSDictionary>(settings.get());
  return dictionary != nullptr ? dictionary->doubleValue(key) : -1;
}

TEST(LivePage, ShowsTheLockScreenLiveAndAnswersOnlyItsOwnPage) {
  if (!fs::exists("/usr/bin/chromium") || !fs::exists("/usr/bin/chromedriver"))
    GTEST_SKIP() << "no chromium and chromedriver (./vellamor installs them)";
  testing_support::TempDevice device;
  const fs::path bin = testing_support::binaryDirectory() / "bin/vellamor";
  {
    ChildProcess create(bin, {"device", "create", device.path().string(), "--system", "10"});
    ASSERT_TRUE(create.wait(std::chrono::seconds(30)));
  }
  const fs::path output = device.path() / "live.out";
  ChildProcess live(bin, {"live", "--port", "0"}, {}, output);
  std::smatch match;
  const std::regex address(R"(http://127\.0\.0\.1:(\d+)/)");
  std::string text;
  ASSERT_TRUE(waitFor(
      [&] {
        text = readFile(output);
        return std::regex_search(text, match, address);
      },
      std::chrono::seconds(60)))
      << text;
  const int port = std::stoi(match[1]);
  const std::string page = "http://127.0.0.1:" + std::to_string(port) + "/";

  // Another page open in the same browser may not press a button; the page itself may.
  httplib::Client server("127.0.0.1", port);
  auto foreign =
      server.Post("/api/press/audio/pause", {{"Origin", "http://evil.example"}}, "", "text/plain");
  ASSERT_TRUE(foreign);
  EXPECT_EQ(foreign->status, 403);
  auto foreignSetting = server.Post("/api/settings/set/EnabledLS/off",
                                    {{"Origin", "http://evil.example"}}, "", "text/plain");
  ASSERT_TRUE(foreignSetting);
  EXPECT_EQ(foreignSetting->status, 403);
  auto foreignHost = server.Get("/", {{"Host", "evil.example:" + std::to_string(port)}});
  ASSERT_TRUE(foreignHost);
  EXPECT_EQ(foreignHost->status, 403);
  auto own =
      server.Post("/api/press/SpringBoard/show",
                  {{"Origin", "http://127.0.0.1:" + std::to_string(port)}}, "", "text/plain");
  ASSERT_TRUE(own);
  EXPECT_EQ(own->status, 200) << own->body;
  {
    Browser browser(device.path() / "chromium-profile", device.path() / "chromedriver.log");
    ASSERT_TRUE(browser.started()) << readFile(device.path() / "chromedriver.log");
    browser.open(page);
    json status;
    EXPECT_TRUE(waitFor(
        [&] {
          status = browser.run("return window.liveStatus ? window.liveStatus() : null;");
          return status.is_object() && status["SpringBoard"]["changed"].get<int>() >= 20;
        },
        std::chrono::seconds(60)))
        << status.dump();
    // Figures for the closing note: what the page received.
    const auto& lock = status["SpringBoard"];
    std::vector<double> latencies = lock["latencies"].get<std::vector<double>>();
    std::sort(latencies.begin(), latencies.end());
    if (!latencies.empty())
      std::printf("live page: %.1f frames/s, commit to page median %.1f ms, p99 %.1f ms\n",
                  lock["fps"].get<double>(), latencies[latencies.size() / 2],
                  latencies[latencies.size() * 99 / 100]);
    EXPECT_GT(lock["changed"].get<int>(), 1) << "the lock screen's frames do not change";
    // Each screen's figures name the plot its host shows, measured the same way in every host.
    json plots;
    EXPECT_TRUE(waitFor(
        [&] {
          plots = browser.run(
              "return ['SpringBoard', 'Music', 'Spotify'].map("
              "(host) => document.querySelector(`#panel-${host} .plot`).textContent);");
          return plots.is_array() && plots.size() == 3 &&
                 std::all_of(plots.begin(), plots.end(), [](const json& plot) {
                   return plot.is_string() && plot.get<std::string>().rfind("WavePlot", 0) == 0;
                 });
        },
        std::chrono::seconds(20)))
        << plots.dump();

    // The Settings panel, as a person uses it; each step waits for the one before.
    auto run = [&](const std::string& script) { return browser.run(script); };
    auto click = [&](const std::string& selector) {
      return run("const e = document.querySelector(" + json(selector).dump() +
                 "); if (!e) return false; e.click(); return true;") == true;
    };
    auto textOf = [&](const std::string& selector) {
      const json found = run("const e = document.querySelector(" + json(selector).dump() +
                             "); return e ? e.textContent : null;");
      return found.is_string() ? found.get<std::string>() : std::string();
    };
    auto settingsFrames = [&] {
      const json seen = run("return window.liveStatus().Preferences.changed;");
      return seen.is_number() ? seen.get<int>() : 0;
    };
    ASSERT_TRUE(waitFor([&] { return textOf("#settings .settings-pane") == "Root"; }));
    EXPECT_TRUE(waitFor([&] { return settingsFrames() > 0; })) << "no frame of the Settings app";

    ASSERT_TRUE(click("#settings input[data-key=EnabledMusic]"));
    EXPECT_TRUE(waitFor([] { return springBoardSetting("enabledMusic") == 0; }));

    run("const s = document.querySelector('#settings select[data-key=VisMethod]'); s.value = '2';"
        "s.dispatchEvent(new Event('change'));");
    ASSERT_TRUE(waitFor([] { return springBoardSetting("visMethod") == 2; }));
    for (const char* button : {"hide", "show"}) {
      ASSERT_TRUE(click(std::string("#panel-SpringBoard button[data-button=") + button + "]"));
      ASSERT_TRUE(waitFor([&] {
        return textOf("#panel-SpringBoard .reply") ==
               (button == std::string("hide") ? "ok hidden" : "ok shown");
      }));
    }
    EXPECT_TRUE(waitFor([&] { return textOf("#panel-SpringBoard .plot") == "WavePlotBars"; }))
        << textOf("#panel-SpringBoard .plot");

    const int framesOfRoot = settingsFrames();
    ASSERT_TRUE(click("#settings [data-link=Bars]"));
    EXPECT_TRUE(waitFor([&] { return textOf("#settings .settings-pane") == "Bars"; }));
    EXPECT_TRUE(waitFor([&] { return settingsFrames() > framesOfRoot; }))
        << "the Settings app's screen did not follow the link";
    ASSERT_TRUE(click("#settings .settings-back"));
    EXPECT_TRUE(waitFor([&] { return textOf("#settings .settings-pane") == "Root"; }));

    const pid_t daemon = testing_support::recordedPid(device.path(), "mediaserverd");
    ASSERT_TRUE(click("#settings [data-press=RestartMediaserverd]"));
    pid_t restarted = daemon;
    EXPECT_TRUE(waitFor(
        [&] {
          restarted = testing_support::recordedPid(device.path(), "mediaserverd");
          return restarted != daemon && testing_support::processExists(restarted);
        },
        std::chrono::seconds(30)))
        << "the audio daemon was not restarted";
    // The audio buttons reach the new daemon, once its control service is up.
    for (const char* button : {"pause", "resume"}) {
      std::string reply;
      EXPECT_TRUE(waitFor([&] {
        auto answer =
            server.Post(std::string("/api/press/audio/") + button,
                        {{"Origin", "http://127.0.0.1:" + std::to_string(port)}}, "", "text/plain");
        reply = answer ? answer->body : "no answer";
        return answer && answer->status == 200;
      })) << reply;
    }
    EXPECT_TRUE(testing_support::processExists(restarted)) << "the restarted daemon is gone";

    const auto png = fromBase64(browser.screenshotBase64());
    const fs::path artefacts = testing_support::binaryDirectory() / "artefacts";
    fs::create_directories(artefacts);
    std::ofstream(artefacts / "live-page.png", std::ios::binary)
        .write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
    EXPECT_GT(png.size(), 1000u);
  }

  live.signal(SIGINT);
  const auto ended = live.wait(std::chrono::seconds(30));
  ASSERT_TRUE(ended);
  EXPECT_TRUE(WIFEXITED(*ended) && WEXITSTATUS(*ended) == 0) << readFile(output);
  std::error_code noPids;
  for (const auto& record : fs::directory_iterator(device.path() / "run/pids", noPids)) {
    long pid = 0;
    std::ifstream(record.path()) >> pid;
    EXPECT_FALSE(testing_support::processExists(static_cast<pid_t>(pid)))
        << record.path() << " still runs";
  }
}

}  // namespace
