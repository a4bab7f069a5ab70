// The emulated Pocket PC's screen in pixels (emulator/screen), on both builds: what the
// program gave the device is drawn where the emulator's geometry has a tap reach it.
#include "emulator/screen/look.h"
#include "emulator/screen/screen.h"
#include "resources/resource.h"
#include "scenario.h"

#include <cstdint>
#include <fstream>
#include <iterator>
#include <memory>

using emu::At;

namespace {

namespace look = emu::screen::look;

// A frame as the renderer drew it at a moment of the scenario, with what the emulator said
// then of where things are.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
    std::optional<emu::DialogView> dialog;
    std::optional<emu::MenuView> menu;
    RECT icon = {0, 0, 0, 0};

    uint32_t At(int x, int y) const {
        return pixels.at(static_cast<size_t>(y) * width + x);
    }
    // The pixels of a rectangle, row by row.
    std::vector<uint32_t> Block(const RECT& r) const {
        std::vector<uint32_t> out;
        for (int y = r.top; y < r.bottom; ++y) {
            for (int x = r.left; x < r.right; ++x) {
                out.push_back(At(x, y));
            }
        }
        return out;
    }
};

std::shared_ptr<Picture> PictureAt(emu::screen::Renderer& screen, emu::Millis when) {
    auto picture = std::make_shared<Picture>();
    emu::Script(when, "look at the screen", [&screen, picture] {
        screen.Draw();
        picture->width = screen.Width();
        picture->height = screen.Height();
        for (int y = 0; y < picture->height; ++y) {
            for (int x = 0; x < picture->width; ++x) {
                picture->pixels.push_back(screen.Pixel(x, y));
            }
        }
        if (!emu::TodayInFront()) {
            picture->dialog = emu::CurrentDialog();
        }
        picture->menu = emu::OpenPopupMenu();
        if (!emu::Icons().empty()) {
            picture->icon = emu::IconRect(0);
        }
    });
    return picture;
}

const emu::ControlView& ControlOf(const Picture& picture, int id) {
    return picture.dialog->Control(id);
}

RECT RectOf(const Picture& picture, int id) {
    return emu::ControlRect(*picture.dialog, ControlOf(picture, id));
}

// The middle of a radio button's circle, which sits at the left of its rectangle.
uint32_t RadioMiddle(const Picture& picture, int id) {
    const RECT r = RectOf(picture, id);
    return picture.At(r.left + look::RadioSize / 2, (r.top + r.bottom) / 2);
}

// Columns inside an edit (within its border) that hold a line of window text at least as high
// as the font's line: the caret (a digit's strokes are shorter).
int CaretColumns(const Picture& picture, int id) {
    const RECT r = RectOf(picture, id);
    int columns = 0;
    for (int x = r.left + 1; x < r.right - 1; ++x) {
        int run = 0, longest = 0;
        for (int y = r.top + 1; y < r.bottom - 1; ++y) {
            run = picture.At(x, y) == look::WindowText ? run + 1 : 0;
            longest = std::max(longest, run);
        }
        columns += longest >= 12 ? 1 : 0;
    }
    return columns;
}

// The committed icon file's 16 x 16 image, decoded here apart from the renderer, from the
// file's directory to its pixels: 0xAARRGGBB, rows top down, alpha 0 where the AND mask is set.
// (Unicorn carries glib functions of its own, so a glib-based decoder cannot share the process.)
std::vector<uint32_t> IconFromFile() {
    std::ifstream in(VELMOT_SOURCE_DIR "/resources/velmot.ico", std::ios::binary);
    const std::vector<unsigned char> file((std::istreambuf_iterator<char>(in)),
                                          std::istreambuf_iterator<char>());
    auto number = [&file](size_t at, int bytes) {
        uint32_t value = 0;
        for (int i = bytes - 1; i >= 0; --i) {
            value = value << 8 | file.at(at + static_cast<size_t>(i));
        }
        return value;
    };
    std::vector<uint32_t> argb;
    for (uint32_t entry = 0; entry < number(4, 2); ++entry) {
        const size_t dir = 6 + 16 * static_cast<size_t>(entry);
        if (file.at(dir) != 16 || file.at(dir + 1) != 16) {
            continue;
        }
        const size_t dib = number(dir + 12, 4);
        const size_t palette = dib + number(dib, 4);
        const uint32_t bits = number(dib + 14, 2);
        const size_t colours = palette + 4 * (1u << bits);
        const size_t colourRow = (16 * bits + 31) / 32 * 4, maskRow = 4;
        const size_t mask = colours + 16 * colourRow;
        // The bit at a position counted from a row's first byte, most significant first.
        auto bitsAt = [&file](size_t row, size_t first, uint32_t count) {
            uint32_t value = 0;
            for (uint32_t i = 0; i < count; ++i) {
                const size_t bit = first + i;
                value = value << 1 | ((file.at(row + bit / 8) >> (7 - bit % 8)) & 1u);
            }
            return value;
        };
        for (size_t y = 0; y < 16; ++y) {
            const size_t stored = 15 - y;
            for (size_t x = 0; x < 16; ++x) {
                const uint32_t index = bitsAt(colours + stored * colourRow, x * bits, bits);
                // The colour table's entries are blue, green, red, unused.
                const uint32_t rgb = file.at(palette + 4 * index + 2) << 16 |
                                     file.at(palette + 4 * index + 1) << 8 |
                                     file.at(palette + 4 * index);
                const bool clear = bitsAt(mask + stored * maskRow, x, 1) != 0;
                argb.push_back((clear ? 0u : 0xFF000000u) | rgb);
            }
        }
    }
    return argb;
}

class Screen : public test::Scenario {
  protected:
    emu::screen::Renderer screen;
};
INSTANTIATE_SCENARIOS(Screen);

TEST_P(Screen, TheNotificationIconIsTheResourceOwnImageOverTheBar) {
    const std::vector<uint32_t> expected = IconFromFile();
    ASSERT_EQ(expected.size(), 256u) << "the 16 x 16 image of resources/velmot.ico";
    auto today = PictureAt(screen, At(10, 0, 5));
    QuitAt(At(10, 0, 10));
    RunToEnd(L"/W 1:0");

    ASSERT_EQ(today->icon.right - today->icon.left, 16);
    ASSERT_EQ(today->icon.bottom - today->icon.top, 16);
    int transparent = 0;
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            const uint32_t want = expected[static_cast<size_t>(y) * 16 + x];
            const bool clear = (want >> 24) == 0;
            transparent += clear ? 1 : 0;
            EXPECT_EQ(today->At(today->icon.left + x, today->icon.top + y),
                      clear ? look::MenuBar : want & 0xFFFFFF)
                << "icon pixel " << x << "," << y;
        }
    }
    EXPECT_GT(transparent, 0) << "the icon has transparent pixels to check";
}

TEST_P(Screen, TheChosenRadioHasTheDotTheFocusedEditTheCaretATypedDigitShows) {
    auto opened = PictureAt(screen, At(10, 0, 1));
    emu::ClickRadio(At(10, 0, 2), IDC_WAIT_RADIO);
    emu::Focus(At(10, 0, 3), IDC_WAIT_MINUTES);
    auto focused = PictureAt(screen, At(10, 0, 4));
    auto unchanged = std::make_shared<bool>(true);
    emu::Script(At(10, 0, 5), "draw again", [this, unchanged] { *unchanged = !screen.Draw(); });
    emu::Type(At(10, 0, 6), IDC_WAIT_MINUTES, L"5");
    auto typed = PictureAt(screen, At(10, 0, 7));
    emu::PressDone(At(10, 0, 8));
    QuitAt(At(10, 0, 10));
    RunToEnd(L"");

    EXPECT_EQ(RadioMiddle(*opened, IDC_TIME_RADIO), look::WindowText);
    EXPECT_EQ(RadioMiddle(*opened, IDC_WAIT_RADIO), look::Window);
    EXPECT_EQ(RadioMiddle(*focused, IDC_TIME_RADIO), look::Window);
    EXPECT_EQ(RadioMiddle(*focused, IDC_WAIT_RADIO), look::WindowText);
    EXPECT_EQ(CaretColumns(*opened, IDC_TIME_HOUR), 1) << "the edit with the focus at the start";
    EXPECT_EQ(CaretColumns(*opened, IDC_TIME_MINUTE), 0);
    EXPECT_EQ(CaretColumns(*focused, IDC_WAIT_MINUTES), 1);
    EXPECT_EQ(CaretColumns(*focused, IDC_TIME_HOUR), 0);
    EXPECT_TRUE(*unchanged) << "a frame drawn again although nothing changed";
    EXPECT_NE(typed->Block(RectOf(*typed, IDC_WAIT_MINUTES)),
              focused->Block(RectOf(*focused, IDC_WAIT_MINUTES)));
    EXPECT_EQ(typed->Block(RectOf(*typed, IDC_WAIT_HOURS)),
              focused->Block(RectOf(*focused, IDC_WAIT_HOURS)));
}

// The popup menu at the icon, on each of the device's screens: its frame on the outermost
// pixels of the emulator's rectangle, nothing of it outside.
TEST_P(Screen, ThePopupMenuLiesExactlyInTheEmulatorsRectangle) {
    const std::pair<int, int> sizes[] = {{240, 320}, {320, 240}, {240, 240}};
    for (const auto& [width, height] : sizes) {
        SCOPED_TRACE(std::to_string(width) + " x " + std::to_string(height));
        test::FreshDevice();
        emu::SetClock(2026, 12, 8, 10, 0, 0);
        emu::SetScreenSize(width, height);
        emu::TapIcon(At(10, 0, 1));
        auto open = PictureAt(screen, At(10, 0, 2));
        emu::DismissMenu(At(10, 0, 3));
        QuitAt(At(10, 0, 10));
        RunToEnd(L"/W 1:0");

        ASSERT_TRUE(open->menu.has_value());
        ASSERT_EQ(open->width, width);
        ASSERT_EQ(open->height, height);
        const RECT r = open->menu->rect;
        ASSERT_GE(r.left, 1);
        ASSERT_GE(r.top, 1);
        for (int x = r.left; x < r.right; ++x) {
            EXPECT_EQ(open->At(x, r.top), look::WindowText) << "top edge at x " << x;
            EXPECT_EQ(open->At(x, r.bottom - 1), look::WindowText) << "bottom edge at x " << x;
            EXPECT_NE(open->At(x, r.top - 1), look::WindowText) << "above it at x " << x;
            if (r.bottom < height) {
                EXPECT_NE(open->At(x, r.bottom), look::WindowText) << "below it at x " << x;
            }
        }
        for (int y = r.top; y < r.bottom; ++y) {
            EXPECT_EQ(open->At(r.left, y), look::WindowText) << "left edge at y " << y;
            EXPECT_EQ(open->At(r.right - 1, y), look::WindowText) << "right edge at y " << y;
            EXPECT_NE(open->At(r.left - 1, y), look::WindowText) << "left of it at y " << y;
        }
        // The separator, the second line, across the middle of that line.
        const RECT line = emu::MenuItemRect(*open->menu, 1);
        EXPECT_EQ(open->At((line.left + line.right) / 2, (line.top + line.bottom) / 2),
                  look::GrayText);
    }
}

TEST_P(Screen, TheDisplayIsBlackAfterTheSuspension) {
    auto before = PictureAt(screen, At(10, 0, 30));
    RunToEnd(L"/W 0:1");
    ASSERT_TRUE(screen.Draw());
    int lit = 0;
    for (int y = 0; y < screen.Height(); ++y) {
        for (int x = 0; x < screen.Width(); ++x) {
            lit += screen.Pixel(x, y) != look::DisplayOff ? 1 : 0;
        }
    }
    EXPECT_EQ(lit, 0);
    EXPECT_EQ(before->At(0, 0), look::NavigationBar) << "the screen was on before";
}

// The typical road with the pen alone, each tap at the middle of what the screen shows there:
// Wait to suspend, the minutes erased and 30 typed on the input panel, ok; then the icon on
// the Today screen, and Exit application from its menu.
TEST_P(Screen, TheTypicalRoadTappedAtPixels) {
    auto middleOf = [](const RECT& r) {
        return std::make_pair((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    };
    auto tap = [&middleOf](emu::Millis when, std::function<RECT()> where) {
        emu::Script(when, "find the place", [when, where, &middleOf] {
            const auto [x, y] = middleOf(where());
            emu::TapAt(when, x, y);
        });
    };
    auto control = [](int id) {
        return [id] {
            const emu::DialogView dialog = emu::CurrentDialog();
            return emu::ControlRect(dialog, dialog.Control(id));
        };
    };
    auto key = [](wchar_t types) {
        return [types] {
            for (const emu::PanelKey& k : emu::InputPanelKeys()) {
                if (k.types == types) {
                    return k.rect;
                }
            }
            throw emu::Failure("no key types that");
        };
    };
    emu::SetClock(2026, 12, 8, 21, 10, 40);
    tap(At(21, 10, 42), control(IDC_WAIT_RADIO));
    tap(At(21, 10, 43), control(IDC_WAIT_MINUTES));
    tap(At(21, 10, 44), key(L'\b'));
    tap(At(21, 10, 45), key(L'3'));
    tap(At(21, 10, 46), key(L'0'));
    auto typed = test::LookAtDialog(At(21, 10, 47));
    tap(At(21, 10, 48), [] { return emu::DoneButtonRect(); });
    tap(At(21, 10, 55), [] { return emu::IconRect(0); });
    tap(At(21, 10, 56), [] { return emu::MenuItemRect(*emu::OpenPopupMenu(), 3); });
    RunToEnd(L"");

    EXPECT_TRUE(typed->Control(IDC_WAIT_RADIO).checked);
    EXPECT_EQ(typed->Control(IDC_WAIT_MINUTES).text, L"30");
    EXPECT_EQ(
        emu::TimelineOf("  it reaches"),
        (test::Lines{"21:10:42   it reaches Button 1003", "21:10:43   it reaches Edit 1004",
                     "21:10:44   it reaches key \"Backspace\" into 1004",
                     "21:10:45   it reaches key \"3\" into 1004",
                     "21:10:46   it reaches key \"0\" into 1004", "21:10:48   it reaches ok",
                     "21:10:55   it reaches icon 1", "21:10:56   it reaches menu item 40003"}))
        << emu::TimelineText();
    EXPECT_EQ(emu::TimelineOf("menu shown").size(), 1u);
    EXPECT_TRUE(emu::Keys().empty()) << "ended by Exit, not suspended";
}

} // namespace
