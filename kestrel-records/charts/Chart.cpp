#include "kestrel-records/charts/Chart.h"

#include "kestrel-records/charts/Axis.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <set>
#include <string_view>
#include <tuple>

namespace {

constexpr const char* kColours[] = {"#1F77B4", "#D62728", "#2CA02C", "#9467BD", "#FF7F0E",
                                    "#8C564B", "#E377C2", "#7F7F7F", "#BCBD22", "#17BECF"};
// Each round of the colours after the first with a dash pattern of its own.
constexpr const char* kDashes[] = {"", "8 4", "2 3", "10 3 2 3", "4 4 1 4"};
constexpr double kWidth = 900;
constexpr double kTop = 48;
constexpr double kPlotHeight = 400;
constexpr double kRight = 40;
constexpr double kCharWidth = 7; // of the 12-pixel sans-serif labels, roughly
constexpr const char* kGrey = "#A0A0A0"; // a series that stands for many records

// At most what each piece of a series takes in the SVG. A place on the
// plot is at most "860.00,448.00": 13 characters.
constexpr std::size_t kPointBytes = 14;          // and the space before it
constexpr std::size_t kRunStartBytes = 16;       // " M" and a place, in a path
constexpr std::size_t kElementBytes = 120;       // <polyline> or <path> with colour and dashes
constexpr std::size_t kCircleBytes = 60;         // <circle cx="…" cy="…" r="2.5" fill="#RRGGBB"/>
constexpr std::size_t kMarkerBytes = 140;        // <polygon class="pitch-minus-inf" points="…" …/>
constexpr std::size_t kLegendBytes = 1600;       // the row's line and text, besides 6 bytes a label byte
constexpr std::size_t kFrameBytes = 48 * 1024;   // axes: at most 101 ticks each, titles, the note

std::string Num(double value)
{
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 2);
    return std::string(text, result.ptr);
}

// Where a sample goes on the chart; false when it cannot be placed.
struct Frame {
    Axis x;
    Axis y;
    double left = 0;
    double width = 0;
    double X(double time) const
    {
        if (std::isinf(time)) {
            return time > 0 ? left + width : left;
        }
        return left + x.Place(time) * width;
    }
    double Y(double pitch) const { return kTop + (1 - y.Place(pitch)) * kPlotHeight; }
};

std::string Marker(const char* kind, double cx, double cy, const char* colour)
{
    const std::string x = Num(cx), y = Num(cy);
    std::string points;
    if (std::string_view(kind) == "pitch-inf") {
        points = Num(cx - 5) + "," + Num(cy + 4) + " " + Num(cx + 5) + "," + Num(cy + 4) + " " + x + "," + Num(cy - 5);
    } else if (std::string_view(kind) == "pitch-minus-inf") {
        points = Num(cx - 5) + "," + Num(cy - 4) + " " + Num(cx + 5) + "," + Num(cy - 4) + " " + x + "," + Num(cy + 5);
    } else {
        points = Num(cx - 5) + "," + y + " " + x + "," + Num(cy - 5) + " " + Num(cx + 5) + "," + y + " " + x + "," +
                 Num(cy + 5);
    }
    const bool hollow = std::string_view(kind) == "pitch-nan";
    return "<polygon class=\"" + std::string(kind) + "\" points=\"" + points + "\" fill=\"" +
           (hollow ? std::string("#FFFFFF") : std::string(colour)) + "\" stroke=\"" + colour + "\"/>\n";
}

} // namespace

std::string XmlText(const std::string& text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            if (c < 0x20 || c == 0x7F) {
                out += "\xEF\xBF\xBD";
            } else if (c == '<') {
                out += "&lt;";
            } else if (c == '>') {
                out += "&gt;";
            } else if (c == '&') {
                out += "&amp;";
            } else if (c == '"') {
                out += "&quot;";
            } else {
                out += static_cast<char>(c);
            }
            ++i;
            continue;
        }
        // A well-formed UTF-8 sequence of 2 to 4 bytes is kept as it is.
        const std::size_t length = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xC2 && c <= 0xDF ? 2 : 0;
        bool wellFormed = length > 0 && i + length <= text.size();
        for (std::size_t k = 1; wellFormed && k < length; ++k) {
            wellFormed = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
        }
        if (wellFormed && length == 3) {
            const auto second = static_cast<unsigned char>(text[i + 1]);
            wellFormed = !(c == 0xE0 && second < 0xA0) && !(c == 0xED && second >= 0xA0);
        }
        if (wellFormed && length == 4) {
            const auto second = static_cast<unsigned char>(text[i + 1]);
            wellFormed = !(c == 0xF0 && second < 0x90) && !(c == 0xF4 && second >= 0x90);
        }
        if (wellFormed) {
            out.append(text, i, length);
            i += length;
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
            ++i;
        }
    }
    return out;
}

namespace {

// A dot on each sample: a series kept whole, of one record.
bool Dotted(const ChartSeries& s)
{
    return s.samples <= kMostCircles && s.coarser == 0 && s.grouped == 0;
}

Frame MakeFrame(const std::vector<ChartSeries>& series)
{
    double tLow = INFINITY, tHigh = -INFINITY, pLow = INFINITY, pHigh = -INFINITY;
    for (const ChartSeries& s : series) {
        tLow = std::min(tLow, s.timeLow);
        tHigh = std::max(tHigh, s.timeHigh);
        pLow = std::min(pLow, s.pitchLow);
        pHigh = std::max(pHigh, s.pitchHigh);
    }

    Frame frame;
    frame.y = MakeAxis(pLow, pHigh, 8);
    std::size_t yLabel = 0;
    for (const AxisTick& tick : frame.y.ticks) {
        yLabel = std::max(yLabel, tick.label.size());
    }
    frame.left = std::max(70.0, 36 + kCharWidth * static_cast<double>(yLabel) + 10);
    frame.width = kWidth - frame.left - kRight;
    // As many x ticks as their labels leave room for.
    for (int count = 10; count >= 1; --count) {
        frame.x = MakeAxis(tLow, tHigh, count);
        std::size_t widest = 0;
        for (const AxisTick& tick : frame.x.ticks) {
            widest = std::max(widest, tick.label.size());
        }
        if (frame.x.ticks.size() < 2 ||
            (kCharWidth * static_cast<double>(widest) + 12) * static_cast<double>(frame.x.ticks.size() - 1) <= frame.width) {
            break;
        }
    }
    return frame;
}

// Series `i` of a chart in `frame`: its lines, dots and markers, and its
// legend row.
std::string SeriesSvg(const Frame& frame, const ChartSeries& s, std::size_t i)
{
    const double bottom = kTop + kPlotHeight;
    const double legendTop = bottom + 64;
    std::string svg;
    const bool grey = s.grouped > 0;
    const char* colour = grey ? kGrey : kColours[i % std::size(kColours)];
    const char* dashes = grey ? "" : kDashes[i / std::size(kColours) % std::size(kDashes)];
    const std::string dash = *dashes == '\0' ? "" : " stroke-dasharray=\"" + std::string(dashes) + "\"";
    std::string lines, marks;
    std::string run;
    std::size_t runPoints = 0;
    std::size_t runs = 0;
    for (std::size_t k = 0; k < s.line.size(); ++k) {
        runs += k == 0 || !s.line[k].joined ? 1 : 0;
    }
    // Many runs (a record that breaks off or starts over often): one path,
    // each run a move to its start.
    const bool onePath = runs > kMostPolylines;
    const std::string look = "fill=\"none\" stroke=\"" + std::string(colour) + "\"" + dash + " stroke-width=\"1.5\"";
    const bool circles = Dotted(s);
    std::string last, lastX, lastY;
    auto dot = [&](const std::string& x, const std::string& y) {
        marks += "<circle cx=\"" + x + "\" cy=\"" + y + "\" r=\"2.5\" fill=\"" + colour + "\"/>\n";
    };
    std::string path;
    auto endRun = [&] {
        if (runPoints >= 2) {
            if (onePath) {
                path += (path.empty() ? "M" : " M") + run;
            } else {
                lines += "<polyline " + look + " points=\"" + run + "\"/>\n";
            }
        } else if (runPoints == 1 && !circles) {
            dot(lastX, lastY); // a sample with no line to or from it
        }
        run.clear();
        runPoints = 0;
    };
    for (std::size_t k = 0; k < s.line.size(); ++k) {
        const ChartPoint& p = s.line[k];
        if (k == 0 || !p.joined) {
            endRun();
        }
        std::string x = Num(frame.X(p.time)), y = Num(frame.Y(p.pitch));
        std::string point = x + "," + y;
        if (runPoints > 0 && point == last && !circles) {
            continue; // the same spot again, as a reduced series has it
        }
        run += (runPoints++ > 0 ? " " : "") + point;
        last = std::move(point);
        if (circles) {
            dot(x, y);
        }
        lastX = std::move(x);
        lastY = std::move(y);
    }
    endRun();
    if (!path.empty()) {
        lines += "<path " + look + " d=\"" + path + "\"/>\n";
    }
    // One marker of a kind per two pixels (a marker is ten wide): a long
    // series may have thousands.
    std::set<std::tuple<std::string_view, long, long>> marked;
    for (const ChartPoint& p : s.marks) {
        const double x = frame.X(p.time);
        const char* kind = "time-inf";
        double y = 0;
        if (std::isnan(p.pitch)) {
            kind = "pitch-nan";
            y = bottom;
        } else if (std::isinf(p.pitch)) {
            kind = p.pitch > 0 ? "pitch-inf" : "pitch-minus-inf";
            y = p.pitch > 0 ? kTop : bottom;
        } else {
            y = frame.Y(p.pitch);
        }
        if (!circles && !marked.emplace(kind, std::lround(x / 2), std::lround(y / 2)).second) {
            continue;
        }
        marks += Marker(kind, x, y, colour);
    }
    svg += "<g class=\"series\">\n" + lines + marks + "</g>\n";

    const double y = legendTop + 20 * static_cast<double>(i);
    std::string text = (grey ? std::to_string(s.grouped) + (s.grouped == 1 ? " more record, in grey" : " more records, drawn as one in grey") : s.label) + ": " +
                       std::to_string(s.samples) + (s.samples == 1 ? " sample" : " samples");
    if (s.notFinite > 0) {
        text += ", " + std::to_string(s.notFinite) + " not finite (marked)";
    }
    if (s.unplaced > 0) {
        text += ", of them " + std::to_string(s.unplaced) + " at time nan (not placed)";
    }
    if (s.coarser > 0 && s.samples > 0) {
        text += ", drawn coarser to fit the chart";
    }
    svg += "<line x1=\"" + Num(frame.left) + "\" y1=\"" + Num(y - 4) + "\" x2=\"" + Num(frame.left + 24) + "\" y2=\"" +
           Num(y - 4) + "\" stroke=\"" + colour + "\"" + dash + " stroke-width=\"3\"/>\n";
    svg += "<text class=\"legend\" x=\"" + Num(frame.left + 32) + "\" y=\"" + Num(y) + "\">" + XmlText(text) +
           "</text>\n";
    return svg;
}

} // namespace

std::size_t SeriesSvgBytes(const std::vector<ChartSeries>& series, std::size_t i)
{
    return SeriesSvg(MakeFrame(series), series[i], i).size();
}

std::size_t MostFrameBytes(std::size_t titleBytes)
{
    return kFrameBytes + 6 * titleBytes;
}

std::size_t MostSvgBytes(const ChartSeries& s)
{
    const bool circles = Dotted(s);
    std::size_t runs = 0;
    for (std::size_t k = 0; k < s.line.size(); ++k) {
        runs += k == 0 || !s.line[k].joined ? 1 : 0;
    }
    const bool onePath = runs > kMostPolylines;
    std::size_t bytes = 24 + kLegendBytes + 6 * s.label.size() + kMarkerBytes * s.marks.size() + kElementBytes;
    if (circles) {
        return bytes + (kPointBytes + kCircleBytes) * s.line.size() + kElementBytes * runs;
    }
    // Each run a line, or a dot where all its points fall on one spot.
    for (std::size_t k = 0; k < s.line.size();) {
        std::size_t points = 1;
        while (k + points < s.line.size() && s.line[k + points].joined) {
            ++points;
        }
        k += points;
        const std::size_t line = (onePath ? kRunStartBytes : kElementBytes + kPointBytes) + kPointBytes * (points - 1);
        bytes += std::max(line, kCircleBytes);
    }
    return bytes;
}

std::string ChartSvg(const std::vector<ChartSeries>& series, const std::string& title)
{
    const Frame frame = MakeFrame(series);
    bool anyNotFinite = false;
    for (const ChartSeries& s : series) {
        anyNotFinite = anyNotFinite || s.notFinite > 0;
    }
    const double bottom = kTop + kPlotHeight;
    const double legendTop = bottom + 64;
    const double height = legendTop + 20 * static_cast<double>(series.size() + (anyNotFinite ? 1 : 0)) + 8;
    const std::string w = Num(kWidth), h = Num(height);
    std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + w + "\" height=\"" + h + "\" viewBox=\"0 0 " +
                      w + " " + h + "\" font-family=\"sans-serif\" font-size=\"12\">\n";
    svg += "<rect width=\"" + w + "\" height=\"" + h + "\" fill=\"#FFFFFF\"/>\n";
    svg += "<text x=\"" + Num(kWidth / 2) + "\" y=\"28\" text-anchor=\"middle\" font-size=\"15\">" + XmlText(title) +
           "</text>\n";

    // Grid, ticks and their labels.
    for (const AxisTick& tick : frame.x.ticks) {
        const std::string x = Num(frame.left + tick.at * frame.width);
        svg += "<line x1=\"" + x + "\" y1=\"" + Num(kTop) + "\" x2=\"" + x + "\" y2=\"" + Num(bottom) +
               "\" stroke=\"#DDDDDD\"/>\n";
        svg += "<text class=\"x-tick\" x=\"" + x + "\" y=\"" + Num(bottom + 18) + "\" text-anchor=\"middle\">" +
               XmlText(tick.label) + "</text>\n";
    }
    for (const AxisTick& tick : frame.y.ticks) {
        const double y = kTop + (1 - tick.at) * kPlotHeight;
        svg += "<line x1=\"" + Num(frame.left) + "\" y1=\"" + Num(y) + "\" x2=\"" + Num(frame.left + frame.width) +
               "\" y2=\"" + Num(y) + "\" stroke=\"#DDDDDD\"/>\n";
        svg += "<text class=\"y-tick\" x=\"" + Num(frame.left - 8) + "\" y=\"" + Num(y + 4) + "\" text-anchor=\"end\">" +
               XmlText(tick.label) + "</text>\n";
    }
    svg += "<rect x=\"" + Num(frame.left) + "\" y=\"" + Num(kTop) + "\" width=\"" + Num(frame.width) + "\" height=\"" +
           Num(kPlotHeight) + "\" fill=\"none\" stroke=\"#000000\"/>\n";
    const std::string xTitle = "time (s)" + (frame.x.anchorText.empty() ? "" : ", labels " + frame.x.anchorText);
    const std::string yTitle = "pitch (degrees)" + (frame.y.anchorText.empty() ? "" : ", labels " + frame.y.anchorText);
    svg += "<text x=\"" + Num(frame.left + frame.width / 2) + "\" y=\"" + Num(bottom + 40) +
           "\" text-anchor=\"middle\">" + XmlText(xTitle) + "</text>\n";
    const std::string middle = Num(kTop + kPlotHeight / 2);
    svg += "<text x=\"18\" y=\"" + middle + "\" text-anchor=\"middle\" transform=\"rotate(-90 18 " + middle + ")\">" +
           XmlText(yTitle) + "</text>\n";

    // The series, and a legend row for each.
    for (std::size_t i = 0; i < series.size(); ++i) {
        svg += SeriesSvg(frame, series[i], i);
    }
    if (anyNotFinite) {
        const double y = legendTop + 20 * static_cast<double>(series.size());
        svg += "<text x=\"" + Num(frame.left) + "\" y=\"" + Num(y) +
               "\">\xE2\x96\xB2 pitch inf (top edge)   \xE2\x96\xBC pitch -inf (bottom edge)   \xE2\x97\x87 pitch nan "
               "(bottom edge)   \xE2\x97\x86 time inf or -inf (right or left edge)</text>\n";
    }
    svg += "</svg>\n";
    return svg;
}
