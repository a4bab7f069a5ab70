// The web front-end's HTTP server (cpp-httplib): security checks, the page, the frame, the
// event stream and the action queue.
#include "emulator/web/server.h"

#include "emulator/frontend/frontend.h"

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <sys/socket.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <stdexcept>

namespace emu::web {

namespace {

constexpr size_t MaxBody = 256;
constexpr size_t MaxQueuedActions = 64;
constexpr int MaxStreams = 8;
// Each open page holds a thread for its event stream; the rest serve the requests.
constexpr size_t Threads = MaxStreams + 8;
// Connections accepted but not served yet; past that the server stops accepting until one is
// served, and the system's listen queue holds (or refuses) the rest.
constexpr size_t MaxWaitingConnections = 64;

// The server's workers: a fixed number of threads serving the accepted connections in turn,
// with a bounded queue, so that a flood of connections holds no more memory than that.
class Workers : public httplib::TaskQueue {
  public:
    Workers() {
        for (size_t i = 0; i < Threads; ++i) {
            threads_.emplace_back([this] { Work(); });
        }
    }
    ~Workers() override {
        for (std::thread& thread : threads_) {
            thread.join();
        }
    }
    Workers(const Workers&) = delete;
    Workers& operator=(const Workers&) = delete;
    // Waits while the queue is full: the listener accepts no more until a worker is free.
    void enqueue(std::function<void()> job) override {
        std::unique_lock<std::mutex> lock(mutex_);
        room_.wait(lock, [this] { return waiting_.size() < MaxWaitingConnections || stopping_; });
        waiting_.push_back(std::move(job));
        work_.notify_one();
    }
    void shutdown() override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        work_.notify_all();
        room_.notify_all();
        for (std::thread& thread : threads_) {
            thread.join();
        }
        threads_.clear();
    }

  private:
    void Work() {
        for (;;) {
            std::function<void()> job;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                work_.wait(lock, [this] { return !waiting_.empty() || stopping_; });
                if (waiting_.empty()) {
                    return; // stopping, and every accepted connection served
                }
                job = std::move(waiting_.front());
                waiting_.pop_front();
            }
            room_.notify_one();
            job();
        }
    }

    std::mutex mutex_;
    std::condition_variable work_, room_;
    std::deque<std::function<void()>> waiting_;
    std::vector<std::thread> threads_;
    bool stopping_ = false;
};

std::string NewToken() {
    std::random_device random; // the kernel's random source
    std::string token;
    for (int i = 0; i < 4; ++i) {
        char part[9];
        std::snprintf(part, sizeof(part), "%08x", static_cast<unsigned>(random()));
        token += part;
    }
    return token;
}

void Refuse(httplib::Response& response, int status, const std::string& why) {
    response.status = status;
    response.set_content(why + "\n", "text/plain; charset=utf-8");
}

std::string Event(const char* name, const nlohmann::json& data) {
    return std::string("event: ") + name + "\ndata: " + data.dump() + "\n\n";
}

} // namespace

struct Server::Stream {
    long long frame = -1;
    size_t lines = 0;
    long long clock = -1;
    bool hello = false;
};

Server::Server(int port, int screenWidth, int screenHeight, const std::string& page)
    : http_(std::make_unique<httplib::Server>()), token_(NewToken()), width_(screenWidth),
      height_(screenHeight) {
    const std::string at = "127.0.0.1:" + std::to_string(port);
    address_ = "http://" + at + "/";
    host_ = at;
    localhost_ = "localhost:" + std::to_string(port);
    origin_ = "http://" + host_;
    localOrigin_ = "http://" + localhost_;
    page_ = page;
    for (size_t found; (found = page_.find("{{TOKEN}}")) != std::string::npos;) {
        page_.replace(found, 9, token_);
    }
    http_->new_task_queue = [] { return new Workers; };
    http_->set_payload_max_length(MaxBody);
    // One request a connection, read within two seconds: no idle connection holds a worker.
    http_->set_keep_alive_max_count(1);
    http_->set_read_timeout(2);
    // Each event at once, not held back for the next one (Nagle).
    http_->set_tcp_nodelay(true);
    // The port is this server's alone: the library's default would also set SO_REUSEPORT,
    // with which a second server on the same port binds too and takes half the requests.
    http_->set_socket_options([](int sock) {
        const int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
    });
    Route();
    if (!http_->bind_to_port("127.0.0.1", port)) {
        throw std::runtime_error("cannot listen on " + at +
                                 " (is the port in use? --web PORT chooses another)");
    }
    listener_ = std::thread([this] { http_->listen_after_bind(); });
}

Server::~Server() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    http_->stop();
    if (listener_.joinable()) {
        listener_.join();
    }
}

void Server::Route() {
    // Every request first: the Host must be this server's (a page of another name that
    // resolves here, as DNS rebinding makes one, is refused).
    http_->set_pre_routing_handler(
        [this](const httplib::Request& request, httplib::Response& response) {
            const std::string host = request.get_header_value("Host");
            if (host != host_ && host != localhost_) {
                Refuse(response, 421, "this server answers only to Host " + host_);
                return httplib::Server::HandlerResponse::Handled;
            }
            // The actions are POSTs, the rest GETs.
            const bool action =
                request.path == "/tap" || request.path == "/key" || request.path == "/speed";
            const bool shown = request.path == "/" || request.path == "/events" ||
                               request.path == "/frame.png" || request.path == "/favicon.ico";
            const char* allowed = action ? "POST" : "GET";
            if ((action || shown) && request.method != allowed) {
                response.set_header("Allow", allowed);
                Refuse(response, 405, request.method + " is not allowed here, only " + allowed);
                return httplib::Server::HandlerResponse::Handled;
            }
            return httplib::Server::HandlerResponse::Unhandled;
        });
    http_->set_error_handler([](const httplib::Request&, httplib::Response& response) {
        if (response.body.empty()) {
            const char* why = response.status == 404   ? "no such page"
                              : response.status == 405 ? "method not allowed here"
                              : response.status == 413 ? "the body is too large"
                                                       : "bad request";
            Refuse(response, response.status, why);
        }
    });

    http_->Get("/", [this](const httplib::Request&, httplib::Response& response) {
        response.set_header("Cache-Control", "no-store");
        response.set_header("Content-Security-Policy",
                            "default-src 'self'; img-src 'self' data:; style-src 'unsafe-inline'; "
                            "script-src 'unsafe-inline'");
        response.set_content(page_, "text/html; charset=utf-8");
    });
    http_->Get("/favicon.ico", [](const httplib::Request&, httplib::Response& response) {
        response.status = 204; // none
    });
    http_->Get("/frame.png", [this](const httplib::Request&, httplib::Response& response) {
        std::lock_guard<std::mutex> lock(mutex_);
        response.set_header("Cache-Control", "no-store");
        response.set_content(frame_, "image/png");
    });
    http_->Get("/events", [this](const httplib::Request&, httplib::Response& response) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (openStreams_ >= MaxStreams) {
                Refuse(response, 503, "too many pages are open on this device");
                return;
            }
            ++openStreams_;
        }
        auto stream = std::make_shared<Stream>();
        auto told = std::make_shared<bool>(false);
        response.set_header("Cache-Control", "no-store");
        response.set_chunked_content_provider(
            "text/event-stream",
            [this, stream, told](size_t, httplib::DataSink& sink) {
                bool done = false;
                const std::string events = EventsSince(*stream, &done);
                if (!events.empty() && !sink.write(events.data(), events.size())) {
                    return false;
                }
                if (done) {
                    *told = true;
                    sink.done();
                }
                return sink.is_writable();
            },
            [this, told](bool) {
                std::lock_guard<std::mutex> lock(mutex_);
                --openStreams_;
                toldStreams_ += *told ? 1 : 0;
                changed_.notify_all();
            });
    });

    // The actions: each one request, checked on its own.
    auto act = [this](const char* path, auto parse) {
        http_->Post(
            path, [this, parse](const httplib::Request& request, httplib::Response& response) {
                const std::string origin = request.get_header_value("Origin");
                if (request.get_header_value("X-Velmot-Token") != token_) {
                    return Refuse(response, 403,
                                  "this action needs the token of the page that "
                                  "this server served");
                }
                if (!origin.empty() && origin != origin_ && origin != localOrigin_) {
                    return Refuse(response, 403, "actions come only from this server's own page");
                }
                if (request.get_header_value("Content-Type").rfind("application/json", 0) != 0) {
                    return Refuse(response, 415, "the body must be application/json");
                }
                const nlohmann::json body = nlohmann::json::parse(request.body, nullptr, false);
                if (body.is_discarded() || !body.is_object()) {
                    return Refuse(response, 400, "the body is not a JSON object");
                }
                Action action;
                const std::string wrong = parse(body, &action);
                if (!wrong.empty()) {
                    return Refuse(response, 400, wrong);
                }
                {
                    std::lock_guard<std::mutex> lock(mutex_);
                    if (ended_) {
                        return Refuse(response, 409, "the program has ended");
                    }
                    if (actions_.size() >= MaxQueuedActions) {
                        return Refuse(response, 429, "too many actions wait already; try again");
                    }
                    actions_.push_back(action);
                }
                acted_.notify_all();
                response.status = 204;
            });
    };
    auto integer = [](const nlohmann::json& body, const char* name, int* value) {
        const auto found = body.find(name);
        if (found == body.end() || !found->is_number_integer()) {
            return false;
        }
        const long long number = found->get<long long>();
        if (number < -1000000 || number > 1000000) {
            return false;
        }
        *value = static_cast<int>(number);
        return true;
    };
    act("/tap", [this, integer](const nlohmann::json& body, Action* action) -> std::string {
        action->kind = Action::Kind::Tap;
        if (body.size() != 2 || !integer(body, "x", &action->x) ||
            !integer(body, "y", &action->y)) {
            return "a tap is {\"x\": X, \"y\": Y}, whole device pixels";
        }
        if (action->x < 0 || action->x >= width_ || action->y < 0 || action->y >= height_) {
            return "the tap at " + std::to_string(action->x) + "," + std::to_string(action->y) +
                   " lies outside the " + std::to_string(width_) + " x " + std::to_string(height_) +
                   " screen";
        }
        return "";
    });
    act("/key", [](const nlohmann::json& body, Action* action) -> std::string {
        action->kind = Action::Kind::Key;
        const auto key = body.find("key");
        if (body.size() != 1 || key == body.end() || !key->is_string()) {
            return "a key is {\"key\": NAME}";
        }
        action->key = key->get<std::string>();
        const bool digit =
            action->key.size() == 1 && action->key[0] >= '0' && action->key[0] <= '9';
        if (!digit && action->key != "Backspace" && action->key != "Enter" &&
            action->key != "Escape" && action->key != "i") {
            return "unknown key; the keys are 0 to 9, Backspace, Enter, Escape and i";
        }
        return "";
    });
    act("/speed", [integer](const nlohmann::json& body, Action* action) -> std::string {
        action->kind = Action::Kind::Speed;
        if (body.size() != 1 || !integer(body, "speed", &action->speed) ||
            std::find(std::begin(frontend::Speeds), std::end(frontend::Speeds), action->speed) ==
                std::end(frontend::Speeds)) {
            return "a speed is {\"speed\": N}, N one of 1, 10, 60 and 600";
        }
        return "";
    });
}

std::string Server::EventsSince(Stream& stream, bool* done) {
    std::unique_lock<std::mutex> lock(mutex_);
    auto fresh = [&] {
        return !stream.hello || stream.frame != frameNumber_ || stream.lines != lines_.size() ||
               stream.clock != clockNumber_ || ended_ || stopping_;
    };
    // Wakes at least once a second to see whether the page went away.
    changed_.wait_for(lock, std::chrono::seconds(1), fresh);
    std::string events;
    const nlohmann::json clock = {{"device", clockMillis_}, {"speed", speed_}};
    if (!stream.hello) {
        events += Event("hello", {{"width", width_}, {"height", height_}, {"clock", clock}});
        stream.hello = true;
    }
    if (stream.lines != lines_.size()) {
        events +=
            Event("lines",
                  {{"lines", std::vector<std::string>(
                                 lines_.begin() + static_cast<long>(stream.lines), lines_.end())},
                   {"clock", clock}});
        stream.lines = lines_.size();
    }
    if (stream.frame != frameNumber_) {
        events += Event("frame", {{"frame", frameNumber_}, {"clock", clock}});
        stream.frame = frameNumber_;
    }
    if (stream.clock != clockNumber_) {
        events += Event("clock", clock);
        stream.clock = clockNumber_;
    }
    if (ended_) {
        events += Event("end", {{"code", exitCode_}, {"how", how_}});
        *done = true;
    }
    *done = *done || stopping_;
    return events;
}

void Server::PublishFrame(std::vector<uint8_t> png) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        frame_.assign(png.begin(), png.end());
        ++frameNumber_;
    }
    changed_.notify_all();
}

void Server::PublishLines(const std::vector<std::string>& lines) {
    if (lines.empty()) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        lines_.insert(lines_.end(), lines.begin(), lines.end());
    }
    changed_.notify_all();
}

void Server::PublishClock(long long deviceMillis, double speed) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        clockMillis_ = deviceMillis;
        speed_ = speed;
        ++clockNumber_;
    }
    changed_.notify_all();
}

void Server::PublishEnd(int code, const std::string& how) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ended_ = true;
        exitCode_ = code;
        how_ = how;
        actions_.clear();
    }
    changed_.notify_all();
}

std::optional<Action> Server::NextAction(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!acted_.wait_for(lock, timeout, [this] { return !actions_.empty(); })) {
        return std::nullopt;
    }
    Action action = actions_.front();
    actions_.pop_front();
    return action;
}

int Server::OpenPages() {
    std::lock_guard<std::mutex> lock(mutex_);
    return openStreams_;
}

void Server::WaitUntilTold(std::chrono::milliseconds grace) {
    std::unique_lock<std::mutex> lock(mutex_);
    const auto deadline = std::chrono::steady_clock::now() + grace;
    // Told: every page that was open has had the end written to it and closed its stream.
    changed_.wait_until(lock, deadline, [this] { return toldStreams_ > 0 && openStreams_ == 0; });
}

} // namespace emu::web
