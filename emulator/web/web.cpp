// The web front-end's run loop: the device's idle handler, publishing to the server and taking
// the actions that it queued.
#include "emulator/web/web.h"

#include "emulator/console/console.h"
#include "emulator/screen/screen.h"
#include "emulator/web/server.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>

namespace emu::web {

// The page, from page.html (embedded by the build).
extern const char PageHtml[];

namespace {

using Clock = std::chrono::steady_clock;
// How often the loop looks for a termination signal while it waits.
constexpr auto SignalCheck = std::chrono::milliseconds(250);
// How long the command waits, after the end, for a page to be told when none is open.
constexpr auto NobodyGrace = std::chrono::seconds(3);
// The longest it waits for the open pages to be told.
constexpr auto PagesGrace = std::chrono::seconds(10);

std::atomic<int> terminationSignal{0};

void NoteTermination(int signalNumber) {
    terminationSignal = signalNumber;
}

// Ctrl+C, a termination request and a hang-up end the run as q does in the terminal.
void StopWhenTerminated() {
    if (const int signalNumber = terminationSignal.load()) {
        throw console::Stop(128 + signalNumber, signalNumber == SIGINT
                                                    ? "stopped with Ctrl+C at " + FormatTime(Now())
                                                    : "stopped by signal " +
                                                          std::to_string(signalNumber) + " at " +
                                                          FormatTime(Now()));
    }
}

} // namespace

struct Browser::Impl {
    Impl(const console::Options& options, int port)
        : server(port, options.width, options.height, PageHtml),
          speed(options.speed > 0 ? options.speed : 1) {}

    // Publishes the new timeline lines and, when the screen changed, the new frame.
    void Publish() {
        const std::vector<Entry>& timeline = Timeline();
        std::vector<std::string> lines;
        for (; published < timeline.size(); ++published) {
            lines.push_back(FormatTime(timeline[published].time) + " " + timeline[published].text);
        }
        server.PublishLines(lines);
        if (screen.Draw()) {
            server.PublishFrame(screen.Png());
        }
    }

    // Runs a key on the device as the terminal's keys do; answers whether it acted.
    bool Key(const std::string& key) {
        if (const std::optional<MenuView> menu = OpenPopupMenu()) {
            if (key == "Escape") {
                DismissMenu(Now());
                return true;
            }
            return false;
        }
        if (key == "i") {
            if (Icons().empty()) {
                return false;
            }
            TapIcon(Now());
            return true;
        }
        const std::optional<DialogView> view = console::OpenDialogView();
        if (!view) {
            return false;
        }
        if (key == "Enter") {
            if (!(view->shellFlags & SHIDIF_DONEBUTTON)) {
                return false;
            }
            PressDone(Now());
            return true;
        }
        for (const ControlView& control : view->controls) {
            if (control.focused && control.className == L"Edit") {
                if (key == "Backspace") {
                    Backspace(Now(), control.id);
                } else if (key.size() == 1 && key[0] >= '0' && key[0] <= '9') {
                    Type(Now(), control.id, std::wstring(1, static_cast<wchar_t>(key[0])));
                } else {
                    return false;
                }
                return true;
            }
        }
        return false;
    }

    // Runs an action; answers whether the device has something to run now.
    bool Act(const Action& action) {
        switch (action.kind) {
        case Action::Kind::Tap:
            TapAt(Now(), action.x, action.y);
            return true;
        case Action::Kind::Key:
            return Key(action.key);
        case Action::Kind::Speed:
            speed = action.speed;
            server.PublishClock(Now(), speed);
            return false;
        }
        return false;
    }

    Server server;
    screen::Renderer screen;
    double speed;
    size_t published = 0;
};

Browser::Browser(const console::Options& options, int port) {
    try {
        impl_ = std::make_unique<Impl>(options, port);
    } catch (const std::runtime_error& error) {
        throw console::Stop(console::ExitUsage, error.what());
    }
    std::printf("%s\n", impl_->server.Address().c_str());
    std::fflush(stdout);
    impl_->server.PublishClock(Now(), impl_->speed);
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) {
        std::signal(signalNumber, NoteTermination);
    }
}

Browser::~Browser() {
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) {
        std::signal(signalNumber, SIG_DFL);
    }
}

void Browser::Idle(Millis next) {
    Impl& self = *impl_;
    for (;;) {
        StopWhenTerminated();
        self.Publish();
        // It waits in real time, times the speed, until what comes next, or the next minute
        // for the clock in the bar, or an action.
        const Millis now = Now();
        Millis wake = (now / 60000 + 1) * 60000;
        if (next >= 0 && next < wake) {
            wake = next;
        }
        const auto start = Clock::now();
        const auto until = start + std::chrono::duration<double, std::milli>(
                                       std::ceil(static_cast<double>(wake - now) / self.speed));
        std::optional<Action> action;
        while (!action && Clock::now() < until && terminationSignal == 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                until - Clock::now() + std::chrono::microseconds(999));
            action = self.server.NextAction(std::min<std::chrono::milliseconds>(left, SignalCheck));
        }
        const std::chrono::duration<double, std::milli> slept = Clock::now() - start;
        const Millis reached = now + static_cast<Millis>(slept.count() * self.speed);
        AdvanceClock(std::min(wake, std::max(now, reached)));
        StopWhenTerminated();
        // One action at a time: the device runs it before the next is taken.
        if (action && self.Act(*action)) {
            return;
        }
        if (next >= 0 && Now() >= next) {
            return;
        }
    }
}

void Browser::Finish(int code, const std::string& how) {
    Impl& self = *impl_;
    self.Publish();
    self.server.PublishEnd(code, how);
    self.server.WaitUntilTold(std::chrono::duration_cast<std::chrono::milliseconds>(
        self.server.OpenPages() > 0 ? PagesGrace : NobodyGrace));
}

} // namespace emu::web
