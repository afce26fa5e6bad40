// kestrel-records check: whether each file holds only lines the module writes.
// Each file is named as messages name it (ShownInput): a name cannot forge
// a line of the report.
#include "kestrel-records/commands/Commands.h"
#include "kestrel-records/outputs/InputFiles.h"
#include "kestrel-records/reading/RecordFile.h"
#include "kestrel-records/common/RecordsError.h"

namespace {

std::string Count(std::size_t n, const char* one, const char* many)
{
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

} // namespace

int CheckCommand(const std::vector<std::string>& named, std::ostream& out, std::ostream& err)
{
    const std::vector<std::string> files = EachFileOnce(named, err);
    std::size_t good = 0, bad = 0, unreadable = 0;
    for (const std::string& file : files) {
        FileScan scan;
        try {
            scan = ScanFile(file);
        } catch (const RecordsError& e) {
            err << "kestrel-records: " << e.what() << "\n";
            ++unreadable;
            continue;
        }
        const std::string note = ParseRecordName(file).fromName ? "" : " (the name is not <vessel>_<stamp>.txt)";
        if (scan.badLines > 0) {
            ++bad;
            out << ShownInput(file) << ": bad: line " << scan.firstBadLine << ": " << scan.firstBadProblem << ": "
                << scan.firstBadExcerpt << " (" << scan.badLines << " of " << Count(scan.lines, "line", "lines")
                << " bad)" << note << "\n";
            continue;
        }
        ++good;
        out << ShownInput(file) << ": good: ";
        if (scan.lines == 0) {
            out << "no lines" << note << "\n";
            continue;
        }
        out << Count(scan.lines, "line", "lines");
        if (scan.anyTime) {
            // As the lines print them: the doubles are rounded past 16 digits or so.
            out << ", time " << scan.earliestText << " to " << scan.latestText << " s";
        }
        if (scan.anyPitch) {
            out << ", pitch " << scan.lowestPitchText << " to " << scan.highestPitchText << " degrees";
        }
        if (scan.linesNotFinite > 0) {
            out << ", " << Count(scan.linesNotFinite, "line", "lines") << " with inf, -inf or nan";
        }
        out << note << "\n";
    }
    out << "checked " << Count(files.size(), "file", "files") << ": " << good << " good, " << bad << " with bad lines";
    if (unreadable > 0) {
        out << ", " << unreadable << " not readable";
    }
    out << "\n";
    return unreadable > 0 ? 2 : bad > 0 ? 1 : 0;
}
