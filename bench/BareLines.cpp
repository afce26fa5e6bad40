// kestrel-bare-lines: the yardstick for what kestrel-host costs per data
// line. A bare C loop that appends lines to a file as a C program would:
// fopen(path, "a"), fputs(line with its newline), fclose, for every line.
//
//   kestrel-bare-lines FILE LINES COUNT
//
// Reads the lines of LINES (a data file kestrel-host wrote) into memory
// first, then appends the first COUNT of them to FILE, one open, write and
// close each. Run with COUNT 0 it does everything but the loop, so the
// difference between the two runs is the loop alone.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: kestrel-bare-lines FILE LINES COUNT\n");
        return 2;
    }
    const char* target = argv[1];
    std::FILE* in = std::fopen(argv[2], "rb");
    if (in == nullptr) {
        std::fprintf(stderr, "kestrel-bare-lines: cannot read %s\n", argv[2]);
        return 2;
    }
    std::vector<std::string> lines;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, in) != nullptr) {
        lines.emplace_back(buffer); // with its newline
    }
    std::fclose(in);
    const std::size_t count = std::strtoul(argv[3], nullptr, 10);
    if (count > lines.size()) {
        std::fprintf(stderr, "kestrel-bare-lines: %s holds only %zu lines\n", argv[2], lines.size());
        return 2;
    }
    for (std::size_t i = 0; i < count; ++i) {
        std::FILE* file = std::fopen(target, "a");
        if (file == nullptr) {
            std::fprintf(stderr, "kestrel-bare-lines: cannot open %s\n", target);
            return 1;
        }
        std::fputs(lines[i].c_str(), file);
        std::fclose(file);
    }
    return 0;
}
