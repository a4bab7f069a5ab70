// The emulated Pocket PC's screen in pixels (cairo, FreeType).
#include "emulator/screen/screen.h"

#include "emulator/screen/look.h"

#include <cairo-ft.h>
#include <cairo.h>
#include <ft2build.h>
#include <png.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>

namespace emu::screen {

namespace {

using look::Colour;

// A static control's alignment: the low bits of its style (SS_LEFT 0, SS_CENTER 1, SS_RIGHT 2).
constexpr DWORD StaticAlignment = 0x1F;
constexpr DWORD StaticCentred = 0x1;
constexpr DWORD StaticRight = 0x2;

// ---- What the screen shows ------------------------------------------------------------

std::string Utf8(const std::wstring& text) {
    std::string out;
    for (wchar_t wide : text) {
        const auto unit = static_cast<uint32_t>(wide) & 0xFFFF;
        if (unit < 0x80) {
            out += static_cast<char>(unit);
        } else if (unit < 0x800) {
            out += static_cast<char>(0xC0 | (unit >> 6));
            out += static_cast<char>(0x80 | (unit & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (unit >> 12));
            out += static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (unit & 0x3F));
        }
    }
    return out;
}

std::string Rect(const RECT& r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) +
           "," + std::to_string(r.bottom) + ";";
}

// Everything that the frame shows, and a text that differs whenever any of it does.
struct Scene {
    int width = 0;
    int height = 0;
    bool dark = false;
    std::string title;
    std::string clock;
    RECT done = {0, 0, 0, 0};
    bool today = false;
    std::string date;
    std::optional<DialogView> dialog;
    std::vector<PanelKey> keys;
    bool panelUp = false;
    std::vector<IconView> icons; // those seen: on the Today screen only
    std::vector<RECT> iconRects;
    std::optional<MenuView> menu;
    int selected = -1;
    std::string signature;
};

// The device's date as its Today screen gives it: "Monday, October 07, 2002".
std::string LongDate() {
    static const char* const days[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                       "Thursday", "Friday", "Saturday"};
    static const char* const months[] = {"January",   "February", "March",    "April",
                                         "May",       "June",     "July",     "August",
                                         "September", "October",  "November", "December"};
    SYSTEMTIME now{};
    GetLocalTime(&now);
    char text[64];
    std::snprintf(text, sizeof(text), "%s, %s %02d, %d", days[now.wDayOfWeek % 7],
                  months[(now.wMonth + 11) % 12], now.wDay, now.wYear);
    return text;
}

std::string ClockText() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    char text[16];
    std::snprintf(text, sizeof(text), "%d:%02d", now.wHour, now.wMinute);
    return text;
}

Scene Look(const Pointer& pointer) {
    Scene scene;
    scene.width = ScreenWidth();
    scene.height = ScreenHeight();
    std::string& sig = scene.signature;
    sig = std::to_string(scene.width) + "x" + std::to_string(scene.height) + ";";
    for (const KeyEvent& key : Keys()) {
        if (key.virtualKey == VK_OFF && !(key.flags & KEYEVENTF_KEYUP)) {
            scene.dark = true;
        }
    }
    if (scene.dark) {
        sig += "off;";
        return scene;
    }
    scene.clock = ClockText();
    scene.today = TodayInFront();
    const HWND front = ForegroundWindow();
    if (scene.today) {
        scene.title = "Start";
        scene.date = LongDate();
    } else {
        for (const WindowView& window : TopLevelWindows()) {
            if (window.handle == front) {
                scene.title = Utf8(window.title);
                if (window.className == L"Dialog") {
                    scene.dialog = CurrentDialog();
                }
            }
        }
    }
    sig += scene.title + ";" + scene.clock + ";" + scene.date + ";";
    scene.done = DoneButtonRect();
    sig += Rect(scene.done);
    if (scene.dialog) {
        sig += "dialog " + Rect(scene.dialog->screen);
        for (const ControlView& c : scene.dialog->controls) {
            sig += std::to_string(c.id) + Utf8(c.className) + std::to_string(c.style) +
                   Rect(ControlRect(*scene.dialog, c)) + Utf8(c.text) + "|" +
                   (c.checked ? "c" : "") + (c.enabled ? "e" : "") + (c.focused ? "f" : "") + ";";
        }
    }
    scene.panelUp = InputPanelUp();
    scene.keys = InputPanelKeys();
    sig += scene.panelUp ? "panel;" : "";
    if (scene.today) {
        scene.icons = Icons();
        for (size_t i = 0; i < scene.icons.size(); ++i) {
            scene.iconRects.push_back(IconRect(i));
            sig += "icon " + Rect(scene.iconRects.back());
            sig.append(scene.icons[i].image.begin(), scene.icons[i].image.end());
        }
    }
    scene.menu = OpenPopupMenu();
    if (scene.menu) {
        scene.selected = pointer.menuItem;
        sig += "menu " + Rect(scene.menu->rect) + std::to_string(scene.selected) + ";";
        for (const MenuItemView& item : scene.menu->items) {
            sig += std::to_string(item.flags) + Utf8(item.text) + ";";
        }
    }
    return scene;
}

// ---- Drawing --------------------------------------------------------------------------

void SetColour(cairo_t* cr, Colour colour) {
    cairo_set_source_rgb(cr, ((colour >> 16) & 0xFF) / 255.0, ((colour >> 8) & 0xFF) / 255.0,
                         (colour & 0xFF) / 255.0);
}

void Fill(cairo_t* cr, const RECT& r, Colour colour) {
    SetColour(cr, colour);
    cairo_rectangle(cr, r.left, r.top, r.right - r.left, r.bottom - r.top);
    cairo_fill(cr);
}

// A 1-pixel frame on the rectangle's outermost pixels.
void Frame(cairo_t* cr, const RECT& r, Colour colour) {
    Fill(cr, {r.left, r.top, r.right, r.top + 1}, colour);
    Fill(cr, {r.left, r.bottom - 1, r.right, r.bottom}, colour);
    Fill(cr, {r.left, r.top, r.left + 1, r.bottom}, colour);
    Fill(cr, {r.right - 1, r.top, r.right, r.bottom}, colour);
}

enum class Align { Left, Centre, Right };

FT_Library FreeType() {
    static FT_Library library = [] {
        FT_Library made = nullptr;
        if (FT_Init_FreeType(&made) != 0) {
            throw Failure("FreeType could not be initialised");
        }
        return made;
    }();
    return library;
}

cairo_font_face_t* LoadFace(const char* path) {
    FT_Face face = nullptr;
    if (FT_New_Face(FreeType(), path, 0, &face) != 0) {
        throw Failure(std::string("cannot load the font ") + path +
                      " (Wine's Tahoma: install Debian's fonts-wine)");
    }
    cairo_font_face_t* cairoFace = cairo_ft_font_face_create_for_ft_face(face, 0);
    static const cairo_user_data_key_t key = {};
    cairo_font_face_set_user_data(cairoFace, &key, face,
                                  [](void* data) { FT_Done_Face(static_cast<FT_Face>(data)); });
    return cairoFace;
}

// The frame as a PNG (libpng): 8-bit RGB, no filter, zlib's fastest level, which pack the flat
// screen well enough (about 6 KB) in well under a millisecond. Answers false when libpng fails.
bool EncodePng(cairo_surface_t* surface, std::vector<unsigned char>* out) {
    cairo_surface_flush(surface);
    const int width = cairo_image_surface_get_width(surface);
    const int height = cairo_image_surface_get_height(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    unsigned char* data = cairo_image_surface_get_data(surface);
    // Room for the worst case, so that the writer never grows the vector inside libpng.
    const size_t raw = static_cast<size_t>(height) * (static_cast<size_t>(width) * 3 + 1);
    out->clear();
    out->reserve(raw + raw / 100 + 4096);
    std::vector<png_bytep> rows(static_cast<size_t>(height));
    for (int y = 0; y < height; ++y) {
        rows[static_cast<size_t>(y)] = data + static_cast<size_t>(y) * stride;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (png == nullptr) {
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (info == nullptr || setjmp(png_jmpbuf(png)) != 0) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(
        png, out,
        [](png_structp writer, png_bytep bytes, png_size_t length) {
            auto* to = static_cast<std::vector<unsigned char>*>(png_get_io_ptr(writer));
            if (to->size() + length > to->capacity()) {
                png_error(writer, "the PNG outgrew its room");
            }
            to->insert(to->end(), bytes, bytes + length);
        },
        nullptr);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
    png_set_compression_level(png, 1);
    png_write_info(png, info);
    // Cairo's pixels are 32-bit 0x00RRGGBB words: in memory B, G, R and a filler byte.
    png_set_bgr(png);
    png_set_filler(png, 0, PNG_FILLER_AFTER);
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

} // namespace

IconPixels DecodeIcon(const std::vector<unsigned char>& image) {
    auto read32 = [&image](size_t at) {
        uint32_t value = 0;
        std::memcpy(&value, image.data() + at, 4);
        return value;
    };
    auto read16 = [&image](size_t at) {
        uint16_t value = 0;
        std::memcpy(&value, image.data() + at, 2);
        return value;
    };
    if (image.size() < 40 || read32(0) < 40) {
        throw Failure("icon image: no bitmap header");
    }
    const size_t headerSize = read32(0);
    const auto width = static_cast<int32_t>(read32(4));
    const auto doubleHeight = static_cast<int32_t>(read32(8));
    const int bits = read16(14);
    const uint32_t compression = read32(16);
    const uint32_t used = read32(32);
    if (width <= 0 || width > 256 || doubleHeight <= 0 || doubleHeight > 512 ||
        doubleHeight % 2 != 0 || compression != 0 ||
        (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32)) {
        throw Failure("icon image: not an uncompressed 1, 4, 8, 24 or 32-bit icon");
    }
    const int height = doubleHeight / 2;
    const size_t paletteSize = bits <= 8 ? (used != 0 ? used : 1u << bits) : 0;
    if (paletteSize > 256) {
        throw Failure("icon image: a colour table of " + std::to_string(paletteSize) + " entries");
    }
    const size_t colourStride = (static_cast<size_t>(width) * bits + 31) / 32 * 4;
    const size_t maskStride = (static_cast<size_t>(width) + 31) / 32 * 4;
    const size_t colourAt = headerSize + paletteSize * 4;
    const size_t maskAt = colourAt + colourStride * height;
    if (image.size() < maskAt + maskStride * height) {
        throw Failure("icon image: " + std::to_string(image.size()) + " bytes, too short for a " +
                      std::to_string(width) + " x " + std::to_string(height) + " image");
    }
    IconPixels pixels;
    pixels.width = width;
    pixels.height = height;
    pixels.colours.resize(static_cast<size_t>(width) * height);
    pixels.masked.resize(pixels.colours.size());
    for (int y = 0; y < height; ++y) {
        const size_t row = static_cast<size_t>(height - 1 - y); // stored bottom up
        const unsigned char* colours = image.data() + colourAt + row * colourStride;
        const unsigned char* mask = image.data() + maskAt + row * maskStride;
        for (int x = 0; x < width; ++x) {
            uint32_t colour = 0;
            if (bits <= 8) {
                const int perByte = 8 / bits;
                const int shift = 8 - bits * (x % perByte + 1);
                const size_t index = (colours[x / perByte] >> shift) & ((1u << bits) - 1);
                if (index < paletteSize) {
                    colour = read32(headerSize + index * 4) & 0xFFFFFF; // B, G, R, unused
                }
            } else {
                const unsigned char* at = colours + static_cast<size_t>(x) * (bits / 8);
                colour = static_cast<uint32_t>(at[2]) << 16 | at[1] << 8 | at[0];
            }
            const size_t i = static_cast<size_t>(y) * width + x;
            pixels.colours[i] = colour;
            pixels.masked[i] = ((mask[x / 8] >> (7 - x % 8)) & 1) != 0;
        }
    }
    return pixels;
}

struct Renderer::Impl {
    cairo_font_face_t* regular = nullptr;
    cairo_font_face_t* bold = nullptr;
    cairo_font_options_t* options = nullptr;
    cairo_surface_t* surface = nullptr;
    cairo_t* cr = nullptr;
    std::string last;
    int frames = 0;

    Impl() {
        regular = LoadFace(look::Regular);
        try {
            bold = LoadFace(look::Bold);
        } catch (...) {
            cairo_font_face_destroy(regular);
            throw;
        }
        // As the device draws text: whole pixels, no anti-aliasing, glyphs on the pixel grid.
        options = cairo_font_options_create();
        cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_NONE);
        cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_FULL);
        cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_ON);
    }

    ~Impl() {
        Release();
        cairo_font_options_destroy(options);
        cairo_font_face_destroy(bold);
        cairo_font_face_destroy(regular);
    }

    void Release() {
        if (cr != nullptr) {
            cairo_destroy(cr);
            cairo_surface_destroy(surface);
        }
        cr = nullptr;
        surface = nullptr;
    }

    void Resize(int width, int height) {
        if (surface != nullptr && cairo_image_surface_get_width(surface) == width &&
            cairo_image_surface_get_height(surface) == height) {
            return;
        }
        Release();
        surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
        cr = cairo_create(surface);
        if (cairo_status(cr) != CAIRO_STATUS_SUCCESS) {
            throw Failure("cairo cannot make a " + std::to_string(width) + " x " +
                          std::to_string(height) + " frame");
        }
        cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
        cairo_set_font_options(cr, options);
        cairo_set_line_width(cr, 1);
    }

    // ---- Text ----
    void Font(bool isBold, double size) {
        cairo_set_font_face(cr, isBold ? bold : regular);
        cairo_set_font_size(cr, size);
    }
    double Width(const std::string& text) {
        cairo_text_extents_t extents;
        cairo_text_extents(cr, text.c_str(), &extents);
        return extents.x_advance;
    }
    // The baseline that centres the font's line in a band from top, height pixels high.
    int Baseline(int top, int height) {
        cairo_font_extents_t font;
        cairo_font_extents(cr, &font);
        return top +
               static_cast<int>((height - font.ascent - font.descent) / 2 + font.ascent + 0.5);
    }
    // A menu line's baseline: two pixels above the line's bottom, so that the capitals fit in
    // the line (the emulator's menu lines are shorter than the font's ascent and descent) and
    // the mnemonic's underline, a pixel below the baseline, stays in it; in the last line one
    // more, above the menu's frame.
    static int MenuBaseline(const RECT& line, bool last) {
        return line.bottom - (last ? 3 : 2);
    }
    // Text in the current font, vertically centred in the rectangle (or on the baseline given)
    // and cut at the rectangle (or at `clip` when given); answers its left edge.
    int Text(const std::string& text, const RECT& in, Align align, Colour colour, int baseline = -1,
             const RECT* clip = nullptr) {
        const int width = static_cast<int>(Width(text) + 0.5);
        int x = in.left;
        if (align == Align::Centre) {
            x = in.left + (in.right - in.left - width) / 2;
        } else if (align == Align::Right) {
            x = in.right - width;
        }
        const RECT cut = clip != nullptr ? *clip : in;
        cairo_save(cr);
        cairo_rectangle(cr, cut.left, cut.top, cut.right - cut.left, cut.bottom - cut.top);
        cairo_clip(cr);
        SetColour(cr, colour);
        cairo_move_to(cr, x, baseline >= 0 ? baseline : Baseline(in.top, in.bottom - in.top));
        cairo_show_text(cr, text.c_str());
        cairo_restore(cr);
        return x;
    }

    // ---- The parts of the screen ----
    void StartFlag(int left, int top) {
        const int pane = (look::FlagSize - 2) / 2;
        for (int i = 0; i < 4; ++i) {
            const int x = left + (i % 2) * (pane + 2), y = top + (i / 2) * (pane + 2);
            Fill(cr, {x, y, x + pane, y + pane}, look::FlagPanes[i]);
        }
    }

    void NavigationBar(const Scene& scene) {
        const RECT bar = {0, 0, scene.width, NavigationBarHeight};
        Fill(cr, bar, look::NavigationBar);
        const int flagTop = (NavigationBarHeight - look::FlagSize) / 2;
        StartFlag(look::BarTextInset, flagTop);
        Font(true, look::TitleText);
        int right = scene.width - look::BarTextInset;
        if (scene.done.right > scene.done.left) {
            const RECT button = {scene.done.left + 1, scene.done.top + 4, scene.done.right - 3,
                                 scene.done.bottom - 4};
            Frame(cr, button, look::NavigationText);
            Text("ok", button, Align::Centre, look::NavigationText);
            right = scene.done.left - look::BarTextInset;
        }
        Font(false, look::TitleText);
        const int clockLeft = Text(scene.clock, {0, 0, right, NavigationBarHeight}, Align::Right,
                                   look::NavigationText);
        Font(true, look::TitleText);
        const int titleLeft = look::BarTextInset * 2 + look::FlagSize;
        Text(scene.title, {titleLeft, 0, clockLeft - look::BarTextInset, NavigationBarHeight},
             Align::Left, look::NavigationText);
    }

    void Today(const Scene& scene) {
        Font(true, look::DialogText);
        const int top = NavigationBarHeight + look::TodayDateTop;
        const RECT line = {look::BarTextInset, top, scene.width - look::BarTextInset,
                           top + BaseUnitHeight + 4};
        Text(scene.date, line, Align::Left, look::WindowText);
        Fill(cr, {line.left, line.bottom + 2, line.right, line.bottom + 3}, look::TodayRule);
    }

    void Circle(double cx, double cy, double radius, bool filled, Colour colour) {
        SetColour(cr, colour);
        cairo_new_sub_path(cr);
        cairo_arc(cr, cx, cy, radius, 0, 6.283185307179586);
        if (filled) {
            cairo_fill(cr);
        } else {
            cairo_stroke(cr);
        }
    }

    void Radio(const ControlView& control, const RECT& at) {
        const Colour ink = control.enabled ? look::WindowText : look::GrayText;
        const int top = at.top + (at.bottom - at.top - look::RadioSize) / 2;
        const double r = look::RadioSize / 2.0;
        Circle(at.left + r, top + r, r - 0.5, false, ink);
        if (control.checked) {
            Circle(at.left + r, top + r, look::RadioDot / 2.0, true, ink);
        }
        Font(false, look::DialogText);
        const std::string text = Utf8(control.text);
        const RECT label = {at.left + look::RadioSize + look::RadioTextGap, at.top, at.right,
                            at.bottom};
        const int left = Text(text, label, Align::Left, ink);
        if (control.focused) {
            // The focus: a dotted frame round the text.
            const int width = static_cast<int>(Width(text) + 0.5);
            cairo_save(cr);
            const double dash[] = {1, 1};
            cairo_set_dash(cr, dash, 1, 0);
            SetColour(cr, look::WindowText);
            cairo_rectangle(cr, left - 1.5, label.top + 0.5, width + 3,
                            label.bottom - label.top - 1);
            cairo_stroke(cr);
            cairo_restore(cr);
        }
    }

    void Edit(const ControlView& control, const RECT& at) {
        const Colour ink = control.enabled ? look::WindowText : look::GrayText;
        Fill(cr, at, look::Window);
        Frame(cr, at, ink);
        Font(false, look::DialogText);
        const RECT inside = {at.left + look::EditTextInset, at.top + 1, at.right - 2,
                             at.bottom - 1};
        const std::string text = Utf8(control.text);
        // A text longer than the edit shows its end, where the caret is.
        const int width = static_cast<int>(Width(text) + 0.5);
        const int room = inside.right - inside.left - 1;
        const int left = width > room ? inside.right - 1 - width : inside.left;
        Text(text, {left, inside.top, inside.right, inside.bottom}, Align::Left, ink);
        if (control.focused) {
            cairo_font_extents_t font;
            cairo_font_extents(cr, &font);
            const int baseline = Baseline(inside.top, inside.bottom - inside.top);
            const int caretTop = baseline - static_cast<int>(font.ascent + 0.5);
            const int caretBottom = baseline + static_cast<int>(font.descent + 0.5);
            Fill(cr, {left + width, caretTop, left + width + 1, caretBottom}, look::WindowText);
        }
    }

    void Label(const ControlView& control, const RECT& at) {
        const Colour ink = control.enabled ? look::WindowText : look::GrayText;
        const DWORD type = control.style & StaticAlignment;
        const Align align = type == StaticCentred ? Align::Centre
                            : type == StaticRight ? Align::Right
                                                  : Align::Left;
        Font(false, look::DialogText);
        // A label's text starts at its top.
        cairo_font_extents_t font;
        cairo_font_extents(cr, &font);
        const int line = static_cast<int>(font.ascent + font.descent + 0.5);
        Text(Utf8(control.text),
             {at.left, at.top, at.right, std::min<int>(at.bottom, at.top + line)}, align, ink);
    }

    void Dialog(const DialogView& dialog) {
        Fill(cr, dialog.screen, look::Window);
        // Drawn last to first, so that the first control of the template lies on top, as a
        // tap finds it.
        for (auto it = dialog.controls.rbegin(); it != dialog.controls.rend(); ++it) {
            const RECT at = ControlRect(dialog, *it);
            if (it->className == L"Button") {
                Radio(*it, at);
            } else if (it->className == L"Edit") {
                Edit(*it, at);
            } else {
                Label(*it, at);
            }
        }
    }

    void Arrow(const RECT& key, bool enter) {
        const double cx = (key.left + key.right) / 2.0, cy = (key.top + key.bottom) / 2.0;
        SetColour(cr, look::WindowText);
        if (enter) {
            cairo_move_to(cr, cx + 5.5, cy - 4);
            cairo_line_to(cr, cx + 5.5, cy + 0.5);
            cairo_line_to(cr, cx - 4, cy + 0.5);
            cairo_stroke(cr);
        } else {
            cairo_move_to(cr, cx + 6, cy + 0.5);
            cairo_line_to(cr, cx - 5, cy + 0.5);
            cairo_stroke(cr);
        }
        const double tip = enter ? cx - 5 : cx - 6;
        cairo_move_to(cr, tip, cy + 0.5);
        cairo_line_to(cr, tip + 4, cy - 3.5);
        cairo_line_to(cr, tip + 4, cy + 4.5);
        cairo_close_path(cr);
        cairo_fill(cr);
    }

    void InputPanel(const Scene& scene) {
        const int top = MenuBarTop() - InputPanelHeight;
        Fill(cr, {0, top, scene.width, MenuBarTop()}, look::InputPanel);
        Font(false, look::DialogText);
        for (const PanelKey& key : scene.keys) {
            const RECT face = {key.rect.left, key.rect.top, key.rect.right - 1,
                               key.rect.bottom - 1};
            Fill(cr, face, look::Key);
            Frame(cr, face, look::KeyEdge);
            if (key.types == L'\b' || key.label == L"\u21B5") {
                Arrow(face, key.types != L'\b');
            } else {
                Text(Utf8(key.label), face, Align::Centre, look::WindowText);
            }
        }
    }

    void Icon(const IconView& icon, const RECT& at) {
        IconPixels pixels;
        try {
            pixels = DecodeIcon(icon.image);
        } catch (const Failure&) {
            return; // no image, or one the device could not draw either: the slot stays empty
        }
        cairo_surface_flush(surface);
        unsigned char* data = cairo_image_surface_get_data(surface);
        const int stride = cairo_image_surface_get_stride(surface);
        const int w = at.right - at.left, h = at.bottom - at.top;
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                const int sx = x * pixels.width / w, sy = y * pixels.height / h;
                const size_t i = static_cast<size_t>(sy) * pixels.width + sx;
                const int px = at.left + x, py = at.top + y;
                if (px < 0 || py < 0 || px >= cairo_image_surface_get_width(surface) ||
                    py >= cairo_image_surface_get_height(surface)) {
                    continue;
                }
                uint32_t* pixel = reinterpret_cast<uint32_t*>(data + py * stride) + px;
                const uint32_t screen = *pixel & 0xFFFFFF;
                *pixel = ((pixels.masked[i] ? screen : 0) ^ pixels.colours[i]) | 0xFF000000u;
            }
        }
        cairo_surface_mark_dirty(surface);
    }

    void InputPanelButton() {
        const RECT button = InputPanelButtonRect();
        const int w = 18, h = 11;
        const int left = (button.left + button.right - w) / 2;
        const int top = (button.top + button.bottom - h) / 2;
        Frame(cr, {left, top, left + w, top + h}, look::WindowText);
        for (int row = 0; row < 3; ++row) {
            for (int col = 0; col < 5; ++col) {
                const int x = left + 2 + col * 3, y = top + 2 + row * 3;
                Fill(cr, {x, y, x + 2, y + 1}, look::WindowText);
            }
        }
    }

    void MenuBar(const Scene& scene) {
        const int top = MenuBarTop();
        Fill(cr, {0, top, scene.width, scene.height}, look::MenuBar);
        Fill(cr, {0, top, scene.width, top + 1}, look::MenuBarRule);
        InputPanelButton();
        for (size_t i = 0; i < scene.icons.size(); ++i) {
            Icon(scene.icons[i], scene.iconRects[i]);
        }
    }

    void Menu(const MenuView& menu, int selected) {
        Fill(cr, menu.rect, look::Window);
        Font(false, look::MenuText);
        for (size_t i = 0; i < menu.items.size(); ++i) {
            const MenuItemView& item = menu.items[i];
            const RECT line = MenuItemRect(menu, i);
            if (item.flags & MF_SEPARATOR) {
                const int y = (line.top + line.bottom) / 2;
                Fill(cr, {line.left + 2, y, line.right - 2, y + 1}, look::GrayText);
                continue;
            }
            const bool lit = static_cast<int>(i) == selected;
            if (lit) {
                Fill(cr, line, look::Highlight);
            }
            const Colour ink = (item.flags & (MF_GRAYED | MF_DISABLED)) ? look::GrayText
                               : lit                                    ? look::HighlightText
                                                                        : look::WindowText;
            // "&S" shows S underlined; "&&" one ampersand.
            std::wstring shown;
            int mnemonic = -1;
            for (size_t at = 0; at < item.text.size(); ++at) {
                wchar_t unit = item.text[at];
                if (unit == L'&') {
                    if (++at == item.text.size()) {
                        break;
                    }
                    unit = item.text[at];
                    if (unit != L'&' && mnemonic < 0) {
                        mnemonic = static_cast<int>(shown.size());
                    }
                }
                shown += unit;
            }
            const RECT text = {line.left + look::MenuTextInset, line.top, line.right, line.bottom};
            const int baseline = MenuBaseline(line, i + 1 == menu.items.size());
            const RECT inside = {menu.rect.left + 1, menu.rect.top + 1, menu.rect.right - 1,
                                 menu.rect.bottom - 1};
            const int left = Text(Utf8(shown), text, Align::Left, ink, baseline, &inside);
            if (mnemonic >= 0) {
                const double from = Width(Utf8(shown.substr(0, static_cast<size_t>(mnemonic))));
                const double to = Width(Utf8(shown.substr(0, static_cast<size_t>(mnemonic) + 1)));
                const int y = baseline + 1;
                Fill(cr,
                     {left + static_cast<int>(from + 0.5), y, left + static_cast<int>(to + 0.5),
                      y + 1},
                     ink);
            }
        }
        Frame(cr, menu.rect, look::WindowText);
    }

    void Paint(const Scene& scene) {
        Resize(scene.width, scene.height);
        if (scene.dark) {
            Fill(cr, {0, 0, scene.width, scene.height}, look::DisplayOff);
            return;
        }
        Fill(cr, {0, 0, scene.width, scene.height}, look::Window);
        if (scene.today) {
            Today(scene);
        } else if (scene.dialog) {
            Dialog(*scene.dialog);
        }
        NavigationBar(scene);
        if (scene.panelUp) {
            InputPanel(scene);
        }
        MenuBar(scene);
        if (scene.menu) {
            Menu(*scene.menu, scene.selected);
        }
        cairo_surface_flush(surface);
    }
};

Renderer::Renderer() : impl_(std::make_unique<Impl>()) {}

Renderer::~Renderer() = default;

bool Renderer::Draw(const Pointer& pointer) {
    const Scene scene = Look(pointer);
    if (impl_->surface != nullptr && scene.signature == impl_->last) {
        return false;
    }
    impl_->Paint(scene);
    impl_->last = scene.signature;
    ++impl_->frames;
    return true;
}

void Renderer::Invalidate() {
    impl_->last.clear();
}

int Renderer::Width() const {
    return impl_->surface != nullptr ? cairo_image_surface_get_width(impl_->surface) : 0;
}

int Renderer::Height() const {
    return impl_->surface != nullptr ? cairo_image_surface_get_height(impl_->surface) : 0;
}

uint32_t Renderer::Pixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= Width() || y >= Height()) {
        throw Failure("Pixel: " + std::to_string(x) + "," + std::to_string(y) +
                      " is off the frame");
    }
    const unsigned char* row =
        cairo_image_surface_get_data(impl_->surface) +
        static_cast<size_t>(y) * cairo_image_surface_get_stride(impl_->surface);
    uint32_t pixel = 0;
    std::memcpy(&pixel, row + static_cast<size_t>(x) * 4, 4);
    return pixel & 0xFFFFFF;
}

int Renderer::Frames() const {
    return impl_->frames;
}

std::vector<unsigned char> Renderer::Png() const {
    if (impl_->surface == nullptr) {
        throw Failure("Png: nothing has been drawn");
    }
    std::vector<unsigned char> bytes;
    if (!EncodePng(impl_->surface, &bytes)) {
        throw Failure("Png: libpng could not encode the frame");
    }
    return bytes;
}

void Renderer::WritePng(const std::string& path) const {
    const std::vector<unsigned char> bytes = Png();
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        throw Failure("cannot write " + path + ": " + std::strerror(errno));
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (std::fclose(file) != 0 || !written) {
        throw Failure("cannot write " + path + ": " + std::strerror(errno));
    }
}

} // namespace emu::screen
