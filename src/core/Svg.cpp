#include "core/Svg.h"

#include <cstdio>
#include <type_traits>

namespace quillon::drawing {

namespace {

// Coordinates with at most two decimals and no trailing zeros: small files, stable in tests.
std::string Number(double value)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.2f", value);
    std::string text = buffer;
    while (text.back() == '0') text.pop_back();
    if (text.back() == '.') text.pop_back();
    if (text == "-0") text = "0";
    return text;
}

std::string Hex(const Colour& c)
{
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "#%02x%02x%02x", c.r, c.g, c.b);
    return buffer;
}

std::string Escaped(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default:
            // Control characters have no place in XML 1.0; a drawing never means one.
            if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n') out += ' ';
            else out += c;
        }
    }
    return out;
}

std::string Paint(bool filled, const Colour& fill, double lineWidth, const Colour& stroke)
{
    std::string out = " fill=\"" + (filled ? Hex(fill) : std::string("none")) + "\"";
    if (lineWidth > 0) out += " stroke=\"" + Hex(stroke) + "\" stroke-width=\"" + Number(lineWidth) + "\"";
    return out;
}

std::string Element(const Line& l)
{
    return "<line x1=\"" + Number(l.x1) + "\" y1=\"" + Number(l.y1) + "\" x2=\"" + Number(l.x2) + "\" y2=\"" +
           Number(l.y2) + "\" stroke=\"" + Hex(l.colour) + "\" stroke-width=\"" + Number(l.width) + "\"/>";
}

std::string Element(const Rect& r)
{
    return "<rect x=\"" + Number(r.x) + "\" y=\"" + Number(r.y) + "\" width=\"" + Number(r.width) + "\" height=\"" +
           Number(r.height) + "\"" + Paint(r.filled, r.fill, r.lineWidth, r.stroke) + "/>";
}

std::string Element(const Circle& c)
{
    return "<circle cx=\"" + Number(c.cx) + "\" cy=\"" + Number(c.cy) + "\" r=\"" + Number(c.radius) + "\"" +
           Paint(c.filled, c.fill, c.lineWidth, c.stroke) + "/>";
}

std::string Element(const Text& t)
{
    static constexpr const char* kAnchors[] = {"start", "middle", "end"};
    std::string out = "<text x=\"" + Number(t.x) + "\" y=\"" + Number(t.y) + "\" font-size=\"" + Number(t.size) +
                      "\" text-anchor=\"" + kAnchors[static_cast<int>(t.anchor)] + "\"";
    if (t.bold) out += " font-weight=\"bold\"";
    if (!(t.colour == kBlack)) out += " fill=\"" + Hex(t.colour) + "\"";
    if (t.turned) out += " transform=\"rotate(-90 " + Number(t.x) + " " + Number(t.y) + ")\"";
    return out + ">" + Escaped(t.text) + "</text>";
}

}  // namespace

std::string ToSvg(const Drawing& drawing)
{
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    out += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + Number(drawing.width) + "\" height=\"" +
           Number(drawing.height) + "\" viewBox=\"0 0 " + Number(drawing.width) + " " + Number(drawing.height) +
           "\" font-family=\"" + std::string(kFontFamily) + ", sans-serif\">\n";
    if (!drawing.title.empty()) out += "<title>" + Escaped(drawing.title) + "</title>\n";
    out += "<rect x=\"0\" y=\"0\" width=\"" + Number(drawing.width) + "\" height=\"" + Number(drawing.height) +
           "\" fill=\"#ffffff\"/>\n";
    for (const Shape& shape : drawing.shapes) {
        out += std::visit([](const auto& s) { return Element(s); }, shape);
        out += '\n';
    }
    out += "</svg>\n";
    return out;
}

}  // namespace quillon::drawing
