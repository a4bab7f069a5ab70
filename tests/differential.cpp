// Differential runs: random user stories, each run on the host build and on the device
// image from the same script, must leave the same outcome: every line of the timeline at the
// same time with the same text, and the same ending (the exit code, or the failure's text).
// Every start of a story's program, second starts included, goes through the entry points of
// the build that the run is for; a run that started a process otherwise counts as a
// difference.
//
//   velmot_differential [--seed N] [--stories N] [--seconds S] [--story K] [--image PATH]
//                       [--plant ending|times]
//
// Story K of a seed is always the same story, so one difference can be run again alone.
// Exit code 0 when every story agreed, 1 when one differed, 2 when nothing could run.
// --plant checks the tool itself: it changes each device-image outcome as a diverging image
// would (ending: the same timeline with another ending; times: the same lines, the last one a
// millisecond later), and every story must then be reported as a difference.
#include "emulator/device.h"
#include "resources/resource.h"
#include "shell/main.h"
#include "shell/main_window.h"
#include "shell/notify_icon.h"
#include "test_support.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Rng = std::mt19937_64;

int Pick(Rng& rng, int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(rng);
}
bool Chance(Rng& rng, int percent) {
    return Pick(rng, 1, 100) <= percent;
}
template <typename T, size_t N> const T& OneOf(Rng& rng, const T (&items)[N]) {
    return items[Pick(rng, 0, static_cast<int>(N) - 1)];
}

// ---- Command lines ---------------------------------------------------------------------

std::wstring Digits(Rng& rng, int count) {
    std::wstring text;
    for (int i = 0; i < count; ++i) {
        text += static_cast<wchar_t>(L'0' + Pick(rng, 0, 9));
    }
    return text;
}

std::wstring Units(std::initializer_list<unsigned> units) {
    std::wstring text;
    for (unsigned unit : units) {
        text += static_cast<wchar_t>(unit);
    }
    return text;
}

// One field's number, favouring the edges of the conversion and of the field's buffer.
std::wstring Number(Rng& rng) {
    static const wchar_t* const huge[] = {
        L"2147483647", L"2147483648", L"2147483646",          L"3000000000",
        L"4294967295", L"4294967296", L"9223372036854775807", L"9223372036854775808",
        L"35791394",   L"35791395",   L"18446744073709551616"};
    static const wchar_t* const junk[] = {L"x",   L"abc", L"1a", L"0x1F", L"5.5", L"+",
                                          L"-",   L"1e3", L"Z9", L"0777", L"\t5", L"5\t",
                                          L"\v7", L"\r9", L"/",  L"T",    L"W"};
    const int digit = Pick(rng, 0, 9);
    switch (Pick(rng, 0, 11)) {
    case 0:
        return L"";
    case 1:
        return OneOf(rng, huge);
    case 2:
        return Digits(rng, Pick(rng, 20, 40));
    case 3: { // longer than the buffer: the cut falls inside the zeros or the digits
        const std::wstring zeros(static_cast<size_t>(Pick(rng, 250, 258)), L'0');
        return zeros + Digits(rng, Pick(rng, 1, 4));
    }
    case 4:
        return Digits(rng, Pick(rng, 256, 300));
    case 5:
        return OneOf(rng, junk);
    case 6: // Arabic-Indic, fullwidth, no-break space, ideographic space, surrogates
        return OneOf(rng, {Units({0x0660u + digit}), Units({0xFF10u + digit}),
                           Units({0x00A0, L'0' + 0u + digit}), Units({0x3000, L'1', L'2'}),
                           Units({0xD83D, 0xDE00}), Units({0xDC00}), Units({L'1', 0xD800}),
                           Units({L'4', 0x0665}), Units({0xFEFF, L'3'})});
    case 7: {
        const std::wstring zeros(static_cast<size_t>(Pick(rng, 1, 12)), L'0');
        return zeros + Digits(rng, 1);
    }
    default:
        return std::to_wstring(Pick(rng, 0, Chance(rng, 70) ? 70 : 1500));
    }
}

std::wstring Field(Rng& rng) {
    static const wchar_t* const signs[] = {L"+", L"-", L"+-", L"-+", L"--", L"++", L"---", L"- "};
    const std::wstring sign = Chance(rng, 25) ? OneOf(rng, signs) : L"";
    return sign + Number(rng);
}

std::wstring Separator(Rng& rng) {
    static const wchar_t* const usual[] = {L":", L" ", L" ", L":", L"", L"\t", L"\x3000"};
    if (Chance(rng, 70)) {
        return OneOf(rng, usual);
    }
    std::wstring run;
    for (int i = Pick(rng, 1, 6); i > 0; --i) {
        run += Chance(rng, 50) ? L' ' : L':';
    }
    return run;
}

std::wstring CommandLine(Rng& rng) {
    const int kind = Pick(rng, 1, 100);
    if (kind <= 4) {
        return L"";
    }
    if (kind <= 7) {
        return L"/";
    }
    if (kind <= 25) { // a plain wait or time that runs until it is due
        const std::wstring mode = Chance(rng, 70) ? L"/W " : L"/T ";
        const int hours = Pick(rng, 1, 6);
        return mode + std::to_wstring(hours) + L":" + std::to_wstring(Pick(rng, 0, 59));
    }
    static const wchar_t modes[] = {L'T', L'T', L'T',  L't', L't',   L'W',  L'W',
                                    L'W', L'w', L'w',  L'X', L'x',   L' ',  L':',
                                    L'1', L'/', L'\t', L'-', 0x0660, 0xFF37};
    std::wstring line;
    if (Chance(rng, 8)) {
        line += Chance(rng, 70) ? L" " : L"  ";
    }
    if (Chance(rng, 90)) {
        line += L'/';
    }
    if (Chance(rng, 4)) {
        return line;
    }
    line += OneOf(rng, modes);
    if (Chance(rng, 60)) {
        line += Chance(rng, 75) ? L" " : Separator(rng);
    }
    line += Field(rng);
    if (Chance(rng, 85)) {
        line += Separator(rng);
        line += Field(rng);
    }
    if (Chance(rng, 20)) {
        static const wchar_t* const trailing[] = {L" junk", L":7",  L" 1 2",  L"\t",
                                                  L"x",     L": :", L" /W 0", L"\xFF11"};
        line += OneOf(rng, trailing);
    }
    return line;
}

// ---- Stories -----------------------------------------------------------------------------

enum class Kind {
    Radio,
    Type,
    Clear,
    Done,
    Tap,
    Choose,
    Dismiss,
    SendQuit,
    PostQuit,
    LowMemory,
    SecondStart,
    RestartShell
};

struct Event {
    emu::Millis when;
    Kind kind;
    int id; // the control or menu command
    std::wstring text = L"";
};

struct Story {
    int year, month, day, hour, minute, second, ms;
    std::wstring commandLine;
    std::vector<Event> events;
};

const int Edits[] = {IDC_TIME_HOUR, IDC_TIME_MINUTE, IDC_WAIT_HOURS, IDC_WAIT_MINUTES};

// Seconds to a few hours.
emu::Millis Gap(Rng& rng) {
    const int kind = Pick(rng, 1, 100);
    const int seconds = kind <= 55   ? Pick(rng, 1, 30)
                        : kind <= 85 ? Pick(rng, 30, 900)
                                     : Pick(rng, 900, 4 * 3600);
    return seconds * 1000LL + (Chance(rng, 10) ? Pick(rng, 1, 999) : 0);
}

// The events of a story, in a plausible order: entries while a dialog is open, the menu
// and the world's messages while the countdown runs. Not exact: a scripted action that
// finds nothing to act on is part of the story's outcome.
std::vector<Event> Events(Rng& rng, emu::Millis start, bool dialogOpen) {
    static const wchar_t* const typed[] = {L"0",  L"1",         L"30",          L"59", L"23",
                                           L"90", L"999999999", L"12345678901", L"a",  L"1a2",
                                           L"-5", L" 7",        L"\x0663"};
    std::vector<Event> events;
    emu::Millis at = start;
    for (int n = Pick(rng, 0, 8); n > 0; --n) {
        at += Gap(rng);
        if (dialogOpen && Chance(rng, 85)) {
            switch (Pick(rng, 0, 4)) {
            case 0:
                events.push_back(
                    {at, Kind::Radio, Chance(rng, 50) ? IDC_TIME_RADIO : IDC_WAIT_RADIO});
                break;
            case 1:
                events.push_back({at, Kind::Clear, OneOf(rng, Edits)});
                break;
            case 2:
                dialogOpen = false;
                events.push_back({at, Kind::Done, 0});
                break;
            default:
                events.push_back({at, Kind::Type, OneOf(rng, Edits), OneOf(rng, typed)});
                break;
            }
            continue;
        }
        switch (Pick(rng, 0, 11)) {
        case 0:
        case 1:
        case 2:
        case 3:
        case 4: {
            events.push_back({at, Kind::Tap, 0});
            at += Pick(rng, 1, 5) * 1000;
            static const int commands[] = {IDM_SET, IDM_SET, IDM_SUSPEND, IDM_EXIT, 0};
            const int command = OneOf(rng, commands);
            events.push_back({at, command != 0 ? Kind::Choose : Kind::Dismiss, command});
            dialogOpen = dialogOpen || command == IDM_SET;
            break;
        }
        case 5:
            events.push_back({at, Chance(rng, 50) ? Kind::SendQuit : Kind::PostQuit, 0});
            break;
        case 6:
            events.push_back({at, Kind::LowMemory, 0});
            break;
        case 7:
        case 8:
            events.push_back({at, Kind::SecondStart, 0, CommandLine(rng)});
            break;
        case 9:
            events.push_back({at, Kind::RestartShell, 0});
            break;
        case 10:
            events.push_back({at, Kind::Done, 0});
            break;
        default:
            events.push_back({at, Kind::Type, OneOf(rng, Edits), OneOf(rng, typed)});
            break;
        }
    }
    // The end of every story, even of a schedule that is never due.
    at = std::max(at, start) + Pick(rng, 1, 20 * 60) * 60 * 1000LL;
    events.push_back({at, Chance(rng, 50) ? Kind::SendQuit : Kind::PostQuit, 0});
    return events;
}

Story MakeStory(uint64_t seed, uint64_t number) {
    std::seed_seq sequence{static_cast<uint32_t>(seed), static_cast<uint32_t>(seed >> 32),
                           static_cast<uint32_t>(number), static_cast<uint32_t>(number >> 32)};
    Rng rng(sequence);
    Story story{};
    story.year = Pick(rng, 2000, 2037);
    story.month = Pick(rng, 1, 12);
    story.day = Pick(rng, 1, 28);
    story.hour = Pick(rng, 0, 23);
    story.minute = Pick(rng, 0, 59);
    story.second = Pick(rng, 0, 59);
    switch (Pick(rng, 0, 5)) { // the edges of a minute, an hour and a day
    case 0:
        story.minute = 59;
        story.second = Pick(rng, 50, 59);
        break;
    case 1:
        story.hour = 23;
        story.minute = 59;
        story.second = Pick(rng, 45, 59);
        break;
    case 2:
        story.hour = Chance(rng, 50) ? 0 : story.hour;
        story.minute = 0;
        story.second = 0;
        break;
    case 3:
        story.second = Chance(rng, 50) ? 0 : 59;
        break;
    default:
        break;
    }
    story.ms = Chance(rng, 10) ? Pick(rng, 1, 999) : 0;
    story.commandLine = CommandLine(rng);
    const emu::Millis start =
        ((story.hour * 60LL + story.minute) * 60 + story.second) * 1000 + story.ms;
    story.events = Events(rng, start, story.commandLine.empty() || story.commandLine[0] != L'/');
    return story;
}

// ---- Running a story on one build ---------------------------------------------------------

// The starts of processes through each build's entry points, counted: the device image's
// and the host build's.
int imageStarts = 0;
int hostStarts = 0;

int ImageStart(HINSTANCE instance, HINSTANCE previous, LPWSTR commandLine, int show) {
    ++imageStarts;
    return emu::runner::StartProgram(instance, previous, commandLine, show);
}
int HostFirstStart(HINSTANCE instance, HINSTANCE previous, LPWSTR commandLine, int show) {
    ++hostStarts;
    return MainEntry(instance, previous, commandLine, show);
}
int HostLaterStart(HINSTANCE instance, HINSTANCE previous, LPWSTR commandLine, int show) {
    ++hostStarts;
    return test::SeparateProcessEntry(instance, previous, commandLine, show);
}

const test::Build HostBuild{"HostBuild", HostFirstStart, HostLaterStart};
const test::Build DeviceImage{"DeviceImage", ImageStart, ImageStart};

void ScriptEvent(const Event& event, const test::Build& build) {
    switch (event.kind) {
    case Kind::Radio:
        return emu::ClickRadio(event.when, event.id);
    case Kind::Type:
        return emu::Type(event.when, event.id, event.text);
    case Kind::Clear:
        return emu::Clear(event.when, event.id);
    case Kind::Done:
        return emu::PressDone(event.when);
    case Kind::Tap:
        return emu::TapIcon(event.when);
    case Kind::Choose:
        return emu::ChooseMenuItem(event.when, static_cast<UINT>(event.id));
    case Kind::Dismiss:
        return emu::DismissMenu(event.when);
    case Kind::SendQuit:
        return emu::SendToWindow(event.when, MAIN_WINDOW_CLASS, MSG_QUIT_REQUEST, 0, 0);
    case Kind::PostQuit:
        return emu::PostToWindow(event.when, MAIN_WINDOW_CLASS, MSG_QUIT_REQUEST, 0, 0);
    case Kind::LowMemory:
        return emu::LowMemory(event.when);
    case Kind::SecondStart:
        return emu::StartSecondCopy(event.when, build.laterStart, event.text);
    case Kind::RestartShell:
        return emu::RestartShell(event.when);
    }
}

// How a story's run went: its timeline, then the exit code or the failure that ended it.
struct Outcome {
    std::vector<emu::Entry> timeline;
    std::string ending;
};

std::string Line(const emu::Entry& entry) {
    return emu::FormatTime(entry.time) + " " + entry.text;
}

std::string Text(const Outcome& outcome) {
    std::string text;
    for (const emu::Entry& entry : outcome.timeline) {
        text += Line(entry) + "\n";
    }
    return text + outcome.ending + "\n";
}

Outcome Run(const Story& story, const test::Build& build) {
    test::FreshDevice();
    emu::SetClock(story.year, story.month, story.day, story.hour, story.minute, story.second,
                  story.ms);
    for (const Event& event : story.events) {
        ScriptEvent(event, build);
    }
    imageStarts = hostStarts = 0;
    Outcome outcome;
    try {
        outcome.ending =
            "exit code " + std::to_string(emu::RunProgram(build.entry, story.commandLine));
    } catch (const emu::Failure& failure) {
        outcome.ending = std::string("failure: ") + failure.what();
    }
    outcome.timeline = emu::Timeline();
    return outcome;
}

// Every start of a process in the run's timeline went through the entry points of the build
// named (the device image's, or the host build's), none through the other's; the ending says
// so when not.
void RequireStartsThrough(bool deviceImage, Outcome* outcome) {
    int starts = 0;
    for (const emu::Entry& entry : outcome->timeline) {
        starts += entry.text.rfind("program started: ", 0) == 0 ||
                  entry.text.rfind("second copy started", 0) == 0;
    }
    const int own = deviceImage ? imageStarts : hostStarts;
    const int other = deviceImage ? hostStarts : imageStarts;
    if (own != starts || other != 0) {
        outcome->ending += "; of the " + std::to_string(starts) + " starts in the timeline " +
                           std::to_string(own) + " went through the " +
                           (deviceImage ? "device image" : "host build") + ", and " +
                           std::to_string(other) + " through the other build";
    }
}

// A diverging image's outcome, as --plant asks for it.
enum class Plant { None, Ending, Times };

void PlantDivergence(Plant plant, Outcome* outcome) {
    if (plant == Plant::Ending) {
        const std::string exit = "exit code ";
        outcome->ending =
            outcome->ending.rfind(exit, 0) == 0
                ? exit + std::to_string(std::atoi(outcome->ending.c_str() + exit.size()) + 1)
                : outcome->ending + " (planted)";
    } else if (plant == Plant::Times && !outcome->timeline.empty()) {
        outcome->timeline.back().time += 1;
    }
}

// Where two outcomes first part: the line of the timeline (each line's time and text), or the
// ending; -1 when they agree.
long FirstDifference(const Outcome& a, const Outcome& b) {
    const size_t lines = std::max(a.timeline.size(), b.timeline.size());
    for (size_t i = 0; i < lines; ++i) {
        if (i >= a.timeline.size() || i >= b.timeline.size() ||
            a.timeline[i].time != b.timeline[i].time || a.timeline[i].text != b.timeline[i].text) {
            return static_cast<long>(i);
        }
    }
    return a.ending == b.ending ? -1 : static_cast<long>(lines);
}

// ---- Reporting ---------------------------------------------------------------------------

std::string Escape(const std::wstring& text) {
    std::string out = "\"";
    for (wchar_t unit : text) {
        if (unit == L'"' || unit == L'\\') {
            out += '\\';
        }
        if (unit >= 0x20 && unit < 0x7F) {
            out += static_cast<char>(unit);
        } else {
            char escaped[12];
            std::snprintf(escaped, sizeof(escaped), "\\u%04X", static_cast<unsigned>(unit));
            out += escaped;
        }
    }
    return out + "\"";
}

std::string Describe(const Event& event) {
    static const char* const names[] = {"click radio",
                                        "type",
                                        "clear",
                                        "press Done",
                                        "tap the icon",
                                        "choose menu item",
                                        "dismiss the menu",
                                        "send quit request",
                                        "post quit request",
                                        "low-memory notice",
                                        "second start",
                                        "restart the shell"};
    std::string text = emu::FormatTime(event.when) + " " + names[static_cast<int>(event.kind)];
    if (event.id != 0) {
        text += " " + std::to_string(event.id);
    }
    if (event.kind == Kind::Type || event.kind == Kind::SecondStart) {
        text += " " + Escape(event.text);
    }
    return text;
}

std::vector<std::string> Lines(const Outcome& outcome) {
    std::vector<std::string> lines;
    for (const emu::Entry& entry : outcome.timeline) {
        lines.push_back(Line(entry));
    }
    lines.push_back(outcome.ending);
    return lines;
}

void PrintDifference(const Outcome& host, const Outcome& image, size_t first) {
    const std::vector<std::string> a = Lines(host), b = Lines(image);
    std::printf("  first difference at line %zu (- host build, + device image):\n", first + 1);
    for (size_t i = first >= 3 ? first - 3 : 0; i < first && i < a.size(); ++i) {
        std::printf("    %s\n", a[i].c_str());
    }
    for (size_t i = first; i < a.size() && i < first + 5; ++i) {
        std::printf("  - %s\n", a[i].c_str());
    }
    for (size_t i = first; i < b.size() && i < first + 5; ++i) {
        std::printf("  + %s\n", b[i].c_str());
    }
    std::printf("  host build, in full:\n%s  device image, in full:\n%s", Text(host).c_str(),
                Text(image).c_str());
}

struct Options {
    uint64_t seed = 0;
    bool seedGiven = false;
    long stories = 2000;
    double seconds = 1e9;
    long story = -1;
    std::string image;
    Plant plant = Plant::None;
};

bool ParseOptions(int argc, char** argv, Options* options) {
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        if (i + 1 >= argc) {
            return false;
        }
        const char* value = argv[++i];
        if (name == "--seed") {
            options->seed = std::strtoull(value, nullptr, 10);
            options->seedGiven = true;
        } else if (name == "--stories") {
            options->stories = std::atol(value);
        } else if (name == "--seconds") {
            options->seconds = std::atof(value);
        } else if (name == "--story") {
            options->story = std::atol(value);
        } else if (name == "--image") {
            options->image = value;
        } else if (name == "--plant" &&
                   (std::strcmp(value, "ending") == 0 || std::strcmp(value, "times") == 0)) {
            options->plant = value[0] == 'e' ? Plant::Ending : Plant::Times;
        } else {
            return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    options.image = test::DeviceImagePath();
    if (!ParseOptions(argc, argv, &options)) {
        std::fprintf(stderr,
                     "usage: %s [--seed N] [--stories N] [--seconds S] [--story K] "
                     "[--image PATH] [--plant ending|times]\n",
                     argv[0]);
        return 2;
    }
    if (options.image.empty()) {
        std::fprintf(stderr, "velmot_differential: no device image: pass --image PATH or set "
                             "VELMOT_DEVICE_IMAGE (build/device/velmot.exe)\n");
        return 2;
    }
    try {
        emu::runner::LoadProgram(options.image);
    } catch (const emu::Failure& failure) {
        std::fprintf(stderr, "velmot_differential: %s: %s\n", options.image.c_str(),
                     failure.what());
        return 2;
    }
    if (!options.seedGiven) {
        const auto now = std::chrono::system_clock::now().time_since_epoch().count();
        options.seed = (std::random_device()() ^ static_cast<uint64_t>(now)) % 1000000000;
    }
    std::printf("differential: seed %llu, image %s\n",
                static_cast<unsigned long long>(options.seed), options.image.c_str());
    std::fflush(stdout);

    const auto began = std::chrono::steady_clock::now();
    long ran = 0, failed = 0;
    const long first = options.story >= 0 ? options.story : 0;
    const long last = options.story >= 0 ? options.story + 1 : options.stories;
    for (long number = first; number < last; ++number) {
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - began;
        if (elapsed.count() >= options.seconds) {
            break;
        }
        const Story story = MakeStory(options.seed, static_cast<uint64_t>(number));
        Outcome host = Run(story, HostBuild);
        RequireStartsThrough(false, &host);
        Outcome image = Run(story, DeviceImage);
        RequireStartsThrough(true, &image);
        PlantDivergence(options.plant, &image);
        ++ran;
        const long parting = FirstDifference(host, image);
        if (parting < 0) {
            continue;
        }
        ++failed;
        std::printf("\nDIFFERENCE in story %ld of seed %llu\n", number,
                    static_cast<unsigned long long>(options.seed));
        if (failed <= 3) {
            std::printf(
                "  start %04d-%02d-%02d %s, command line %s\n", story.year, story.month, story.day,
                emu::FormatTime(emu::At(story.hour, story.minute, story.second, 0, story.ms))
                    .c_str(),
                Escape(story.commandLine).c_str());
            for (const Event& event : story.events) {
                std::printf("  event %s\n", Describe(event).c_str());
            }
            PrintDifference(host, image, static_cast<size_t>(parting));
        }
        std::printf("  rerun: %s --seed %llu --story %ld --image %s\n", argv[0],
                    static_cast<unsigned long long>(options.seed), number, options.image.c_str());
        std::fflush(stdout);
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - began;
    std::printf("differential: %ld stories, %ld passed, %ld failed (seed %llu, %.1f s)\n", ran,
                ran - failed, failed, static_cast<unsigned long long>(options.seed), took.count());
    return failed == 0 ? 0 : 1;
}
