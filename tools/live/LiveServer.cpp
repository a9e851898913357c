#include "LiveServer.h"

#include <httplib.h>

#include <cstdio>

#include "LivePage.h"
#include "LivePanels.h"
#include "LiveRequest.h"
#include "LiveSettings.h"

namespace live {
namespace {

constexpr int kMaxStreams = 4;
constexpr std::size_t kMaxBodyBytes = 1024;

void refuse(httplib::Response& response, int status, const std::string& reason) {
  response.status = status;
  response.set_content("{\"ok\":false,\"reply\":" + jsonString(reason) + "}\n", "application/json");
}

}  // namespace

LiveServer::LiveServer(FrameFeed& feed, ControlCall control)
    : feed_(feed), control_(std::move(control)) {}

LiveServer::~LiveServer() {
  stop();
}

std::string LiveServer::press(const std::string& panelName, const std::string& buttonName,
                              int* status) {
  const Panel* panel = findPanel(panelName);
  const Button* button = panel != nullptr ? findButton(*panel, buttonName) : nullptr;
  if (button == nullptr) {
    *status = 404;
    return "no such button";
  }
  std::string reply;
  *status = control_(controlServiceOf(*panel), button->request, &reply) ? 200 : 502;
  return reply;
}

bool LiveServer::start(std::uint16_t port, std::string* error) {
  server_ = std::make_unique<httplib::Server>();
  httplib::Server& server = *server_;
  server.set_payload_max_length(kMaxBodyBytes);
  server.set_keep_alive_max_count(100);
  server.set_read_timeout(5, 0);
  server.set_write_timeout(5, 0);
  // Every request is decoded and checked before any route sees it.
  server.set_pre_routing_handler(
      [this](const httplib::Request& request, httplib::Response& response) {
        RequestHead head;
        head.method = request.method;
        head.path = request.path;
        const auto host = request.get_header_value("Host");
        head.host = host;
        const std::string origin = request.get_header_value("Origin");
        if (request.has_header("Origin")) head.origin = origin;
        head.port = port_;
        const auto decoded = decodeLiveRequest(head);
        if (const auto* refusal = std::get_if<Refusal>(&decoded)) {
          refuse(response, refusal->status, refusal->reason);
          return httplib::Server::HandlerResponse::Handled;
        }
        response.set_header("X-Frame-Options", "DENY");
        response.set_header("Content-Security-Policy",
                            "default-src 'self'; img-src 'self' data:; style-src 'unsafe-inline'; "
                            "script-src 'unsafe-inline'; frame-ancestors 'none'");
        response.set_header("Cache-Control", "no-store");
        return httplib::Server::HandlerResponse::Unhandled;
      });

  server.Get("/", [](const httplib::Request&, httplib::Response& response) {
    response.set_content(livePage(), "text/html; charset=utf-8");
  });

  server.Get("/events", [this](const httplib::Request&, httplib::Response& response) {
    if (streams_.fetch_add(1) >= kMaxStreams) {
      streams_.fetch_sub(1);
      refuse(response, 503, "too many pages open");
      return;
    }
    auto seen = std::make_shared<std::uint64_t>(0);
    response.set_chunked_content_provider(
        "text/event-stream",
        [this, seen](std::size_t, httplib::DataSink& sink) {
          for (const auto& event : feed_.waitNewer(*seen, std::chrono::milliseconds(500))) {
            const std::string text = "event: " + event->name + "\ndata: " + event->data + "\n\n";
            if (!sink.write(text.data(), text.size())) return false;
          }
          if (feed_.stopped()) {
            sink.done();
            return true;
          }
          // A comment while nothing new comes finds a page that has gone.
          return sink.write(":\n\n", 3);
        },
        [this](bool) { streams_.fetch_sub(1); });
  });

  server.Post(R"(/api/press/([A-Za-z]+)/([a-z-]+))",
              [this](const httplib::Request& request, httplib::Response& response) {
                int status = 200;
                const std::string reply = press(request.matches[1], request.matches[2], &status);
                response.status = status;
                response.set_content("{\"ok\":" + std::string(status == 200 ? "true" : "false") +
                                         ",\"reply\":" + jsonString(reply) + "}\n",
                                     "application/json");
              });

  // Checked by the pre-routing decoder; sent on to the Settings app as it stands.
  server.Post(R"(/api/settings/.*)",
              [this](const httplib::Request& request, httplib::Response& response) {
                const auto control = settingsControlRequest(request.path);
                const auto* text = std::get_if<std::string>(&control);
                if (text == nullptr)
                  return refuse(response, 400, std::get<Refusal>(control).reason);
                std::string reply;
                const bool answered = control_(kSettingsHost, *text, &reply);
                const SettingsAnswer answer = settingsAnswer(*text, answered, reply);
                response.status = answer.status;
                response.set_content(answer.json, "application/json");
              });

  const int bound = port == 0 ? server.bind_to_any_port("127.0.0.1")
                              : (server.bind_to_port("127.0.0.1", port) ? port : -1);
  if (bound <= 0) {
    if (error != nullptr) *error = "cannot listen on 127.0.0.1:" + std::to_string(port);
    return false;
  }
  port_ = static_cast<std::uint16_t>(bound);
  thread_ = std::make_unique<std::thread>([this] { server_->listen_after_bind(); });
  return true;
}

void LiveServer::stop() {
  if (!server_) return;
  server_->stop();
  if (thread_ && thread_->joinable()) thread_->join();
  thread_.reset();
  server_.reset();
}

}  // namespace live
