// The front-ends' start: the options, the device's clock, the program, the way of running it
// (a terminal, the web, or a pipe), and the run without a screen (piped), whose clock runs in
// virtual time unless a speed is given.
#include "emulator/frontend/frontend.h"

#include "emulator/console/terminal.h"
#include "emulator/web/web.h"
#include "emulator/runner/runner.h"

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <thread>

namespace emu::frontend {

TimelineFeed::TimelineFeed(const std::string& path) {
    if (!path.empty()) {
        file_ = std::fopen(path.c_str(), "w");
        if (file_ == nullptr) {
            throw Stop(ExitUsage, "cannot write the timeline to " + path);
        }
    }
}

TimelineFeed::~TimelineFeed() {
    if (file_ != nullptr) {
        std::fclose(file_);
    }
}

void TimelineFeed::Flush(std::FILE* also) {
    const std::vector<Entry>& timeline = Timeline();
    for (; written_ < timeline.size(); ++written_) {
        const std::string line =
            FormatTime(timeline[written_].time) + " " + timeline[written_].text + "\n";
        for (std::FILE* out : {file_, also}) {
            if (out != nullptr) {
                std::fputs(line.c_str(), out);
            }
        }
    }
    for (std::FILE* out : {file_, also}) {
        if (out != nullptr) {
            std::fflush(out);
        }
    }
}

namespace {

volatile sig_atomic_t terminationSignal = 0;

void NoteTermination(int signalNumber) {
    terminationSignal = signalNumber;
}

} // namespace

void CatchTermination() {
    struct sigaction action = {};
    action.sa_handler = NoteTermination;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0; // no restart: a wait in poll returns at once
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) {
        sigaction(signalNumber, &action, nullptr);
    }
}

bool Terminated() {
    return terminationSignal != 0;
}

void StopWhenTerminated() {
    if (const int signalNumber = terminationSignal) {
        const char* name = signalNumber == SIGINT    ? "SIGINT"
                           : signalNumber == SIGTERM ? "SIGTERM"
                                                     : "SIGHUP";
        throw Stop(128 + signalNumber,
                   std::string("stopped by signal ") + name + " at " + FormatTime(Now()));
    }
}

void WaitInRealTime(Millis next, double speed,
                    const std::function<bool(std::chrono::milliseconds)>& wait) {
    const Millis now = Now();
    Millis wake = (now / 60000 + 1) * 60000;
    if (next >= 0 && next < wake) {
        wake = next;
    }
    const auto start = std::chrono::steady_clock::now();
    const auto until = start + std::chrono::duration<double, std::milli>(
                                   std::ceil(static_cast<double>(wake - now) / speed));
    while (!Terminated()) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
        if (left.count() <= 0 || wait(left)) {
            break;
        }
    }
    const std::chrono::duration<double, std::milli> slept =
        std::chrono::steady_clock::now() - start;
    const Millis reached = now + static_cast<Millis>(slept.count() * speed);
    AdvanceClock(std::min(wake, std::max(now, reached)));
}

std::string ClockText(Millis time) {
    const Millis ofDay = ((time % 86400000) + 86400000) % 86400000;
    char text[16];
    std::snprintf(text, sizeof(text), "%d:%02d", static_cast<int>(ofDay / 3600000),
                  static_cast<int>(ofDay / 60000 % 60));
    return text;
}

std::optional<DialogView> OpenDialogView() {
    const HWND front = ForegroundWindow();
    for (const WindowView& window : TopLevelWindows()) {
        if (window.handle == front && window.className == L"Dialog") {
            return CurrentDialog();
        }
    }
    return std::nullopt;
}

namespace {

[[noreturn]] void Usage(const std::string& why) {
    std::fprintf(
        stderr,
        "pocketpc_console: %s\n"
        "usage: pocketpc_console [--image FILE] [--at [YYYY-MM-DDT]HH:MM[:SS]] [--screen WxH] "
        "[--speed N] [--hours N] [--no-ui] [--web [PORT]] [--timeline FILE] [--pictures DIR] "
        "[--hint TEXT] [--] [command line]\n",
        why.c_str());
    std::exit(ExitUsage);
}

double Number(const char* text, const char* option) {
    char* end = nullptr;
    const double value = std::strtod(text, &end);
    if (end == text || *end != 0 || !(value > 0) || !std::isfinite(value)) {
        Usage(std::string(option) + " wants a positive number, not \"" + text + "\"");
    }
    return value;
}

// --at [YYYY-MM-DDT]HH:MM[:SS]: the time of day, and the date when one is given.
void StartAt(const char* text, Options* options) {
    int h = 0, m = 0, s = 0, year = 0, month = 0, day = 0;
    char tail = 0, separator = 0;
    const char* time = text;
    if (std::strchr(text, '-') != nullptr) {
        int length = 0;
        if (std::sscanf(text, "%4d-%2d-%2d%c%n", &year, &month, &day, &separator, &length) != 4 ||
            (separator != 'T' && separator != ' ') || month < 1 || month > 12 || day < 1 ||
            year < 1601 || year > 9999 ||
            day > (month == 2 ? (year % 4 == 0 && (year % 100 != 0 || year % 400 == 0) ? 29 : 28)
                   : month == 4 || month == 6 || month == 9 || month == 11 ? 30
                                                                           : 31)) {
            year = -1;
        }
        time = text + length;
    }
    const int read = year < 0 ? 0 : std::sscanf(time, "%d:%d:%d%c", &h, &m, &s, &tail);
    if (read < 2 || read > 3 || h < 0 || h > 23 || m < 0 || m > 59 || s < 0 || s > 59) {
        Usage(std::string("--at wants HH:MM[:SS] or YYYY-MM-DDTHH:MM[:SS], not \"") + text + "\"");
    }
    options->at = (h * 60 + m) * 60 + s;
    options->year = year;
    options->month = month;
    options->day = day;
}

Options Parse(int argc, char** argv) {
    Options options;
    int at = 1;
    for (; at < argc; ++at) {
        const std::string arg = argv[at];
        const bool hasValue = at + 1 < argc;
        if (arg == "--") {
            ++at;
            break;
        }
        if (arg.compare(0, 2, "--") != 0) {
            break;
        }
        if (arg == "--no-ui") {
            options.noUi = true;
            continue;
        }
        if (arg == "--web") {
            // An optional port: the next argument when it is a number.
            options.webPort = web::DefaultPort;
            if (hasValue && std::strspn(argv[at + 1], "0123456789") == std::strlen(argv[at + 1])) {
                const long port = std::strtol(argv[++at], nullptr, 10);
                if (port < 1 || port > 65535) {
                    Usage(std::string("--web wants a port from 1 to 65535, not ") + argv[at]);
                }
                options.webPort = static_cast<int>(port);
            }
            continue;
        }
        if (!hasValue) {
            Usage(arg == "--image" || arg == "--at" || arg == "--screen" || arg == "--speed" ||
                          arg == "--hours" || arg == "--timeline" || arg == "--hint" ||
                          arg == "--pictures"
                      ? arg + " wants a value"
                      : "unknown option " + arg);
        }
        const char* value = argv[++at];
        if (arg == "--image") {
            options.image = value;
        } else if (arg == "--at") {
            StartAt(value, &options);
        } else if (arg == "--screen") {
            char tail = 0;
            if (std::sscanf(value, "%dx%d%c", &options.width, &options.height, &tail) != 2) {
                Usage(std::string("--screen wants WIDTHxHEIGHT, not \"") + value + "\"");
            }
        } else if (arg == "--speed") {
            options.speed = Number(value, "--speed");
        } else if (arg == "--hours") {
            options.hours = Number(value, "--hours");
        } else if (arg == "--timeline") {
            options.timeline = value;
        } else if (arg == "--pictures") {
            options.pictures = value;
        } else if (arg == "--hint") {
            options.hint = value;
        } else {
            Usage("unknown option " + arg);
        }
    }
    std::string line;
    for (; at < argc; ++at) {
        line += line.empty() ? "" : " ";
        line += argv[at];
    }
    options.commandLine.assign(line.begin(), line.end());
    return options;
}

// The device's clock: this machine's local date and time, or the time (and date) chosen.
void SetDeviceClock(const Options& options) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    int seconds = local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec;
    if (options.at >= 0) {
        seconds = options.at;
    }
    if (options.year > 0) {
        SetClock(options.year, options.month, options.day, seconds / 3600, seconds / 60 % 60,
                 seconds % 60);
        return;
    }
    SetClock(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, seconds / 3600,
             seconds / 60 % 60, seconds % 60);
}

// Nobody at the other end of a pipe can answer a dialog or a menu.
void RefuseWhatNeedsAPerson(const Options& options, const Pictures* pictures) {
    if (const std::optional<DialogView> dialog = OpenDialogView()) {
        const std::string picture =
            pictures != nullptr ? " (its picture: " + pictures->Last() + ")" : "";
        throw Stop(ExitNobody, "the program opened its dialog \"" +
                                   std::string(dialog->caption.begin(), dialog->caption.end()) +
                                   "\"" + picture +
                                   " and waits for an answer that nobody can give here: run "
                                   "it in a terminal, or give it " +
                                   options.hint);
    }
    if (OpenPopupMenu()) {
        throw Stop(ExitNobody, "the program opened a menu that nobody can choose from here: "
                               "run it in a terminal");
    }
}

// The idle handler of a run without a screen. With pictures, the clock stops at each change of
// the minute too, so that the picture of the clock in the bar has that moment's time.
void PipedIdle(const Options& options, TimelineFeed& feed, Pictures* pictures, Millis limit,
               Millis next) {
    feed.Flush(stdout);
    if (pictures != nullptr) {
        pictures->Take();
    }
    RefuseWhatNeedsAPerson(options, pictures);
    if (next < 0) {
        throw Stop(ExitFailure, "nothing is left to happen at " + FormatTime(Now()) +
                                    ": the program waits for ever");
    }
    Millis to = std::min(next, limit);
    if (pictures != nullptr) {
        to = std::min(to, (Now() / 60000 + 1) * 60000);
    }
    if (options.speed > 0) {
        const double ms = static_cast<double>(to - Now()) / options.speed;
        std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(ms));
    }
    AdvanceClock(to);
    if (to == limit && limit < next) {
        char hours[32];
        std::snprintf(hours, sizeof(hours), "%g", options.hours);
        throw Stop(ExitTimeLimit, std::string("stopped after ") + hours +
                                      " hours of device time, at " + FormatTime(Now()) +
                                      ": the program still runs");
    }
}

std::string BaseName(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

int Main(int argc, char** argv, EntryPoint hostBuild, const char* name) {
    Options options = Parse(argc, argv);
    if (hostBuild == nullptr && options.image.empty()) {
        Usage("which program? --image FILE names a device image");
    }
    options.name = !options.image.empty() ? BaseName(options.image) : name;
    Reset();
    SetDeviceClock(options);
    try {
        SetScreenSize(options.width, options.height);
    } catch (const Failure& failure) {
        Usage(failure.what());
    }
    EntryPoint entry = hostBuild;
    if (!options.image.empty()) {
        try {
            runner::LoadProgram(options.image);
        } catch (const Failure& failure) {
            std::fprintf(stderr, "pocketpc_console: %s: %s\n", options.image.c_str(),
                         failure.what());
            return ExitUsage;
        }
        entry = runner::StartProgram;
    }
    const bool screen =
        options.webPort == 0 && !options.noUi && isatty(STDIN_FILENO) && isatty(STDOUT_FILENO);
    std::unique_ptr<TimelineFeed> feed;
    std::unique_ptr<Pictures> pictures;
    try {
        feed = std::make_unique<TimelineFeed>(options.timeline);
        if (!options.pictures.empty()) {
            pictures = std::make_unique<Pictures>(options.pictures);
        }
    } catch (const Stop& stop) {
        std::fprintf(stderr, "pocketpc_console: %s\n", stop.what());
        return stop.code;
    }
    // The last picture: the screen as the program left it.
    auto lastPicture = [&pictures]() -> std::string {
        try {
            if (pictures) {
                pictures->Take();
            }
            return "";
        } catch (const Stop& stop) {
            return stop.what();
        }
    };

    if (screen || options.webPort != 0) {
        std::unique_ptr<FrontEnd> front;
        try {
            if (screen) {
                front = std::make_unique<console::Terminal>(options, [&pictures](int selection) {
                    if (pictures) {
                        pictures->Take(selection);
                    }
                });
            } else {
                front = std::make_unique<web::Browser>(options, options.webPort);
            }
        } catch (const Stop& stop) {
            std::fprintf(stderr, "pocketpc_console: %s\n", stop.what());
            return stop.code;
        }
        // On the web, the timeline goes to the standard output too, as in a piped run.
        std::FILE* also = screen ? nullptr : stdout;
        SetIdleHandler([&front, &feed, &pictures, also](Millis next) {
            feed->Flush(also);
            if (pictures && also != nullptr) {
                pictures->Take();
            }
            front->Idle(next);
        });
        std::string how;
        int code = 0;
        try {
            code = RunProgram(entry, options.commandLine);
            how = options.name + " exited with code " + std::to_string(code);
        } catch (const Stop& stop) {
            code = stop.code;
            how = stop.what();
        } catch (const Failure& failure) {
            code = ExitFailure;
            how = std::string("the emulated device failed: ") + failure.what();
        }
        SetIdleHandler(nullptr);
        feed->Flush(also);
        const std::string unwritten = lastPicture();
        if (!unwritten.empty()) {
            how += "; " + unwritten;
        }
        if (also != nullptr) {
            std::printf("pocketpc_console: %s\n", how.c_str());
            std::fflush(stdout);
        }
        front->Finish(code, how);
        return code;
    }

    const Millis limit = Now() + static_cast<Millis>(options.hours * 3600000.0);
    SetIdleHandler([&options, &feed, &pictures, limit](Millis next) {
        PipedIdle(options, *feed, pictures.get(), limit, next);
    });
    int code = 0;
    try {
        code = RunProgram(entry, options.commandLine);
        feed->Flush(stdout);
    } catch (const Stop& stop) {
        feed->Flush(stdout);
        std::printf("pocketpc_console: %s\n", stop.what());
        return stop.code;
    } catch (const Failure& failure) {
        feed->Flush(stdout);
        std::printf("pocketpc_console: the emulated device failed: %s\n", failure.what());
        return ExitFailure;
    }
    const std::string unwritten = lastPicture();
    if (!unwritten.empty()) {
        std::printf("pocketpc_console: %s\n", unwritten.c_str());
        return ExitFailure;
    }
    std::printf("pocketpc_console: %s exited with code %d\n", options.name.c_str(), code);
    return code;
}

} // namespace emu::frontend
