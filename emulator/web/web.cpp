// The web front-end's run loop: the device's idle handler, publishing to the server and taking
// the actions that it queued.
#include "emulator/web/web.h"

#include "emulator/screen/screen.h"
#include "emulator/web/server.h"

#include <chrono>
#include <cstdio>

namespace emu::web {

// The page, from page.html (embedded by the build).
extern const char PageHtml[];

namespace {

// How often the loop looks for a termination signal while it waits: a signal cannot wake
// the wait for an action.
constexpr auto SignalCheck = std::chrono::milliseconds(250);
// How long the command waits, after the end, for a page to be told when none is open.
constexpr auto NobodyGrace = std::chrono::seconds(3);
// The longest it waits for the open pages to be told.
constexpr auto PagesGrace = std::chrono::seconds(10);

} // namespace

struct Browser::Impl {
    Impl(const frontend::Options& options, int port)
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
        const std::optional<DialogView> view = frontend::OpenDialogView();
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

Browser::Browser(const frontend::Options& options, int port) {
    try {
        impl_ = std::make_unique<Impl>(options, port);
    } catch (const std::runtime_error& error) {
        throw frontend::Stop(frontend::ExitUsage, error.what());
    }
    std::printf("%s\n", impl_->server.Address().c_str());
    std::fflush(stdout);
    impl_->server.PublishClock(Now(), impl_->speed);
    frontend::CatchTermination();
}

Browser::~Browser() = default;

void Browser::Idle(Millis next) {
    Impl& self = *impl_;
    for (;;) {
        frontend::StopWhenTerminated();
        self.Publish();
        std::optional<Action> action;
        frontend::WaitInRealTime(next, self.speed,
                                 [&self, &action](std::chrono::milliseconds left) {
                                     action = self.server.NextAction(std::min(left, SignalCheck));
                                     return action.has_value();
                                 });
        frontend::StopWhenTerminated();
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
    // A person who stopped the command (Ctrl+C, a kill) has no page to wait for.
    if (self.server.OpenPages() == 0 && frontend::Terminated()) {
        return;
    }
    self.server.WaitUntilTold(std::chrono::duration_cast<std::chrono::milliseconds>(
        self.server.OpenPages() > 0 ? PagesGrace : NobodyGrace));
}

} // namespace emu::web
