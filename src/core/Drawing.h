// A flat drawing as plain data: lines, rectangles, circles and texts at fixed positions on a
// page, in painting order. The window paints it with its toolkit, the command line writes it as
// SVG or PNG; whoever builds one never needs to know which.
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace quillon::drawing {

struct Colour {
    std::uint8_t r = 0, g = 0, b = 0;
    friend bool operator==(const Colour&, const Colour&) = default;
};

inline constexpr Colour kBlack{0, 0, 0};
inline constexpr Colour kWhite{255, 255, 255};

struct Line {
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    double width = 1;
    Colour colour;
};

struct Rect {
    double x = 0, y = 0, width = 0, height = 0;
    double lineWidth = 1;  // 0: no outline
    Colour stroke;
    bool filled = false;
    Colour fill = kWhite;
};

struct Circle {
    double cx = 0, cy = 0, radius = 0;
    double lineWidth = 1;  // 0: no outline
    Colour stroke;
    bool filled = false;
    Colour fill = kWhite;
};

enum class Anchor : std::uint8_t { Start, Middle, End };

// A line of text whose baseline starts, centres or ends at (x, y). Turned texts read upwards:
// the baseline runs from (x, y) towards smaller y.
struct Text {
    double x = 0, y = 0;
    std::string text;  // UTF-8
    double size = 12;  // the font's em height in page units
    Anchor anchor = Anchor::Start;
    bool bold = false;
    bool turned = false;
    Colour colour;
};

using Shape = std::variant<Line, Rect, Circle, Text>;

struct Drawing {
    double width = 0, height = 0;  // the page, in units the renderers take as pixels at scale 1
    std::string title;
    std::vector<Shape> shapes;  // painted first to last

    void Add(Shape shape) { shapes.push_back(std::move(shape)); }
};

// The one font family every renderer asks for, so the drawing looks alike everywhere.
inline constexpr const char* kFontFamily = "DejaVu Sans";

}  // namespace quillon::drawing
