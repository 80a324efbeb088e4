#include "cli/WiringFile.h"

#include <cairo.h>

#include <cctype>
#include <cmath>
#include <memory>

#include "chips/WiringDrawing.h"
#include "core/Svg.h"

namespace quillon::cli {

namespace {

using namespace drawing;

std::string LowerExtension(const std::string& path)
{
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || path.find('/', dot) != std::string::npos) return {};
    std::string ext = path.substr(dot);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

void SetColour(cairo_t* cr, const Colour& c) { cairo_set_source_rgb(cr, c.r / 255.0, c.g / 255.0, c.b / 255.0); }

void FillAndStroke(cairo_t* cr, bool filled, const Colour& fill, double lineWidth, const Colour& stroke)
{
    if (filled) {
        SetColour(cr, fill);
        if (lineWidth > 0) cairo_fill_preserve(cr);
        else cairo_fill(cr);
    }
    if (lineWidth > 0) {
        SetColour(cr, stroke);
        cairo_set_line_width(cr, lineWidth);
        cairo_stroke(cr);
    }
    cairo_new_path(cr);
}

void Paint(cairo_t* cr, const Line& l)
{
    cairo_move_to(cr, l.x1, l.y1);
    cairo_line_to(cr, l.x2, l.y2);
    SetColour(cr, l.colour);
    cairo_set_line_width(cr, l.width);
    cairo_stroke(cr);
}

void Paint(cairo_t* cr, const Rect& r)
{
    cairo_rectangle(cr, r.x, r.y, r.width, r.height);
    FillAndStroke(cr, r.filled, r.fill, r.lineWidth, r.stroke);
}

void Paint(cairo_t* cr, const Circle& c)
{
    cairo_arc(cr, c.cx, c.cy, c.radius, 0, 2 * M_PI);
    FillAndStroke(cr, c.filled, c.fill, c.lineWidth, c.stroke);
}

void Paint(cairo_t* cr, const Text& t)
{
    cairo_select_font_face(cr, kFontFamily, CAIRO_FONT_SLANT_NORMAL,
                           t.bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, t.size);
    cairo_text_extents_t extents;
    cairo_text_extents(cr, t.text.c_str(), &extents);
    double shift = 0;
    if (t.anchor == Anchor::Middle) shift = extents.x_advance / 2;
    if (t.anchor == Anchor::End) shift = extents.x_advance;
    cairo_save(cr);
    cairo_translate(cr, t.x, t.y);
    if (t.turned) cairo_rotate(cr, -M_PI / 2);
    cairo_move_to(cr, -shift, 0);
    SetColour(cr, t.colour);
    cairo_show_text(cr, t.text.c_str());
    cairo_restore(cr);
    cairo_new_path(cr);
}

cairo_status_t Append(void* closure, const unsigned char* data, unsigned int length)
{
    static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
    return CAIRO_STATUS_SUCCESS;
}

}  // namespace

bool IsWiringFileName(const std::string& path)
{
    const std::string ext = LowerExtension(path);
    return ext == ".svg" || ext == ".png";
}

std::string WiringPng(const Drawing& drawing, double scale)
{
    const int width = static_cast<int>(std::ceil(drawing.width * scale));
    const int height = static_cast<int>(std::ceil(drawing.height * scale));
    std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> surface(
        cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height), cairo_surface_destroy);
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return {};
    std::unique_ptr<cairo_t, decltype(&cairo_destroy)> cr(cairo_create(surface.get()), cairo_destroy);
    cairo_scale(cr.get(), scale, scale);
    SetColour(cr.get(), kWhite);
    cairo_paint(cr.get());
    for (const Shape& shape : drawing.shapes) std::visit([&](const auto& s) { Paint(cr.get(), s); }, shape);
    if (cairo_status(cr.get()) != CAIRO_STATUS_SUCCESS) return {};
    cairo_surface_flush(surface.get());
    std::string png;
    if (cairo_surface_write_to_png_stream(surface.get(), Append, &png) != CAIRO_STATUS_SUCCESS) return {};
    return png;
}

Failure WriteWiringFile(std::string_view chip, const std::string& path)
{
    const std::optional<Drawing> drawing = WiringDrawingFor(chip);
    if (!drawing) return Failure(FailureKind::File, "the " + std::string(chip) + " has no pin list to draw");
    if (LowerExtension(path) == ".png") {
        // Twice the drawing's units: sharp enough to print on a page.
        const std::string png = WiringPng(*drawing, 2.0);
        if (png.empty()) return Failure(FailureKind::File, "cannot paint the drawing as PNG");
        return WriteFileSafely(path, png);
    }
    return WriteFileSafely(path, ToSvg(*drawing));
}

}  // namespace quillon::cli
