#include "kestrel-host/PlotCommand.h"

#include "kestrel-host/HostError.h"
#include "kestrel-host/Snapshot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <regex>

namespace fs = std::filesystem;

std::vector<std::pair<double, double>> ReadDataFile(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        throw HostError(file.string() + ": cannot read the data file");
    }
    // "%0.1f=pitch(%0.2f, %0.2f, %0.1f)"
    static const std::regex line(
        R"(^(-?\d+\.\d)=pitch\((-?\d+\.\d\d), (-?\d+\.\d\d), (-?\d+\.\d)\)$)");
    std::vector<std::pair<double, double>> samples;
    std::string text;
    int number = 0;
    while (std::getline(in, text)) {
        ++number;
        if (!text.empty() && text.back() == '\r') {
            text.pop_back();
        }
        std::smatch m;
        if (!std::regex_match(text, m, line)) {
            throw HostError(file.string() + ":" + std::to_string(number) +
                            ": not a data line (expected like 0.0=pitch(5.00, 7.50, 10.0)): '" + text + "'");
        }
        const double t0 = std::stod(m[1]);
        const double p0 = std::stod(m[2]);
        const double p1 = std::stod(m[3]);
        const double span = std::stod(m[4]);
        if (samples.empty() || samples.back() != std::make_pair(t0, p0)) {
            samples.emplace_back(t0, p0);
        }
        samples.emplace_back(t0 + span, p1);
    }
    if (samples.empty()) {
        throw HostError(file.string() + ": no data lines");
    }
    return samples;
}

namespace {

std::string Num(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", value);
    return text;
}

// A round step for about `count` ticks over `range`.
double TickStep(double range, int count)
{
    const double raw = range / count;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (const double f : {1.0, 2.0, 5.0, 10.0}) {
        if (f * power >= raw) {
            return f * power;
        }
    }
    return 10.0 * power;
}

} // namespace

std::string PlotSvg(const std::vector<std::pair<double, double>>& samples, const std::string& title)
{
    double tMin = samples.front().first, tMax = tMin, pMin = samples.front().second, pMax = pMin;
    for (const auto& [t, p] : samples) {
        tMin = std::min(tMin, t);
        tMax = std::max(tMax, t);
        pMin = std::min(pMin, p);
        pMax = std::max(pMax, p);
    }
    if (tMax - tMin < 1e-9) {
        tMin -= 1;
        tMax += 1;
    }
    if (pMax - pMin < 1e-9) {
        pMin -= 1;
        pMax += 1;
    }
    const double tStep = TickStep(tMax - tMin, 8);
    const double pStep = TickStep(pMax - pMin, 6);
    tMin = std::floor(tMin / tStep) * tStep;
    tMax = std::ceil(tMax / tStep) * tStep;
    pMin = std::floor(pMin / pStep) * pStep;
    pMax = std::ceil(pMax / pStep) * pStep;

    const double width = 800, height = 480, left = 70, right = 20, top = 40, bottom = 50;
    const double plotW = width - left - right, plotH = height - top - bottom;
    auto x = [&](double t) { return left + (t - tMin) / (tMax - tMin) * plotW; };
    auto y = [&](double p) { return top + (pMax - p) / (pMax - pMin) * plotH; };

    std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"800\" height=\"480\" viewBox=\"0 0 800 480\" "
                      "font-family=\"sans-serif\" font-size=\"12\">\n"
                      "<rect width=\"800\" height=\"480\" fill=\"#FFFFFF\"/>\n";
    svg += "<text x=\"400\" y=\"22\" text-anchor=\"middle\" font-size=\"14\">" + XmlEscape(title) + "</text>\n";
    for (double t = tMin; t <= tMax + tStep * 1e-6; t += tStep) {
        svg += "<line x1=\"" + Num(x(t)) + "\" y1=\"" + Num(top) + "\" x2=\"" + Num(x(t)) + "\" y2=\"" + Num(top + plotH) +
               "\" stroke=\"#DDDDDD\"/>\n";
        char label[32];
        std::snprintf(label, sizeof label, "%g", std::abs(t) < tStep * 1e-6 ? 0.0 : t);
        svg += "<text x=\"" + Num(x(t)) + "\" y=\"" + Num(top + plotH + 18) + "\" text-anchor=\"middle\">" + label + "</text>\n";
    }
    for (double p = pMin; p <= pMax + pStep * 1e-6; p += pStep) {
        svg += "<line x1=\"" + Num(left) + "\" y1=\"" + Num(y(p)) + "\" x2=\"" + Num(left + plotW) + "\" y2=\"" + Num(y(p)) +
               "\" stroke=\"#DDDDDD\"/>\n";
        char label[32];
        std::snprintf(label, sizeof label, "%g", std::abs(p) < pStep * 1e-6 ? 0.0 : p);
        svg += "<text x=\"" + Num(left - 8) + "\" y=\"" + Num(y(p) + 4) + "\" text-anchor=\"end\">" + label + "</text>\n";
    }
    svg += "<rect x=\"" + Num(left) + "\" y=\"" + Num(top) + "\" width=\"" + Num(plotW) + "\" height=\"" + Num(plotH) +
           "\" fill=\"none\" stroke=\"#000000\"/>\n";
    svg += "<text x=\"" + Num(left + plotW / 2) + "\" y=\"" + Num(height - 10) + "\" text-anchor=\"middle\">time (s)</text>\n";
    svg += "<text x=\"16\" y=\"" + Num(top + plotH / 2) + "\" text-anchor=\"middle\" transform=\"rotate(-90 16 " +
           Num(top + plotH / 2) + ")\">pitch (degrees)</text>\n";
    svg += "<polyline fill=\"none\" stroke=\"#1F77B4\" stroke-width=\"1.5\" points=\"";
    for (const auto& [t, p] : samples) {
        svg += Num(x(t)) + "," + Num(y(p)) + " ";
    }
    svg += "\"/>\n";
    for (const auto& [t, p] : samples) {
        svg += "<circle cx=\"" + Num(x(t)) + "\" cy=\"" + Num(y(p)) + "\" r=\"2.5\" fill=\"#1F77B4\"/>\n";
    }
    svg += "</svg>\n";
    return svg;
}

int PlotDataFile(const fs::path& file, const std::optional<fs::path>& out)
{
    try {
        const auto samples = ReadDataFile(file);
        fs::path target = out.value_or(fs::path(file).replace_extension(".svg"));
        std::ofstream svg(target, std::ios::binary | std::ios::trunc);
        svg << PlotSvg(samples, file.filename().string());
        svg.close();
        if (!svg) {
            throw HostError(target.string() + ": cannot write the chart");
        }
        std::cout << "kestrel-host: plotted " << samples.size() << " samples of " << file.string() << " into "
                  << target.string() << "\n";
        return 0;
    } catch (const HostError& e) {
        std::cerr << "kestrel-host: " << e.what() << "\n";
        return 2;
    }
}
