// The web front-end's HTTP side: a server on the loopback address that serves the page, tells
// every open page of each new frame and timeline line through one server-sent event stream,
// and takes what a person does (a tap, a key, a speed) as small JSON POSTs, each checked on its
// own and queued for the run loop. It knows nothing of the device: the run loop publishes what
// the pages show and takes the actions (web.cpp).
//
// What it refuses, with a status and a sentence, without queueing anything:
//   - any request whose Host is not this server's address and port (421);
//   - an action without the run's token in X-Velmot-Token (403), or from another origin (403);
//   - a method other than the path's (405), an unknown path (404);
//   - a body that is not JSON of the action's shape, a coordinate outside the screen, an
//     unknown key or speed (400); a body over 256 bytes (413); not application/json (415);
//   - an action while 64 wait already (429), or after the program ended (409);
//   - a ninth page's event stream at once (503).
#ifndef VELMOT_EMULATOR_WEB_SERVER_H
#define VELMOT_EMULATOR_WEB_SERVER_H

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace httplib {
class Server;
}

namespace emu::web {

struct Action {
    enum class Kind { Tap, Key, Speed } kind = Kind::Tap;
    int x = 0, y = 0; // a tap's device pixel
    std::string key;  // "0" to "9", "Backspace", "Enter", "Escape", "i"
    int speed = 1;    // 1, 10, 60 or 600
};

class Server {
  public:
    // Listens on 127.0.0.1:port (throws std::runtime_error, saying why, when it cannot);
    // `page` is the HTML, in which {{TOKEN}} becomes the run's token.
    Server(int port, int screenWidth, int screenHeight, const std::string& page);
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // "http://127.0.0.1:PORT/".
    const std::string& Address() const {
        return address_;
    }

    // From the run loop. Each wakes the event streams, which send what is new.
    void PublishFrame(std::vector<uint8_t> png);
    void PublishLines(const std::vector<std::string>& lines);
    void PublishClock(long long deviceMillis, double speed);
    void PublishEnd(int code, const std::string& how);

    // The next action, waiting up to `timeout` for one.
    std::optional<Action> NextAction(std::chrono::milliseconds timeout);
    // After PublishEnd: returns once every open page has been told of the end, or after
    // `grace` (also when no page is open).
    void WaitUntilTold(std::chrono::milliseconds grace);
    // How many pages have their event stream open now.
    int OpenPages();

  private:
    struct Stream;
    std::string EventsSince(Stream& stream, bool* done);
    void Route();

    std::unique_ptr<httplib::Server> http_;
    std::thread listener_;
    std::string address_, host_, localhost_, origin_, localOrigin_, token_, page_;
    int width_, height_;

    std::mutex mutex_;
    std::condition_variable changed_; // the streams' wake-up
    std::condition_variable acted_;   // the run loop's wake-up
    std::deque<Action> actions_;
    std::string frame_; // the current frame as a data URL
    long long frameNumber_ = 0;
    std::vector<std::string> lines_;
    long long clockMillis_ = 0;
    double speed_ = 1;
    long long clockNumber_ = 0;
    bool ended_ = false;
    int exitCode_ = 0;
    std::string how_;
    int openStreams_ = 0;
    int toldStreams_ = 0;
    bool stopping_ = false;
};

} // namespace emu::web

#endif
