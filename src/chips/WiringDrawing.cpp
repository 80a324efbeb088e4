#include "chips/WiringDrawing.h"

#include <algorithm>
#include <string>

namespace quillon {

namespace {

using namespace drawing;

constexpr Colour kOutline{40, 40, 40};
constexpr Colour kBody{236, 236, 236};
constexpr Colour kGrey{120, 120, 120};
constexpr Colour kLightGrey{190, 190, 190};
constexpr Colour kData{0, 70, 160};
constexpr Colour kControl{0, 110, 50};
constexpr Colour kPulse{120, 40, 150};
constexpr Colour kSupply{190, 30, 30};
constexpr Colour kBox{250, 250, 250};

Colour SignalColour(Signal s)
{
    using enum Signal;
    switch (s) {
    case Data0: case Data1: case Data2: case Data3: case Data4: case Data5: case Data6: case Data7:
    case Sck: case Mosi: case Miso:
        return kData;
    case Pagel: case Xtal1:
        return kPulse;
    case ResetHv: case Vcc: case Avcc:
        return kSupply;
    case Gnd: case None:
        return kBlack;
    default:
        return kControl;
    }
}

// The measures of one drawing; a quad package packs its pins closer.
struct Measures {
    double pitch;      // pin to pin
    double stub;       // the pin's length outside the body
    double stubWidth;
    double wire;       // from the pin to the gateway's box, room for the signal's name
    double box;        // the box's length along the wire
    double boxWidth;
    double labelSize;  // the signal's name
    double smallSize;  // pin numbers, pads, gateway lines
    double padInset;   // from the body's edge to the pad's name
};

// One pin on the body's edge at (x, y), its outside towards (ox, oy): one of the four axes.
struct Edge {
    double x, y;
    int ox, oy;
};

void DrawPin(Drawing& d, const Measures& m, const Edge& e, int number, const PinUse* use)
{
    const bool across = e.oy == 0;  // the pin points left or right, its texts lie flat
    const double stubEnd = across ? e.x + e.ox * m.stub : e.y + e.oy * m.stub;
    const Colour stubColour = use ? kOutline : kLightGrey;
    if (across)
        d.Add(Rect{std::min(e.x, stubEnd), e.y - m.stubWidth / 2, m.stub, m.stubWidth, 1, stubColour, true, kWhite});
    else
        d.Add(Rect{e.x - m.stubWidth / 2, std::min(e.y, stubEnd), m.stubWidth, m.stub, 1, stubColour, true, kWhite});

    // The number and the pad inside the body, next to the pin.
    const std::string digits = std::to_string(number);
    const double lift = m.smallSize * 0.35;  // from a text's middle to its baseline
    const Colour numberColour = use ? kBlack : kGrey;
    if (across) {
        const Anchor inward = e.ox < 0 ? Anchor::Start : Anchor::End;
        d.Add(Text{e.x - e.ox * 4, e.y + lift, digits, m.smallSize, inward, false, false, numberColour});
        if (use)
            d.Add(Text{e.x - e.ox * m.padInset, e.y + lift, std::string(use->pad), m.smallSize, inward, false, false,
                       kGrey});
    } else {
        const Anchor inward = e.oy > 0 ? Anchor::Start : Anchor::End;
        d.Add(Text{e.x + lift, e.y - e.oy * 4, digits, m.smallSize, inward, false, true, numberColour});
        if (use)
            d.Add(Text{e.x + lift, e.y - e.oy * m.padInset, std::string(use->pad), m.smallSize, inward, false, true,
                       kGrey});
    }
    if (!use) return;

    // The wire out to the gateway's box, the signal's name along it.
    const Colour colour = SignalColour(use->signal);
    const double boxNear = stubEnd + (across ? e.ox : e.oy) * m.wire;
    const double boxFar = boxNear + (across ? e.ox : e.oy) * m.box;
    const std::string label = PinLabel(*use);
    const std::string line(GatewayLine(use->signal));
    const double boxMiddle = (boxNear + boxFar) / 2;
    if (across) {
        d.Add(Line{stubEnd, e.y, boxNear, e.y, 1.5, colour});
        d.Add(Text{stubEnd + e.ox * 6, e.y - 3, label, m.labelSize, e.ox < 0 ? Anchor::End : Anchor::Start, true,
                   false, colour});
        d.Add(Rect{std::min(boxNear, boxFar), e.y - m.boxWidth / 2, m.box, m.boxWidth, 1, colour, true, kBox});
        d.Add(Text{boxMiddle, e.y + lift, line, m.smallSize, Anchor::Middle, false, false, kBlack});
    } else {
        d.Add(Line{e.x, stubEnd, e.x, boxNear, 1.5, colour});
        d.Add(Text{e.x - 3, stubEnd + e.oy * 6, label, m.labelSize, e.oy > 0 ? Anchor::End : Anchor::Start, true,
                   true, colour});
        d.Add(Rect{e.x - m.boxWidth / 2, std::min(boxNear, boxFar), m.boxWidth, m.box, 1, colour, true, kBox});
        d.Add(Text{e.x + lift, boxMiddle, line, m.smallSize, Anchor::Middle, false, true, kBlack});
    }
}

const PinUse* UseOf(const Pinout& pinout, int pin)
{
    for (const PinUse& use : pinout.pins)
        if (use.pin == pin) return &use;
    return nullptr;
}

std::string MethodWords(const Pinout& pinout)
{
    return pinout.mode == ProgrammingMode::Parallel ? "high-voltage parallel programming"
                                                    : "serial programming (SPI)";
}

void AddNotes(Drawing& d, const Pinout& pinout, double y)
{
    std::vector<std::string> notes;
    if (pinout.mode == ProgrammingMode::Parallel) {
        notes.push_back("Wire each pin that names a signal to the gateway line in its box;");
        notes.push_back("leave the grey pins open. XTAL1 and PAGEL come from the gateway's pulse");
        notes.push_back("outputs, VCC and AVCC from its +5 V switch, RESET from its +12 V switch.");
    } else {
        notes.push_back("Wire each pin that names a signal to the gateway's SPI socket;");
        notes.push_back("leave the grey pins open. VCC and AVCC take the gateway's +5 V;");
        notes.push_back("the gateway holds RESET while it programs.");
    }
    if (std::any_of(pinout.pins.begin(), pinout.pins.end(), [](const PinUse& u) { return u.also != Signal::None; }))
        notes.push_back("A pin named with two signals takes both on one wire, driven by the first.");
    for (const std::string& note : notes) {
        d.Add(Text{20, y, note, 11, Anchor::Start, false, false, kBlack});
        y += 16;
    }
    d.height = std::max(d.height, y + 4);
}

void AddTitle(Drawing& d, std::string_view chip, const Pinout& pinout)
{
    d.title = "How to connect the " + std::string(chip);
    d.Add(Text{20, 30, d.title, 18, Anchor::Start, true, false, kBlack});
    d.Add(Text{20, 50, std::string(pinout.package) + ", " + MethodWords(pinout) + ", seen from above", 12,
               Anchor::Start, false, false, kGrey});
}

Drawing DualDrawing(std::string_view chip, const Pinout& pinout)
{
    const Measures m{.pitch = 26, .stub = 14, .stubWidth = 10, .wire = 110, .box = 92, .boxWidth = 18,
                     .labelSize = 12, .smallSize = 10, .padInset = 22};
    const int perSide = pinout.pinCount / 2;
    const double bodyWidth = 170;
    const double bodyX = 20 + m.box + m.wire + m.stub;
    const double bodyY = 90;
    const double bodyHeight = perSide * m.pitch + 8;

    Drawing d;
    d.width = bodyX * 2 + bodyWidth;
    AddTitle(d, chip, pinout);
    d.Add(Text{20 + m.box / 2, bodyY - 12, "gateway", 10, Anchor::Middle, false, false, kGrey});
    d.Add(Text{d.width - 20 - m.box / 2, bodyY - 12, "gateway", 10, Anchor::Middle, false, false, kGrey});

    d.Add(Rect{bodyX, bodyY, bodyWidth, bodyHeight, 2, kOutline, true, kBody});
    // The notch at the end of pin 1: a half circle cut out of the top edge.
    const double middle = bodyX + bodyWidth / 2;
    d.Add(Circle{middle, bodyY, 9, 2, kOutline, true, kWhite});
    d.Add(Rect{middle - 12, bodyY - 12, 24, 11, 0, kWhite, true, kWhite});
    d.Add(Text{middle + 6, bodyY + bodyHeight / 2, std::string(chip), 15, Anchor::Middle, true, true, kOutline});

    for (int i = 0; i < perSide; ++i) {
        const double y = bodyY + 4 + (i + 0.5) * m.pitch;
        const int left = i + 1;
        const int right = pinout.pinCount - i;
        DrawPin(d, m, Edge{bodyX, y, -1, 0}, left, UseOf(pinout, left));
        DrawPin(d, m, Edge{bodyX + bodyWidth, y, 1, 0}, right, UseOf(pinout, right));
    }
    AddNotes(d, pinout, bodyY + bodyHeight + 34);
    return d;
}

Drawing QuadDrawing(std::string_view chip, const Pinout& pinout)
{
    const bool dense = pinout.pinCount > 64;
    const Measures m{.pitch = dense ? 16.0 : 20.0, .stub = 12, .stubWidth = dense ? 8.0 : 9.0, .wire = 104,
                     .box = 84, .boxWidth = dense ? 14.0 : 16.0, .labelSize = dense ? 10.0 : 11.0,
                     .smallSize = 9, .padInset = 24};
    const int perSide = pinout.pinCount / 4;
    const double corner = 50;  // keeps the texts of two sides apart at the corners
    const double side = perSide * m.pitch + 2 * corner;
    const double outside = m.stub + m.wire + m.box;
    const double bodyX = 20 + outside;
    const double bodyY = 70 + outside;

    Drawing d;
    d.width = bodyX * 2 + side;
    AddTitle(d, chip, pinout);
    d.Add(Rect{bodyX, bodyY, side, side, 2, kOutline, true, kBody});
    d.Add(Circle{bodyX + corner * 0.5, bodyY + corner * 0.5, 5, 0, kOutline, true, kOutline});  // pin 1's corner
    d.Add(Text{bodyX + side / 2, bodyY + side / 2, std::string(chip), 20, Anchor::Middle, true, false, kOutline});
    d.Add(Text{bodyX + side / 2, bodyY + side / 2 + 22, std::string(pinout.package), 13, Anchor::Middle, false, false,
               kGrey});

    for (int i = 0; i < perSide; ++i) {
        const double along = corner + (i + 0.5) * m.pitch;
        const int left = 1 + i;
        const int bottom = 1 + perSide + i;
        const int right = 1 + 2 * perSide + i;
        const int top = 1 + 3 * perSide + i;
        DrawPin(d, m, Edge{bodyX, bodyY + along, -1, 0}, left, UseOf(pinout, left));
        DrawPin(d, m, Edge{bodyX + along, bodyY + side, 0, 1}, bottom, UseOf(pinout, bottom));
        DrawPin(d, m, Edge{bodyX + side, bodyY + side - along, 1, 0}, right, UseOf(pinout, right));
        DrawPin(d, m, Edge{bodyX + side - along, bodyY, 0, -1}, top, UseOf(pinout, top));
    }
    AddNotes(d, pinout, bodyY + side + outside + 30);
    return d;
}

}  // namespace

std::string PinLabel(const PinUse& use)
{
    std::string label(SignalName(use.signal));
    if (use.also != Signal::None) label += "/" + std::string(SignalName(use.also));
    return label;
}

Drawing WiringDrawing(std::string_view chip, const Pinout& pinout)
{
    return pinout.shape == PackageShape::Dual ? DualDrawing(chip, pinout) : QuadDrawing(chip, pinout);
}

std::optional<Drawing> WiringDrawingFor(std::string_view chip)
{
    const Pinout* pinout = FindPinout(chip);
    if (pinout == nullptr) return std::nullopt;
    return WiringDrawing(chip, *pinout);
}

}  // namespace quillon
