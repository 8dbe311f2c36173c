// HTML: one printable page, self-contained (inline CSS and SVG, no script): per file the board's
// statistics grid and, for every player, charts of the stored visits and of the won legs.
#include "engine/board.h"
#include "report.h"
#include "text.h"

#include <algorithm>
#include <cmath>

namespace brennix::report {

namespace {

constexpr std::string_view Style =
    R"(body{font-family:"Liberation Sans",Arial,Helvetica,sans-serif;margin:1.5em;color:#111}
h1{font-size:1.4em;margin:0 0 .6em}
section{margin-bottom:2.5em}
h2{font-size:1.1em;margin:0;word-break:break-all}
.path{font-size:.85em;color:#555;margin:.1em 0 0;padding-bottom:.2em;border-bottom:2px solid #0b5d36;word-break:break-all}
.caption{font-size:1.2em;font-weight:bold;margin:.4em 0 .2em}
.turns{margin:.2em 0 .6em}
.turns span{margin-right:1.5em}
table{border-collapse:collapse;margin:.4em 0 1em}
th,td{border:1px solid #888;padding:.15em .45em}
th{background:#dfeee5;font-size:.85em}
td.n{text-align:right;font-variant-numeric:tabular-nums}
tr.throw td{font-weight:bold;background:#fff6d8}
.legend{margin:.2em 0 .5em;font-size:.9em}
.legend span{margin-right:1em;white-space:nowrap}
.legend b{font-weight:normal}
.charts{display:flex;flex-wrap:wrap;gap:.8em}
figure{margin:0;padding:.4em;border:1px solid #bbb;break-inside:avoid}
figcaption{font-weight:bold;margin-bottom:.2em}
svg{display:block;max-width:100%;height:auto;font-size:10px}
svg text{fill:#333}
.none{color:#666;font-style:italic;margin:.2em 0}
@media print{body{margin:0}section+section{break-before:page}th,tr.throw td{-webkit-print-color-adjust:exact;print-color-adjust:exact}}
)";

} // namespace

std::string HtmlEscape(std::string_view utf8) {
    std::string escaped;
    for (const char c : Printable(utf8)) {
        switch (c) {
        case '&':
            escaped += "&amp;";
            break;
        case '<':
            escaped += "&lt;";
            break;
        case '>':
            escaped += "&gt;";
            break;
        case '"':
            escaped += "&quot;";
            break;
        case '\'':
            escaped += "&#39;";
            break;
        default:
            escaped += c;
        }
    }
    return escaped;
}

std::string_view HtmlStyle() {
    return Style;
}

namespace {

std::string N(int64_t value) {
    return std::to_string(value);
}

// Pixels for a value on a scale of `height` pixels up to `top`; never outside 0..height.
int64_t Scaled(int32_t value, double top, int height) {
    if (value <= 0 || top <= 0) return 0;
    return std::lround(std::min<double>(value, top) * height / top);
}

// The won legs' bars, the best leg's picked out.
constexpr const char* WonLegColour = "#2f6f9f";
constexpr const char* BestLegColour = "#b3261e";

std::string VisitColour(int32_t score) {
    if (score >= 180) return "#b3261e";
    if (score >= 140) return "#e06c00";
    if (score >= 100) return "#d9a400";
    if (score >= 60) return "#2e8b57";
    return "#8a9499";
}

// The stored visits as bars, oldest on the left, on a scale to 180 with the counters' lines. The
// axis is never shorter than its two labels side by side, however few the visits.
std::string VisitChart(const std::vector<int32_t>& visits) {
    if (visits.empty()) return "<p class=\"none\">No visits stored</p>\n";
    constexpr int left = 28, height = 120, top = 8, bar = 9, step = 11, axis = 80;
    const int64_t width =
        left + std::max<int64_t>(static_cast<int64_t>(visits.size()) * step + 6, axis);
    const int base = top + height;
    std::string svg = "<svg width=\"" + N(width) + "\" height=\"" + N(base + 14) +
                      "\" viewBox=\"0 0 " + N(width) + " " + N(base + 14) +
                      "\" role=\"img\" aria-label=\"Stored visits\">\n";
    for (const int line : {0, 60, 100, 140, 180}) {
        const int64_t y = base - Scaled(line, 180, height);
        svg += "<line x1=\"" + N(left) + "\" y1=\"" + N(y) + "\" x2=\"" + N(width) + "\" y2=\"" +
               N(y) + "\" stroke=\"#ccc\"/><text x=\"" + N(left - 3) + "\" y=\"" + N(y + 3) +
               "\" text-anchor=\"end\">" + N(line) + "</text>\n";
    }
    for (size_t i = 0; i < visits.size(); ++i) {
        const int32_t score = visits[visits.size() - 1 - i];
        const int64_t h = Scaled(score, 180, height);
        svg += "<rect x=\"" + N(left + 2 + static_cast<int64_t>(i) * step) + "\" y=\"" +
               N(base - h) + "\" width=\"" + N(bar) + "\" height=\"" + N(h) + "\" fill=\"" +
               VisitColour(score) + "\"><title>" + N(score) + "</title></rect>\n";
    }
    svg += "<text x=\"" + N(left) + "\" y=\"" + N(base + 12) + "\">oldest</text><text x=\"" +
           N(width - 4) + "\" y=\"" + N(base + 12) + "\" text-anchor=\"end\">newest</text>\n";
    return svg + "</svg>\n";
}

// The darts of every won leg as labelled bars, the best leg picked out.
std::string LegChart(const std::vector<int32_t>& legs, std::optional<int32_t> best) {
    if (legs.empty()) return "<p class=\"none\">No legs won</p>\n";
    constexpr int height = 90, top = 14, bar = 20, step = 26;
    const double most = *std::max_element(legs.begin(), legs.end());
    const int64_t width = static_cast<int64_t>(legs.size()) * step + 6;
    const int base = top + height;
    std::string svg = "<svg width=\"" + N(width) + "\" height=\"" + N(base + 2) +
                      "\" viewBox=\"0 0 " + N(width) + " " + N(base + 2) +
                      "\" role=\"img\" aria-label=\"Darts of the won legs\">\n";
    svg += "<line x1=\"0\" y1=\"" + N(base) + "\" x2=\"" + N(width) + "\" y2=\"" + N(base) +
           "\" stroke=\"#888\"/>\n";
    for (size_t i = 0; i < legs.size(); ++i) {
        const int64_t h = Scaled(legs[i], most, height);
        const int64_t x = 4 + static_cast<int64_t>(i) * step;
        const bool isBest = best && legs[i] == *best;
        svg += "<rect x=\"" + N(x) + "\" y=\"" + N(base - h) + "\" width=\"" + N(bar) +
               "\" height=\"" + N(h) + "\" fill=\"" + (isBest ? BestLegColour : WonLegColour) +
               "\"><title>" + N(legs[i]) + " darts</title></rect><text x=\"" + N(x + bar / 2) +
               "\" y=\"" + N(base - h - 3) + "\" text-anchor=\"middle\">" + N(legs[i]) +
               "</text>\n";
    }
    return svg + "</svg>\n";
}

// What the charts' colours stand for, with swatches in those colours.
std::string Legend() {
    auto key = [](std::string_view colour, std::string_view text) {
        return "<span><b style=\"color:" + std::string(colour) + "\">\xE2\x96\xA0</b> " +
               std::string(text) + "</span>";
    };
    return "<p class=\"legend\">Visits: " + key(VisitColour(180), "180") +
           key(VisitColour(140), "140+") + key(VisitColour(100), "100+") +
           key(VisitColour(60), "60+") + key(VisitColour(0), "under 60") +
           "Won legs: " + key(WonLegColour, "darts of a leg") + key(BestLegColour, "best leg") +
           "</p>\n";
}

std::string Cell(const std::string& text, bool number = true) {
    return (number ? "<td class=\"n\">" : "<td>") + text + "</td>";
}

void Game(std::string& html, const TReportGame& game) {
    html += "<section>\n<h2>" + HtmlEscape(FileHeading(game)) + "</h2>\n<p class=\"path\">" +
            HtmlEscape(game.File) + "</p>\n";
    html += "<p class=\"caption\">" + HtmlEscape(game.Caption) + "</p>\n";
    html +=
        "<p class=\"turns\"><span>To throw: " + HtmlEscape(NumberedName(game, game.PlayerToThrow)) +
        "</span><span>Leg starter: " + HtmlEscape(NumberedName(game, game.LegStarter)) +
        "</span><span>Next leg starter: " + HtmlEscape(NumberedName(game, game.NextLegStarter)) +
        "</span><span>Next set starter: " + HtmlEscape(NumberedName(game, game.NextSetStarter)) +
        "</span></p>\n";
    html += "<table>\n<thead><tr><th>#</th><th>Name</th><th>Score</th><th>Sets</th><th>Legs</th>"
            "<th>Points</th><th>40+</th><th>60+</th><th>100+</th><th>140+</th><th>180</th>"
            "<th>3 Dart Leg Average</th><th>3 Dart Match Average</th><th>Darts leg</th>"
            "<th>Darts total</th><th>Checkout</th><th>Won legs (darts)</th><th>Best leg</th>"
            "</tr></thead>\n<tbody>\n";
    for (const TReportPlayer& player : game.Players) {
        html += player.Number == game.PlayerToThrow ? "<tr class=\"throw\">" : "<tr>";
        html += Cell(N(player.Number)) + Cell(HtmlEscape(player.Name), false) +
                Cell(N(player.Figures.Remaining)) + Cell(N(player.Figures.Sets)) +
                Cell(N(player.Figures.Legs)) + Cell(N(player.Figures.Points));
        for (const int32_t count : player.Figures.Counts)
            html += Cell(N(count));
        html += Cell(FormatAverage(player.Figures.LegAverage)) +
                Cell(FormatAverage(player.Figures.MatchAverage)) +
                Cell(N(player.Figures.DartsLeg)) + Cell(N(player.Figures.DartsMatch)) +
                Cell(HtmlEscape(player.Checkout), false) +
                Cell(Join(player.Figures.WonLegDarts, " "), false) +
                Cell(player.Figures.BestLeg ? N(*player.Figures.BestLeg) : "") + "</tr>\n";
    }
    html += "</tbody>\n</table>\n" + Legend() + "<div class=\"charts\">\n";
    for (const TReportPlayer& player : game.Players) {
        html += "<figure>\n<figcaption>" + N(player.Number) + " " + HtmlEscape(player.Name) +
                "</figcaption>\n<div>Visits</div>\n" + VisitChart(player.Figures.Visits) +
                "<div>Darts of the won legs</div>\n" +
                LegChart(player.Figures.WonLegDarts, player.Figures.BestLeg) + "</figure>\n";
    }
    html += "</div>\n</section>\n";
}

} // namespace

std::string FormatHtml(const std::vector<TReportGame>& games) {
    std::string html = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
                       "<title>Brennix match report</title>\n<style>\n";
    html += Style;
    html += "</style>\n</head>\n<body>\n<h1>Brennix match report</h1>\n";
    for (const TReportGame& game : games)
        Game(html, game);
    if (games.empty()) html += "<p class=\"none\">No games</p>\n";
    return html + "</body>\n</html>\n";
}

} // namespace brennix::report
