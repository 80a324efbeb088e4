// The wiring drawing of one chip of each package: every pin numbered once, every used pin's
// signal and gateway line drawn on that pin's row, nothing off the page, and the SVG a
// well-formed document that carries the same texts.
#include <gtest/gtest.h>

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "chips/WiringDrawing.h"
#include "core/Svg.h"

namespace quillon {
namespace {

using namespace drawing;

std::vector<Text> Texts(const Drawing& d)
{
    std::vector<Text> texts;
    for (const Shape& s : d.shapes)
        if (const auto* t = std::get_if<Text>(&s)) texts.push_back(*t);
    return texts;
}

bool AllDigits(const std::string& s)
{
    return !s.empty() && s.find_first_not_of("0123456789") == std::string::npos;
}

// Where a text lies across the pins' rows: its y for flat text, its x for turned.
double Across(const Text& t) { return t.turned ? t.x : t.y; }

// A generous estimate of a text's extent, so a text that runs off the page shows.
void ExpectOnPage(const Drawing& d, const Text& t, const char* chip)
{
    const double length = t.text.size() * t.size * 0.62;
    double from = t.anchor == Anchor::Start ? 0 : t.anchor == Anchor::Middle ? -length / 2 : -length;
    double lo = (t.turned ? t.y - from - length : t.x + from);
    double hi = lo + length;
    const double along = t.turned ? d.height : d.width;
    EXPECT_GE(lo, 0) << chip << ": \"" << t.text << "\" starts off the page";
    EXPECT_LE(hi, along) << chip << ": \"" << t.text << "\" runs off the page";
    const double across = Across(t);
    EXPECT_GT(across, 0) << chip << ": \"" << t.text << "\"";
    EXPECT_LT(across, t.turned ? d.width : d.height) << chip << ": \"" << t.text << "\"";
}

TEST(WiringDrawing, EveryPinIsNumberedOnceAndEveryUsedPinNamesItsSignalAndGatewayLineOnItsRow)
{
    for (const char* chip : {"ATtiny85", "ATtiny44", "ATtiny2313", "ATmega8", "ATmega16", "ATmega128", "ATmega2560"}) {
        const Pinout* pinout = FindPinout(chip);
        ASSERT_NE(pinout, nullptr) << chip;
        const std::optional<Drawing> d = WiringDrawingFor(chip);
        ASSERT_TRUE(d) << chip;
        const std::vector<Text> texts = Texts(*d);

        std::map<int, Text> numbers;
        for (const Text& t : texts) {
            ExpectOnPage(*d, t, chip);
            if (!AllDigits(t.text)) continue;
            const int n = std::stoi(t.text);
            EXPECT_TRUE(numbers.emplace(n, t).second) << chip << ": pin " << n << " numbered twice";
        }
        ASSERT_EQ(numbers.size(), pinout->pinCount) << chip;
        EXPECT_EQ(numbers.begin()->first, 1);
        EXPECT_EQ(numbers.rbegin()->first, pinout->pinCount);

        // Half a pitch either way is the pin's own row.
        const double halfPitch = pinout->shape == PackageShape::Dual ? 13 : 8;
        for (const PinUse& use : pinout->pins) {
            const Text& number = numbers.at(use.pin);
            auto onRow = [&](const std::string& text) {
                for (const Text& t : texts)
                    if (t.text == text && t.turned == number.turned &&
                        std::abs(Across(t) - Across(number)) < halfPitch)
                        return true;
                return false;
            };
            EXPECT_TRUE(onRow(PinLabel(use))) << chip << " pin " << int(use.pin) << " " << PinLabel(use);
            EXPECT_TRUE(onRow(std::string(GatewayLine(use.signal)))) << chip << " pin " << int(use.pin);
            EXPECT_TRUE(onRow(std::string(use.pad))) << chip << " pin " << int(use.pin);
        }
        EXPECT_NE(d->title.find(chip), std::string::npos);
    }
}

TEST(WiringDrawing, APinWithTwoSignalsIsNamedWithBothAndDrivenByTheFirst)
{
    const Pinout* pinout = FindPinout("ATtiny2313");
    ASSERT_NE(pinout, nullptr);
    std::map<std::string, std::string> lineOf;
    for (const PinUse& use : pinout->pins) lineOf[PinLabel(use)] = GatewayLine(use.signal);
    EXPECT_EQ(lineOf["BS1/PAGEL"], "PC1");
    EXPECT_EQ(lineOf["XA1/BS2"], "PC4");
    EXPECT_FALSE(WiringDrawingFor("ATmega9999"));
}

std::vector<std::string> SvgTexts(const std::string& svg, std::string& title)
{
    std::vector<std::string> texts;
    xmlDoc* doc = xmlReadMemory(svg.data(), static_cast<int>(svg.size()), "drawing.svg", nullptr, XML_PARSE_NONET);
    EXPECT_NE(doc, nullptr) << "not well-formed XML";
    if (doc == nullptr) return texts;
    xmlNode* root = xmlDocGetRootElement(doc);
    EXPECT_STREQ(reinterpret_cast<const char*>(root->name), "svg");
    for (xmlNode* n = root->children; n != nullptr; n = n->next) {
        if (n->type != XML_ELEMENT_NODE) continue;
        xmlChar* content = xmlNodeGetContent(n);
        const std::string name(reinterpret_cast<const char*>(n->name));
        if (name == "text") texts.emplace_back(reinterpret_cast<const char*>(content));
        if (name == "title") title = reinterpret_cast<const char*>(content);
        xmlFree(content);
    }
    xmlFreeDoc(doc);
    return texts;
}

TEST(WiringDrawing, TheSvgCarriesEveryTextOfTheDrawingAsText)
{
    const std::optional<Drawing> d = WiringDrawingFor("ATmega8");
    ASSERT_TRUE(d);
    std::string title;
    const std::vector<std::string> svgTexts = SvgTexts(ToSvg(*d), title);
    std::vector<std::string> expected;
    for (const Text& t : Texts(*d)) expected.push_back(t.text);
    EXPECT_EQ(svgTexts, expected);
    EXPECT_EQ(title, "How to connect the ATmega8");
}

TEST(WiringDrawing, SvgTextsThatLookLikeMarkupStayText)
{
    Drawing d{.width = 100, .height = 50, .title = "a <b> & \"c\""};
    d.Add(Text{.x = 10, .y = 20, .text = "<DATA0 & \"1\">"});
    d.Add(Text{.x = 10, .y = 40, .text = "tab\there, bell\x07"});
    std::string title;
    const std::vector<std::string> texts = SvgTexts(ToSvg(d), title);
    EXPECT_EQ(title, "a <b> & \"c\"");
    EXPECT_EQ(texts, (std::vector<std::string>{"<DATA0 & \"1\">", "tab\there, bell "}));
}

}  // namespace
}  // namespace quillon
