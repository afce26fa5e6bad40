// kestrel-records plot: the pitch history of data files as one SVG chart.
#include "kestrel-records/charts/Chart.h"
#include "kestrel-records/commands/Commands.h"
#include "kestrel-records/reading/Continuity.h"
#include "kestrel-records/outputs/InputFiles.h"
#include "kestrel-records/outputs/OutputFile.h"
#include "kestrel-records/reading/RecordFile.h"
#include "kestrel-records/common/RecordsError.h"
#include "kestrel-records/charts/SeriesReducer.h"

#include <algorithm>

namespace {

std::string DefaultChartName(const std::string& file)
{
    const std::string_view name = BaseName(file);
    if (name.size() > 4 && name.substr(name.size() - 4) == ".txt") {
        return file.substr(0, file.size() - 4) + ".svg";
    }
    return file + ".svg";
}

// The samples of one file: each line gives the sample before (unless it
// carries on from the line before, which gave it already) and the one now.
ChartSeries ReadSeries(const std::string& file)
{
    const RecordName name = ParseRecordName(file);
    SeriesReducer series;
    bool first = true;
    LineEnd end;
    const FileScan scan = ScanFile(file, [&](const DataLine& line) {
        if (first || !CarriesOn(end, line)) {
            series.Add(line.startTime, line.startPitch, false);
        }
        first = false;
        end.time = line.startTime + line.span;
        end.pitchText = line.endPitchText;
        series.Add(end.time, line.endPitch, true);
    });
    if (scan.badLines > 0) {
        throw RecordsError(FirstBadLineMessage(file, scan) + " (kestrel-records check lists each file's first bad line)");
    }
    return series.Take(name.fromName ? name.vessel + ", stamp " + name.stamp : std::string(BaseName(file)));
}

} // namespace

int PlotCommand(const std::vector<std::string>& named, const std::optional<std::string>& output, std::ostream& out,
                std::ostream& err)
{
    try {
        if (!output && named.size() > 1) {
            throw RecordsError("several files go into one chart: name it with -o");
        }
        if (!output && named.front() == kStandardInput) {
            throw RecordsError("standard input has no name to name its chart after: name it with -o");
        }
        OutputFile chart(output.value_or(DefaultChartName(named.front())), named);
        const std::vector<std::string> files = EachFileOnce(named, err);
        std::string title;
        if (files.size() == 1) {
            const RecordName name = ParseRecordName(files.front());
            title = "Pitch of " + name.vessel + (name.fromName ? ", stamp " + name.stamp : "");
        } else {
            title = "Pitch of " + std::to_string(files.size()) + " records";
        }
        // Each series, as it is read, drawn within twice its share of the
        // chart (what those before it left, split among those to come; the
        // share as at most it could take), so that memory holds little more
        // than the chart: the files past the looks a chart tells apart drawn
        // as one. Then the chart as drawn brought within its bound.
        const std::size_t drawn = std::min(files.size(), kMostSeriesApart + 1);
        std::size_t room = kMostChartBytes - MostFrameBytes(title.size());
        std::vector<ChartSeries> series;
        SeriesGroup rest;
        std::size_t samples = 0, notFinite = 0;
        for (const std::string& file : files) {
            ChartSeries one = ReadSeries(file);
            samples += one.samples;
            notFinite += one.notFinite;
            if (series.size() < kMostSeriesApart) {
                FitSeries(one, 2 * (room / (drawn - series.size())));
                room -= std::min(room, MostSvgBytes(one));
                series.push_back(std::move(one));
            } else {
                rest.Add(one);
            }
        }
        if (rest.Records() > 0) {
            series.push_back(rest.Take());
        }
        FitChart(series, title);
        chart.Write(ChartSvg(series, title));
        chart.Commit();
        if (chart.IsStandardOutput()) {
            return 0; // the chart is what goes there
        }
        out << "kestrel-records: plotted " << samples << " samples of " << files.size()
            << (files.size() == 1 ? " file" : " files") << " into " << chart.Name();
        if (notFinite > 0) {
            out << " (" << notFinite << " not finite, marked on the edges)";
        }
        out << "\n";
        return 0;
    } catch (const RecordsError& e) {
        err << "kestrel-records: " << e.what() << "\n";
        return 2;
    }
}
